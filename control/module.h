// The library's module state: the lock count that DllCanUnloadNow reports (live objects plus
// server locks), the object map (Port and its property pages, each with its registry script and
// a class object made on first request and cached), and the four exports of the in-process
// server.
#pragma once

#include "platform/com/base.h"

namespace ravlin {

// +1 when an object is made or the server is locked, -1 when it goes.
void ModuleLock(int delta);
win::LONG ModuleLockCount();

}  // namespace ravlin

extern "C" {
win::HRESULT DllGetClassObject(win::REFCLSID clsid, win::REFIID riid, void** object);
win::HRESULT DllCanUnloadNow();
win::HRESULT DllRegisterServer();
win::HRESULT DllUnregisterServer();
}
