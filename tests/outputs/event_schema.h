#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel_test {

// The event fields as docs/events.md lists them. Each check answers "" when the line is a valid
// event, else the first problem found.
enum class Kind {
  kString,
  kInteger,
  kBoolean,
  kArray,
  kObject,
  kStringOrNull,
  kIntegerOrNull,
  kObjectOrNull
};

struct FieldRule {
  const char* name;
  Kind kind;
};

inline bool Fits(const QJsonValue& value, Kind kind) {
  const bool integer = value.isDouble() && value.toDouble() == double(qint64(value.toDouble()));
  switch (kind) {
    case Kind::kString:
      return value.isString();
    case Kind::kInteger:
      return integer;
    case Kind::kBoolean:
      return value.isBool();
    case Kind::kArray:
      return value.isArray();
    case Kind::kObject:
      return value.isObject();
    case Kind::kStringOrNull:
      return value.isNull() || value.isString();
    case Kind::kIntegerOrNull:
      return value.isNull() || integer;
    case Kind::kObjectOrNull:
      return value.isNull() || value.isObject();
  }
  return false;
}

inline std::string CheckFields(const QJsonObject& object, const std::vector<FieldRule>& rules,
                               const char* where) {
  for (const FieldRule& rule : rules) {
    if (!object.contains(rule.name)) return std::string(where) + ": no \"" + rule.name + "\"";
    if (!Fits(object.value(rule.name), rule.kind))
      return std::string(where) + ": \"" + rule.name + "\" has the wrong type";
  }
  return "";
}

// Checks one line (without its "\n") against the documented fields.
inline std::string CheckEvent(std::string_view line) {
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(line.data(), qsizetype(line.size())), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
    return "not a JSON object: " + error.errorString().toStdString();
  const QJsonObject o = document.object();
  if (std::string problem = CheckFields(o,
                                        {{"type", Kind::kString},
                                         {"seq", Kind::kInteger},
                                         {"time", Kind::kString},
                                         {"station", Kind::kString}},
                                        "event");
      !problem.empty())
    return problem;
  static const QRegularExpression kTime("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3}Z$");
  if (!kTime.match(o["time"].toString()).hasMatch()) return "time not ISO 8601 UTC with ms";
  if (o["seq"].toInteger() < 1) return "seq below 1";
  const QString type = o["type"].toString();
  if (type == "record") {
    std::string problem = CheckFields(o,
                                      {{"source", Kind::kString},
                                       {"bytes", Kind::kInteger},
                                       {"corrections", Kind::kIntegerOrNull},
                                       {"hex", Kind::kString},
                                       {"data", Kind::kString},
                                       {"accepted", Kind::kBoolean},
                                       {"reason", Kind::kStringOrNull}},
                                      "record");
    if (!problem.empty()) return problem;
    if (o["hex"].toString().size() != 2 * o["bytes"].toInteger()) return "hex length != 2*bytes";
    if (o["data"].toString().size() != o["bytes"].toInteger()) return "data length != bytes";
    if (o["accepted"].toBool() != o["reason"].isNull()) return "accepted and reason disagree";
    return "";
  }
  if (type == "message") {
    return CheckFields(o,
                       {{"number", Kind::kInteger},
                        {"terminal", Kind::kString},
                        {"alias", Kind::kString},
                        {"continuation", Kind::kBoolean},
                        {"text", Kind::kString}},
                       "message");
  }
  if (type == "rule") {
    std::string problem = CheckFields(o,
                                      {{"rule", Kind::kString},
                                       {"message", Kind::kInteger},
                                       {"terminal", Kind::kString},
                                       {"continuation", Kind::kBoolean},
                                       {"actions", Kind::kArray},
                                       {"row", Kind::kObjectOrNull}},
                                      "rule");
    if (!problem.empty()) return problem;
    for (const QJsonValue action : o["actions"].toArray()) {
      static const QStringList kActions = {"alert",   "messages", "email", "log file",
                                           "printer", "sound",    "beep"};
      if (!kActions.contains(action.toString())) return "unknown action";
    }
    if (o["row"].isObject()) {
      return CheckFields(o["row"].toObject(),
                         {{"number", Kind::kInteger},
                          {"type", Kind::kString},
                          {"to", Kind::kString},
                          {"text", Kind::kString},
                          {"received", Kind::kString}},
                         "row");
    }
    return "";
  }
  if (type == "status") {
    std::string problem = CheckFields(o, {{"state", Kind::kString}}, "status");
    if (!problem.empty()) return problem;
    const QString state = o["state"].toString();
    if (state == "health") {
      return CheckFields(o,
                         {{"period_s", Kind::kInteger},
                          {"records", Kind::kInteger},
                          {"corrections", Kind::kInteger},
                          {"quality", Kind::kIntegerOrNull}},
                         "health");
    }
    static const QStringList kStates = {"started", "stopped", "error", "warning"};
    if (!kStates.contains(state)) return "unknown status state";
    if (state != "started" && !o["text"].isString()) return "status without text";
    return "";
  }
  return "unknown type";
}

// The lines of a JSON Lines text, without their "\n"; a last line without one is kept too.
inline std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace kestrel_test
