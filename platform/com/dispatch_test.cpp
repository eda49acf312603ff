// Table-driven Invoke: name lookup, argument checks, coercion, defaults, out-parameters, errors.
#include "platform/com/dispatch.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/com/unknown.h"

namespace win {
namespace {

const IID IID_ITestPort = GuidFromString("{6A1F0001-0000-4000-8000-00000000A001}");

// A small automation object shaped like the Port control's members.
class TestPort : public Unknown<DispatchImpl<TestPort, IDispatch>, ISupportErrorInfo> {
 public:
  explicit TestPort(IUnknown* outer = nullptr) : Unknown(outer) {}

  static const TypeDescription& Description() {
    static const TypeDescription type(
        u"ITestPort", IID_ITestPort,
        {
            {.name = u"BaudRate",
             .dispid = 81,
             .kind = MemberKind::PropertyGet,
             .result = VT_I4,
             .handler = On<TestPort>([](TestPort& p, Invocation& c) {
               *c.ResultI4() = p.baud;
               return S_OK;
             })},
            {.name = u"BaudRate",
             .dispid = 81,
             .kind = MemberKind::PropertyPut,
             .params = {{u"value", VT_I4}},
             .handler = On<TestPort>([](TestPort& p, Invocation& c) {
               if (c.I4(0) <= 0) return ReportError(E_INVALIDARG, u"Cobrix.Port.1", u"bad");
               p.baud = c.I4(0);
               return S_OK;
             })},
            {.name = u"Open",
             .dispid = 19,
             .kind = MemberKind::Method,
             .result = VT_BOOL,
             .params = {{u"PortNumber", VT_I4, true, DefaultI4(-1)},
                        {u"DataBits", VT_I2, true, DefaultI4(-1)},
                        {u"StopBits", VT_R4, true, DefaultR8(-1.0)}},
             .handler = On<TestPort>([](TestPort& p, Invocation& c) {
               p.port = c.I4(0);
               p.dataBits = c.I2(1);
               p.stopBits = c.R4(2);
               *c.ResultBool() = VARIANT_TRUE;
               return S_OK;
             }),
             .help = u"シリアルポートをオープン"},
            {.name = u"Input",
             .dispid = 17,
             .kind = MemberKind::Method,
             .result = VT_I4,
             .params = {{u"InputString", VT_BSTR | VT_BYREF, true, DefaultStr(u"0")},
                        {u"NumBytes", VT_I4, true, DefaultI4(-1)}},
             .handler = On<TestPort>([](TestPort& p, Invocation& c) {
               p.seenDefault = std::u16string(BstrView(*c.StrRef(0)));
               SysReAllocString(c.StrRef(0), u"abc");
               *c.ResultI4() = c.I4(1);
               return S_OK;
             })},
            {.name = u"OutputB",
             .dispid = 21,
             .kind = MemberKind::Method,
             .result = VT_I4,
             .params = {{u"OutputBytes", VT_ARRAY | VT_UI1 | VT_BYREF}},
             .handler = On<TestPort>([](TestPort&, Invocation& c) {
               SAFEARRAY* psa = *c.ArrayRef(0);
               *c.ResultI4() = psa ? static_cast<LONG>(psa->rgsabound[0].cElements) : 0;
               return S_OK;
             })},
            {.name = u"Crc16",
             .dispid = 8,
             .kind = MemberKind::Method,
             .result = VT_VARIANT,
             .params = {{u"Any", VT_VARIANT}},
             .handler = On<TestPort>([](TestPort&, Invocation& c) {
               return VariantCopy(c.ResultVariant(), &c.Arg(0));
             })},
            {.name = u"_Fire_DataDetected",
             .dispid = 375,
             .kind = MemberKind::Method,
             .handler = On<TestPort>([](TestPort& p, Invocation&) {
               ++p.fired;
               return S_OK;
             }),
             .hidden = true},
            {.name = u"Handle",
             .dispid = 96,
             .kind = MemberKind::PropertyGet,
             .result = VT_I4,
             .handler = On<TestPort>([](TestPort&, Invocation&) {
               return ReportError(MakeItfHResult(201), u"Cobrix.Port.1",
                                  u"この操作は、シリアルポートがオープンのときにのみ有効です。");
             })},
            {.name = u"Plain",
             .dispid = 97,
             .kind = MemberKind::Method,
             .handler = On<TestPort>([](TestPort&, Invocation&) { return E_POINTER; })},
        });
    return type;
  }

  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualGUID(riid, IID_ITestPort) ? S_OK : S_FALSE;
  }
  ULONG Refs() const { return InnerRefCount(); }

  LONG baud = 9600;
  LONG port = 0;
  SHORT dataBits = 0;
  FLOAT stopBits = 0;
  int fired = 0;
  std::u16string seenDefault;

 private:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_ITestPort))
      return static_cast<IDispatch*>(this);
    if (IsEqualGUID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
  }
};

// Invokes with arguments in declared order; returns the HRESULT, fills result and argErr.
struct Call {
  HRESULT hr;
  Variant result;
  UINT argErr = 0xFFFF;
  EXCEPINFO info{};
  ~Call() { ClearExcepInfo(&info); }
};

void Invoke(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args, Call* out,
            bool named = false) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS dp{reversed.empty() ? nullptr : reversed.data(), named ? &put : nullptr,
                static_cast<UINT>(reversed.size()), named ? 1u : 0u};
  out->hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, &out->result, &out->info,
                      &out->argErr);
}

class DispatchTest : public ::testing::Test {
 protected:
  ComPtr<TestPort> port = MakeObject<TestPort>();
  IDispatch* d() { return static_cast<IDispatch*>(port.get()); }
};

TEST_F(DispatchTest, NamesResolveCaseInsensitivelyWithParameterPositions) {
  std::u16string n0 = u"bAUDrATE", n1 = u"OPEN", n2 = u"stopbits", n3 = u"nosuch";
  LPOLESTR one[] = {n0.data()};
  DISPID id = 0;
  EXPECT_EQ(d()->GetIDsOfNames(IID_NULL, one, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 81);

  LPOLESTR withParam[] = {n1.data(), n2.data(), n3.data()};
  DISPID ids[3];
  EXPECT_EQ(d()->GetIDsOfNames(IID_NULL, withParam, 3, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 19);
  EXPECT_EQ(ids[1], 2);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);

  LPOLESTR unknown[] = {n3.data()};
  EXPECT_EQ(d()->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  EXPECT_EQ(d()->GetIDsOfNames(IID_IDispatch, one, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, UnknownDispidOrKindIsMemberNotFound) {
  Call c;
  Invoke(d(), 10, DISPATCH_METHOD, {}, &c);
  EXPECT_EQ(c.hr, DISP_E_MEMBERNOTFOUND);
  Call put;  // Open has no put
  Invoke(d(), 19, DISPATCH_PROPERTYPUT, {Variant::I4(1)}, &put, true);
  EXPECT_EQ(put.hr, DISP_E_MEMBERNOTFOUND);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(
      d()->Invoke(81, IID_ITestPort, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
      DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, PropertyGetAndPutThroughNamedPropertyPutArgument) {
  Call put;
  Invoke(d(), 81, DISPATCH_PROPERTYPUT, {Variant::I4(19200)}, &put, true);
  EXPECT_EQ(put.hr, S_OK);
  EXPECT_EQ(port->baud, 19200);

  Call get;  // a late binder asks METHOD|PROPERTYGET for a property read
  Invoke(d(), 81, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &get);
  EXPECT_EQ(get.hr, S_OK);
  EXPECT_EQ(get.result.vt, VT_I4);
  EXPECT_EQ(get.result.lVal, 19200);

  // Named arguments other than the put value are refused.
  std::vector<VARIANT> args = {Variant::I4(3)};
  DISPID named = 0;
  DISPPARAMS dp{args.data(), &named, 1, 1};
  EXPECT_EQ(d()->Invoke(19, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr),
            DISP_E_NONAMEDARGS);
}

TEST_F(DispatchTest, ArgumentsAreCoercedToTheParameterTypes) {
  // An I4 given to an I2 and a float parameter, a string to the I4 one.
  Call c;
  Invoke(d(), 19, DISPATCH_METHOD, {Variant::Str(u" 3 "), Variant::I4(7), Variant::I4(2)}, &c);
  ASSERT_EQ(c.hr, S_OK);
  EXPECT_EQ(port->port, 3);
  EXPECT_EQ(port->dataBits, 7);
  EXPECT_FLOAT_EQ(port->stopBits, 2.0f);
  EXPECT_EQ(c.result.vt, VT_BOOL);
  EXPECT_EQ(c.result.boolVal, VARIANT_TRUE);

  // A double with a half rounds to even on the way to an integer.
  Call r;
  Invoke(d(), 19, DISPATCH_METHOD, {Variant::R8(2.5), Variant::R8(7.5)}, &r);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(port->port, 2);
  EXPECT_EQ(port->dataBits, 8);
}

TEST_F(DispatchTest, UncoercibleArgumentReportsItsRgvargIndex) {
  Call overflow;  // 70000 does not fit DataBits (I2), the second of three: rgvarg index 1
  Invoke(d(), 19, DISPATCH_METHOD, {Variant::I4(1), Variant::I4(70000), Variant::R4(1)}, &overflow);
  EXPECT_EQ(overflow.hr, DISP_E_OVERFLOW);
  EXPECT_EQ(overflow.argErr, 1u);

  Call text;
  Invoke(d(), 19, DISPATCH_METHOD, {Variant::Str(u"COM1")}, &text);
  EXPECT_EQ(text.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(text.argErr, 0u);

  Call null;
  Invoke(d(), 19, DISPATCH_METHOD, {Variant::Null()}, &null);
  EXPECT_EQ(null.hr, DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, OmittedOptionalArgumentsTakeTheirDefaults) {
  Call none;  // all absent
  Invoke(d(), 19, DISPATCH_METHOD, {}, &none);
  ASSERT_EQ(none.hr, S_OK);
  EXPECT_EQ(port->port, -1);
  EXPECT_EQ(port->dataBits, -1);
  EXPECT_FLOAT_EQ(port->stopBits, -1.0f);

  Call middle;  // the middle one passed as "missing"
  Invoke(d(), 19, DISPATCH_METHOD, {Variant::I4(4), Variant::Missing(), Variant::R4(1.5f)},
         &middle);
  ASSERT_EQ(middle.hr, S_OK);
  EXPECT_EQ(port->port, 4);
  EXPECT_EQ(port->dataBits, -1);
  EXPECT_FLOAT_EQ(port->stopBits, 1.5f);
}

TEST_F(DispatchTest, ArgumentCountIsChecked) {
  Call tooMany;
  Invoke(d(), 19, DISPATCH_METHOD, {Variant::I4(1), Variant::I4(1), Variant::I4(1), Variant::I4(1)},
         &tooMany);
  EXPECT_EQ(tooMany.hr, DISP_E_BADPARAMCOUNT);
  Call missingRequired;  // the put value is required
  Invoke(d(), 81, DISPATCH_PROPERTYPUT, {}, &missingRequired);
  EXPECT_EQ(missingRequired.hr, DISP_E_BADPARAMCOUNT);
  Call passedAsMissing;
  Invoke(d(), 81, DISPATCH_PROPERTYPUT, {Variant::Missing()}, &passedAsMissing, true);
  EXPECT_EQ(passedAsMissing.hr, DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(port->baud, 9600);
}

TEST_F(DispatchTest, ByrefOutParameterIsFilledInTheCallersStorage) {
  BSTR s = SysAllocString(u"old");
  Call c;
  Invoke(d(), 17, DISPATCH_METHOD, {Variant::ByRef(VT_BSTR, &s), Variant::I4(5)}, &c);
  ASSERT_EQ(c.hr, S_OK);
  EXPECT_EQ(port->seenDefault, u"old");
  EXPECT_EQ(BstrView(s), u"abc");
  EXPECT_EQ(c.result.lVal, 5);
  SysFreeString(s);

  // Through a VARIANT reference holding a BSTR, as script callers pass variables.
  Variant holder = Variant::Str(u"x");
  Call viaVariant;
  Invoke(d(), 17, DISPATCH_METHOD, {Variant::ByRef(VT_VARIANT, &holder)}, &viaVariant);
  ASSERT_EQ(viaVariant.hr, S_OK);
  EXPECT_EQ(BstrView(holder.bstrVal), u"abc");
  EXPECT_EQ(viaVariant.result.lVal, -1);

  // Omitted: the handler sees the declared default "0" in storage of its own.
  Call omitted;
  Invoke(d(), 17, DISPATCH_METHOD, {}, &omitted);
  ASSERT_EQ(omitted.hr, S_OK);
  EXPECT_EQ(port->seenDefault, u"0");

  // A reference of another type cannot be written back.
  LONG n = 0;
  Call wrong;
  Invoke(d(), 17, DISPATCH_METHOD, {Variant::ByRef(VT_I4, &n)}, &wrong);
  EXPECT_EQ(wrong.hr, DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, ByteArrayByReferenceAcceptsReferenceAndValue) {
  BYTE bytes[] = {1, 2, 3};
  SAFEARRAY* psa = SafeArrayFromBytes(bytes, sizeof bytes);
  Call byRef;
  Invoke(d(), 21, DISPATCH_METHOD, {Variant::ByRef(VT_ARRAY | VT_UI1, &psa)}, &byRef);
  EXPECT_EQ(byRef.hr, S_OK);
  EXPECT_EQ(byRef.result.lVal, 3);

  Variant byValue = Variant::ArrayAttach(VT_UI1, psa);  // owns psa now
  Call v;
  Invoke(d(), 21, DISPATCH_METHOD, {byValue}, &v);
  EXPECT_EQ(v.hr, S_OK);
  EXPECT_EQ(v.result.lVal, 3);
}

TEST_F(DispatchTest, VariantParameterArrivesAsGivenAndResultIsHandedBack) {
  Call c;
  Invoke(d(), 8, DISPATCH_METHOD, {Variant::Str(u"v")}, &c);
  ASSERT_EQ(c.hr, S_OK);
  ASSERT_EQ(c.result.vt, VT_BSTR);
  EXPECT_EQ(BstrView(c.result.bstrVal), u"v");
}

TEST_F(DispatchTest, FailingMemberFillsExcepInfoFromTheThreadsErrorInfo) {
  Call c;
  Invoke(d(), 96, DISPATCH_PROPERTYGET, {}, &c);
  EXPECT_EQ(c.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(c.info.scode, MakeHResult(0x800400C9));
  EXPECT_EQ(BstrView(c.info.bstrSource), u"Cobrix.Port.1");
  EXPECT_EQ(BstrView(c.info.bstrDescription),
            u"この操作は、シリアルポートがオープンのときにのみ有効です。");
  // The error object was consumed.
  IErrorInfo* left = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);

  // Without EXCEPINFO the member's own HRESULT comes back.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(d()->Invoke(96, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
            MakeHResult(0x800400C9));
}

TEST_F(DispatchTest, StaleErrorInfoIsNotTakenForALaterFailure) {
  ReportError(E_FAIL, u"Stale", u"from an earlier call");
  Call c;
  Invoke(d(), 97, DISPATCH_METHOD, {}, &c);
  EXPECT_EQ(c.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(c.info.scode, E_POINTER);
  EXPECT_EQ(c.info.bstrSource, nullptr);
  EXPECT_EQ(c.info.bstrDescription, nullptr);
}

TEST_F(DispatchTest, CallerHelpersReverseArgumentsAndPassThePutValue) {
  Variant r;
  EXPECT_EQ(InvokeByDispid(d(), 19, DISPATCH_METHOD, {Variant::I4(5), Variant::I2(7)}, &r), S_OK);
  EXPECT_EQ(port->port, 5);
  EXPECT_EQ(port->dataBits, 7);
  EXPECT_EQ(PutProperty(d(), 81, Variant::R8(4800.0)), S_OK);
  Variant v;
  EXPECT_EQ(GetProperty(d(), 81, &v), S_OK);
  EXPECT_EQ(v.lVal, 4800);
  DISPID id = 0;
  EXPECT_EQ(DispidOfName(d(), u"_fire_datadetected", &id), S_OK);
  EXPECT_EQ(id, 375);
}

TEST(TypeDescriptionTest, CheckFindsTheFaultsOfAHandWrittenTable) {
  EXPECT_EQ(TestPort::Description().Check(), "");
  auto ok = [](void*, Invocation&) { return S_OK; };
  auto checked = [&](std::vector<MemberDesc> members) {
    return TypeDescription(u"T", IID_ITestPort, std::move(members)).Check();
  };
  EXPECT_EQ(checked({{.name = u"A", .dispid = 1, .kind = MemberKind::Method, .handler = ok},
                     {.name = u"A", .dispid = 1, .kind = MemberKind::Method, .handler = ok}}),
            "A (1): declared twice");
  EXPECT_EQ(checked({{.name = u"A", .dispid = 1, .kind = MemberKind::PropertyGet, .handler = ok},
                     {.name = u"B",
                      .dispid = 1,
                      .kind = MemberKind::PropertyPut,
                      .params = {{u"v", VT_I4}},
                      .handler = ok}}),
            "B (1): DISPID shared by another name");
  EXPECT_EQ(checked({{.name = u"P", .dispid = 2, .kind = MemberKind::PropertyPut, .handler = ok}}),
            "P (2): put without a value");
  EXPECT_EQ(checked({{.name = u"M",
                      .dispid = 3,
                      .kind = MemberKind::Method,
                      .params = {{u"a", VT_I4, true}, {u"b", VT_I4}},
                      .handler = ok}}),
            "M (3): required parameter after optional");
  EXPECT_EQ(checked({{.name = u"M",
                      .dispid = 3,
                      .kind = MemberKind::Method,
                      .params = {{u"a", VT_I2, true, DefaultI4(100000)}},
                      .handler = ok}}),
            "M (3): default of a does not fit its type");
  EXPECT_EQ(checked({{.name = u"M", .dispid = 3, .kind = MemberKind::Method}}),
            "M (3): no handler");
}

}  // namespace
}  // namespace win
