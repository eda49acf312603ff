// SAFEARRAY: the platform's self-describing array. Storage is one block of elements, row-major
// with the first index varying fastest as on the platform, plus bounds per dimension and the
// element type. Arrays of BSTR, VARIANT and interface pointers own their elements: Destroy frees
// them and Copy duplicates them. The Port control and its hosts use one-dimensional byte arrays;
// more dimensions exist so that "not one-dimensional" is a value a member can see and refuse.
#pragma once

#include <cstddef>

#include "platform/com/base.h"
#include "platform/com/vartype.h"

namespace win {

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

// Features (fFeatures); FADF_HAVEVARTYPE is always set by this runtime.
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];  // cDims entries, the first dimension LAST (platform order)
};

constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHResult(0x8002000D);

// Element types accepted: VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_R4,
// VT_R8, VT_BOOL, VT_ERROR, VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH. Null on a bad type,
// zero or too many dimensions, or out of memory. Elements start zeroed (VARIANTs VT_EMPTY).
// rgsabound is in declaration order (rgsabound[0] is the first dimension).
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// S_OK for null (nothing to free), DISP_E_ARRAYISLOCKED while locked.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt);
// nDim counts from 1; DISP_E_BADINDEX outside 1..cDims.
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);  // E_UNEXPECTED when not locked
// Locks the array and gives its data block.
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
// Deep copy (BSTRs copied, interfaces AddRef'ed). A null source gives a null copy and S_OK.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// rgIndices in declaration order; the element is copied in/out as the platform does (BSTR and
// VARIANT copied, interfaces AddRef'ed). DISP_E_BADINDEX outside the bounds.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv);
HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, const void* pv);
// Resizes a one-dimensional array (new bound and count; elements beyond the new end are freed,
// new ones zeroed). E_INVALIDARG for more dimensions, DISP_E_ARRAYISLOCKED while locked.
HRESULT SafeArrayRedim(SAFEARRAY* psa, const SAFEARRAYBOUND* psaboundNew);

// Convenience (not platform API): a one-dimensional VT_UI1 array with lower bound 0 holding a
// copy of the bytes; null when out of memory.
SAFEARRAY* SafeArrayFromBytes(const void* data, std::size_t size);

}  // namespace win
