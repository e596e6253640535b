#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace kestrel_test {

// A plain dynamic-programming matcher for the rules' wildcard patterns, written from the pattern
// rules alone, to check the program's matcher against. O(value x pattern) time and memory: for
// short inputs only. Answers -1 for a malformed pattern, else 1 or 0.
inline int ReferenceMatch(std::string_view value, std::string_view pattern) {
  auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  struct Item {
    bool star = false;
    std::array<bool, 256> accepts{};
  };
  std::vector<Item> items;
  for (size_t i = 0; i < pattern.size(); ++i) {
    Item item;
    const unsigned char p = pattern[i];
    if (p == '*') {
      item.star = true;
    } else if (p == '?') {
      item.accepts.fill(true);
    } else if (p == '#') {
      for (unsigned c = '0'; c <= '9'; ++c) item.accepts[c] = true;
    } else if (p == '[') {
      size_t close = pattern.find(']', i + 1);
      if (close == pattern.npos) return -1;
      std::string_view list = pattern.substr(i + 1, close - i - 1);
      bool negated = !list.empty() && list[0] == '!';
      if (negated) list.remove_prefix(1);
      for (unsigned c = 0; c < 256; ++c) {
        bool in = false;
        for (size_t j = 0; j < list.size(); ++j) {
          unsigned low = (unsigned char)list[j], high = low;
          if (j + 2 < list.size() && list[j + 1] == '-') {
            high = (unsigned char)list[j + 2];
            j += 2;
          }
          for (unsigned v : {c, lower(c), c >= 'a' && c <= 'z' ? c - 32 : c}) {
            if (v >= low && v <= high) in = true;
          }
        }
        item.accepts[c] = in != negated;
      }
      i = close;
    } else {
      for (unsigned c = 0; c < 256; ++c) item.accepts[c] = lower(c) == lower(p);
    }
    items.push_back(item);
  }
  const size_t n = value.size(), m = items.size();
  std::vector<std::vector<bool>> dp(n + 1, std::vector<bool>(m + 1, false));
  dp[0][0] = true;
  for (size_t j = 1; j <= m; ++j) dp[0][j] = dp[0][j - 1] && items[j - 1].star;
  for (size_t i = 1; i <= n; ++i) {
    for (size_t j = 1; j <= m; ++j) {
      const Item& item = items[j - 1];
      dp[i][j] = item.star ? dp[i - 1][j] || dp[i][j - 1]
                           : dp[i - 1][j - 1] && item.accepts[(unsigned char)value[i - 1]];
    }
  }
  return dp[n][m] ? 1 : 0;
}

}  // namespace kestrel_test
