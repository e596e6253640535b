#include "app/platform/file_dialog.h"

#include <QFile>
#include <QFileDialog>

#include "app/platform/paths.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {

std::string AskFile(const FileQuestion& injected, QWidget* parent, FileDialogMode mode,
                    const std::string& title, const std::string& proposed,
                    const std::string& filter, const std::string& default_suffix) {
  if (injected) return injected(title, proposed, filter, default_suffix);
  QFileDialog dialog(parent, Utf8(title), QFile::decodeName(ConfigDirectory().c_str()),
                     Utf8(filter));
  if (mode == FileDialogMode::kOpen) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite,
                     mode == FileDialogMode::kSaveNoOverwriteQuestion);
  }
  dialog.setDefaultSuffix(Utf8(default_suffix));
  if (!proposed.empty() && proposed.find('*') == std::string::npos)
    dialog.selectFile(QFile::decodeName(proposed.c_str()));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

}  // namespace kestrel
