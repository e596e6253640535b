#include "app/rules/rules_class.h"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <utility>

namespace kestrel {
namespace {

// The number and text a broken pattern has always been reported with; users quote them.
constexpr int kInvalidPatternNumber = 93;
constexpr std::string_view kInvalidPatternText = "Invalid pattern string";

// Only ASCII letters fold: bytes >= 0x80 are different letters in different encodings, so they
// compare as they are.
inline unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = char(Fold(c));
  return folded;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// ---- Wildcard patterns ----

using ByteSet = std::bitset<256>;

// A value with its ASCII letters folded to lower case, and, for long values, an index of where
// each pair of adjacent bytes occurs, so that many patterns can look for words in one long
// message without each scanning it.
class FoldedText {
 public:
  void Assign(std::string_view text) {
    original_.assign(text);
    folded_.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) folded_[i] = char(Fold(text[i]));
    indexed_ = false;
    valid_ = true;
  }
  bool Holds(std::string_view text) const { return valid_ && original_ == text; }

  size_t size() const { return folded_.size(); }
  const unsigned char* data() const {
    return reinterpret_cast<const unsigned char*>(folded_.data());
  }
  // Below this length a plain scan is cheaper than building the index.
  bool Indexable() const { return folded_.size() >= 512 && folded_.size() < UINT32_MAX; }

  // Positions r (ascending) where bytes r, r+1 fall in the pair's bucket; a bucket may hold
  // other pairs too, so callers check the bytes.
  std::pair<const uint32_t*, const uint32_t*> Pairs(unsigned char a, unsigned char b) {
    if (!indexed_) BuildIndex();
    const uint32_t bucket = Bucket(a, b);
    return {positions_.data() + starts_[bucket], positions_.data() + starts_[bucket + 1]};
  }
  size_t PairCount(unsigned char a, unsigned char b) {
    if (!indexed_) BuildIndex();
    const uint32_t bucket = Bucket(a, b);
    return starts_[bucket + 1] - starts_[bucket];
  }

 private:
  static constexpr int kBucketBits = 12;
  static constexpr uint32_t kBuckets = uint32_t(1) << kBucketBits;

  static uint32_t Bucket(unsigned char a, unsigned char b) {
    return ((uint32_t(a) << 8 | b) * 2654435761u) >> (32 - kBucketBits);
  }

  // A counting sort of the positions by bucket: two passes over the text.
  void BuildIndex() {
    const unsigned char* text = data();
    const size_t pairs = folded_.size() - 1;
    starts_.assign(kBuckets + 1, 0);
    for (size_t r = 0; r < pairs; ++r) ++starts_[Bucket(text[r], text[r + 1]) + 1];
    for (uint32_t b = 0; b < kBuckets; ++b) starts_[b + 1] += starts_[b];
    cursor_.assign(starts_.begin(), starts_.end() - 1);
    positions_.resize(pairs);
    for (size_t r = 0; r < pairs; ++r) {
      positions_[cursor_[Bucket(text[r], text[r + 1])]++] = uint32_t(r);
    }
    indexed_ = true;
  }

  std::string original_;
  std::string folded_;
  bool valid_ = false;
  bool indexed_ = false;
  std::vector<uint32_t> starts_;
  std::vector<uint32_t> cursor_;
  std::vector<uint32_t> positions_;
};

// Every element but "*" matches exactly one character, so a pattern is a list of fixed-length
// runs separated by stars. The first run must match at the start, the last at the end, and each
// run between them is placed at its leftmost fit after the previous one: a later fit never
// helps, because whatever follows only sees more room. That keeps matching at O(value x pattern)
// at worst, with no backtracking over stars.
class CompiledPattern {
 public:
  const std::string& source() const { return source_; }
  bool compiled() const { return compiled_; }
  bool malformed() const { return malformed_; }

  void Compile(std::string_view pattern) {
    source_.assign(pattern);
    compiled_ = true;
    malformed_ = false;
    tokens_.clear();
    runs_.clear();
    sets_.assign(2, ByteSet());
    sets_[kAnySet].set();
    for (unsigned char c = '0'; c <= '9'; ++c) sets_[kDigitSet].set(c);
    fixed_length_ = 0;

    size_t run_begin = 0;
    for (size_t i = 0; i < pattern.size();) {
      const unsigned char c = pattern[i];
      if (c == '*') {
        runs_.push_back({run_begin, tokens_.size() - run_begin});
        run_begin = tokens_.size();
        ++i;
      } else if (c == '?') {
        tokens_.push_back({-1, kAnySet});
        ++i;
      } else if (c == '#') {
        tokens_.push_back({-1, kDigitSet});
        ++i;
      } else if (c == '[') {
        const size_t close = pattern.find(']', i + 1);
        if (close == pattern.npos) {
          malformed_ = true;
          tokens_.clear();
          runs_.clear();
          return;
        }
        AddList(pattern.substr(i + 1, close - i - 1));
        i = close + 1;
      } else {
        tokens_.push_back({int16_t(Fold(c)), 0});
        ++i;
      }
    }
    runs_.push_back({run_begin, tokens_.size() - run_begin});
    fixed_length_ = tokens_.size();
  }

  bool Matches(FoldedText& value) const {
    const size_t n = value.size();
    if (fixed_length_ > n) return false;
    if (runs_.size() == 1) return n == fixed_length_ && MatchesAt(runs_[0], value.data(), 0);
    const Run& first = runs_.front();
    const Run& last = runs_.back();
    if (!MatchesAt(first, value.data(), 0) || !MatchesAt(last, value.data(), n - last.length)) {
      return false;
    }
    size_t from = first.length;
    const size_t limit = n - last.length;
    for (size_t r = 1; r + 1 < runs_.size(); ++r) {
      const Run& run = runs_[r];
      if (run.length == 0) continue;
      const size_t at = Find(run, value, from, limit);
      if (at == kNotFound) return false;
      from = at + run.length;
    }
    return true;
  }

 private:
  static constexpr uint32_t kAnySet = 0;
  static constexpr uint32_t kDigitSet = 1;
  static constexpr size_t kNotFound = size_t(-1);

  struct Token {
    int16_t literal;  // the folded byte it stands for; -1: any byte of sets_[set]
    uint32_t set;
  };
  struct Run {
    size_t begin;  // first token
    size_t length;
  };

  // "[...]" without its brackets. A "-" between two characters makes a range; first or last it
  // is itself. A reversed range such as "Z-A" adds nothing. "[]" matches no character and "[!]"
  // any one.
  void AddList(std::string_view list) {
    const bool negated = !list.empty() && list.front() == '!';
    if (negated) list.remove_prefix(1);
    ByteSet set;
    for (size_t j = 0; j < list.size();) {
      const unsigned char low = list[j];
      if (j + 2 < list.size() && list[j + 1] == '-') {
        const unsigned char high = list[j + 2];
        for (unsigned c = low; c <= high; ++c) set.set(c);
        j += 3;
      } else {
        set.set(low);
        ++j;
      }
    }
    // Letters match in either case: close the set under case, then only the lower-case half is
    // ever looked at, since values are folded.
    for (unsigned c = 'a'; c <= 'z'; ++c) {
      if (set[c] || set[c - 'a' + 'A']) set.set(c).set(c - 'a' + 'A');
    }
    if (negated) set.flip();
    int members = 0;
    unsigned only = 0;
    for (unsigned c = 0; c < 256 && members < 2; ++c) {
      if (set[c] && !(c >= 'A' && c <= 'Z')) {
        ++members;
        only = c;
      }
    }
    if (members == 1) {
      tokens_.push_back({int16_t(only), 0});
    } else {
      tokens_.push_back({-1, uint32_t(sets_.size())});
      sets_.push_back(set);
    }
  }

  bool TokenMatches(const Token& token, unsigned char c) const {
    return token.literal >= 0 ? c == token.literal : sets_[token.set][c];
  }

  bool MatchesAt(const Run& run, const unsigned char* text, size_t at) const {
    for (size_t k = 0; k < run.length; ++k) {
      if (!TokenMatches(tokens_[run.begin + k], text[at + k])) return false;
    }
    return true;
  }

  // The leftmost position p >= from with p + length <= limit where the run matches.
  size_t Find(const Run& run, FoldedText& value, size_t from, size_t limit) const {
    if (limit < from || limit - from < run.length) return kNotFound;
    const size_t last = limit - run.length;
    const unsigned char* text = value.data();
    const Token* tokens = &tokens_[run.begin];

    // Long texts: look up the rarest pair of adjacent literals instead of scanning.
    if (value.Indexable()) {
      size_t anchor = kNotFound;
      size_t fewest = kNotFound;
      for (size_t k = 0; k + 1 < run.length; ++k) {
        if (tokens[k].literal < 0 || tokens[k + 1].literal < 0) continue;
        const size_t count = value.PairCount(tokens[k].literal, tokens[k + 1].literal);
        if (count < fewest) {
          fewest = count;
          anchor = k;
        }
      }
      if (anchor != kNotFound) {
        const unsigned char a = tokens[anchor].literal;
        const unsigned char b = tokens[anchor + 1].literal;
        auto [begin, end] = value.Pairs(a, b);
        for (const uint32_t* r = std::lower_bound(begin, end, uint32_t(from + anchor)); r != end;
             ++r) {
          if (*r > last + anchor) break;
          if (text[*r] != a || text[*r + 1] != b) continue;
          if (MatchesAt(run, text, *r - anchor)) return *r - anchor;
        }
        return kNotFound;
      }
    }
    for (size_t k = 0; k < run.length; ++k) {
      if (tokens[k].literal < 0) continue;
      // One literal: let memchr find the candidates.
      const unsigned char c = tokens[k].literal;
      size_t p = from + k;
      const size_t end = last + k + 1;
      while (p < end) {
        const void* hit = std::memchr(text + p, c, end - p);
        if (hit == nullptr) return kNotFound;
        const size_t r = size_t(static_cast<const unsigned char*>(hit) - text);
        if (MatchesAt(run, text, r - k)) return r - k;
        p = r + 1;
      }
      return kNotFound;
    }
    for (size_t p = from; p <= last; ++p) {
      if (MatchesAt(run, text, p)) return p;
    }
    return kNotFound;
  }

  std::string source_;
  bool compiled_ = false;
  bool malformed_ = false;
  std::vector<Token> tokens_;
  std::vector<Run> runs_;
  std::vector<ByteSet> sets_;
  size_t fixed_length_ = 0;
};

}  // namespace

// The compiled patterns of each position and the folded texts of the current pass: a pass runs
// every rule against the same message, often a long one.
struct RulesClass::MatchCache {
  struct Patterns {
    CompiledPattern sent_to;
    CompiledPattern message_body;
  };
  std::vector<Patterns> patterns;
  FoldedText terminal;
  FoldedText alias;
  FoldedText text;

  static const CompiledPattern& Get(CompiledPattern& pattern, const std::string& source) {
    if (!pattern.compiled() || pattern.source() != source) pattern.Compile(source);
    return pattern;
  }
  static FoldedText& Prepare(FoldedText& folded, std::string_view value) {
    if (!folded.Holds(value)) folded.Assign(value);
    return folded;
  }
};

RulesClass::RulesClass(ErrorReporter& errors)
    : errors_(errors), cache_(std::make_unique<MatchCache>()) {}

RulesClass::~RulesClass() = default;

void RulesClass::IndexNames() const {
  if (!names_stale_) return;
  names_.clear();
  for (const Rule& rule : rules_) ++names_[FoldedName(rule.Name)];
  names_stale_ = false;
}

bool RulesClass::Contains(std::string_view name) const {
  IndexNames();
  return names_.contains(FoldedName(name));
}

int RulesClass::Position(std::string_view name) const {
  for (size_t i = 0; i < rules_.size(); ++i) {
    if (SameName(rules_[i].Name, name)) return int(i + 1);
  }
  return 0;
}

bool RulesClass::Add(const std::string& name) {
  Rule rule;
  rule.Name = name;
  return Append(std::move(rule));
}

bool RulesClass::Append(Rule rule) {
  if (Count() >= kMaxRules || Contains(rule.Name)) return false;
  ++names_[FoldedName(rule.Name)];
  rules_.push_back(std::move(rule));
  index_ = Count();
  return true;
}

void RulesClass::Delete(std::string_view name) {
  const int position = Position(name);
  if (index_ == position) index_ = -1;
  if (position == 0) return;
  if (!names_stale_) {
    auto found = names_.find(FoldedName(rules_[size_t(position - 1)].Name));
    if (found != names_.end() && --found->second == 0) names_.erase(found);
  }
  rules_.erase(rules_.begin() + (position - 1));
}

bool RulesClass::Find(std::string_view name) {
  const int position = Position(name);
  if (position == 0) return false;
  index_ = position;
  return true;
}

void RulesClass::Clear() {
  rules_.clear();
  names_.clear();
  names_stale_ = false;
}

Rule* RulesClass::At(int position) {
  if (position < 1 || position > Count()) return nullptr;
  names_stale_ = true;
  return &rules_[size_t(position - 1)];
}

const Rule* RulesClass::At(int position) const {
  if (position < 1 || position > Count()) return nullptr;
  return &rules_[size_t(position - 1)];
}

Rule* RulesClass::Current() { return At(index_); }

const Rule* RulesClass::Current() const { return At(index_); }

bool RulesClass::Swap(int i, int j) {
  if (i < 1 || i > Count() || j < 1 || j > Count()) return false;
  std::swap(rules_[size_t(i - 1)], rules_[size_t(j - 1)]);
  return true;
}

bool RulesClass::Copy(int source, const std::string& new_name) {
  const Rule* original = std::as_const(*this).At(source);
  if (original == nullptr) return false;
  Rule copy = *original;
  copy.Name = new_name;
  return Append(std::move(copy));
}

bool RulesClass::Match(std::string_view terminal, std::string_view alias, std::string_view text) {
  MatchCache& cache = *cache_;
  if (cache.patterns.size() < rules_.size()) cache.patterns.resize(rules_.size());
  for (int i = std::max(match_counter_, 1); i <= Count(); ++i) {
    const Rule& rule = rules_[size_t(i - 1)];
    if (!rule.Active) continue;
    MatchCache::Patterns& patterns = cache.patterns[size_t(i - 1)];
    const CompiledPattern* sent_to =
        rule.SentTo.empty() ? nullptr : &MatchCache::Get(patterns.sent_to, rule.SentTo);
    const CompiledPattern* body = rule.MessageBody.empty()
                                      ? nullptr
                                      : &MatchCache::Get(patterns.message_body, rule.MessageBody);
    // Either broken pattern ends the pass, whether or not the other one would have matched, so
    // the user hears of it on the first message.
    if ((sent_to != nullptr && sent_to->malformed()) || (body != nullptr && body->malformed())) {
      match_counter_ = Count() + 1;
      // The report may wait on the user while other events run; nothing of this pass is used
      // after it.
      std::string procedure = "Match (Patterns = '";
      procedure.append(rule.SentTo).append("' and '").append(rule.MessageBody);
      procedure.append("', Ctr = ").append(std::to_string(i)).append(")");
      errors_.ReportError(procedure, kInvalidPatternNumber, kInvalidPatternText);
      return false;
    }
    bool matches = body == nullptr || body->Matches(MatchCache::Prepare(cache.text, text));
    if (matches && sent_to != nullptr) {
      matches = sent_to->Matches(MatchCache::Prepare(cache.terminal, terminal)) ||
                sent_to->Matches(MatchCache::Prepare(cache.alias, alias));
    }
    if (matches) {
      index_ = i;
      match_counter_ = rule.NoFurther ? Count() + 1 : i + 1;
      return true;
    }
  }
  return false;
}

void RulesClass::AddDefaultRules() {
  // Both log every message with their word in it, from its first character.
  const auto logging_rule = [](std::string name, std::string body, std::string type, int16_t to,
                               Colour colour) {
    Rule rule;
    rule.Name = std::move(name);
    rule.MessageBody = std::move(body);
    rule.LogMessages = true;
    rule.LogMessageType = std::move(type);
    rule.LogMessageTo = to;
    rule.LogMessageVerb = "with";
    rule.LogMessageOccurence = 1;
    rule.LogMessageCharacter = "character";
    rule.LogMessageColor = colour;
    rule.Active = true;
    return rule;
  };
  Append(logging_rule("MDT Messages", "*message*", "Message", 1, kDefaultColour));
  Append(logging_rule("Dispatch", "*dispatch*", "Dispatch", 2, 16711680));  // blue
}

bool MatchesPattern(std::string_view value, std::string_view pattern, bool& malformed) {
  CompiledPattern compiled;
  compiled.Compile(pattern);
  malformed = compiled.malformed();
  if (malformed) return false;
  FoldedText folded;
  folded.Assign(value);
  return compiled.Matches(folded);
}

}  // namespace kestrel
