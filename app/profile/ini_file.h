#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrel {

// Profile-style INI files ("[Section]" headers, "key=value" lines), read and written the way the
// profiles and exchange files of earlier releases were:
// - every line is trimmed of white space; a section header is "[" up to the last "]" on the line;
//   a key is the text before the first "=", its value the rest, both trimmed; other lines carry
//   no value and are kept as they are;
// - sections and keys match without regard to ASCII case; the first match wins;
// - a read strips one pair of matching single or double quotes around a value and cuts it to
//   kIniMaxValueLength bytes;
// - updating a key keeps its line, a new key goes after the last line of its section, a new
//   section at the end of the file; lines are written "key=value" and end in CR LF; LF, CR LF and
//   CR alone all end a line on reading; a UTF-8 byte-order mark is skipped and kept;
// - bytes are read and written as they are, with no change of encoding.
inline constexpr size_t kIniMaxValueLength = 1023;
// Files beyond these bounds are refused rather than read, so a hostile file cannot exhaust memory.
inline constexpr size_t kIniMaxFileSize = size_t(16) << 20;
inline constexpr size_t kIniMaxLines = size_t(1) << 18;

enum class IniLoad {
  kLoaded,
  kNotFound,    // no such file (or directory on its path)
  kTooLarge,    // more than kIniMaxFileSize bytes or kIniMaxLines lines
  kUnreadable,  // not a regular file, or reading it failed
};

// One INI file held in memory: load once, read and write many keys, save once.
class IniFile {
 public:
  IniFile();

  // Replaces the document with the file's content. On any result but kLoaded the document is
  // left empty, so a later Save of a missing file creates it.
  IniLoad Load(const std::string& path);
  // Replaces the document with `content`; false (document empty) beyond the bounds above.
  bool Parse(std::string_view content);

  // The value of the first `key` in the first section named `section`; none when either is
  // missing or the key's line has no "=".
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  // As Find, "" when missing.
  std::string Read(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const { return FindSection(section) != nullptr; }
  // Section headers in the document, repeated names counted each time.
  size_t SectionCount() const { return sections_.size() - 1; }
  // The keys of the first section named `section`, each once (its first spelling), in file order.
  std::vector<std::string> Keys(std::string_view section) const;

  // Sets the value, creating the section and key as needed. A value that would not read back
  // unchanged (quotes at both ends, white space at either end) is written inside a pair of
  // quotes. False, changing nothing, for an empty section or key, a key that starts with "[" or
  // holds "=", or any line break in the section, key or value.
  bool Write(std::string_view section, std::string_view key, std::string_view value);

  // The file's bytes as Save writes them.
  std::string Serialize() const;
  // Replaces the file at `path` as a whole (see ReplaceFileAtomically). False, with errno saying
  // why, when it cannot be written or the document exceeds the bounds a load accepts (EFBIG).
  bool Save(const std::string& path) const;

 private:
  struct Section {
    std::vector<std::string> lines;  // raw lines without their line end; [0] is the header
    std::unordered_map<std::string, size_t> keys;  // lower-case key -> first line holding it
  };

  void Clear();
  const Section* FindSection(std::string_view section) const;
  size_t LineCount() const;

  std::vector<Section> sections_;  // sections_[0] holds the lines before the first header
  std::unordered_map<std::string, size_t> section_index_;  // lower-case name -> first section
  bool byte_order_mark_ = false;
};

// Reads one value; "" when the key, section or file is missing or the file cannot be read.
// Loads the whole file for each call: for many values use IniFile.
std::string ReadIniString(std::string_view section, std::string_view key, const std::string& file);
// Writes one value, creating the file and section as needed and keeping all other content; the
// file is replaced atomically. False when the file cannot be read or written.
bool WriteIniString(std::string_view section, std::string_view key, std::string_view value,
                    const std::string& file);

// Writes `content` to a new file beside `path`, flushes it to disk and renames it over `path`,
// so that a crash or a full disk leaves either the old or the new complete file. On failure the
// file at `path` is untouched, no temporary file remains and errno says why.
// - A symbolic link at `path` is followed (its target is replaced, or created when missing).
// - An existing file's permissions are kept; one that cannot be opened for writing (read-only,
//   say) is refused with EACCES, as writing into it would be.
// - When the folder refuses new files but the file itself is writable, the file is overwritten
//   in place (flushed and synced): not atomic, but the save still works.
// - The temporary file's name is short (".kestrel." and a counter), so any legal name can be
//   saved.
bool ReplaceFileAtomically(const std::string& path, std::string_view content);

// Numbered entries, as the exchange files and the profile keep lists ("Rules" = N, then Name1,
// Name2, ...). A count as they are written: a whole decimal number, optionally with "+"; none for
// anything else and for counts beyond int.
std::optional<int64_t> ParseIniCount(std::string_view text);
// n of a key spelled `prefix` + n (the prefix in any case, n in decimal without leading zeros);
// 0 for any other key.
int64_t IniKeyNumber(std::string_view key, std::string_view prefix);

}  // namespace kestrel
