#include "app/profile/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kestrel {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Only ASCII letters fold: names with bytes >= 0x80 must match as they are, whatever the locale.
std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return lower;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The section name of a header line; none for any other line.
std::optional<std::string_view> HeaderName(std::string_view line) {
  std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
  size_t close = trimmed.rfind(']');
  if (close == trimmed.npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// The key and value of a line inside a section; none for lines without "=" or without a key.
std::optional<KeyLine> SplitKeyLine(std::string_view line) {
  std::string_view trimmed = Trim(line);
  size_t equals = trimmed.find('=');
  if (equals == trimmed.npos) return std::nullopt;
  std::string_view key = Trim(trimmed.substr(0, equals));
  if (key.empty()) return std::nullopt;
  return KeyLine{key, Trim(trimmed.substr(equals + 1))};
}

std::string DecodeValue(std::string_view value) {
  if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kIniMaxValueLength));
}

// Reading trims the value and strips one pair of enclosing quotes; quoting exactly the values
// that either would change makes every value without line breaks read back as written.
std::string EncodeValue(std::string_view value) {
  char quote = 0;
  if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
    quote = value.front();
  } else if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()))) {
    quote = '"';
  }
  if (quote == 0) return std::string(value);
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted += quote;
  quoted += value;
  quoted += quote;
  return quoted;
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(size_t(written));
  }
  return true;
}

// Short and independent of the file's own name, so that a name near the file system's limit
// still leaves room for it; O_EXCL settles collisions with other savers.
std::string TemporaryName(const std::string& directory) {
  static std::atomic<unsigned> counter{unsigned(::getpid())};
  return directory + "/.kestrel." + std::to_string(counter.fetch_add(1));
}

constexpr int kMaxLinkHops = 40;

// Where a chain of symbolic links starting at `path` ends; that file need not exist yet. False
// (errno set) for a loop or an unreadable link.
bool FollowLinks(const std::string& path, std::string& target) {
  target = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat status;
    if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
    std::string link(PATH_MAX, '\0');
    const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
    if (length < 0) return false;
    if (length == 0 || size_t(length) == link.size()) {
      errno = length == 0 ? ENOENT : ENAMETOOLONG;
      return false;
    }
    link.resize(size_t(length));
    const size_t slash = target.rfind('/');
    if (link.front() != '/' && slash != target.npos) link.insert(0, target, 0, slash + 1);
    target = std::move(link);
  }
  errno = ELOOP;
  return false;
}

// The fallback when the folder refuses new files: not atomic, but the file stays the user's.
bool WriteInPlace(int fd, std::string_view content) {
  return WriteAll(fd, content) && ::ftruncate(fd, off_t(content.size())) == 0 && ::fsync(fd) == 0;
}

// Closes `fd` (when open) without disturbing errno.
void CloseQuietly(int fd) {
  if (fd < 0) return;
  const int saved = errno;
  ::close(fd);
  errno = saved;
}

}  // namespace

IniFile::IniFile() { Clear(); }

void IniFile::Clear() {
  sections_.assign(1, Section{});
  section_index_.clear();
  byte_order_mark_ = false;
}

IniLoad IniFile::Load(const std::string& path) {
  Clear();
  // Non-blocking so that a FIFO on the path cannot hang the open; only regular files are read.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? IniLoad::kNotFound : IniLoad::kUnreadable;
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return IniLoad::kUnreadable;
  }
  if (uintmax_t(status.st_size) > kIniMaxFileSize) {
    ::close(fd);
    return IniLoad::kTooLarge;
  }
  // Read one byte beyond the bound, in case the file grew since fstat.
  std::string content(size_t(status.st_size) + 1, '\0');
  size_t filled = 0;
  for (;;) {
    if (filled == content.size()) {
      if (content.size() > kIniMaxFileSize) break;
      content.resize(std::min(content.size() * 2, kIniMaxFileSize + 1));
    }
    ssize_t got = ::read(fd, content.data() + filled, content.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return IniLoad::kUnreadable;
    }
    if (got == 0) break;
    filled += size_t(got);
  }
  ::close(fd);
  if (filled > kIniMaxFileSize) return IniLoad::kTooLarge;
  content.resize(filled);
  return Parse(content) ? IniLoad::kLoaded : IniLoad::kTooLarge;
}

bool IniFile::Parse(std::string_view content) {
  Clear();
  if (content.size() > kIniMaxFileSize) return false;
  if (content.starts_with(kByteOrderMark)) {
    byte_order_mark_ = true;
    content.remove_prefix(kByteOrderMark.size());
  }
  size_t line_count = 0;
  size_t position = 0;
  while (position < content.size()) {
    size_t end = content.find_first_of("\r\n", position);
    if (end == content.npos) end = content.size();
    if (++line_count > kIniMaxLines) {
      Clear();
      return false;
    }
    std::string_view line = content.substr(position, end - position);
    if (std::optional<std::string_view> name = HeaderName(line)) {
      section_index_.try_emplace(Lower(*name), sections_.size());
      sections_.push_back(Section{{std::string(line)}, {}});
    } else {
      Section& section = sections_.back();
      // Lines before the first header belong to no section and are only kept.
      if (sections_.size() > 1) {
        if (std::optional<KeyLine> key_line = SplitKeyLine(line)) {
          section.keys.try_emplace(Lower(key_line->key), section.lines.size());
        }
      }
      section.lines.emplace_back(line);
    }
    position = end;
    if (position < content.size()) {
      position += content.compare(position, 2, kLineEnd) == 0 ? 2 : 1;
    }
  }
  return true;
}

const IniFile::Section* IniFile::FindSection(std::string_view section) const {
  section = Trim(section);
  if (section.empty()) return nullptr;
  auto found = section_index_.find(Lower(section));
  return found == section_index_.end() ? nullptr : &sections_[found->second];
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  const Section* found_section = FindSection(section);
  key = Trim(key);
  if (found_section == nullptr || key.empty()) return std::nullopt;
  auto found = found_section->keys.find(Lower(key));
  if (found == found_section->keys.end()) return std::nullopt;
  return DecodeValue(SplitKeyLine(found_section->lines[found->second])->value);
}

std::string IniFile::Read(std::string_view section, std::string_view key) const {
  return Find(section, key).value_or(std::string());
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  const Section* found_section = FindSection(section);
  if (found_section == nullptr) return keys;
  for (size_t i = 1; i < found_section->lines.size(); ++i) {
    std::optional<KeyLine> key_line = SplitKeyLine(found_section->lines[i]);
    if (!key_line) continue;
    // Later spellings of the same key are shadowed by the first.
    if (found_section->keys.at(Lower(key_line->key)) == i) keys.emplace_back(key_line->key);
  }
  return keys;
}

bool IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  // A line break would let a value inject lines; a key like these would not read back as a key.
  if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || key.find('=') != key.npos || key.front() == '[') {
    return false;
  }
  const std::string encoded = EncodeValue(value);
  const std::string lower_key = Lower(key);
  auto found_section = section_index_.find(Lower(section));
  if (found_section == section_index_.end()) {
    Section& last = sections_.back();
    if (!last.lines.empty() && !Trim(last.lines.back()).empty()) last.lines.emplace_back();
    std::string header = "[" + std::string(section) + "]";
    section_index_.emplace(Lower(section), sections_.size());
    sections_.push_back(Section{{header, std::string(key) + "=" + encoded}, {{lower_key, 1}}});
    return true;
  }
  Section& target = sections_[found_section->second];
  auto found_key = target.keys.find(lower_key);
  if (found_key != target.keys.end()) {
    std::string& line = target.lines[found_key->second];
    line = std::string(SplitKeyLine(line)->key) + "=" + encoded;
    return true;
  }
  // Blank lines that close a section stay after its keys; only they move, so no index changes.
  size_t at = target.lines.size();
  while (at > 1 && Trim(target.lines[at - 1]).empty()) --at;
  target.lines.insert(target.lines.begin() + ptrdiff_t(at), std::string(key) + "=" + encoded);
  target.keys.emplace(lower_key, at);
  return true;
}

size_t IniFile::LineCount() const {
  size_t count = 0;
  for (const Section& section : sections_) count += section.lines.size();
  return count;
}

std::string IniFile::Serialize() const {
  size_t size = byte_order_mark_ ? kByteOrderMark.size() : 0;
  for (const Section& section : sections_) {
    for (const std::string& line : section.lines) size += line.size() + kLineEnd.size();
  }
  std::string content;
  content.reserve(size);
  if (byte_order_mark_) content += kByteOrderMark;
  for (const Section& section : sections_) {
    for (const std::string& line : section.lines) {
      content += line;
      content += kLineEnd;
    }
  }
  return content;
}

bool IniFile::Save(const std::string& path) const {
  // Never write what Load would refuse to read back.
  if (LineCount() > kIniMaxLines) {
    errno = EFBIG;
    return false;
  }
  std::string content = Serialize();
  if (content.size() > kIniMaxFileSize) {
    errno = EFBIG;
    return false;
  }
  return ReplaceFileAtomically(path, content);
}

std::string ReadIniString(std::string_view section, std::string_view key, const std::string& file) {
  IniFile ini;
  if (ini.Load(file) != IniLoad::kLoaded) return std::string();
  return ini.Read(section, key);
}

bool WriteIniString(std::string_view section, std::string_view key, std::string_view value,
                    const std::string& file) {
  IniFile ini;
  IniLoad loaded = ini.Load(file);
  // A file that exists but cannot be read must not be replaced by one holding only this key.
  if (loaded != IniLoad::kLoaded && loaded != IniLoad::kNotFound) return false;
  return ini.Write(section, key, value) && ini.Save(file);
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  // Renaming over a link would replace the link, not the file it points to.
  std::string target;
  if (!FollowLinks(path, target)) return false;
  const size_t slash = target.rfind('/');
  const std::string directory = slash == target.npos ? "."
                                : slash == 0         ? "/"
                                                     : target.substr(0, slash);
  if (slash + 1 == target.size()) {
    errno = EISDIR;
    return false;
  }

  struct stat status;
  const bool regular = ::stat(target.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  int existing = -1;
  if (regular) {
    // A rename needs only the folder's permission; a file the user made read-only must refuse
    // the save exactly as writing into it would.
    existing = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (existing < 0) return false;
  }

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryName(directory);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    if (existing >= 0 && (errno == EACCES || errno == EPERM)) {
      const bool written = WriteInPlace(existing, content);
      CloseQuietly(existing);
      return written;
    }
    CloseQuietly(existing);
    return false;
  }
  CloseQuietly(existing);

  if (regular) {
    // Failing to copy the permissions is no reason to lose the user's data.
    (void)::fchmod(fd, status.st_mode & 07777);
  }
  bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok) {
    ok = ::rename(temporary.c_str(), target.c_str()) == 0;
    saved = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    errno = saved;
    return false;
  }
  // Makes the rename itself durable; the file is already complete either way.
  int directory_fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory_fd >= 0) {
    (void)::fsync(directory_fd);
    ::close(directory_fd);
  }
  return true;
}

std::optional<int64_t> ParseIniCount(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return value;
}

int64_t IniKeyNumber(std::string_view key, std::string_view prefix) {
  if (key.size() <= prefix.size()) return 0;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if ((key[i] | 0x20) != (prefix[i] | 0x20)) return 0;
  }
  const std::string_view digits = key.substr(prefix.size());
  if (digits.front() < '1' || digits.front() > '9') return 0;
  int64_t number = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return error == std::errc() && end == digits.data() + digits.size() ? number : 0;
}

}  // namespace kestrel
