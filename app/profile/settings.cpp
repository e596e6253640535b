#include "app/profile/settings.h"

#include <algorithm>

namespace kestrel {

std::string SeparatorLine(const Settings& settings) {
  return std::string(size_t(std::max(settings.MDTColumns, 1)), '-');
}

}  // namespace kestrel
