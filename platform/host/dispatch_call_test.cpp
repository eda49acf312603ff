// Calls by DISPID: argument order, the named put argument, exceptions turned into a code and a
// description, the thread's error info, and who owns what.
#include "platform/host/dispatch_call.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/host/value_format.h"

namespace winhost {
namespace {

using namespace win;

const IID IID_ITestTarget = GuidFromString("{6A1F0020-0000-4000-8000-00000000A020}");

constexpr DISPID kJoin = 1;    // Join(a As String, b As Long, c As String) As String
constexpr DISPID kText = 2;    // Text As String (get / put)
constexpr DISPID kClosed = 3;  // fails with an error object
constexpr DISPID kPlain = 4;   // fails without one
constexpr DISPID kSwap = 5;    // Swap(ByRef s As String)

// An automation object described by a table, as a control is.
class Target final : public Unknown<DispatchImpl<Target, IDispatch>> {
 public:
  static const TypeDescription& Description() {
    static const TypeDescription type(
        u"ITestTarget", IID_ITestTarget,
        {
            {.name = u"Join",
             .dispid = kJoin,
             .kind = MemberKind::Method,
             .result = VT_BSTR,
             .params = {{u"a", VT_BSTR}, {u"b", VT_I4}, {u"c", VT_BSTR}},
             .handler = On<Target>([](Target&, Invocation& c) {
               std::u16string s(BstrView(c.Str(0)));
               for (char ch : std::to_string(c.I4(1))) s += static_cast<char16_t>(ch);
               s += BstrView(c.Str(2));
               *c.ResultStr() = SysAllocString(s);
               return S_OK;
             })},
            {.name = u"Text",
             .dispid = kText,
             .kind = MemberKind::PropertyGet,
             .result = VT_BSTR,
             .handler = On<Target>([](Target& t, Invocation& c) {
               *c.ResultStr() = SysAllocString(t.text);
               return S_OK;
             })},
            {.name = u"Text",
             .dispid = kText,
             .kind = MemberKind::PropertyPut,
             .params = {{u"value", VT_BSTR}},
             .handler = On<Target>([](Target& t, Invocation& c) {
               t.text = BstrView(c.Str(0));
               return S_OK;
             })},
            {.name = u"Closed",
             .dispid = kClosed,
             .kind = MemberKind::Method,
             .result = VT_I4,
             .handler = On<Target>([](Target&, Invocation&) {
               return ReportError(MakeItfHResult(201), u"Test.Target", u"the port is closed");
             })},
            {.name = u"Plain",
             .dispid = kPlain,
             .kind = MemberKind::Method,
             .handler = On<Target>([](Target&, Invocation&) { return E_POINTER; })},
            {.name = u"Swap",
             .dispid = kSwap,
             .kind = MemberKind::Method,
             .params = {{u"s", VT_BSTR | VT_BYREF}},
             .handler = On<Target>([](Target&, Invocation& c) {
               return SysReAllocString(c.StrRef(0), u"new") ? S_OK : E_OUTOFMEMORY;
             })},
        });
    return type;
  }
  std::u16string text = u"initial";

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return riid == IID_IDispatch || riid == IID_ITestTarget ? static_cast<IDispatch*>(this)
                                                            : nullptr;
  }
};

// What a raw IDispatch saw of one call.
struct SeenCall {
  DISPID dispid = 0;
  WORD flags = 0;
  std::vector<std::string> rgvarg;  // as they came, formatted
  std::vector<DISPID> named;
  bool gotExcepInfo = false;
  int calls = 0;
};

// An IDispatch that records the DISPPARAMS it gets and answers as told.
class RawTarget final : public Unknown<IDispatch> {
 public:
  using Answer = std::function<HRESULT(VARIANT* result, EXCEPINFO* excep)>;
  Answer answer = [](VARIANT*, EXCEPINFO*) { return S_OK; };
  SeenCall seen;

  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT*) override {
    seen = {};
    seen.dispid = dispid;
    seen.flags = flags;
    for (UINT i = 0; i < params->cArgs; ++i) seen.rgvarg.push_back(format_value(params->rgvarg[i]));
    for (UINT i = 0; i < params->cNamedArgs; ++i)
      seen.named.push_back(params->rgdispidNamedArgs[i]);
    seen.gotExcepInfo = excep != nullptr;
    seen.calls = 1;
    return answer(result, excep);
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return riid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
  }
};

class DispatchCall : public ::testing::Test {
 protected:
  void TearDown() override { SetErrorInfo(0, nullptr); }
  ComPtr<Target> target = MakeObject<Target>();
  ComPtr<RawTarget> raw = MakeObject<RawTarget>();
  std::u16string error = u"left over";
};

TEST_F(DispatchCall, ArgumentsAreReversedIntoDispparams) {
  Variant r;
  ASSERT_EQ(CallMethod(raw.get(), 9, {Variant::Str(u"first"), Variant::I4(2), Variant::Bool(true)},
                       &r, &error),
            S_OK);
  EXPECT_EQ(raw->seen.dispid, 9);
  EXPECT_EQ(raw->seen.flags, DISPATCH_METHOD);
  EXPECT_EQ(raw->seen.rgvarg, (std::vector<std::string>{"true", "2", "\"first\""}));
  EXPECT_TRUE(raw->seen.named.empty());
  EXPECT_TRUE(raw->seen.gotExcepInfo);
  EXPECT_EQ(error, u"");

  // A table-driven member reads them back in declared order.
  ASSERT_EQ(CallMethod(target.get(), kJoin,
                       {Variant::Str(u"a"), Variant::I4(7), Variant::Str(u"c")}, &r, &error),
            S_OK);
  EXPECT_EQ(format_value(r), "\"a7c\"");
}

TEST_F(DispatchCall, APutPassesItsValueAsTheNamedPutArgument) {
  ASSERT_EQ(PutProperty(raw.get(), kText, Variant::I4(42), &error), S_OK);
  EXPECT_EQ(raw->seen.flags, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(raw->seen.rgvarg, (std::vector<std::string>{"42"}));
  EXPECT_EQ(raw->seen.named, (std::vector<DISPID>{DISPID_PROPERTYPUT}));

  // With an index before the value, the name still goes to the value (rgvarg[0]).
  ASSERT_EQ(InvokeDispid(raw.get(), 8, DISPATCH_PROPERTYPUT, {Variant::I4(3), Variant::Str(u"v")},
                         nullptr, nullptr),
            S_OK);
  EXPECT_EQ(raw->seen.rgvarg, (std::vector<std::string>{"\"v\"", "3"}));
  EXPECT_EQ(raw->seen.named, (std::vector<DISPID>{DISPID_PROPERTYPUT}));

  // The table-driven Invoke refuses a put without it, so a round trip proves it is there.
  ASSERT_EQ(PutProperty(target.get(), kText, Variant::Str(u"written"), &error), S_OK);
  Variant r;
  ASSERT_EQ(GetProperty(target.get(), kText, &r, &error), S_OK);
  EXPECT_EQ(format_value(r), "\"written\"");
  EXPECT_EQ(raw->seen.calls, 1);
}

TEST_F(DispatchCall, AnExceptionAnswersItsCodeAndDescription) {
  Variant r = Variant::I4(5);
  EXPECT_EQ(CallMethod(target.get(), kClosed, {}, &r, &error), MakeItfHResult(201));
  EXPECT_EQ(error, u"the port is closed");
  EXPECT_EQ(r.vt, VT_EMPTY);

  // Whatever a failing callee left in the result is not handed on.
  raw->answer = [](VARIANT* result, EXCEPINFO* e) {
    *result = Variant::I4(1);  // nothing to free
    e->scode = E_INVALIDARG;
    return DISP_E_EXCEPTION;
  };
  EXPECT_EQ(GetProperty(raw.get(), 1, &r, &error), E_INVALIDARG);
  EXPECT_EQ(r.vt, VT_EMPTY);
  EXPECT_EQ(error, u"");
}

TEST_F(DispatchCall, AnExceptionWithoutScodeAnswersItsWCode) {
  raw->answer = [](VARIANT*, EXCEPINFO* e) {
    e->wCode = 7;
    e->bstrSource = SysAllocString(u"Raw");
    e->bstrDescription = SysAllocString(u"by wCode");
    return DISP_E_EXCEPTION;
  };
  Variant r;
  EXPECT_EQ(GetProperty(raw.get(), 1, &r, &error), MakeHResult(0x80040207u));
  EXPECT_EQ(error, u"by wCode");
}

TEST_F(DispatchCall, ADeferredExceptionIsFilledInBeforeItIsRead) {
  raw->answer = [](VARIANT*, EXCEPINFO* e) {
    e->pfnDeferredFillIn = [](EXCEPINFO* x) -> HRESULT {
      x->scode = E_ACCESSDENIED;
      x->bstrDescription = SysAllocString(u"filled late");
      return S_OK;
    };
    return DISP_E_EXCEPTION;
  };
  EXPECT_EQ(CallMethod(raw.get(), 1, {}, nullptr, &error), E_ACCESSDENIED);
  EXPECT_EQ(error, u"filled late");
}

TEST_F(DispatchCall, AnErrorObjectLeftFromBeforeTheCallIsNotReported) {
  // A callee that fails without an error object of its own.
  raw->answer = [](VARIANT*, EXCEPINFO*) { return DISP_E_BADPARAMCOUNT; };
  ReportError(E_FAIL, u"Earlier", u"stale");
  EXPECT_EQ(CallMethod(raw.get(), 1, {}, nullptr, &error), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(error, u"");
  ReportError(E_FAIL, u"Earlier", u"stale");
  EXPECT_EQ(CallMethod(target.get(), kPlain, {}, nullptr, &error), E_POINTER);
  EXPECT_EQ(error, u"");
}

TEST_F(DispatchCall, AFailureOfInvokeItselfCarriesTheCalleesErrorObject) {
  raw->answer = [](VARIANT*, EXCEPINFO*) {
    return ReportError(DISP_E_MEMBERNOTFOUND, u"Raw", u"no such member");
  };
  EXPECT_EQ(CallMethod(raw.get(), 1, {}, nullptr, &error), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(error, u"no such member");
  ComPtr<IErrorInfo> left;
  EXPECT_EQ(GetErrorInfo(0, left.Receive()), S_FALSE);  // taken

  raw->answer = [](VARIANT*, EXCEPINFO*) { return DISP_E_BADPARAMCOUNT; };
  EXPECT_EQ(CallMethod(raw.get(), 1, {}, nullptr, &error), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(error, u"");
}

TEST_F(DispatchCall, TheCallerKeepsItsArgumentsAndByReferenceOnesAreWritten) {
  Variant kept = Variant::Str(u"kept");
  Variant r;
  ASSERT_EQ(CallMethod(target.get(), kJoin, {kept, Variant::I4(0), kept}, &r, &error), S_OK);
  EXPECT_EQ(format_value(kept), "\"kept\"");
  EXPECT_EQ(format_value(r), "\"kept0kept\"");

  BSTR text = SysAllocString(u"old");
  ASSERT_EQ(CallMethod(target.get(), kSwap, {Variant::ByRef(VT_BSTR, &text)}, nullptr, &error),
            S_OK);
  EXPECT_EQ(BstrView(text), u"new");
  SysFreeString(text);
}

TEST_F(DispatchCall, AResultIsReplacedAndNullTargetsOrResultsAreRefused) {
  Variant r = Variant::Str(u"previous");
  ASSERT_EQ(GetProperty(target.get(), kText, &r, &error), S_OK);
  EXPECT_EQ(format_value(r), "\"initial\"");

  EXPECT_EQ(CallMethod(nullptr, kJoin, {}, &r, &error), E_POINTER);
  EXPECT_EQ(r.vt, VT_EMPTY);
  EXPECT_EQ(error, u"");

  error = u"left over";
  EXPECT_EQ(GetProperty(raw.get(), kText, nullptr, &error), E_POINTER);
  EXPECT_EQ(raw->seen.calls, 0);
  EXPECT_EQ(error, u"");
}

}  // namespace
}  // namespace winhost
