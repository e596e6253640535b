#pragma once

#include <string>

#include "app/platform/file_question.h"

class QWidget;

namespace kestrel {

enum class FileDialogMode {
  kOpen,                     // an existing file
  kSave,                     // the dialog asks before replacing a file
  kSaveNoOverwriteQuestion,  // the command asks, or the file is appended to
};

// The file the user chooses: through `injected` when set (tests), else a file dialog over
// `parent` that starts in the configuration directory, proposing `proposed` unless it is empty
// or a pattern. "" when cancelled. The path is in the file system's encoding.
std::string AskFile(const FileQuestion& injected, QWidget* parent, FileDialogMode mode,
                    const std::string& title, const std::string& proposed,
                    const std::string& filter, const std::string& default_suffix);

}  // namespace kestrel
