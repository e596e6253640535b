#include "app/traffic/process_sieve.h"

#include <algorithm>
#include <exception>
#include <string_view>

#include "app/traffic/record.h"

namespace kestrel {
namespace {

constexpr size_t kMinRecordLength = 14;
constexpr size_t kLengthCodePosition = 7;
constexpr size_t kTrailerCodePosition = 8;
constexpr size_t kDownloadMarkPosition = 18;
constexpr int kDownloadMark = 0x40;
constexpr std::string_view kRecordStart = "\x75\xC0";

// Where the next record starts inside this one (0-based, from the second character on).
size_t NextRecordStart(std::string_view record) {
  return record.size() < 2 ? std::string_view::npos : record.find(kRecordStart, 1);
}

RecordOutcome Check(std::string_view record, const Settings& settings) {
  if (record.size() < kMinRecordLength) return RecordOutcome::kTooShort;
  const int start = ByteAt(record, 1);
  if (start != 0x75 && !(start == 0x35 && !settings.Ignore35Prefix))
    return RecordOutcome::kBadStart;
  if (record.size() >= kDownloadMarkPosition && settings.IgnoreDownloadedStrings &&
      IsTxRecord(record) && ByteAt(record, kDownloadMarkPosition) == kDownloadMark)
    return RecordOutcome::kDownloadedString;
  return RecordOutcome::kAccepted;
}

// Cuts a record to the length its length code gives, when little would remain beyond it.
void ApplyLengthCode(std::string& record) {
  const int length = (ByteAt(record, kLengthCodePosition) - 126) * 6;
  if (length >= 0 && int(record.size()) - length < 13)
    record.resize(std::min(record.size(), size_t(length)));
}

void DropLast(std::string& record, size_t count) {
  record.erase(record.size() - std::min(count, record.size()));
}

void TrimTrailer(std::string& record) {
  const int code = ByteAt(record, kTrailerCodePosition);
  if (code >= 0 && code <= 20 && code % 4 == 0) {
    DropLast(record, size_t(code / 4 + 2));
    return;
  }
  // No length given: the trailer starts before a pair of 0xAA near the end.
  const int length = int(record.size());
  bool found = false;
  for (int q = length - 5; q <= length - 1 && !found; ++q) {
    if (q >= 1 && ByteAt(record, size_t(q)) == 0xAA && ByteAt(record, size_t(q) + 1) == 0xAA) {
      record.resize(size_t(std::max(q - 2, 0)));
      found = true;
    }
  }
  if (!found) DropLast(record, 2);
  while (!record.empty() && record.back() == '\0') record.pop_back();
}

}  // namespace

void TrafficProcessor::ProcessSieve(const std::string& record, int32_t corrections) {
  // Every piece of a record that holds several is received on its own, as if it had come alone.
  std::string_view remaining = record;
  for (;;) {
    s_.view.TrafficSeen();
    if (s_.raw_data.Open()) s_.raw_data.Dump(remaining);
    const size_t next = NextRecordStart(remaining);
    if (next == std::string_view::npos) {
      ProcessPiece(remaining, corrections);
      return;
    }
    const std::string_view piece = remaining.substr(0, next);
    s_.view.TrafficSeen();
    if (s_.raw_data.Open()) s_.raw_data.Dump(piece);
    ProcessPiece(piece, corrections);
    remaining.remove_prefix(next);
  }
}

void TrafficProcessor::ProcessPiece(std::string_view received, int32_t corrections) {
  const RecordOutcome outcome = Check(received, s_.settings);
  if (outcome != RecordOutcome::kAccepted) return Report(received, corrections, outcome);
  try {
    // Events report `received`: the trimming below is interpretation, not what the air carried.
    std::string record(received);
    const std::string address = GetTerminalAddress(record, s_.settings);
    const std::string alias = s_.aliases.Alias(address);
    ApplyLengthCode(record);
    TrimTrailer(record);

    if (s_.traffic.Duplicate(address, record)) {
      Report(received, corrections, RecordOutcome::kDuplicate);
      ShowReceived("Received duplicate traffic for terminal ", address, alias);
      return;
    }
    Report(received, corrections, RecordOutcome::kAccepted);
    if (s_.capture.On()) s_.capture.Write(address, alias, record);
    if (s_.traffic.Add(address, alias, record) == 1) {
      s_.view.AppendTerminalRow(address, s_.aliases.Alias(address));
    }
    ShowReceived("Received traffic for terminal ", address, alias);

    if (!s_.traffic.Continuation()) {
      if (events_ != nullptr) events_->OnMessage(address, alias, record, false);
      s_.rules.ProcessRules(record, std::nullopt);
      s_.mdt.UpdateMDTWindow(address, alias, record);
      return;
    }
    // The message grew: its Messages row, if it still has one, and the rules see all of it.
    int32_t tag = s_.traffic.GetMessagesTag(address);
    if (tag > 0 && !s_.view.HasMessagesRow(tag)) tag = 0;
    const std::string message = s_.traffic.RetrieveLast(address);
    if (events_ != nullptr) events_->OnMessage(address, alias, message, true);
    if (tag == 0) {
      s_.rules.ProcessRules(message, std::nullopt);
    } else {
      s_.messages.Update(tag, message);
      s_.rules.ProcessRules(message, tag);
      const std::optional<int32_t> selected = s_.view.SelectedMessagesRow();
      if (selected && *selected == tag &&
          (s_.view.MDTShowsMessage() || s_.view.MessageDetailsOpen())) {
        s_.view.DisplayMessageDetails(false, *selected);
        if (s_.view.MessageDetailsVisible()) s_.view.DisplayMessageDetails(true, *selected);
      }
    }
    s_.mdt.UpdateMDTWindow(address, alias, record);
  } catch (const std::exception& failure) {
    s_.errors.ReportError("ProcessSieve", 0, failure.what());
  }
}

void TrafficProcessor::ShowReceived(const char* what, const std::string& address,
                                    const std::string& alias) {
  s_.view.SetStatusText(what + address + (alias.empty() ? "" : " (" + alias + ")"));
  s_.view.RestartAcquisitionTimer();
}

}  // namespace kestrel
