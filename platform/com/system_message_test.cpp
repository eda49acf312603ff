#include "platform/com/system_message.h"

#include <gtest/gtest.h>

#include "platform/text/codepage.h"

namespace win {
namespace {

class SystemMessage : public ::testing::Test {
 protected:
  void TearDown() override { SetActiveCodePageForTesting(0); }
};

TEST_F(SystemMessage, AJapaneseSystemAnswersInJapaneseAnotherInEnglish) {
  SetActiveCodePageForTesting(932);
  EXPECT_EQ(SystemMessageText(E_INVALIDARG), u"パラメーターが間違っています。");
  EXPECT_EQ(SystemMessageText(E_FAIL), u"エラーを特定できません");
  SetActiveCodePageForTesting(1252);
  EXPECT_EQ(SystemMessageText(E_INVALIDARG), u"The parameter is incorrect.");
  EXPECT_EQ(SystemMessageText(DISP_E_TYPEMISMATCH), u"Type mismatch.");
  EXPECT_EQ(SystemMessageText(E_OUTOFMEMORY),
            u"Not enough memory resources are available to complete this operation.");
}

TEST_F(SystemMessage, AnUnknownCodeStillReadsAsItsNumber) {
  SetActiveCodePageForTesting(1252);
  EXPECT_EQ(SystemMessageText(MakeHResult(0x800400D9)), u"Error 0x800400D9");
  SetActiveCodePageForTesting(932);
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80041234)), u"エラー 0x80041234");
}

}  // namespace
}  // namespace win
