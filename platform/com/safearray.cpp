// SAFEARRAY storage: one allocation holds a hidden prefix with the element type, the descriptor
// and its bounds; the data block is a second allocation so Redim can move it.
#include "platform/com/safearray.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/com/variant.h"

namespace win {

namespace {

constexpr UINT kMaxDims = 64;

struct Prefix {
  VARTYPE vt;
  // Keeps the descriptor that follows aligned for its pointer member.
  alignas(std::max_align_t) unsigned char pad[1];
};
constexpr std::size_t kPrefixSize = offsetof(Prefix, pad);

ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_R8:
      return 8;
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(IUnknown*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

USHORT FeaturesOf(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN:
      return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH:
      return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_VARIANT:
      return FADF_HAVEVARTYPE | FADF_VARIANT;
    default:
      return FADF_HAVEVARTYPE;
  }
}

VARTYPE VartypeOf(const SAFEARRAY* psa) {
  return reinterpret_cast<const Prefix*>(reinterpret_cast<const char*>(psa) - kPrefixSize)->vt;
}

// Total element count, or false when it overflows the address space.
bool CountElements(const SAFEARRAY* psa, std::size_t* count) {
  std::size_t n = 1;
  for (UINT i = 0; i < psa->cDims; ++i) {
    std::size_t c = psa->rgsabound[i].cElements;
    if (c != 0 && n > std::numeric_limits<std::size_t>::max() / c) return false;
    n *= c;
  }
  *count = n;
  return true;
}

void FreeElements(SAFEARRAY* psa, std::size_t first, std::size_t count) {
  char* data = static_cast<char*>(psa->pvData);
  if (!data) return;
  VARTYPE vt = VartypeOf(psa);
  for (std::size_t i = first; i < first + count; ++i) {
    void* cell = data + i * psa->cbElements;
    if (vt == VT_BSTR) {
      SysFreeString(*static_cast<BSTR*>(cell));
      *static_cast<BSTR*>(cell) = nullptr;
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
      if (IUnknown* p = *static_cast<IUnknown**>(cell)) p->Release();
      *static_cast<IUnknown**>(cell) = nullptr;
    } else if (vt == VT_VARIANT) {
      VariantClear(static_cast<VARIANT*>(cell));
    }
  }
}

// Copies one cell of type vt from src to dest (dest holds a zero value). Deep for owned types.
HRESULT CopyCell(VARTYPE vt, void* dest, const void* src, ULONG size) {
  if (vt == VT_BSTR) {
    BSTR s = *static_cast<const BSTR*>(src);
    BSTR copy = nullptr;
    if (s) {
      copy = SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s));
      if (!copy) return E_OUTOFMEMORY;
    }
    *static_cast<BSTR*>(dest) = copy;
    return S_OK;
  }
  if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    IUnknown* p = *static_cast<IUnknown* const*>(src);
    if (p) p->AddRef();
    *static_cast<IUnknown**>(dest) = p;
    return S_OK;
  }
  if (vt == VT_VARIANT) {
    VariantInit(static_cast<VARIANT*>(dest));
    return VariantCopy(static_cast<VARIANT*>(dest), static_cast<const VARIANT*>(src));
  }
  std::memcpy(dest, src, size);
  return S_OK;
}

SAFEARRAY* AllocDescriptor(VARTYPE vt, UINT cDims) {
  std::size_t size = kPrefixSize + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
  char* block = static_cast<char*>(std::calloc(1, size));
  if (!block) return nullptr;
  reinterpret_cast<Prefix*>(block)->vt = vt;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefixSize);
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = FeaturesOf(vt);
  psa->cbElements = ElementSize(vt);
  return psa;
}

void FreeDescriptor(SAFEARRAY* psa) {
  std::free(reinterpret_cast<char*>(psa) - kPrefixSize);
}

// The cell for rgIndices (declaration order, the first index varying fastest), or null.
void* CellOf(SAFEARRAY* psa, const LONG* rgIndices) {
  std::size_t offset = 0;
  std::size_t stride = 1;
  for (UINT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - d];
    long long rel = static_cast<long long>(rgIndices[d]) - b.lLbound;
    if (rel < 0 || rel >= static_cast<long long>(b.cElements)) return nullptr;
    offset += static_cast<std::size_t>(rel) * stride;
    stride *= b.cElements;
  }
  return static_cast<char*>(psa->pvData) + offset * psa->cbElements;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound) {
  if (cDims == 0 || cDims > kMaxDims || !rgsabound || ElementSize(vt) == 0) return nullptr;
  SAFEARRAY* psa = AllocDescriptor(vt, cDims);
  if (!psa) return nullptr;
  for (UINT i = 0; i < cDims; ++i) psa->rgsabound[cDims - 1 - i] = rgsabound[i];
  std::size_t count = 0;
  if (!CountElements(psa, &count) ||
      count > std::numeric_limits<std::size_t>::max() / psa->cbElements) {
    FreeDescriptor(psa);
    return nullptr;
  }
  // Zeroed cells are valid empty values of every supported type (VT_EMPTY is 0).
  psa->pvData = std::calloc(count ? count : 1, psa->cbElements);
  if (!psa->pvData) {
    FreeDescriptor(psa);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;  // as the platform: nothing to do
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  std::size_t count = 0;
  CountElements(psa, &count);
  FreeElements(psa, 0, count);
  std::free(psa->pvData);
  FreeDescriptor(psa);
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
  return psa ? psa->cDims : 0;
}
UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
  return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) {
  if (!psa || !vt) return E_INVALIDARG;
  *vt = VartypeOf(psa);
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0xFFFF) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
  return SafeArrayUnlock(psa);
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (!ppsaOut) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (!psa) return S_OK;
  VARTYPE vt = VartypeOf(psa);
  SAFEARRAYBOUND bounds[kMaxDims];
  for (UINT i = 0; i < psa->cDims; ++i) bounds[i] = psa->rgsabound[psa->cDims - 1 - i];
  SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, bounds);
  if (!copy) return E_OUTOFMEMORY;
  std::size_t count = 0;
  CountElements(psa, &count);
  for (std::size_t i = 0; i < count; ++i) {
    HRESULT hr = CopyCell(vt, static_cast<char*>(copy->pvData) + i * copy->cbElements,
                          static_cast<char*>(psa->pvData) + i * psa->cbElements, psa->cbElements);
    if (FAILED(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *ppsaOut = copy;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices || !pv) return E_INVALIDARG;
  void* cell = CellOf(psa, rgIndices);
  if (!cell) return DISP_E_BADINDEX;
  return CopyCell(VartypeOf(psa), pv, cell, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, const void* pv) {
  if (!psa || !rgIndices) return E_INVALIDARG;
  void* cell = CellOf(psa, rgIndices);
  if (!cell) return DISP_E_BADINDEX;
  VARTYPE vt = VartypeOf(psa);
  // The platform passes BSTRs and interface pointers themselves, other values by address.
  if (vt == VT_BSTR) {
    BSTR fresh = nullptr;
    if (pv) {
      auto s = static_cast<BSTR>(const_cast<void*>(pv));
      fresh = SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s));
      if (!fresh) return E_OUTOFMEMORY;
    }
    SysFreeString(*static_cast<BSTR*>(cell));
    *static_cast<BSTR*>(cell) = fresh;
    return S_OK;
  }
  if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    auto p = static_cast<IUnknown*>(const_cast<void*>(pv));
    if (p) p->AddRef();
    if (IUnknown* old = *static_cast<IUnknown**>(cell)) old->Release();
    *static_cast<IUnknown**>(cell) = p;
    return S_OK;
  }
  if (!pv) return E_INVALIDARG;
  if (vt == VT_VARIANT)
    return VariantCopy(static_cast<VARIANT*>(cell), static_cast<const VARIANT*>(pv));
  std::memcpy(cell, pv, psa->cbElements);
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, const SAFEARRAYBOUND* psaboundNew) {
  if (!psa || !psaboundNew || psa->cDims != 1) return E_INVALIDARG;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  ULONG oldCount = psa->rgsabound[0].cElements;
  ULONG newCount = psaboundNew->cElements;
  if (newCount > std::numeric_limits<std::size_t>::max() / psa->cbElements) return E_OUTOFMEMORY;
  if (newCount < oldCount) FreeElements(psa, newCount, oldCount - newCount);
  void* data = std::realloc(psa->pvData, (newCount ? newCount : 1) * std::size_t{psa->cbElements});
  if (!data) return E_OUTOFMEMORY;  // shrunk cells were emptied, which is still consistent
  if (newCount > oldCount)
    std::memset(static_cast<char*>(data) + std::size_t{oldCount} * psa->cbElements, 0,
                std::size_t{newCount - oldCount} * psa->cbElements);
  psa->pvData = data;
  psa->rgsabound[0] = *psaboundNew;
  return S_OK;
}

SAFEARRAY* SafeArrayFromBytes(const void* data, std::size_t size) {
  if (size > std::numeric_limits<ULONG>::max()) return nullptr;
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
  if (psa && size) std::memcpy(psa->pvData, data, size);
  return psa;
}

}  // namespace win
