// VARIANT life cycle and the coercions automation needs.
#include "platform/com/variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/com/dispatch.h"

namespace win {

namespace {

bool IsScalarType(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_ERROR:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return true;
    default:
      return false;
  }
}

bool IsArrayElementType(VARTYPE vt) {
  return vt != VT_EMPTY && vt != VT_NULL && (IsScalarType(vt) || vt == VT_VARIANT);
}

bool IsValidType(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  if (vt & VT_ARRAY) {
    if (vt & ~(VT_ARRAY | VT_BYREF | VT_TYPEMASK)) return false;
    return IsArrayElementType(base);
  }
  if (vt & VT_BYREF) {
    if (vt & ~(VT_BYREF | VT_TYPEMASK)) return false;
    return base == VT_VARIANT || (IsScalarType(base) && base != VT_EMPTY && base != VT_NULL);
  }
  return IsScalarType(vt);
}

// A number read from a variant: integral values stay exact, floating ones keep their fraction.
struct Number {
  bool isFloat = false;
  long long i = 0;
  double d = 0;
  double AsDouble() const { return isFloat ? d : static_cast<double>(i); }
};

bool IsNumericType(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
      return true;
    default:
      return false;
  }
}

Number NumberOf(const VARIANT& v) {
  Number n;
  switch (v.vt) {
    case VT_I1:
      n.i = v.cVal;
      break;
    case VT_I2:
      n.i = v.iVal;
      break;
    case VT_I4:
      n.i = v.lVal;
      break;
    case VT_INT:
      n.i = v.intVal;
      break;
    case VT_UI1:
      n.i = v.bVal;
      break;
    case VT_UI2:
      n.i = v.uiVal;
      break;
    case VT_UI4:
      n.i = v.ulVal;
      break;
    case VT_UINT:
      n.i = v.uintVal;
      break;
    case VT_BOOL:
      n.i = v.boolVal ? -1 : 0;
      break;
    case VT_R4:
      n.isFloat = true;
      n.d = v.fltVal;
      break;
    case VT_R8:
      n.isFloat = true;
      n.d = v.dblVal;
      break;
    default:
      break;
  }
  return n;
}

// Integer value of n for an integral target: floating values round half to even; false when
// the value is not finite or does not fit in [lo, hi].
bool IntegralOf(const Number& n, long long lo, long long hi, long long* out) {
  long long value;
  if (n.isFloat) {
    if (!std::isfinite(n.d)) return false;
    double r = std::nearbyint(n.d);  // default rounding: to nearest, ties to even
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return false;
    value = static_cast<long long>(r);
  } else {
    value = n.i;
  }
  if (value < lo || value > hi) return false;
  *out = value;
  return true;
}

HRESULT NumberToVariant(const Number& n, VARTYPE vt, VARIANT* out) {
  long long v = 0;
  VariantInit(out);
  switch (vt) {
    case VT_I1:
      if (!IntegralOf(n, -128, 127, &v)) return DISP_E_OVERFLOW;
      out->cVal = static_cast<CHAR>(v);
      break;
    case VT_I2:
      if (!IntegralOf(n, -32768, 32767, &v)) return DISP_E_OVERFLOW;
      out->iVal = static_cast<SHORT>(v);
      break;
    case VT_I4:
    case VT_INT:
      if (!IntegralOf(n, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), &v))
        return DISP_E_OVERFLOW;
      out->lVal = static_cast<LONG>(v);
      break;
    case VT_UI1:
      if (!IntegralOf(n, 0, 255, &v)) return DISP_E_OVERFLOW;
      out->bVal = static_cast<BYTE>(v);
      break;
    case VT_UI2:
      if (!IntegralOf(n, 0, 65535, &v)) return DISP_E_OVERFLOW;
      out->uiVal = static_cast<USHORT>(v);
      break;
    case VT_UI4:
    case VT_UINT:
      if (!IntegralOf(n, 0, std::numeric_limits<ULONG>::max(), &v)) return DISP_E_OVERFLOW;
      out->ulVal = static_cast<ULONG>(v);
      break;
    case VT_R4: {
      double d = n.AsDouble();
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
        return DISP_E_OVERFLOW;
      out->fltVal = static_cast<float>(d);
      break;
    }
    case VT_R8:
      out->dblVal = n.AsDouble();
      break;
    case VT_BOOL:
      out->boolVal = (n.isFloat ? n.d != 0 : n.i != 0) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  out->vt = vt;
  return S_OK;
}

bool EqualsIgnoreCase(std::u16string_view a, const char* b) {
  std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char16_t c = a[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    char d = b[i];
    if (d >= 'A' && d <= 'Z') d = static_cast<char>(d - 'A' + 'a');
    if (c != static_cast<char16_t>(d)) return false;
  }
  return true;
}

// Parses the text of a number ("12", "-3.5", "1e3", "&HFF"); surrounding blanks allowed.
bool ParseNumber(std::u16string_view text, Number* out) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F) return false;
    ascii.push_back(static_cast<char>(c));
  }
  std::size_t b = ascii.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  std::size_t e = ascii.find_last_not_of(" \t");
  ascii = ascii.substr(b, e - b + 1);
  const char* first = ascii.data();
  const char* last = first + ascii.size();
  if (ascii.size() > 2 && ascii[0] == '&' && (ascii[1] == 'H' || ascii[1] == 'h')) {
    unsigned long long v = 0;
    auto r = std::from_chars(first + 2, last, v, 16);
    if (r.ec != std::errc() || r.ptr != last || v > 0xFFFFFFFFull) return false;
    // &H literals are 32-bit two's complement, as in the platform's scripting languages.
    out->isFloat = false;
    out->i =
        v > 0x7FFFFFFFull ? static_cast<long long>(v) - 0x100000000ll : static_cast<long long>(v);
    return true;
  }
  if (*first == '+') ++first;
  long long iv = 0;
  auto ri = std::from_chars(first, last, iv);
  if (ri.ec == std::errc() && ri.ptr == last) {
    out->isFloat = false;
    out->i = iv;
    return true;
  }
  double dv = 0;
  auto rd = std::from_chars(first, last, dv);
  if ((rd.ec != std::errc() && rd.ec != std::errc::result_out_of_range) || rd.ptr != last)
    return false;
  if (rd.ec == std::errc::result_out_of_range) dv = HUGE_VAL;  // reported as overflow later
  out->isFloat = true;
  out->d = dv;
  return true;
}

HRESULT MakeBstr(std::u16string_view text, VARIANT* out) {
  BSTR s = SysAllocString(text);
  if (!s) return E_OUTOFMEMORY;
  VariantInit(out);
  out->vt = VT_BSTR;
  out->bstrVal = s;
  return S_OK;
}

std::u16string Widen(const char* first, const char* last) {
  std::u16string w;
  for (const char* p = first; p < last; ++p) w.push_back(static_cast<char16_t>(*p));
  return w;
}

HRESULT NumberToBstr(const VARIANT& v, USHORT flags, VARIANT* out) {
  char buf[64];
  std::to_chars_result r;
  if (v.vt == VT_BOOL && (flags & VARIANT_ALPHABOOL))
    return MakeBstr(v.boolVal ? u"True" : u"False", out);
  if (v.vt == VT_R4)
    r = std::to_chars(buf, buf + sizeof buf, v.fltVal);
  else if (v.vt == VT_R8)
    r = std::to_chars(buf, buf + sizeof buf, v.dblVal);
  else
    r = std::to_chars(buf, buf + sizeof buf, NumberOf(v).i);
  return MakeBstr(Widen(buf, r.ptr), out);
}

HRESULT BstrToType(BSTR s, VARTYPE vt, VARIANT* out) {
  std::u16string_view text = BstrView(s);
  if (vt == VT_BOOL) {
    if (EqualsIgnoreCase(text, "true") || EqualsIgnoreCase(text, "false")) {
      VariantInit(out);
      out->vt = VT_BOOL;
      out->boolVal = EqualsIgnoreCase(text, "true") ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  Number n;
  if (!ParseNumber(text, &n)) return DISP_E_TYPEMISMATCH;
  return NumberToVariant(n, vt, out);
}

// The value of an object: its default member (DISPID_VALUE) read as a property.
HRESULT ValueOfObject(IDispatch* object, LCID lcid, VARIANT* out) {
  if (!object) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VariantInit(out);
  HRESULT hr = object->Invoke(DISPID_VALUE, GUID_NULL, lcid, DISPATCH_PROPERTYGET, &none, out,
                              nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(out);
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

// Converts an owned, non-BYREF value to vt into out (fresh). src is not modified.
HRESULT Coerce(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT* out) {
  VariantInit(out);
  if (src.vt == vt) return VariantCopy(out, &src);
  if ((vt & (VT_ARRAY | VT_BYREF)) || (src.vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  if (!IsScalarType(vt)) return DISP_E_BADVARTYPE;

  if (vt == VT_EMPTY) return S_OK;
  if (src.vt == VT_NULL || vt == VT_NULL || src.vt == VT_ERROR || vt == VT_ERROR)
    return DISP_E_TYPEMISMATCH;

  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    if (src.vt == VT_EMPTY) {  // "Nothing"
      out->vt = vt;
      out->punkVal = nullptr;
      return S_OK;
    }
    if (src.vt != VT_DISPATCH && src.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if (!src.punkVal) {
      out->vt = vt;
      out->punkVal = nullptr;
      return S_OK;
    }
    void* p = nullptr;
    if (FAILED(src.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p)))
      return DISP_E_TYPEMISMATCH;
    out->vt = vt;
    out->punkVal = static_cast<IUnknown*>(p);
    return S_OK;
  }

  // Target is a value (number, BOOL or BSTR).
  if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) {
    if (flags & VARIANT_NOVALUEPROP) return DISP_E_TYPEMISMATCH;
    IDispatch* object = nullptr;
    if (src.vt == VT_DISPATCH) {
      object = src.pdispVal;
      if (object) object->AddRef();
    } else if (src.punkVal) {
      void* p = nullptr;
      if (SUCCEEDED(src.punkVal->QueryInterface(IID_IDispatch, &p)))
        object = static_cast<IDispatch*>(p);
    }
    VARIANT value;
    HRESULT hr = ValueOfObject(object, lcid, &value);
    if (object) object->Release();
    if (FAILED(hr)) return hr;
    hr = Coerce(value, lcid, flags | VARIANT_NOVALUEPROP, vt, out);
    VariantClear(&value);
    return hr;
  }
  if (src.vt == VT_EMPTY) {
    if (vt == VT_BSTR) return MakeBstr(u"", out);
    return NumberToVariant(Number{}, vt, out);
  }
  if (vt == VT_BSTR) {
    if (!IsNumericType(src.vt)) return DISP_E_TYPEMISMATCH;
    return NumberToBstr(src, flags, out);
  }
  if (src.vt == VT_BSTR) return BstrToType(src.bstrVal, vt, out);
  if (!IsNumericType(src.vt)) return DISP_E_TYPEMISMATCH;
  return NumberToVariant(NumberOf(src), vt, out);
}

}  // namespace

void VariantInit(VARIANT* v) {
  if (!v) return;
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!IsValidType(v->vt)) return DISP_E_BADVARTYPE;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(v->parray);
      if (FAILED(hr)) return hr;
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->punkVal) {
      v->punkVal->Release();
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
      if (FAILED(hr)) return hr;
    } else if (src->vt == VT_BSTR && src->bstrVal) {
      copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal),
                                           SysStringByteLen(src->bstrVal));
      if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal) {
      src->punkVal->AddRef();
    }
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  if (!src->byref) return E_INVALIDARG;
  VARTYPE base = src->vt & ~VT_BYREF;
  VARIANT value;
  VariantInit(&value);
  if (base == VT_VARIANT) {
    if (src->pvarVal->vt & VT_BYREF) return E_INVALIDARG;
    HRESULT hr = VariantCopy(&value, src->pvarVal);
    if (FAILED(hr)) return hr;
  } else {
    VARIANT shallow;
    VariantInit(&shallow);
    shallow.vt = base;
    // Every by-value member shares the union's start, so copying the pointee's bytes into the
    // union gives the by-value form.
    std::size_t size = 0;
    if (base & VT_ARRAY) {
      size = sizeof(SAFEARRAY*);
    } else {
      switch (base) {
        case VT_I1:
        case VT_UI1:
          size = 1;
          break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
          size = 2;
          break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
          size = 4;
          break;
        case VT_R8:
          size = 8;
          break;
        default:
          size = sizeof(void*);
          break;  // BSTR, interfaces
      }
    }
    std::memcpy(&shallow.lVal, src->byref, size);
    HRESULT hr = VariantCopy(&value, &shallow);  // deep-copies what the pointee owns
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&value);
    return hr;
  }
  *dest = value;
  return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(dest, src, LOCALE_USER_DEFAULT, flags, vt);
}

HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, USHORT flags,
                            VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT value;  // src without BYREF
  VariantInit(&value);
  HRESULT hr = VariantCopyInd(&value, src);
  if (FAILED(hr)) return hr;
  VARIANT converted;
  hr = Coerce(value, lcid, flags, vt, &converted);
  VariantClear(&value);
  if (FAILED(hr)) return hr;
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&converted);
    return hr;
  }
  *dest = converted;
  return S_OK;
}

bool IsMissing(const VARIANT& v) {
  return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

// ---- Variant ------------------------------------------------------------------------------------

namespace {
Variant Make(VARTYPE vt) {
  Variant v;
  v.vt = vt;
  return v;
}
}  // namespace

Variant Variant::I2(SHORT value) {
  Variant v = Make(VT_I2);
  v.iVal = value;
  return v;
}
Variant Variant::I4(LONG value) {
  Variant v = Make(VT_I4);
  v.lVal = value;
  return v;
}
Variant Variant::UI1(BYTE value) {
  Variant v = Make(VT_UI1);
  v.bVal = value;
  return v;
}
Variant Variant::UI4(ULONG value) {
  Variant v = Make(VT_UI4);
  v.ulVal = value;
  return v;
}
Variant Variant::R4(FLOAT value) {
  Variant v = Make(VT_R4);
  v.fltVal = value;
  return v;
}
Variant Variant::R8(DOUBLE value) {
  Variant v = Make(VT_R8);
  v.dblVal = value;
  return v;
}
Variant Variant::Bool(bool value) {
  Variant v = Make(VT_BOOL);
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
Variant Variant::Str(std::u16string_view value) {
  Variant v = Make(VT_BSTR);
  v.bstrVal = SysAllocString(value);
  return v;
}
Variant Variant::BstrCopy(BSTR value) {
  Variant v = Make(VT_BSTR);
  v.bstrVal =
      value ? SysAllocStringByteLen(reinterpret_cast<const char*>(value), SysStringByteLen(value))
            : nullptr;
  return v;
}
Variant Variant::Dispatch(IDispatch* value) {
  Variant v = Make(VT_DISPATCH);
  v.pdispVal = value;
  if (value) value->AddRef();
  return v;
}
Variant Variant::Unknown(IUnknown* value) {
  Variant v = Make(VT_UNKNOWN);
  v.punkVal = value;
  if (value) value->AddRef();
  return v;
}
Variant Variant::Error(SCODE value) {
  Variant v = Make(VT_ERROR);
  v.scode = value;
  return v;
}
Variant Variant::Missing() {
  return Error(DISP_E_PARAMNOTFOUND);
}
Variant Variant::Null() {
  return Make(VT_NULL);
}
Variant Variant::ArrayAttach(VARTYPE elementVt, SAFEARRAY* owned) {
  Variant v = Make(static_cast<VARTYPE>(VT_ARRAY | elementVt));
  v.parray = owned;
  return v;
}
Variant Variant::ByRef(VARTYPE vt, void* target) {
  Variant v = Make(static_cast<VARTYPE>(VT_BYREF | vt));
  v.byref = target;
  return v;
}

}  // namespace win
