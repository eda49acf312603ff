// Per-thread error objects.
#include "platform/com/errorinfo.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/com/unknown.h"

namespace win {
namespace {

TEST(ErrorInfoTest, ReportedErrorIsTakenOnceWithItsFields) {
  const IID iid = GuidFromString("{7C2A9E0D-4F3B-4D8A-9E61-2B7D45C0A311}");
  EXPECT_EQ(ReportError(MakeItfHResult(207), u"Cobrix.Port.1", u"オープンに失敗", iid),
            MakeHResult(0x800400CF));
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Receive()), S_OK);
  Bstr source, description, help;
  info->GetSource(source.Receive());
  info->GetDescription(description.Receive());
  info->GetHelpFile(help.Receive());
  GUID g;
  info->GetGUID(&g);
  EXPECT_EQ(source.View(), u"Cobrix.Port.1");
  EXPECT_EQ(description.View(), u"オープンに失敗");
  EXPECT_EQ(help.View(), u"");
  EXPECT_TRUE(IsEqualGUID(g, iid));
  ComPtr<IErrorInfo> again;
  EXPECT_EQ(GetErrorInfo(0, again.Receive()), S_FALSE);
  EXPECT_FALSE(again);
}

TEST(ErrorInfoTest, EachThreadHasItsOwnSlot) {
  ReportError(E_FAIL, u"main", u"main thread");
  bool otherSawNone = false;
  bool otherKeptOwn = false;
  std::thread other([&] {
    ComPtr<IErrorInfo> info;
    otherSawNone = GetErrorInfo(0, info.Receive()) == S_FALSE;
    ReportError(E_FAIL, u"other", u"other thread");
    otherKeptOwn = GetErrorInfo(0, info.Receive()) == S_OK;
    ReportError(E_FAIL, u"other", u"left at exit");  // released when the thread ends
  });
  other.join();
  EXPECT_TRUE(otherSawNone);
  EXPECT_TRUE(otherKeptOwn);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Receive()), S_OK);
  Bstr source;
  info->GetSource(source.Receive());
  EXPECT_EQ(source.View(), u"main");
}

TEST(ErrorInfoTest, SetErrorInfoWithNullClearsAndCreatedObjectsAnswerBothInterfaces) {
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.Receive()), S_OK);
  std::u16string text = u"described";
  create->SetDescription(text.data());
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(create.As(IID_IErrorInfo, &info), S_OK);
  EXPECT_EQ(SetErrorInfo(0, info.get()), S_OK);
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
  ComPtr<IErrorInfo> none;
  EXPECT_EQ(GetErrorInfo(0, none.Receive()), S_FALSE);
  EXPECT_EQ(SetErrorInfo(1, info.get()), E_INVALIDARG);
}

}  // namespace
}  // namespace win
