// Table-driven IDispatch: name lookup and Invoke over a TypeDescription.
#include "platform/com/dispatch.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/text/convert.h"

namespace win {

const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

char16_t Fold(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

bool IsPut(MemberKind k) {
  return k == MemberKind::PropertyPut || k == MemberKind::PropertyPutRef;
}

// Converts a parameter default to the parameter's (non-BYREF) type.
HRESULT DefaultFor(const ParamDesc& p, LCID lcid, VARIANT* out) {
  VARTYPE base = p.vt & ~VT_BYREF;
  VariantInit(out);
  const DefaultValue& d = p.defaultValue;
  if (d.kind == DefaultValue::Kind::None) {
    if (base == VT_VARIANT) {
      out->vt = VT_ERROR;
      out->scode = DISP_E_PARAMNOTFOUND;
    } else {
      out->vt = base;  // zero value of the type (null BSTR, null array or object)
    }
    return S_OK;
  }
  Variant v;
  if (d.kind == DefaultValue::Kind::I4) v = Variant::I4(d.i4);
  if (d.kind == DefaultValue::Kind::R8) v = Variant::R8(d.r8);
  if (d.kind == DefaultValue::Kind::Str) v = Variant::Str(d.str);
  if (base == VT_VARIANT) return VariantCopy(out, &v);
  return VariantChangeTypeEx(out, &v, lcid, 0, base);
}

// Points a BYREF argument of type vt at the value held in storage.
void PointAt(VARIANT* arg, VARTYPE vt, VARIANT* storage) {
  VariantInit(arg);
  arg->vt = vt;
  if ((vt & ~VT_BYREF) == VT_VARIANT)
    arg->pvarVal = storage;
  else
    arg->byref = &storage->lVal;  // every by-value member starts at the union's start
}

void FillExcepInfo(EXCEPINFO* info, HRESULT hr) {
  std::memset(info, 0, sizeof *info);
  info->scode = hr;
  IErrorInfo* error = nullptr;
  if (GetErrorInfo(0, &error) != S_OK || !error) return;
  error->GetSource(&info->bstrSource);
  error->GetDescription(&info->bstrDescription);
  error->GetHelpFile(&info->bstrHelpFile);
  error->GetHelpContext(&info->dwHelpContext);
  error->Release();
}

}  // namespace

void ClearExcepInfo(EXCEPINFO* info) {
  if (!info) return;
  SysFreeString(info->bstrSource);
  SysFreeString(info->bstrDescription);
  SysFreeString(info->bstrHelpFile);
  std::memset(info, 0, sizeof *info);
}

// ---- TypeDescription ---------------------------------------------------------------------------

TypeDescription::TypeDescription(std::u16string_view name, const IID& iid,
                                 std::vector<MemberDesc> members)
    : name_(name), iid_(iid), members_(std::move(members)) {}

const MemberDesc* TypeDescription::Find(DISPID dispid, WORD wFlags) const {
  auto find = [&](MemberKind kind) -> const MemberDesc* {
    for (const MemberDesc& m : members_)
      if (m.dispid == dispid && m.kind == kind) return &m;
    return nullptr;
  };
  if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    // A "Set x.P = obj" (PUTREF) reaches a plain put and the other way round when the interface
    // declares only one of them.
    MemberKind first =
        (wFlags & DISPATCH_PROPERTYPUT) ? MemberKind::PropertyPut : MemberKind::PropertyPutRef;
    MemberKind second =
        first == MemberKind::PropertyPut ? MemberKind::PropertyPutRef : MemberKind::PropertyPut;
    if (const MemberDesc* m = find(first)) return m;
    return find(second);
  }
  if (wFlags & DISPATCH_METHOD)
    if (const MemberDesc* m = find(MemberKind::Method)) return m;
  if (wFlags & DISPATCH_PROPERTYGET) return find(MemberKind::PropertyGet);
  return nullptr;
}

DISPID TypeDescription::IdOfName(std::u16string_view name) const {
  for (const MemberDesc& m : members_)
    if (SameName(m.name, name)) return m.dispid;
  return DISPID_UNKNOWN;
}

bool TypeDescription::HasDispid(DISPID dispid) const {
  for (const MemberDesc& m : members_)
    if (m.dispid == dispid) return true;
  return false;
}

std::string TypeDescription::Check() const {
  auto describe = [](const MemberDesc& m) {
    std::string text = Utf16ToUtf8(m.name);
    return text + " (" + std::to_string(m.dispid) + ")";
  };
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const MemberDesc& m = members_[i];
    for (std::size_t j = 0; j < i; ++j) {
      const MemberDesc& earlier = members_[j];
      if (earlier.dispid != m.dispid) continue;
      if (earlier.kind == m.kind) return describe(m) + ": declared twice";
      if (!SameName(earlier.name, m.name)) return describe(m) + ": DISPID shared by another name";
    }
    if (!m.handler) return describe(m) + ": no handler";
    if (IsPut(m.kind) && m.params.empty()) return describe(m) + ": put without a value";
    bool optionalSeen = false;
    for (const ParamDesc& p : m.params) {
      if (optionalSeen && !p.optional) return describe(m) + ": required parameter after optional";
      optionalSeen = optionalSeen || p.optional;
      if (p.optional) {
        Variant probe;
        if (FAILED(DefaultFor(p, LOCALE_USER_DEFAULT, &probe)))
          return describe(m) + ": default of " + Utf16ToUtf8(p.name) + " does not fit its type";
      }
    }
  }
  return {};
}

bool Invocation::IsMissing(UINT i) const {
  return win::IsMissing(args[i]);
}

// ---- GetIDsOfNames / Invoke --------------------------------------------------------------------

HRESULT DispatchGetIDsOfNames(const TypeDescription& type, REFIID riid, LPOLESTR* rgszNames,
                              UINT cNames, DISPID* rgDispId) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!rgszNames || !rgDispId) return E_POINTER;
  if (cNames == 0) return E_INVALIDARG;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  if (!rgszNames[0]) return DISP_E_UNKNOWNNAME;
  std::u16string_view name(rgszNames[0]);
  rgDispId[0] = type.IdOfName(name);
  if (rgDispId[0] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
  // Further names are parameters of that member; their DISPIDs are their positions.
  for (UINT n = 1; n < cNames; ++n) {
    if (!rgszNames[n]) {
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    std::u16string_view param(rgszNames[n]);
    for (const MemberDesc& m : type.Members()) {
      if (!SameName(m.name, name)) continue;
      for (std::size_t p = 0; p < m.params.size(); ++p)
        if (SameName(m.params[p].name, param)) rgDispId[n] = static_cast<DISPID>(p);
    }
    if (rgDispId[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT DispatchInvoke(const TypeDescription& type, void* self, DISPID dispIdMember, REFIID riid,
                       LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                       EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!pDispParams) return E_INVALIDARG;
  if (pDispParams->cArgs && !pDispParams->rgvarg) return E_INVALIDARG;
  const MemberDesc* member = type.Find(dispIdMember, wFlags);
  if (!member) return DISP_E_MEMBERNOTFOUND;

  const UINT cArgs = pDispParams->cArgs;
  if (pDispParams->cNamedArgs) {
    bool putValue = IsPut(member->kind) && pDispParams->cNamedArgs == 1 &&
                    pDispParams->rgdispidNamedArgs &&
                    pDispParams->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    if (!putValue) return DISP_E_NONAMEDARGS;
  }
  const std::vector<ParamDesc>& params = member->params;
  const UINT count = static_cast<UINT>(params.size());
  if (cArgs > count) return DISP_E_BADPARAMCOUNT;
  for (UINT i = cArgs; i < count; ++i)
    if (!params[i].optional) return DISP_E_BADPARAMCOUNT;

  // args[i] is what the handler sees; storage[i] holds values made here (coerced copies,
  // defaults, the targets of BYREF arguments that arrived by value). Byref arguments the caller
  // gave point into the caller's storage and are never freed here.
  std::vector<VARIANT> args(count), storage(count);
  std::vector<bool> argOwned(count, false);
  for (UINT i = 0; i < count; ++i) {
    VariantInit(&args[i]);
    VariantInit(&storage[i]);
  }
  auto cleanup = [&] {
    for (UINT i = 0; i < count; ++i) {
      if (argOwned[i]) VariantClear(&args[i]);
      VariantClear(&storage[i]);
    }
  };
  auto failArg = [&](UINT i, HRESULT hr) {
    if (puArgErr) *puArgErr = cArgs - 1 - i;
    cleanup();
    return hr;
  };

  for (UINT i = 0; i < count; ++i) {
    const ParamDesc& p = params[i];
    const VARTYPE base = p.vt & ~VT_BYREF;
    const bool byref = (p.vt & VT_BYREF) != 0;
    const VARIANT* given = i < cArgs ? &pDispParams->rgvarg[cArgs - 1 - i] : nullptr;
    if (!given || (IsMissing(*given) && p.vt != VT_ERROR)) {
      if (!p.optional) return failArg(i, DISP_E_PARAMNOTOPTIONAL);
      HRESULT hr = DefaultFor(p, lcid, &storage[i]);
      if (FAILED(hr)) return failArg(i, hr);
      if (byref) {
        PointAt(&args[i], p.vt, &storage[i]);
      } else {
        args[i] = storage[i];
        VariantInit(&storage[i]);
        argOwned[i] = true;
      }
      continue;
    }
    if (byref) {
      if (given->vt == p.vt) {
        args[i] = *given;
      } else if (given->vt == (VT_BYREF | VT_VARIANT) && given->pvarVal &&
                 given->pvarVal->vt == base) {
        PointAt(&args[i], p.vt, given->pvarVal);
      } else if (!(given->vt & VT_BYREF)) {
        // A value where a reference is expected: the handler works on a converted copy, and
        // what it writes back is dropped (as for an expression passed ByRef).
        HRESULT hr = base == VT_VARIANT ? VariantCopy(&storage[i], given)
                                        : VariantChangeTypeEx(&storage[i], given, lcid, 0, base);
        if (FAILED(hr)) return failArg(i, hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH);
        PointAt(&args[i], p.vt, &storage[i]);
      } else {
        return failArg(i, DISP_E_TYPEMISMATCH);  // a reference of another type
      }
      continue;
    }
    if (p.vt == VT_VARIANT) {
      args[i] = *given;  // as given (shallow: the caller keeps ownership)
      continue;
    }
    HRESULT hr = VariantChangeTypeEx(&args[i], given, lcid, 0, p.vt);
    if (FAILED(hr)) return failArg(i, hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH);
    argOwned[i] = true;
  }

  Invocation call{member, args.data(), count, {}, lcid};
  VariantInit(&call.result);
  if (member->result != VT_EMPTY && member->result != VT_VOID && member->result != VT_VARIANT)
    call.result.vt = member->result;

  // Error info left from an earlier call must not be taken for this member's.
  SetErrorInfo(0, nullptr);
  HRESULT hr = member->handler ? member->handler(self, call) : E_NOTIMPL;
  cleanup();

  if (SUCCEEDED(hr)) {
    if (pVarResult)
      *pVarResult = call.result;  // ownership moves to the caller
    else
      VariantClear(&call.result);
    return hr;
  }
  VariantClear(&call.result);
  if (!pExcepInfo) return hr;
  FillExcepInfo(pExcepInfo, hr);
  return DISP_E_EXCEPTION;
}

// ---- calling side ------------------------------------------------------------------------------

HRESULT InvokeByDispid(IDispatch* target, DISPID dispid, WORD wFlags,
                       std::initializer_list<VARIANT> args, VARIANT* result, EXCEPINFO* excepInfo) {
  if (!target) return E_POINTER;
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  if ((wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !reversed.empty()) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  if (result) VariantInit(result);
  UINT argErr = 0;
  return target->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, result, excepInfo,
                        &argErr);
}

HRESULT GetProperty(IDispatch* target, DISPID dispid, VARIANT* result) {
  return InvokeByDispid(target, dispid, DISPATCH_PROPERTYGET, {}, result);
}

HRESULT PutProperty(IDispatch* target, DISPID dispid, const VARIANT& value) {
  return InvokeByDispid(target, dispid, DISPATCH_PROPERTYPUT, {value});
}

HRESULT DispidOfName(IDispatch* target, std::u16string_view name, DISPID* dispid) {
  if (!target || !dispid) return E_POINTER;
  std::u16string text(name);
  LPOLESTR names[1] = {text.data()};
  return target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, dispid);
}

}  // namespace win
