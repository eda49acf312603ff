// Value text: scalars, escaped strings, byte arrays, by-reference values, failures.
#include "platform/host/value_format.h"

#include <gtest/gtest.h>

namespace winhost {
namespace {

using namespace win;

TEST(HostValues, ScalarsPrintInTheirShortestForm) {
  EXPECT_EQ(format_value(Variant::I4(-42)), "-42");
  EXPECT_EQ(format_value(Variant::I2(8)), "8");
  EXPECT_EQ(format_value(Variant::UI1(255)), "255");
  EXPECT_EQ(format_value(Variant::Bool(true)), "true");
  EXPECT_EQ(format_value(Variant::Bool(false)), "false");
  EXPECT_EQ(format_value(Variant::R4(1.0f)), "1");
  EXPECT_EQ(format_value(Variant::R4(1.5f)), "1.5");
  EXPECT_EQ(format_value(Variant::R8(0.1)), "0.1");
  EXPECT_EQ(format_value(Variant::Dispatch(nullptr)), "nothing");
  LONG target = 7;
  EXPECT_EQ(format_value(Variant::ByRef(VT_I4, &target)), "7");
}

TEST(HostValues, StringsAreQuotedWithEscapes) {
  EXPECT_EQ(format_value(Variant::Str(u"a\"b\\c")), R"("a\"b\\c")");
  EXPECT_EQ(format_value(Variant::Str(std::u16string(u"\r\n\0\x1f", 4))), R"("\x0D\x0A\x00\x1F")");
  EXPECT_EQ(format_value(Variant::Str(u"日本\U0001F600")), "\"日本\xF0\x9F\x98\x80\"");
  EXPECT_EQ(format_value(Variant::Str(u"x\xD800y")), R"("x\uD800y")");
  EXPECT_EQ(format_value(Variant::Str(u"")), "\"\"");
  EXPECT_EQ(format_value(Variant::BstrCopy(nullptr)), "null");
}

TEST(HostValues, ByteArraysInUpperCaseHex) {
  EXPECT_EQ(format_value(Variant::ArrayAttach(VT_UI1, SafeArrayFromBytes("\x31\xC3\x0a", 3))),
            "bytes:31C30A");
  EXPECT_EQ(format_value(Variant::ArrayAttach(VT_UI1, SafeArrayFromBytes("", 0))), "bytes:");
  VARIANT none;
  none.vt = VT_ARRAY | VT_UI1;
  none.parray = nullptr;
  EXPECT_EQ(format_value(none), "bytes:null");
  SAFEARRAY* sa = nullptr;
  EXPECT_EQ(format_value(Variant::ByRef(VT_ARRAY | VT_UI1, &sa)), "bytes:null");
}

TEST(HostValues, ErrorsEmptinessReferencesAndUnknownTypes) {
  EXPECT_EQ(format_value(Variant()), "empty");
  EXPECT_EQ(format_value(Variant::Null()), "null");
  EXPECT_EQ(format_value(Variant::Missing()), "error 0x80020004");
  Variant inner = Variant::Str(u"in");
  EXPECT_EQ(format_value(Variant::ByRef(VT_VARIANT, &inner)), "\"in\"");
  EXPECT_EQ(format_value(Variant::ByRef(VT_I4, nullptr)), "null");
  BSTR none = nullptr;
  EXPECT_EQ(format_value(Variant::ByRef(VT_BSTR, &none)), "null");
  VARIANT odd{};
  odd.vt = VT_VOID;
  EXPECT_EQ(format_value(odd), "<vt 24>");
  EXPECT_EQ(format_string(u"\t"), R"("\x09")");
}

TEST(HostValues, ArgumentsPrintInDeclaredOrder) {
  VARIANTARG reversed[3];
  reversed[0] = Variant::I4(3);  // the last argument
  reversed[1] = Variant::Bool(false);
  reversed[2] = Variant::R8(1.5);  // the first
  DISPPARAMS params{reversed, nullptr, 3, 0};
  EXPECT_EQ(format_arguments(&params), "1.5, false, 3");
  params.cArgs = 1;
  params.rgvarg = &reversed[2];
  EXPECT_EQ(format_arguments(&params), "1.5");
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(format_arguments(&none), "");
  EXPECT_EQ(format_arguments(nullptr), "");
}

TEST(HostValues, FailuresCarryEightUpperCaseHexDigits) {
  EXPECT_EQ(format_failure(static_cast<HRESULT>(0x800400C9), u"閉"), "!! 0x800400C9 閉");
  EXPECT_EQ(format_failure(E_INVALIDARG, u""), "!! 0x80070057");
}

}  // namespace
}  // namespace winhost
