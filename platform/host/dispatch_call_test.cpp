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

// An IDispatch that records the DISPPARAMS of the last call and answers as told.
class Target final : public Unknown<IDispatch> {
 public:
  std::function<HRESULT(DISPPARAMS*, VARIANT* result, EXCEPINFO*)> answer =
      [](DISPPARAMS*, VARIANT*, EXCEPINFO*) { return S_OK; };
  WORD flags = 0;
  std::vector<std::string> rgvarg;  // as they came, formatted
  std::vector<DISPID> named;
  int calls = 0;

  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD f, DISPPARAMS* p, VARIANT* result, EXCEPINFO* excep,
                 UINT*) override {
    ++calls;
    flags = f;
    rgvarg.clear();
    for (UINT i = 0; i < p->cArgs; ++i) rgvarg.push_back(format_value(p->rgvarg[i]));
    named.assign(p->rgdispidNamedArgs, p->rgdispidNamedArgs + p->cNamedArgs);
    return excep ? answer(p, result, excep) : E_UNEXPECTED;  // hosts always want the exception
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
  std::u16string error = u"left over";
  Variant result;
};

TEST_F(DispatchCall, ArgumentsAreReversedIntoDispparams) {
  ASSERT_EQ(
      CallMethod(target.get(), 9, {Variant::Str(u"first"), Variant::I4(2), Variant::Bool(true)},
                 &result, &error),
      S_OK);
  EXPECT_EQ(target->flags, DISPATCH_METHOD);
  EXPECT_EQ(target->rgvarg, (std::vector<std::string>{"true", "2", "\"first\""}));
  EXPECT_TRUE(target->named.empty());
  EXPECT_EQ(error, u"");
}

TEST_F(DispatchCall, APutPassesItsValueAsTheNamedPutArgument) {
  ASSERT_EQ(PutProperty(target.get(), 2, Variant::I4(42), &error), S_OK);
  EXPECT_EQ(target->flags, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(target->rgvarg, (std::vector<std::string>{"42"}));
  EXPECT_EQ(target->named, (std::vector<DISPID>{DISPID_PROPERTYPUT}));
  // With an index before the value, the name still goes to the value (rgvarg[0]).
  ASSERT_EQ(InvokeDispid(target.get(), 8, DISPATCH_PROPERTYPUT,
                         {Variant::I4(3), Variant::Str(u"v")}, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(target->rgvarg, (std::vector<std::string>{"\"v\"", "3"}));
  EXPECT_EQ(target->named, (std::vector<DISPID>{DISPID_PROPERTYPUT}));
}

TEST_F(DispatchCall, AnExceptionAnswersItsCodeAndDescriptionAndNoResult) {
  target->answer = [](DISPPARAMS*, VARIANT* r, EXCEPINFO* e) {
    *r = Variant::I4(1);  // left by a failing callee; nothing to free
    e->scode = MakeItfHResult(201);
    e->bstrSource = SysAllocString(u"Test");
    e->bstrDescription = SysAllocString(u"the port is closed");
    return DISP_E_EXCEPTION;
  };
  EXPECT_EQ(GetProperty(target.get(), 1, &result, &error), MakeItfHResult(201));
  EXPECT_EQ(error, u"the port is closed");
  EXPECT_EQ(result.vt, VT_EMPTY);

  // Without scode, the code is 0x80040200 + wCode.
  target->answer = [](DISPPARAMS*, VARIANT*, EXCEPINFO* e) {
    e->wCode = 7;
    return DISP_E_EXCEPTION;
  };
  EXPECT_EQ(CallMethod(target.get(), 1, {}, nullptr, &error), MakeHResult(0x80040207u));
  EXPECT_EQ(error, u"");

  // A deferred exception is filled in before it is read.
  target->answer = [](DISPPARAMS*, VARIANT*, EXCEPINFO* e) {
    e->pfnDeferredFillIn = [](EXCEPINFO* x) -> HRESULT {
      x->scode = E_ACCESSDENIED;
      x->bstrDescription = SysAllocString(u"filled late");
      return S_OK;
    };
    return DISP_E_EXCEPTION;
  };
  EXPECT_EQ(CallMethod(target.get(), 1, {}, nullptr, &error), E_ACCESSDENIED);
  EXPECT_EQ(error, u"filled late");
}

TEST_F(DispatchCall, OtherFailuresCarryTheCalleesErrorObjectButNotAnOlderOne) {
  target->answer = [](DISPPARAMS*, VARIANT*, EXCEPINFO*) {
    return ReportError(DISP_E_MEMBERNOTFOUND, u"Test", u"no such member");
  };
  EXPECT_EQ(CallMethod(target.get(), 1, {}, nullptr, &error), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(error, u"no such member");
  ComPtr<IErrorInfo> left;
  EXPECT_EQ(GetErrorInfo(0, left.Receive()), S_FALSE);  // taken

  target->answer = [](DISPPARAMS*, VARIANT*, EXCEPINFO*) { return DISP_E_BADPARAMCOUNT; };
  ReportError(E_FAIL, u"Earlier", u"stale");
  EXPECT_EQ(CallMethod(target.get(), 1, {}, nullptr, &error), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(error, u"");
}

TEST_F(DispatchCall, TheCallerKeepsItsArgumentsAndByReferenceOnesAreWritten) {
  target->answer = [](DISPPARAMS* p, VARIANT* r, EXCEPINFO*) {
    r->vt = VT_BSTR;  // the caller owns the result
    r->bstrVal = SysAllocString(BstrView(p->rgvarg[1].bstrVal));
    return SysReAllocString(p->rgvarg[0].pbstrVal, u"new") ? S_OK : E_OUTOFMEMORY;
  };
  Variant kept = Variant::Str(u"kept");
  BSTR text = SysAllocString(u"old");
  result = Variant::Str(u"replaced");
  ASSERT_EQ(CallMethod(target.get(), 5, {kept, Variant::ByRef(VT_BSTR, &text)}, &result, &error),
            S_OK);
  EXPECT_EQ(format_value(kept), "\"kept\"");
  EXPECT_EQ(format_value(result), "\"kept\"");
  EXPECT_EQ(BstrView(text), u"new");
  SysFreeString(text);
}

TEST_F(DispatchCall, NullTargetsAndResultsAreRefusedWithoutACall) {
  result = Variant::Str(u"previous");
  EXPECT_EQ(CallMethod(nullptr, 1, {}, &result, &error), E_POINTER);
  EXPECT_EQ(result.vt, VT_EMPTY);
  EXPECT_EQ(error, u"");
  error = u"left over";
  EXPECT_EQ(GetProperty(target.get(), 1, nullptr, &error), E_POINTER);
  EXPECT_EQ(error, u"");
  EXPECT_EQ(target->calls, 0);
}

}  // namespace
}  // namespace winhost
