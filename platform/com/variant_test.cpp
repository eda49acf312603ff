// BSTR, GUID text, SAFEARRAY and VARIANT: ownership, bounds and the coercions Invoke relies on.
#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace win {
namespace {

TEST(BstrTest, NullAndEmptyAreDistinctAndLengthsAreKept) {
  EXPECT_EQ(SysAllocString(static_cast<const OLECHAR*>(nullptr)), nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(SysStringLen(nullptr), 0u);

  // Embedded NULs count; the text is NUL-terminated after its length.
  const OLECHAR withNul[] = {u'a', 0, u'b'};
  BSTR s = SysAllocStringLen(withNul, 3);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  EXPECT_EQ(s[3], 0);

  // Byte strings keep an odd byte count and stay NUL-terminated.
  BSTR bytes = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(bytes), 3u);
  EXPECT_EQ(SysStringLen(bytes), 1u);
  EXPECT_EQ(reinterpret_cast<const char*>(bytes)[3], 0);

  // Reallocation from the string's own text.
  ASSERT_TRUE(SysReAllocStringLen(&s, s + 2, 1));
  EXPECT_EQ(BstrView(s), u"b");

  Bstr owned(u"xyz");
  Bstr copy = owned;
  EXPECT_NE(copy.get(), owned.get());
  EXPECT_EQ(copy.View(), u"xyz");
  EXPECT_TRUE(Bstr(Bstr()).IsNull());
  SysFreeString(empty);
  SysFreeString(s);
  SysFreeString(bytes);
  SysFreeString(nullptr);
}

TEST(GuidTest, ParsesAndFormatsInBraces) {
  GUID g;
  ASSERT_TRUE(ParseGuid("{7c2a9e0e-4f3b-4d8a-9e61-2b7d45c0a311}", &g));
  EXPECT_EQ(g.Data1, 0x7C2A9E0Eu);
  EXPECT_EQ(g.Data2, 0x4F3B);
  EXPECT_EQ(g.Data4[0], 0x9E);
  EXPECT_EQ(g.Data4[7], 0x11);
  EXPECT_EQ(FormatGuid(g), "{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}");
  GUID bare;
  ASSERT_TRUE(ParseGuid("7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311", &bare));
  EXPECT_TRUE(IsEqualGUID(g, bare));
  EXPECT_FALSE(IsEqualGUID(g, GUID_NULL));
  EXPECT_EQ(FormatGuid(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");

  for (const char* bad :
       {"", "{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311", "7C2A9E0E4F3B4D8A9E612B7D45C0A311",
        "{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A31G}", "(7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311)"})
    EXPECT_FALSE(ParseGuid(bad, &g)) << bad;
}

TEST(SafeArrayTest, VectorHasBoundsDimensionAndZeroedData) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 1, 4);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 1u);
  LONG lo = 0, hi = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lo), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &hi), S_OK);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 4);
  EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lo), DISP_E_BADINDEX);
  VARTYPE vt = 0;
  EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);

  BYTE* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
  EXPECT_EQ(data[0] | data[3], 0);
  data[3] = 9;
  // Locked data cannot be freed from under its user.
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  LONG idx = 4;
  BYTE got = 0;
  EXPECT_EQ(SafeArrayGetElement(psa, &idx, &got), S_OK);
  EXPECT_EQ(got, 9);
  idx = 0;
  EXPECT_EQ(SafeArrayGetElement(psa, &idx, &got), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArrayTest, TwoDimensionalIsReportedAsSuchAndIndexedFirstIndexFastest) {
  SAFEARRAYBOUND b[2] = {{2, 0}, {3, 10}};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, b);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 2u);
  LONG lo = 0, hi = 0;
  SafeArrayGetLBound(psa, 2, &lo);
  SafeArrayGetUBound(psa, 2, &hi);
  EXPECT_EQ(lo, 10);
  EXPECT_EQ(hi, 12);
  LONG at[2] = {1, 11};
  LONG value = 77;
  ASSERT_EQ(SafeArrayPutElement(psa, at, &value), S_OK);
  EXPECT_EQ(static_cast<LONG*>(psa->pvData)[1 + 2 * 1], 77);
  SAFEARRAYBOUND nb{5, 0};
  EXPECT_EQ(SafeArrayRedim(psa, &nb), E_INVALIDARG);
  SafeArrayDestroy(psa);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, b), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
}

TEST(SafeArrayTest, ArrayOfVariantsOwnsItsElements) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(static_cast<VARIANT*>(psa->pvData)[0].vt, VT_EMPTY);
  LONG i = 0;
  Variant text = Variant::Str(u"kept");
  ASSERT_EQ(SafeArrayPutElement(psa, &i, &text), S_OK);
  Variant out;
  ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"kept");
  EXPECT_NE(out.bstrVal, text.bstrVal);
  // Destroying frees the copy held inside (checked by the leak sanitizer).
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArrayTest, CopyIsDeepAndRedimKeepsContents) {
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG i = 1;
  Bstr text(u"hello");
  ASSERT_EQ(SafeArrayPutElement(strings, &i, text.get()), S_OK);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(strings, &copy), S_OK);
  BSTR a = static_cast<BSTR*>(strings->pvData)[1];
  BSTR b = static_cast<BSTR*>(copy->pvData)[1];
  EXPECT_NE(a, b);
  EXPECT_EQ(BstrView(b), u"hello");
  SafeArrayDestroy(strings);
  EXPECT_EQ(BstrView(static_cast<BSTR*>(copy->pvData)[1]), u"hello");

  SAFEARRAYBOUND grow{4, 0};
  ASSERT_EQ(SafeArrayRedim(copy, &grow), S_OK);
  EXPECT_EQ(BstrView(static_cast<BSTR*>(copy->pvData)[1]), u"hello");
  EXPECT_EQ(static_cast<BSTR*>(copy->pvData)[3], nullptr);
  SAFEARRAYBOUND shrink{1, 0};
  ASSERT_EQ(SafeArrayRedim(copy, &shrink), S_OK);  // frees the dropped string
  SafeArrayDestroy(copy);

  SAFEARRAY* none = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(SafeArrayCopy(nullptr, &none), S_OK);
  EXPECT_EQ(none, nullptr);
}

// An object whose default member answers a number and which counts its references.
class Valued final : public Unknown<DispatchImpl<Valued, IDispatch>> {
 public:
  static const TypeDescription& Description() {
    static const TypeDescription t(u"Valued", IID_IDispatch,
                                   {{.name = u"Value",
                                     .dispid = DISPID_VALUE,
                                     .kind = MemberKind::PropertyGet,
                                     .result = VT_R8,
                                     .handler = On<Valued>([](Valued&, Invocation& c) {
                                       *c.ResultR8() = 41.6;
                                       return S_OK;
                                     })}});
    return t;
  }
  ULONG Refs() const { return InnerRefCount(); }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualGUID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
};

TEST(VariantTest, CopyAndClearManageWhatTheVariantOwns) {
  auto obj = MakeObject<Valued>();
  {
    Variant a = Variant::Dispatch(obj.get());
    EXPECT_EQ(obj->Refs(), 2u);
    Variant b = a;
    EXPECT_EQ(obj->Refs(), 3u);
    b = Variant::Str(u"text");
    EXPECT_EQ(obj->Refs(), 2u);
    Variant c = b;
    EXPECT_NE(c.bstrVal, b.bstrVal);
    EXPECT_EQ(BstrView(c.bstrVal), u"text");

    BYTE raw[] = {5, 6};
    Variant arr = Variant::ArrayAttach(VT_UI1, SafeArrayFromBytes(raw, 2));
    Variant arrCopy = arr;
    EXPECT_NE(arrCopy.parray, arr.parray);
    EXPECT_EQ(static_cast<BYTE*>(arrCopy.parray->pvData)[1], 6);
  }
  EXPECT_EQ(obj->Refs(), 1u);

  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x7F;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  Variant dest;
  EXPECT_EQ(VariantCopy(&dest, &bad), DISP_E_BADVARTYPE);
}

TEST(VariantTest, CopyIndDereferencesIntoAnOwnedValue) {
  BSTR s = SysAllocString(u"ref");
  Variant ref = Variant::ByRef(VT_BSTR, &s);
  Variant copy;
  ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, s);
  EXPECT_EQ(BstrView(copy.bstrVal), u"ref");
  SysFreeString(s);

  SHORT n = -7;
  Variant shortRef = Variant::ByRef(VT_I2, &n);
  Variant asLong;
  ASSERT_EQ(VariantChangeType(&asLong, &shortRef, 0, VT_I4), S_OK);
  EXPECT_EQ(asLong.lVal, -7);
}

struct Coercion {
  Variant from;
  VARTYPE to;
  HRESULT hr;
  double expected;  // compared as a number (BOOL as -1/0)
};

double AsNumber(const VARIANT& v) {
  switch (v.vt) {
    case VT_I2:
      return v.iVal;
    case VT_I4:
      return v.lVal;
    case VT_UI1:
      return v.bVal;
    case VT_UI4:
      return v.ulVal;
    case VT_R4:
      return v.fltVal;
    case VT_R8:
      return v.dblVal;
    case VT_BOOL:
      return v.boolVal;
    default:
      return -12345;
  }
}

TEST(VariantTest, ChangeTypeConvertsNumbersWithRangeChecksAndRounding) {
  const Coercion cases[] = {
      {Variant::I4(3), VT_R4, S_OK, 3.0},
      {Variant::I4(-32768), VT_I2, S_OK, -32768},
      {Variant::I4(32768), VT_I2, DISP_E_OVERFLOW, 0},
      {Variant::I4(-1), VT_UI1, DISP_E_OVERFLOW, 0},
      {Variant::I4(-1), VT_UI4, DISP_E_OVERFLOW, 0},
      {Variant::R8(2.5), VT_I4, S_OK, 2},
      {Variant::R8(3.5), VT_I4, S_OK, 4},
      {Variant::R8(-2.5), VT_I2, S_OK, -2},
      {Variant::R8(4294967295.0), VT_UI4, S_OK, 4294967295.0},
      {Variant::R8(1e40), VT_R4, DISP_E_OVERFLOW, 0},
      {Variant::R8(1e10), VT_I4, DISP_E_OVERFLOW, 0},
      {Variant::R4(1.5f), VT_R8, S_OK, 1.5},
      {Variant::Bool(true), VT_I4, S_OK, -1},
      {Variant::I4(5), VT_BOOL, S_OK, VARIANT_TRUE},
      {Variant::I4(0), VT_BOOL, S_OK, VARIANT_FALSE},
      {Variant::Str(u"  -12 "), VT_I2, S_OK, -12},
      {Variant::Str(u"1.25"), VT_R4, S_OK, 1.25},
      {Variant::Str(u"&HFF"), VT_I4, S_OK, 255},
      {Variant::Str(u"1e3"), VT_I4, S_OK, 1000},
      {Variant::Str(u"True"), VT_BOOL, S_OK, VARIANT_TRUE},
      {Variant::Str(u"9600baud"), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {Variant::Str(u""), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {Variant::Str(u"99999999999"), VT_I4, DISP_E_OVERFLOW, 0},
      {Variant(), VT_I4, S_OK, 0},
      {Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {Variant::Missing(), VT_I4, DISP_E_TYPEMISMATCH, 0},
  };
  for (const Coercion& c : cases) {
    Variant out;
    HRESULT hr = VariantChangeType(&out, &c.from, 0, c.to);
    EXPECT_EQ(hr, c.hr) << "from vt " << c.from.vt << " to " << c.to;
    if (hr == S_OK) {
      EXPECT_EQ(out.vt, c.to);
      EXPECT_DOUBLE_EQ(AsNumber(out), c.expected) << "from vt " << c.from.vt << " to " << c.to;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY);  // a failed conversion leaves the destination alone
    }
  }
}

TEST(VariantTest, ChangeTypeToTextAndFromObjects) {
  Variant n = Variant::I4(-42);
  ASSERT_EQ(n.ChangeType(VT_BSTR), S_OK);  // in place
  EXPECT_EQ(BstrView(n.bstrVal), u"-42");
  Variant f = Variant::R8(1.5);
  ASSERT_EQ(f.ChangeType(VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(f.bstrVal), u"1.5");
  Variant b = Variant::Bool(true);
  Variant t;
  ASSERT_EQ(VariantChangeType(&t, &b, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(t.bstrVal), u"True");

  // An object converts through its default member, unless told not to.
  auto obj = MakeObject<Valued>();
  Variant o = Variant::Dispatch(obj.get());
  Variant value;
  ASSERT_EQ(VariantChangeType(&value, &o, 0, VT_I4), S_OK);
  EXPECT_EQ(value.lVal, 42);
  EXPECT_EQ(VariantChangeType(&value, &o, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
  Variant unk;
  ASSERT_EQ(VariantChangeType(&unk, &o, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(unk.vt, VT_UNKNOWN);
  Variant nothing;
  ASSERT_EQ(VariantChangeType(&nothing, &nothing, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(nothing.pdispVal, nullptr);
  Variant text = Variant::Str(u"x");
  EXPECT_EQ(VariantChangeType(&text, &text, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(text.vt, VT_BSTR);
}

}  // namespace
}  // namespace win
