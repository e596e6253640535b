#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// A decoded record is a byte string: character i is decoded byte i. Record layouts count
// positions from 1; these helpers are the only place where that meets the 0-based string.

// The byte at 1-based `position`, or -1 beyond the record.
int ByteAt(std::string_view record, size_t position);
// The record from 1-based `position` to its end; empty beyond it.
std::string_view From(std::string_view record, size_t position);
// The first `count` characters (all of them when the record is shorter).
std::string_view Left(std::string_view record, size_t count);
// The bytes as upper-case hexadecimal, two digits each.
std::string HexText(std::string_view bytes);
// Characters 13-14 are "TX": the record starts a new message.
bool IsTxRecord(std::string_view record);
// The message text of a record: from character 20 for a "TX" record, from 13 otherwise.
std::string_view RecordBody(std::string_view record);

inline constexpr size_t kTxPosition = 13;
inline constexpr size_t kTxBodyPosition = 20;
inline constexpr size_t kContinuationBodyPosition = 13;

}  // namespace kestrel
