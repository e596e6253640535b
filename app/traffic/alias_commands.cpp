#include "app/traffic/alias_commands.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "app/platform/paths.h"

namespace kestrel {
namespace {

constexpr char kFilter[] = "*.ini";
constexpr char kSuffix[] = "ini";
constexpr char kExportCaption[] = "Exporting Aliases";
constexpr char kExportLabel[] = "Exporting terminal aliases...";
constexpr char kImportCaption[] = "Importing Aliases";
constexpr char kImportLabel[] = "Importing terminal aliases...";

bool LessNoCase(const std::string& a, const std::string& b) {
  // ASCII letters only, whatever the locale: terminals and aliases sort the same everywhere.
  const auto lower = [](char c) { return uint8_t(c >= 'A' && c <= 'Z' ? c + 32 : c); };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return lower(x) < lower(y); });
}

// Closes the progress window however the command ends.
class ProgressShown {
 public:
  ProgressShown(SaveStatus* status, const char* caption, const char* label) : status_(status) {
    if (status_) status_->Show(caption, label, 0);
  }
  ~ProgressShown() {
    if (status_) status_->Close();
  }
  ProgressShown(const ProgressShown&) = delete;
  ProgressShown& operator=(const ProgressShown&) = delete;

  Progress Reporter() const {
    if (!status_) return {};
    return [status = status_](int percent) { status->SetProgress(percent); };
  }

 private:
  SaveStatus* status_;
};

void TellBoth(const AliasListeners& listeners, const std::string& terminal,
              const std::string& alias) {
  if (listeners.alias_list) listeners.alias_list(terminal, alias);
  if (listeners.main_window) listeners.main_window(terminal, alias);
}

}  // namespace

void AliasRows::Load(const TerminalAliases& aliases) {
  rows_.clear();
  sort_column_.reset();
  ascending_ = true;
  Row row;
  for (int i = 1; aliases.GetAliasEntry(i, row.terminal, row.alias); ++i) rows_.push_back(row);
}

bool AliasRows::Set(const std::string& terminal, const std::string& alias) {
  const int found = Find(terminal);
  if (found >= 0) {
    rows_[size_t(found)].alias = alias;
    return false;
  }
  rows_.push_back({terminal, alias});
  return true;
}

void AliasRows::RemoveAt(int row) {
  if (row < 0 || row >= Count()) return;
  rows_.erase(rows_.begin() + row);
}

void AliasRows::SortByClick(Column column) {
  ascending_ = sort_column_ == column ? !ascending_ : true;
  sort_column_ = column;
  Resort();
}

void AliasRows::Resort() {
  if (!sort_column_) return;
  const Column column = *sort_column_;
  const bool ascending = ascending_;
  std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
    const std::string& x = column == kTerminal ? a.terminal : a.alias;
    const std::string& y = column == kTerminal ? b.terminal : b.alias;
    return ascending ? LessNoCase(x, y) : LessNoCase(y, x);
  });
}

int AliasRows::Find(const std::string& terminal) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].terminal == terminal) return int(i);
  }
  return -1;
}

bool AliasCommands::Assign(const std::string& terminal, const std::string& alias,
                           const AliasListeners& listeners) {
  if (terminal.empty()) return false;
  aliases_.Assign(terminal, alias);
  aliases_.SetChanged(true);
  TellBoth(listeners, terminal, alias);
  return true;
}

void AliasCommands::Delete(const std::string& terminal, const AliasListeners& listeners) {
  if (listeners.main_window) listeners.main_window(terminal, "");
  aliases_.Remove(terminal);
  aliases_.SetChanged(true);
}

AliasCommands::Outcome AliasCommands::Export(const FileQuestion& ask, SaveStatus* status) {
  const std::string path = ask ? ask(kExportTitle, "", kFilter, kSuffix) : std::string();
  if (path.empty()) return Outcome::kCancelled;
  if (FileExists(path)) {
    if (boxes_.Show(kOverwriteQuestion, kOverwriteTitle, MessageBoxes::Icon::kQuestion,
                    MessageBoxes::Buttons::kYesNo) != MessageBoxes::Answer::kYes) {
      return Outcome::kCancelled;
    }
    if (std::remove(path.c_str()) != 0) {
      Tell(kCannotOverwrite);
      return Outcome::kFailed;
    }
  }
  bool written;
  {
    ProgressShown shown(status, kExportCaption, kExportLabel);
    written = ExportAliases(aliases_, path, shown.Reporter());
  }
  // Not in the old program, which could not tell; a file left unwritten must not pass for an
  // export.
  if (!written) {
    Tell(kCannotExport + path);
    return Outcome::kFailed;
  }
  return Outcome::kDone;
}

AliasCommands::Outcome AliasCommands::Import(const FileQuestion& ask, SaveStatus* status,
                                             const AliasListeners& listeners) {
  const std::string path = ask ? ask(kImportTitle, "", kFilter, kSuffix) : std::string();
  if (path.empty()) return Outcome::kCancelled;
  if (!FileExists(path)) {
    Tell(kFileNotFound);
    return Outcome::kFailed;
  }
  AliasImport result;
  {
    ProgressShown shown(status, kImportCaption, kImportLabel);
    result = ImportAliases(
        aliases_, path,
        [&listeners](const std::string& terminal, const std::string& alias) {
          TellBoth(listeners, terminal, alias);
        },
        shown.Reporter());
  }
  switch (result) {
    case AliasImport::kImported:
      return Outcome::kDone;
    case AliasImport::kNotFound:
      Tell(kFileNotFound);
      return Outcome::kFailed;
    case AliasImport::kInvalid:
      break;
  }
  Tell(kNotAliasFile + path);
  return Outcome::kFailed;
}

void AliasCommands::Tell(const std::string& text) {
  boxes_.Show(text, "Kestrel", MessageBoxes::Icon::kExclamation, MessageBoxes::Buttons::kOk);
}

}  // namespace kestrel
