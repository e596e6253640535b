#include "app/rules/rules_class.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/wildcard_reference.h"

namespace kestrel {
namespace {

// Builds "prefix" + number; GCC 12 warns falsely about string literal + std::string.
std::string Named(std::string prefix, int number) { return prefix += std::to_string(number); }

class RulesClassTest : public ::testing::Test {
 protected:
  // Adds an active rule with the two patterns.
  void AddRule(const std::string& name, const std::string& sent_to, const std::string& body,
               bool no_further = false, bool active = true) {
    ASSERT_TRUE(rules_.Add(name));
    Rule& rule = *rules_.Current();
    rule.SentTo = sent_to;
    rule.MessageBody = body;
    rule.NoFurther = no_further;
    rule.Active = active;
  }

  // The names a whole pass answers, in order.
  std::vector<std::string> Pass(std::string_view terminal, std::string_view alias,
                                std::string_view text) {
    std::vector<std::string> names;
    rules_.InitMatch();
    while (rules_.Match(terminal, alias, text)) {
      names.push_back(rules_.Current()->Name);
      if (names.size() > 100) break;
    }
    return names;
  }

  Settings settings_;
  RecordingMessageBoxes boxes_;
  ErrorReporter errors_{settings_, boxes_};
  RulesClass rules_{errors_};
};

using Names = std::vector<std::string>;

TEST_F(RulesClassTest, NamesAreUniqueWithoutCaseAndFoundFromTheStart) {
  ASSERT_TRUE(rules_.Add("Dispatch"));
  ASSERT_TRUE(rules_.Add("MDT Messages"));
  EXPECT_EQ(rules_.Index(), 2);
  EXPECT_FALSE(rules_.Add("dispatch"));
  EXPECT_FALSE(rules_.Add("mdt MESSAGES"));
  EXPECT_EQ(rules_.Count(), 2);
  EXPECT_EQ(rules_.Index(), 2);
  EXPECT_TRUE(rules_.Contains("DISPATCH"));
  EXPECT_FALSE(rules_.Contains("Dispatch "));

  // A rename through the field bypasses the check; lookups must see the new name at once.
  rules_.At(2)->Name = "Fire";
  EXPECT_FALSE(rules_.Contains("MDT Messages"));
  EXPECT_FALSE(rules_.Add("FIRE"));
  ASSERT_TRUE(rules_.Add("MDT Messages"));
  rules_.At(3)->Name = "fire";  // two rules may now share a name: the first one wins
  EXPECT_TRUE(rules_.Find("FIRE"));
  EXPECT_EQ(rules_.Index(), 2);
  EXPECT_FALSE(rules_.Find("nobody"));
  EXPECT_EQ(rules_.Index(), 2);
  rules_.Delete("fire");
  EXPECT_EQ(rules_.Index(), -1);
  EXPECT_TRUE(rules_.Contains("Fire"));  // the second one is still there
  EXPECT_EQ(rules_.At(2)->Name, "fire");
}

TEST_F(RulesClassTest, DeleteMovesLaterRulesDownAndLeavesIndexAlone) {
  for (int i = 1; i <= 4; ++i) AddRule(Named("R", i), "", Named("*", i));
  rules_.SetIndex(3);
  rules_.Delete("nobody");
  EXPECT_EQ(rules_.Count(), 4);
  EXPECT_EQ(rules_.Index(), 3);
  rules_.Delete("r1");
  EXPECT_EQ(rules_.Count(), 3);
  EXPECT_EQ(rules_.Index(), 3);  // not adjusted: now the rule that followed
  EXPECT_EQ(rules_.Current()->Name, "R4");
  EXPECT_EQ(rules_.At(1)->MessageBody, "*2");
  rules_.Delete("R4");
  EXPECT_EQ(rules_.Index(), -1);
  EXPECT_EQ(rules_.Current(), nullptr);
  EXPECT_TRUE(rules_.Add("R1"));  // its name is free again
}

TEST_F(RulesClassTest, GrowingPastTwentyKeepsEveryRule) {
  for (int i = 1; i <= 21; ++i) {
    AddRule(Named("Rule ", i), Named("", 1000 + i), Named("*", i));
    rules_.Current()->LogMessageOccurence = int16_t(i);
  }
  ASSERT_EQ(rules_.Count(), 21);
  EXPECT_EQ(rules_.Index(), 21);
  for (int i = 1; i <= 21; ++i) {
    const Rule& rule = *rules_.At(i);
    EXPECT_EQ(rule.Name, Named("Rule ", i));
    EXPECT_EQ(rule.SentTo, Named("", 1000 + i));
    EXPECT_EQ(rule.LogMessageOccurence, i);
  }
}

TEST_F(RulesClassTest, PositionsOutsideTheSetAreRefused) {
  EXPECT_EQ(rules_.Current(), nullptr);
  AddRule("A", "", "");
  AddRule("B", "", "x");
  EXPECT_EQ(rules_.At(0), nullptr);
  EXPECT_EQ(rules_.At(3), nullptr);
  EXPECT_FALSE(rules_.Swap(0, 1));
  EXPECT_FALSE(rules_.Swap(1, 3));
  EXPECT_FALSE(rules_.Copy(3, "C"));
  EXPECT_EQ(rules_.Count(), 2);
  rules_.Clear();
  EXPECT_EQ(rules_.Count(), 0);
  EXPECT_EQ(rules_.Index(), 2);  // kept, but no longer a rule
  EXPECT_EQ(rules_.Current(), nullptr);
  EXPECT_TRUE(rules_.Add("A"));
  EXPECT_EQ(rules_.Index(), 1);
}

TEST_F(RulesClassTest, CopyTakesEveryFieldButTheNameAndSwapExchanges) {
  AddRule("Original", "12##", "*fire*", true);
  Rule& original = *rules_.Current();
  original.EMailMessageSubject = "%T";
  original.AlertBackgroundColor = -1;
  original.EMailMessageSplitChars = 500;
  AddRule("Other", "", "");
  EXPECT_FALSE(rules_.Copy(1, "other"));
  EXPECT_EQ(rules_.Index(), 2);
  ASSERT_TRUE(rules_.Copy(1, "Copy"));
  EXPECT_EQ(rules_.Index(), 3);
  Rule expected = *rules_.At(1);
  expected.Name = "Copy";
  EXPECT_EQ(*rules_.At(3), expected);

  EXPECT_TRUE(rules_.Swap(1, 2));
  EXPECT_EQ(rules_.At(1)->Name, "Other");
  EXPECT_EQ(rules_.At(2)->SentTo, "12##");
  EXPECT_EQ(rules_.Index(), 3);
  EXPECT_FALSE(rules_.Add("ORIGINAL"));
}

TEST_F(RulesClassTest, DefaultRules) {
  rules_.AddDefaultRules();
  ASSERT_EQ(rules_.Count(), 2);
  Rule messages;
  messages.Name = "MDT Messages";
  messages.MessageBody = "*message*";
  messages.LogMessages = true;
  messages.LogMessageType = "Message";
  messages.LogMessageTo = 1;
  messages.LogMessageVerb = "with";
  messages.LogMessageOccurence = 1;
  messages.LogMessageCharacter = "character";
  messages.LogMessageColor = -1;
  messages.Active = true;
  EXPECT_EQ(*rules_.At(1), messages);
  Rule dispatch = messages;
  dispatch.Name = "Dispatch";
  dispatch.MessageBody = "*dispatch*";
  dispatch.LogMessageType = "Dispatch";
  dispatch.LogMessageTo = 2;
  dispatch.LogMessageColor = 16711680;
  EXPECT_EQ(*rules_.At(2), dispatch);
  EXPECT_FALSE(rules_.Changed());

  EXPECT_EQ(Pass("0101", "", "New MESSAGE from Dispatch"), (Names{"MDT Messages", "Dispatch"}));
  EXPECT_EQ(Pass("0101", "", "status 4"), Names{});
}

struct MatchRow {
  const char* sent_to;
  const char* body;
  const char* terminal;
  const char* alias;
  const char* text;
  bool matches;
};

class RuleMatchTest : public RulesClassTest, public ::testing::WithParamInterface<MatchRow> {};

TEST_P(RuleMatchTest, OneRule) {
  const MatchRow& row = GetParam();
  AddRule("R", row.sent_to, row.body);
  EXPECT_EQ(Pass(row.terminal, row.alias, row.text).size(), row.matches ? 1u : 0u);
  EXPECT_TRUE(boxes_.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, RuleMatchTest,
    ::testing::Values(MatchRow{"", "", "1234", "", "anything", true},
                      MatchRow{"*", "", "1234", "", "", true},
                      MatchRow{"12##", "", "1234", "", "", true},
                      MatchRow{"12##", "", "12A4", "", "", false},
                      MatchRow{"unit*", "", "0A1B", "Unit 7", "", true},
                      MatchRow{"unit*", "", "0A1B", "", "", false},  // an empty alias is empty
                      MatchRow{"", "*FIRE*", "1234", "", "structure fire on Main", true},
                      MatchRow{"", "message", "1234", "", "MeSsAgE", true},
                      MatchRow{"", "message", "1234", "", "messages", false},
                      MatchRow{"", "message", "1234", "", "a message", false},
                      // Both patterns: the text and one of terminal or alias.
                      MatchRow{"Unit*", "*fire*", "0A1B", "Unit 7", "fire", true},
                      MatchRow{"0A1B", "*fire*", "0A1B", "Unit 7", "fire", true},
                      MatchRow{"Unit*", "*fire*", "0A1B", "Car 7", "fire", false},
                      MatchRow{"Unit*", "*fire*", "0A1B", "Unit 7", "smoke", false}));

TEST_F(RulesClassTest, PassStopsAfterNoFurtherAndSkipsInactiveRules) {
  AddRule("A", "", "");
  AddRule("off 1", "", "", false, false);
  AddRule("B", "", "*", true);
  AddRule("off 2", "", "", true, false);
  AddRule("C", "", "");
  rules_.InitMatch();
  ASSERT_TRUE(rules_.Match("1", "", "x"));
  EXPECT_EQ(rules_.Index(), 1);
  ASSERT_TRUE(rules_.Match("1", "", "x"));
  EXPECT_EQ(rules_.Index(), 3);
  EXPECT_FALSE(rules_.Match("1", "", "x"));
  EXPECT_FALSE(rules_.Match("1", "", "x"));
  EXPECT_EQ(rules_.Index(), 3);

  // An inactive NoFurther rule ends nothing.
  rules_.At(3)->Active = false;
  EXPECT_EQ(Pass("1", "", "x"), (Names{"A", "C"}));
}

TEST_F(RulesClassTest, MalformedPatternIsReportedOnceAndEndsThePass) {
  boxes_.answer = MessageBoxes::Answer::kNo;  // keep reports coming
  AddRule("A", "", "*");
  AddRule("off", "[x", "[y", false, false);  // never looked at
  AddRule("Broken", "", "[abc");
  AddRule("C", "", "");
  EXPECT_EQ(Pass("1234", "Unit 7", "abc"), Names{"A"});
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text,
            "An error occured in Match (Patterns = '' and '[abc', Ctr = 3).\r\n\r\n"
            "Error number 93: Invalid pattern string\r\n\r\n"
            "Suppress further errors if possible?");
  EXPECT_EQ(boxes_.shown[0].title, "Kestrel Error");

  // A broken SentTo counts too, even where the body alone would have ruled the message out.
  rules_.At(3)->SentTo = "12[";
  rules_.At(3)->MessageBody = "nothing like it";
  EXPECT_EQ(Pass("1234", "", "abc"), Names{"A"});
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_NE(boxes_.shown[1].text.find("(Patterns = '12[' and 'nothing like it', Ctr = 3)"),
            std::string::npos);

  // Mended, the pass reaches the later rules again.
  rules_.At(3)->SentTo = "12[3]4";
  EXPECT_EQ(Pass("1234", "", "nothing like it"), (Names{"A", "Broken", "C"}));
  EXPECT_EQ(boxes_.shown.size(), 2u);
}

// The pass keeps compiled patterns and prepared texts between calls; edits, moves and new texts
// must never be answered from them.
TEST_F(RulesClassTest, PassesSeeEditsAndNewTexts) {
  AddRule("Fire", "", "*fire*");
  AddRule("Smoke", "", "*smoke*");
  EXPECT_EQ(Pass("1", "", "fire!"), Names{"Fire"});
  EXPECT_EQ(Pass("1", "", "smoke"), Names{"Smoke"});  // same length, other text
  rules_.At(1)->MessageBody = "*smo?e*";
  EXPECT_EQ(Pass("1", "", "smoke"), (Names{"Fire", "Smoke"}));
  rules_.Swap(1, 2);
  rules_.At(1)->NoFurther = true;
  EXPECT_EQ(Pass("1", "", "smoke"), Names{"Smoke"});
  rules_.Delete("Smoke");
  EXPECT_EQ(Pass("1", "", "smoke"), Names{"Fire"});

  std::string text(20000, 'x');
  text.replace(19000, 12, "ENGINE 42 GO");
  rules_.At(1)->MessageBody = "*engine ##*go*";
  EXPECT_EQ(Pass("1", "", text), Names{"Fire"});
  text[19008] = 'x';
  EXPECT_EQ(Pass("1", "", text), Names{});
}

struct PatternRow {
  const char* value;
  const char* pattern;
  int expected;  // 1 matches, 0 does not, -1 malformed
};

class PatternTest : public ::testing::TestWithParam<PatternRow> {};

TEST_P(PatternTest, WholeValueAgainstWholePattern) {
  const PatternRow& row = GetParam();
  bool malformed = false;
  const bool matches = MatchesPattern(row.value, row.pattern, malformed);
  EXPECT_EQ(malformed ? -1 : int(matches), row.expected);
  // The reference states the rules independently; both must agree on every row.
  EXPECT_EQ(kestrel_test::ReferenceMatch(row.value, row.pattern), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Elements, PatternTest,
    ::testing::Values(
        PatternRow{"", "", 1}, PatternRow{"", "*", 1}, PatternRow{"", "?", 0},
        PatternRow{"a", "", 0}, PatternRow{"abc", "a?c", 1}, PatternRow{"ac", "a?c", 0},
        PatternRow{"a7", "a#", 1}, PatternRow{"ax", "a#", 0}, PatternRow{"Main St", "*ST", 1},
        PatternRow{"D", "[A-F]", 1}, PatternRow{"d", "[A-F]", 1}, PatternRow{"G", "[a-f]", 0},
        PatternRow{"5", "[!0-9]", 0}, PatternRow{"x", "[!0-9]", 1}, PatternRow{"X", "[!x]", 0},
        PatternRow{"*", "[*]", 1}, PatternRow{"a", "[*]", 0}, PatternRow{"?", "[?]", 1},
        PatternRow{"#", "[#]", 1}, PatternRow{"[", "[[]", 1}, PatternRow{"]", "]", 1},
        PatternRow{"a]", "[a]]", 1},
        // A "-" first or last is itself.
        PatternRow{"-", "[-a]", 1}, PatternRow{"-", "[a-]", 1}, PatternRow{"-", "[!-]", 0},
        PatternRow{"b", "[a-]", 0},
        // A reversed range stands for nothing, the rest of the list still counts.
        PatternRow{"M", "[Z-A]", 0}, PatternRow{"M", "[Z-AM]", 1}, PatternRow{"M", "[!Z-A]", 1},
        // Empty lists.
        PatternRow{"a", "[]", 0}, PatternRow{"", "[]", 0}, PatternRow{"a", "[!]", 1},
        PatternRow{"", "[!]", 0},
        // Bytes beyond ASCII compare exactly.
        PatternRow{"\xE9", "\xC9", 0}, PatternRow{"\xE9", "[\xE0-\xEF]", 1},
        PatternRow{"\xFF", "?", 1},
        // Stars.
        PatternRow{"abcabd", "*ab?", 1}, PatternRow{"abcabd", "a*c*d", 1},
        PatternRow{"aXbXc", "*x*x*", 1}, PatternRow{"aXbc", "*x*x*", 0},
        PatternRow{"aaa", "a*a*a", 1}, PatternRow{"aa", "a*a*a", 0}, PatternRow{"ab", "**b", 1},
        PatternRow{"ba", "*b", 0},
        // Malformed, wherever the "[" is.
        PatternRow{"abc", "[abc", -1}, PatternRow{"zzz", "a[", -1}, PatternRow{"", "*[!", -1},
        PatternRow{"x]", "x]", 1}));

// Random patterns against values mostly built from them, so that runs land right at the edges
// of the room they have: the matcher's placement of runs between stars, its lists and its
// long-text search must agree with the reference everywhere.
TEST(PatternAgreement, RandomPatternsMatchTheReference) {
  std::mt19937 random(7);
  const std::string pieces[] = {"a",    "b",     "A",  "*",  "*",    "?", "#",  "1",   "[ab]",
                                "[!a]", "[a-c]", "ab", "ba", "[b-]", "-", "[]", "?ab", "b?a"};
  const std::string letters = "aAbBc1-";
  auto letter = [&] { return letters[random() % letters.size()]; };
  int matched = 0;
  for (int round = 0; round < 6000; ++round) {
    // Every fourth value is long, so that the indexed search runs too; its patterns are always
    // runs between stars.
    const bool long_value = round % 4 == 0;
    std::string pattern;
    if (long_value) {
      if (random() % 2) pattern += '*';
      for (int run = 2 + int(random() % 3); run > 0; --run) {
        for (int k = 1 + int(random() % 3); k > 0; --k) {
          const std::string& piece = pieces[random() % std::size(pieces)];
          if (piece != "*") pattern += piece;
        }
        if (run > 1) pattern += '*';
      }
      if (random() % 2) pattern += '*';
    } else {
      for (int k = int(random() % 9); k > 0; --k) pattern += pieces[random() % std::size(pieces)];
    }
    std::string value;
    if (random() % 4 == 0) {
      for (size_t k = long_value ? 600 + random() % 200 : random() % 12; k > 0; --k)
        value += letter();
    } else {
      for (size_t i = 0; i < pattern.size(); ++i) {
        const char p = pattern[i];
        if (p == '*') {
          // Long fillers are mostly "c", which few runs take, so the runs land where they were
          // put and not at some earlier chance fit.
          const size_t length = random() % 3 == 0 ? 0 : random() % (long_value ? 400 : 3);
          for (size_t k = 0; k < length; ++k) value += long_value && random() % 8 ? 'c' : letter();
        } else if (p == '[') {
          const size_t close = pattern.find(']', i);
          if (close > i + 1) value += pattern[i + 1 + random() % (close - i - 1)];
          i = close;
        } else if (p == '?' || p == '#') {
          value += p == '#' ? char('0' + random() % 10) : letter();
        } else {
          value += random() % 2 ? p : char(p ^ 0x20);
        }
      }
      if (!value.empty() && random() % 3 == 0) value[random() % value.size()] = letter();
    }
    bool malformed = true;
    const bool matches = MatchesPattern(value, pattern, malformed);
    ASSERT_FALSE(malformed);
    ASSERT_EQ(int(matches), kestrel_test::ReferenceMatch(value, pattern))
        << "value '" << value << "' pattern '" << pattern << "'";
    matched += matches;
  }
  EXPECT_GT(matched, 2000);  // the rounds are not all trivially false
}

}  // namespace
}  // namespace kestrel
