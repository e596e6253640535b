#include "app/platform/text_window.h"

#include <algorithm>

namespace kestrel {

void PlainTextWindow::RemoveFront(size_t count) { text_.erase(0, std::min(count, text_.size())); }

}  // namespace kestrel
