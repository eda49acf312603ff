// Activation: creating objects by CLSID from in-process server libraries.
//
// Principle: a CLSID names a server library. The runtime takes the first of these that loads and
// knows the class: the path in HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (default value),
// the library named in the call (CoCreateInstanceFromLibrary), and libravlin.so beside the
// executable or in ../lib relative to it; a path that names no regular file (a FIFO, a device, a
// directory) counts as a missing library. The library is loaded with dlopen and stays loaded;
// its DllGetClassObject gives the class object (IClassFactory), whose CreateInstance makes the
// object. CoFreeUnusedLibraries asks each loaded library's DllCanUnloadNow and unloads those that
// answer S_OK; a library without that export, or in use by an activation at that moment, stays.
// Objects are created on the calling thread whatever ThreadingModel the registry names.
//
// Offers: CLSCTX_* values, CoGetClassObject, CoCreateInstance, CoCreateInstanceFromLibrary,
// CoFreeUnusedLibraries, DefaultServerCandidates.
#pragma once

#include <string>
#include <vector>

#include "platform/com/base.h"

namespace win {

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// The class object for clsid, queried for iid. E_POINTER for a null out;
// REGDB_E_CLASSNOTREG when no candidate library exists (or context lacks CLSCTX_INPROC_SERVER);
// CO_E_DLLNOTFOUND / CO_E_ERRORINDLL when the only library found cannot be loaded or lacks
// DllGetClassObject; otherwise the last library's DllGetClassObject result
// (CLASS_E_CLASSNOTAVAILABLE when none knows the class).
HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* reserved, REFIID iid, void** out);

// Class object, then IClassFactory::CreateInstance(outer, iid). *out is null on failure.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid, void** out);

// As CoCreateInstance, with libraryPath tried after the registry and before libravlin.so.
HRESULT CoCreateInstanceFromLibrary(const char* libraryPath, REFCLSID clsid, IUnknown* outer,
                                    DWORD clsContext, REFIID iid, void** out);

void CoFreeUnusedLibraries();

// Where libravlin.so is looked for when nothing else names a library, for the executable at
// exePath ("" = this process's): <exe folder>/libravlin.so, <exe folder>/../lib/libravlin.so.
std::vector<std::string> DefaultServerCandidates(const std::string& exePath = "");

}  // namespace win
