#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/platform/file_question.h"
#include "app/platform/message_box.h"
#include "app/profile/profile.h"
#include "app/traffic/terminal_aliases.h"

namespace kestrel {

// The rows of the Configure Terminal Aliases list: (terminal, alias) in the order shown, and
// the column the user last sorted by.
class AliasRows {
 public:
  enum Column { kTerminal = 0, kAlias = 1 };
  struct Row {
    std::string terminal;
    std::string alias;
  };

  // One row per pair, in the store's order; unsorted.
  void Load(const TerminalAliases& aliases);
  // Sets the alias of the terminal's row; appends a row when there is none. True when a row was
  // appended.
  bool Set(const std::string& terminal, const std::string& alias);
  void RemoveAt(int row);
  // A click on a column header: ascending, or the order reversed when already sorted by it.
  // Stable; letters compare without case.
  void SortByClick(Column column);
  // Sorts again by the column and order in use; nothing when the list is not sorted.
  void Resort();
  std::optional<Column> SortColumn() const { return sort_column_; }
  bool Ascending() const { return ascending_; }

  int Count() const { return int(rows_.size()); }
  const Row& At(int row) const { return rows_[size_t(row)]; }
  // -1 when no row has that terminal (exact compare).
  int Find(const std::string& terminal) const;

 private:
  std::vector<Row> rows_;
  std::optional<Column> sort_column_;
  bool ascending_ = true;
};

// What the alias commands tell the windows around them. The main window's Terminals rows show
// `alias` for `terminal` ("" after a delete); the Configure window, when shown, sets or adds
// its row.
struct AliasListeners {
  AliasAssigned main_window;
  AliasAssigned alias_list;
};

// The user's alias commands over the program's alias store. Every change raises the store's
// Changed mark, so the next profile save writes the aliases. User-interface thread only.
class AliasCommands {
 public:
  AliasCommands(TerminalAliases& aliases, MessageBoxes& boxes) : aliases_(aliases), boxes_(boxes) {}

  const TerminalAliases& Aliases() const { return aliases_; }

  // OK of the Assign Terminal Alias dialog. False, changing nothing, when `terminal` is empty.
  bool Assign(const std::string& terminal, const std::string& alias,
              const AliasListeners& listeners);
  // Deletes the terminal's alias and empties it in the main window's rows.
  void Delete(const std::string& terminal, const AliasListeners& listeners);

  enum class Outcome {
    kCancelled,  // no file chosen, or No to the overwrite question
    kDone,
    kFailed,  // a message told the user why
  };
  // Asks for a file ("Export Aliases To") and writes every pair to it, `status` showing the
  // progress (may be null).
  Outcome Export(const FileQuestion& ask, SaveStatus* status);
  // Asks for a file ("Import Aliases From") and assigns its pairs, telling the listeners of each.
  Outcome Import(const FileQuestion& ask, SaveStatus* status, const AliasListeners& listeners);

 private:
  void Tell(const std::string& text);

  TerminalAliases& aliases_;
  MessageBoxes& boxes_;
};

// Texts the user sees.
inline constexpr char kExportTitle[] = "Export Aliases To";
inline constexpr char kImportTitle[] = "Import Aliases From";
inline constexpr char kOverwriteQuestion[] = "File already exists, overwrite?";
inline constexpr char kOverwriteTitle[] = "Overwrite file?";
inline constexpr char kCannotOverwrite[] = "Unable to overwrite file, can't export aliases.";
inline constexpr char kFileNotFound[] = "File not found";
// A file that cannot be written or read as an alias file; the path follows.
inline constexpr char kCannotExport[] = "Unable to export aliases to ";
inline constexpr char kNotAliasFile[] = "Not an alias file, nothing imported: ";

}  // namespace kestrel
