#include "control/module.h"

#include <atomic>
#include <mutex>

#include "control/port.h"
#include "control/port_identity.h"
#include "platform/com/unknown.h"

namespace ravlin {
namespace {

std::atomic<win::LONG> g_lockCount{0};

// The class object of Port: creates controls (also aggregated). It does not hold the module
// itself; only LockServer does, so a cached class object never keeps the library loaded.
class PortClassFactory final : public win::IClassFactory {
 public:
  win::HRESULT QueryInterface(win::REFIID riid, void** object) override {
    if (!object) return win::E_POINTER;
    if (riid == win::IID_IUnknown || riid == win::IID_IClassFactory) {
      *object = static_cast<win::IClassFactory*>(this);
      return win::S_OK;
    }
    *object = nullptr;
    return win::E_NOINTERFACE;
  }
  // Cached until the library unloads: the count is nominal.
  win::ULONG AddRef() override { return 2; }
  win::ULONG Release() override { return 1; }
  win::HRESULT CreateInstance(win::IUnknown* outer, win::REFIID riid, void** object) override {
    return CPort19::Create(outer, riid, object);
  }
  win::HRESULT LockServer(win::BOOL lock) override {
    ModuleLock(lock ? +1 : -1);
    return win::S_OK;
  }
};

// The object map: one entry, Port. The page classes join it with the property pages.
struct object_map_entry {
  const win::CLSID* clsid;
  win::IClassFactory* (*classObject)();
};

std::mutex g_classObjectLock;  // class-object creation

win::IClassFactory* PortClassObject() {
  std::lock_guard<std::mutex> guard(g_classObjectLock);
  static PortClassFactory* factory = new PortClassFactory;  // lives as long as the library
  return factory;
}

constexpr object_map_entry kObjectMap[] = {
    {&CLSID_Port, &PortClassObject},
};

}  // namespace

void ModuleLock(int delta) {
  g_lockCount.fetch_add(delta);
}
win::LONG ModuleLockCount() {
  return g_lockCount.load();
}

}  // namespace ravlin

extern "C" {

__attribute__((visibility("default"))) win::HRESULT DllGetClassObject(win::REFCLSID clsid,
                                                                      win::REFIID riid,
                                                                      void** object) {
  if (!object) return win::E_POINTER;
  *object = nullptr;
  for (const auto& entry : ravlin::kObjectMap)
    if (*entry.clsid == clsid) return entry.classObject()->QueryInterface(riid, object);
  return win::CLASS_E_CLASSNOTAVAILABLE;
}

__attribute__((visibility("default"))) win::HRESULT DllCanUnloadNow() {
  return ravlin::ModuleLockCount() == 0 ? win::S_OK : win::S_FALSE;
}

// The registry scripts of the object map come with the registration support; until then the
// library says so instead of pretending to have registered anything.
__attribute__((visibility("default"))) win::HRESULT DllRegisterServer() {
  return win::E_NOTIMPL;
}

__attribute__((visibility("default"))) win::HRESULT DllUnregisterServer() {
  return win::E_NOTIMPL;
}

}  // extern "C"
