#pragma once

#include <cstdint>
#include <string>

#include "app/platform/text_window.h"

namespace kestrel {

// One rule: what to match in a message and what to do when it matches. Members carry the names
// of their profile keys; colours are Colour values (-1: the window's own colour).
struct Rule {
  std::string Name;
  std::string SentTo;       // pattern for the destination terminal; empty: any
  std::string MessageBody;  // pattern for the message text; empty: any
  bool Active = false;
  bool Alert = false;
  Colour AlertBackgroundColor = 0;
  Colour AlertForegroundColor = 0;
  bool LogMessages = false;
  std::string LogMessageType;
  int16_t LogMessageTo = 0;         // 1 terminal, 3 terminal and alias, anything else the alias
  std::string LogMessageVerb;       // "with" or "after"
  int16_t LogMessageOccurence = 0;  // -1: LogMessageCharacter is a word
  std::string LogMessageCharacter;  // "character", "linefeed", "space", a character or a word
  Colour LogMessageColor = 0;
  bool EMailMessages = false;
  std::string EMailMessageFromName;
  std::string EMailMessageFromAddress;
  std::string EMailMessageToAddress;
  std::string EMailMessageSubject;  // "%T" stands for the start of the message
  std::string EMailMessageVerb;
  int16_t EMailMessageOccurence = 0;
  std::string EMailMessageCharacter;
  bool EMailMessageCollapseSpaces = false;
  bool EMailMessageHTMLFormatting = false;
  std::string EMailMessageDisabledHours;  // "d:h,d:h,...", 0 = Sunday
  bool EMailMessageSplit = false;
  int16_t EMailMessageSplitChars = 0;
  bool EMailMessageLimit = false;
  int16_t EMailMessageLimitChars = 0;
  bool LogFile = false;
  std::string LogFilename;
  bool LogPrinter = false;
  bool PlaySound = false;
  std::string SoundFilename;
  bool BeepOnMatch = false;
  bool NoFurther = false;

  bool operator==(const Rule&) const = default;
};

}  // namespace kestrel
