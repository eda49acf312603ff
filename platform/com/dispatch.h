// IDispatch and the table-driven dispatch that every automation object here uses.
//
// Principle: an interface is described once, as a TypeDescription: its members with name, DISPID,
// kind (method, property get / put / putref), result type, parameters (type, optional with a
// default), hidden flag, help string, and a handler. GetIDsOfNames looks names up
// case-insensitively; Invoke finds the member for (DISPID, kind), checks the argument count,
// turns the caller's reversed rgvarg into an argument array in declared order (coerced to each
// parameter's type, BYREF parameters passed through, omitted optionals filled from their
// defaults), calls the handler, hands back the result, and on failure fills EXCEPINFO from the
// thread's error info. Objects mix in DispatchImpl<Derived, Interface> to get the four IDispatch
// methods from Derived::Description().
//
// Offers: DISPID, DISPPARAMS, EXCEPINFO, IDispatch, the DISPATCH_ flags and standard DISPIDs,
// ParamDesc, MemberDesc, TypeDescription, Invocation, DispatchGetIDsOfNames, DispatchInvoke,
// DispatchImpl, and Invoke helpers for callers (InvokeByDispid, GetProperty, PutProperty).
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/base.h"
#include "platform/com/errorinfo.h"
#include "platform/com/variant.h"

namespace win {

using DISPID = LONG;
using MEMBERID = DISPID;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_NEWENUM = -4;
constexpr DISPID DISPID_NAME = -800;  // extender Name

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

struct DISPPARAMS {
  VARIANTARG* rgvarg;         // arguments, LAST parameter first
  DISPID* rgdispidNamedArgs;  // DISPIDs of the first cNamedArgs entries of rgvarg
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};
// Frees the strings of an EXCEPINFO and zeroes it.
void ClearExcepInfo(EXCEPINFO* info);

struct ITypeInfo;  // not provided by this runtime (GetTypeInfo answers E_NOTIMPL)

extern const IID IID_IDispatch;

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                DISPID* rgDispId) = 0;
  virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                         DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                         UINT* puArgErr) = 0;
};

// ---- type descriptions -------------------------------------------------------------------------

enum class MemberKind : WORD {
  Method = DISPATCH_METHOD,
  PropertyGet = DISPATCH_PROPERTYGET,
  PropertyPut = DISPATCH_PROPERTYPUT,
  PropertyPutRef = DISPATCH_PROPERTYPUTREF,
};

// Default of an optional parameter. Kept as plain data so tables can be constant.
struct DefaultValue {
  enum class Kind { None, I4, R8, Str } kind = Kind::None;
  LONG i4 = 0;
  DOUBLE r8 = 0;
  std::u16string_view str;
};
inline DefaultValue DefaultI4(LONG v) {
  return {DefaultValue::Kind::I4, v, 0, {}};
}
inline DefaultValue DefaultR8(DOUBLE v) {
  return {DefaultValue::Kind::R8, 0, v, {}};
}
inline DefaultValue DefaultStr(std::u16string_view v) {
  return {DefaultValue::Kind::Str, 0, 0, v};
}

struct ParamDesc {
  std::u16string_view name;
  // The parameter's type: a value type (VT_I4, VT_R4, VT_BSTR, VT_DISPATCH, VT_ARRAY|VT_UI1...),
  // VT_VARIANT for "any", or a VT_BYREF form ([in, out] / [out]: the caller's storage is passed).
  VARTYPE vt;
  bool optional = false;
  // For an omitted optional parameter: converted to the parameter's type. With no default, an
  // omitted VT_VARIANT parameter arrives as the "missing" VT_ERROR, and an omitted typed one as
  // its zero value (BSTR: null; BYREF: pointing at such a zero value).
  DefaultValue defaultValue = {};
};

struct Invocation;
// self is the object the table belongs to (DispatchImpl passes its Derived*).
using MemberHandler = std::function<HRESULT(void* self, Invocation& call)>;

struct MemberDesc {
  std::u16string_view name;
  DISPID dispid;
  MemberKind kind;
  // [retval] type; VT_EMPTY when the member returns nothing. Puts take the value as their last
  // parameter and return nothing.
  VARTYPE result = VT_EMPTY;
  std::vector<ParamDesc> params = {};
  MemberHandler handler = {};
  bool hidden = false;
  std::u16string_view help = {};
};

// Adapts a handler written against the concrete class.
template <class T, class F>
MemberHandler On(F f) {
  return [f](void* self, Invocation& call) -> HRESULT { return f(*static_cast<T*>(self), call); };
}

class TypeDescription {
 public:
  TypeDescription(std::u16string_view name, const IID& iid, std::vector<MemberDesc> members);

  std::u16string_view Name() const { return name_; }
  const IID& Iid() const { return iid_; }
  const std::vector<MemberDesc>& Members() const { return members_; }
  // The member for dispid that serves wFlags (a put for PROPERTYPUT(REF); for METHOD|PROPERTYGET
  // a method first, then a get). Null when none.
  const MemberDesc* Find(DISPID dispid, WORD wFlags) const;
  // Case-insensitive (ASCII) name lookup; DISPID_UNKNOWN when absent.
  DISPID IdOfName(std::u16string_view name) const;
  bool HasDispid(DISPID dispid) const;
  // Empty when the table is consistent, else its first fault: a (DISPID, kind) declared twice,
  // one DISPID under two names, a put without its value parameter, a required parameter after
  // an optional one, a default that does not convert to its parameter's type, a member without
  // a handler. Tables are built by hand; a test of each calls this.
  std::string Check() const;

 private:
  std::u16string name_;
  IID iid_;
  std::vector<MemberDesc> members_;
};

// What a handler sees: the arguments in declared order, already of their parameter's type
// (args[i].vt == params[i].vt, except VT_VARIANT parameters which arrive as given, and omitted
// VT_VARIANT optionals which arrive as the missing VT_ERROR), and the result to fill, preset to
// the member's result type with a zero value.
struct Invocation {
  const MemberDesc* member;
  VARIANT* args;
  UINT count;
  VARIANT result;
  LCID lcid;

  const VARIANT& Arg(UINT i) const { return args[i]; }
  // Typed reads of by-value arguments (no coercion here: the types are the declared ones).
  LONG I4(UINT i) const { return args[i].lVal; }
  SHORT I2(UINT i) const { return args[i].iVal; }
  BYTE UI1(UINT i) const { return args[i].bVal; }
  FLOAT R4(UINT i) const { return args[i].fltVal; }
  DOUBLE R8(UINT i) const { return args[i].dblVal; }
  VARIANT_BOOL Bool(UINT i) const { return args[i].boolVal; }
  BSTR Str(UINT i) const { return args[i].bstrVal; }
  IDispatch* Dispatch(UINT i) const { return args[i].pdispVal; }
  IUnknown* Unknown(UINT i) const { return args[i].punkVal; }
  UINT Uint(UINT i) const { return args[i].uintVal; }
  // BYREF parameters: pointers into the caller's storage.
  BSTR* StrRef(UINT i) const { return args[i].pbstrVal; }
  SAFEARRAY** ArrayRef(UINT i) const { return args[i].pparray; }
  LONG* I4Ref(UINT i) const { return args[i].plVal; }
  VARIANT* VariantRef(UINT i) const { return args[i].pvarVal; }
  bool IsMissing(UINT i) const;

  // Result slots, typed after the member's result type.
  LONG* ResultI4() { return &result.lVal; }
  SHORT* ResultI2() { return &result.iVal; }
  VARIANT_BOOL* ResultBool() { return &result.boolVal; }
  FLOAT* ResultR4() { return &result.fltVal; }
  DOUBLE* ResultR8() { return &result.dblVal; }
  BYTE* ResultUI1() { return &result.bVal; }
  BSTR* ResultStr() { return &result.bstrVal; }
  IDispatch** ResultDispatch() { return &result.pdispVal; }
  UINT* ResultUint() { return &result.uintVal; }
  VARIANT* ResultVariant() { return &result; }  // for VT_VARIANT results
};

// The two table-driven IDispatch operations. Invoke errors: DISP_E_UNKNOWNINTERFACE (riid not
// IID_NULL), DISP_E_MEMBERNOTFOUND (no member for the DISPID and flags), DISP_E_NONAMEDARGS
// (named arguments other than DISPID_PROPERTYPUT on a put), DISP_E_BADPARAMCOUNT (too many, or a
// required one absent), DISP_E_PARAMNOTOPTIONAL (a required one passed as missing),
// DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW (an argument that does not coerce; *puArgErr is its
// rgvarg index), DISP_E_EXCEPTION (the handler failed and pExcepInfo was given: scode holds the
// handler's HRESULT, texts from the thread's error info). Without pExcepInfo a failing handler's
// HRESULT is returned as is.
HRESULT DispatchGetIDsOfNames(const TypeDescription& type, REFIID riid, LPOLESTR* rgszNames,
                              UINT cNames, DISPID* rgDispId);
HRESULT DispatchInvoke(const TypeDescription& type, void* self, DISPID dispIdMember, REFIID riid,
                       LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                       EXCEPINFO* pExcepInfo, UINT* puArgErr);

// Mixin for an interface derived from IDispatch: Derived provides
//   static const TypeDescription& Description();
template <class Derived, class Interface>
class DispatchImpl : public Interface {
 public:
  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                        DISPID* rgDispId) override {
    return DispatchGetIDsOfNames(Derived::Description(), riid, rgszNames, cNames, rgDispId);
  }
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
    return DispatchInvoke(Derived::Description(), static_cast<Derived*>(this), dispIdMember, riid,
                          lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
  }
};

// ---- calling side ------------------------------------------------------------------------------

// Calls a member with arguments in declared order (reversed into DISPPARAMS here). For a put the
// value is the last argument and is passed as the named DISPID_PROPERTYPUT argument. result and
// excepInfo may be null.
HRESULT InvokeByDispid(IDispatch* target, DISPID dispid, WORD wFlags,
                       std::initializer_list<VARIANT> args, VARIANT* result = nullptr,
                       EXCEPINFO* excepInfo = nullptr);
HRESULT GetProperty(IDispatch* target, DISPID dispid, VARIANT* result);
HRESULT PutProperty(IDispatch* target, DISPID dispid, const VARIANT& value);
// GetIDsOfNames for one name.
HRESULT DispidOfName(IDispatch* target, std::u16string_view name, DISPID* dispid);

}  // namespace win
