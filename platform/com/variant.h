// VARIANT: the tagged value automation passes around. Which union member is valid follows from
// vt; VT_BYREF forms point at storage the caller owns, VT_ARRAY forms own a SAFEARRAY. Clear
// frees what the variant owns (BSTR, array, interface reference) and leaves VT_EMPTY.
//
// ChangeType covers the coercions dispatch needs among EMPTY, NULL, I1, I2, I4, INT, UI1, UI2,
// UI4, UINT, R4, R8, BOOL, BSTR, ERROR, DISPATCH and UNKNOWN: numbers convert with range checks
// (DISP_E_OVERFLOW) and round half to even from floating point; BSTR parses and formats numbers
// (invariant, '.' decimal point) and "True"/"False"; an object converts to a value through its
// default member (DISPID_VALUE). Anything else is DISP_E_TYPEMISMATCH.
#pragma once

#include <string_view>

#include "platform/com/bstr.h"
#include "platform/com/safearray.h"

namespace win {

struct IDispatch;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    CHAR* pcVal;
    USHORT* puiVal;
    ULONG* pulVal;
    INT* pintVal;
    UINT* puintVal;
    void* byref;
  };
};
using VARIANTARG = VARIANT;

// VariantChangeType(Ex) flags.
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;  // do not ask an object for its default value
constexpr USHORT VARIANT_ALPHABOOL = 0x02;    // BOOL -> BSTR as "True"/"False" (default: "-1"/"0")

void VariantInit(VARIANT* v);
// DISP_E_BADVARTYPE (v untouched) for a type this runtime does not know.
HRESULT VariantClear(VARIANT* v);
// Clears dest, then deep-copies src (BYREF forms copy the pointer, as on the platform).
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// As VariantCopy, but a BYREF source is dereferenced into an owned value.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// dest may equal src. On failure dest is left as it was (when distinct from src).
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, USHORT flags, VARTYPE vt);

// Owning C++ wrapper (not platform API): a VARIANT that clears itself; copies deep-copy.
class Variant : public VARIANT {
 public:
  Variant() { VariantInit(this); }
  Variant(const Variant& other) : Variant() { VariantCopy(this, &other); }
  Variant(const VARIANT& other) : Variant() { VariantCopy(this, &other); }  // NOLINT
  Variant(Variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
  Variant& operator=(const Variant& other) {
    if (this != &other) VariantCopy(this, &other);
    return *this;
  }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(this);
      static_cast<VARIANT&>(*this) = other;
      VariantInit(&other);
    }
    return *this;
  }
  ~Variant() { VariantClear(this); }

  static Variant I2(SHORT value);
  static Variant I4(LONG value);
  static Variant UI1(BYTE value);
  static Variant UI4(ULONG value);
  static Variant R4(FLOAT value);
  static Variant R8(DOUBLE value);
  static Variant Bool(bool value);                // VT_BOOL, VARIANT_TRUE/VARIANT_FALSE
  static Variant Str(std::u16string_view value);  // VT_BSTR copy
  static Variant BstrCopy(BSTR value);            // VT_BSTR copy (null stays null)
  static Variant Dispatch(IDispatch* value);      // AddRef'ed
  static Variant Unknown(IUnknown* value);        // AddRef'ed
  static Variant Error(SCODE value);              // VT_ERROR
  static Variant Missing();                       // VT_ERROR DISP_E_PARAMNOTFOUND
  static Variant Null();                          // VT_NULL
  static Variant ArrayAttach(VARTYPE elementVt, SAFEARRAY* owned);  // VT_ARRAY | elementVt
  static Variant ByRef(VARTYPE vt, void* target);  // VT_BYREF | vt pointing at target

  HRESULT ChangeType(VARTYPE vt) { return VariantChangeType(this, this, 0, vt); }
  // Hands the value to a caller-owned VARIANT (which must be cleared or fresh).
  void Detach(VARIANT* out) {
    *out = *this;
    VariantInit(this);
  }
};

// True for VT_ERROR holding DISP_E_PARAMNOTFOUND: how an omitted optional argument arrives.
bool IsMissing(const VARIANT& v);

}  // namespace win
