#include "app/tavotest/ui_script.h"

#include <gtest/gtest.h>

#include "app/core/qstring_printer.h"

namespace tavo {
namespace {

UiCommand parsed(const QString& line) {
  UiCommand c;
  QString error;
  EXPECT_TRUE(parseUiLine(line, &c, &error)) << line.toStdString() << ": " << error.toStdString();
  return c;
}

QString failure(const QString& line) {
  UiCommand c;
  QString error;
  EXPECT_FALSE(parseUiLine(line, &c, &error)) << line.toStdString();
  return error;
}

TEST(UiScriptLine, ObjectsAndTexts) {
  UiCommand c = parsed("set Text5   PD:0/4/0/esc$e22  ");
  EXPECT_EQ(c.verb, "set");
  EXPECT_EQ(c.object, "Text5");
  EXPECT_EQ(c.text, "PD:0/4/0/esc$e22");  // the rest of the line, blanks around it dropped
  c = parsed("set Text5 \"  two blanks kept  \"");
  EXPECT_EQ(c.text, "  two blanks kept  ");
  c = parsed("set Text5 a\\tb\\x1B\\\\c");
  EXPECT_EQ(c.text, "a\tb\x1B\\c");
  c = parsed("SET \"Auto Poll\" x");
  EXPECT_EQ(c.verb, "set");
  EXPECT_EQ(c.object, "Auto Poll");
  c = parsed("press Command1(21)");
  EXPECT_EQ(c.object, "Command1(21)");
  c = parsed("select Combo1 \" 19200bps\"");
  EXPECT_EQ(c.text, " 19200bps");
  c = parsed("doubleclick File1 \"my script.dat\"");
  EXPECT_EQ(c.verb, "doubleclick");
  EXPECT_EQ(c.object, "File1");
  EXPECT_EQ(c.text, "my script.dat");
  c = parsed("check \"Fast mode\" on");
  EXPECT_EQ(c.text, "on");
  c = parsed("answer 48213");
  EXPECT_EQ(c.text, "48213");
  c = parsed("set Text11 ");
  EXPECT_EQ(c.text, "");  // emptying a box is allowed
  c = parsed("menu \"Comm Setting\"");
  EXPECT_EQ(c.object, "Comm Setting");
}

TEST(UiScriptLine, WhenKeepsItsCommandForLater) {
  UiCommand c = parsed("when WR press cmdTeishi");
  EXPECT_EQ(c.verb, "when");
  EXPECT_EQ(c.object, "WR");
  EXPECT_EQ(c.text, "press cmdTeishi");
  c = parsed("when \"   AWR90\" set Text5 \"a b\"");
  EXPECT_EQ(c.object, "   AWR90");
  EXPECT_EQ(c.text, "set Text5 \"a b\"");
  EXPECT_FALSE(failure("when WR").isEmpty());
  EXPECT_FALSE(failure("when WR jump x").isEmpty());
  EXPECT_FALSE(failure("when WR when VS press x").isEmpty());
  EXPECT_FALSE(failure("when WR quit").isEmpty());
  c = parsed("after 2000 press Command5");
  EXPECT_EQ(c.verb, "after");
  EXPECT_EQ(c.object, "2000");
  EXPECT_EQ(c.text, "press Command5");
  EXPECT_TRUE(failure("after soon press Command5").contains("milliseconds"));
  EXPECT_TRUE(failure("after -1 press Command5").contains("milliseconds"));
  EXPECT_TRUE(failure("after 10 after 10 press x").contains("cannot run"));
  EXPECT_TRUE(failure("after 10").contains("command"));
}

TEST(UiScriptLine, SkippedLines) {
  EXPECT_TRUE(parsed("").verb.isEmpty());
  EXPECT_TRUE(parsed("   # a comment").verb.isEmpty());
  EXPECT_EQ(parsed("quit").verb, "quit");
}

TEST(UiScriptLine, BadLinesSayWhy) {
  EXPECT_TRUE(failure("push Send").contains("unknown command"));
  EXPECT_TRUE(failure("press").contains("object"));
  EXPECT_TRUE(failure("press Auto Poll").contains("quote"));
  EXPECT_TRUE(failure("set \"Text5 abc").contains("closing quote"));
  EXPECT_TRUE(failure("set Text5 \"abc\" more").contains("after the closing quote"));
  EXPECT_TRUE(failure("set Text5 \\q").contains("escape"));
  EXPECT_TRUE(failure("set Text5 \\x4").contains("escape"));
  EXPECT_TRUE(failure("check Check10").contains("value"));
  EXPECT_TRUE(failure("doubleclick File1").contains("value"));
  EXPECT_TRUE(failure("wait").contains("value"));
  EXPECT_TRUE(failure("quit now").contains("no argument"));
}

}  // namespace
}  // namespace tavo
