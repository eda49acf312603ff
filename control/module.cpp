#include "control/module.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "control/page_factory.h"
#include "control/port.h"
#include "control/port_identity.h"
#include "control/registry_scripts.h"
#include "platform/com/registrar.h"
#include "platform/com/unknown.h"

namespace ravlin {
namespace {

std::atomic<win::LONG> g_lockCount{0};

// A class object: creates objects of its class through `create` (the control also aggregated).
// It does not hold the module itself; only LockServer does, so a cached class object never keeps
// the library loaded.
class ClassFactory final : public win::IClassFactory {
 public:
  using creator = win::HRESULT (*)(win::IUnknown* outer, win::REFIID riid, void** object);
  explicit ClassFactory(creator create) : create_(create) {}
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
    return create_(outer, riid, object);
  }
  win::HRESULT LockServer(win::BOOL lock) override {
    ModuleLock(lock ? +1 : -1);
    return win::S_OK;
  }

 private:
  creator create_;
};

// A property page class's objects, made by the page factory.
template <const win::CLSID* Page>
win::HRESULT CreatePage(win::IUnknown* outer, win::REFIID riid, void** object) {
  return CreatePortPropertyPage(*Page, outer, riid, object);
}

// The object map, in registration order: each class, its registry script and how its objects
// are made.
struct object_map_entry {
  const win::CLSID* clsid;
  const char* script;
  ClassFactory::creator create;
};

constexpr object_map_entry kObjectMap[] = {
    {&CLSID_Port, kPortScript, &CPort19::Create},
    {&CLSID_CPort19Ppg1, kPpg1Script, &CreatePage<&CLSID_CPort19Ppg1>},
    {&CLSID_CPort19Ppg2, kPpg2Script, &CreatePage<&CLSID_CPort19Ppg2>},
    {&CLSID_CPort19Ppg4, kPpg4Script, &CreatePage<&CLSID_CPort19Ppg4>},
};
constexpr std::size_t kClasses = sizeof kObjectMap / sizeof kObjectMap[0];

std::mutex g_classObjectLock;  // class-object creation
ClassFactory* g_classObjects[kClasses] = {};

// The cached class objects go with the library (at unload, or at process exit).
struct class_object_release {
  ~class_object_release() {
    for (ClassFactory*& object : g_classObjects) {
      delete object;
      object = nullptr;
    }
  }
} g_releaseClassObjects;

// The entry's class object, made on first request and kept until the library unloads.
ClassFactory* ClassObject(std::size_t entry) {
  std::lock_guard<std::mutex> guard(g_classObjectLock);
  if (!g_classObjects[entry]) g_classObjects[entry] = new ClassFactory(kObjectMap[entry].create);
  return g_classObjects[entry];
}

// Runs every script of the map, then the type library's, with %MODULE% as this library's path.
win::HRESULT RunScripts(bool registering) {
  win::Registrar registrar;
  const std::string module = win::ModulePathOf(reinterpret_cast<const void*>(&RunScripts));
  if (module.empty()) return win::E_UNEXPECTED;
  registrar.AddReplacement("MODULE", module.c_str());
  auto run = [&](const char* script) {
    return registering ? registrar.StringRegister(script) : registrar.StringUnregister(script);
  };
  win::HRESULT first = win::S_OK;
  for (const auto& entry : kObjectMap) {
    win::HRESULT hr = run(entry.script);
    if (win::FAILED(hr) && registering) return hr;  // the type library is not registered then
    if (win::FAILED(hr) && win::SUCCEEDED(first)) first = hr;
  }
  win::HRESULT hr = run(kTypeLibScript);
  return win::FAILED(first) ? first : hr;
}

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
  for (std::size_t i = 0; i < ravlin::kClasses; ++i) {
    if (*ravlin::kObjectMap[i].clsid != clsid) continue;
    return ravlin::ClassObject(i)->QueryInterface(riid, object);
  }
  return win::CLASS_E_CLASSNOTAVAILABLE;
}

__attribute__((visibility("default"))) win::HRESULT DllCanUnloadNow() {
  return ravlin::ModuleLockCount() == 0 ? win::S_OK : win::S_FALSE;
}

// Registers every class of the object map and the type library; stops at the first script that
// fails and returns its result (what earlier scripts wrote stays, as each script is whole).
__attribute__((visibility("default"))) win::HRESULT DllRegisterServer() {
  return ravlin::RunScripts(true);
}

// Removes what registration wrote, leaving every other key alone. A key already gone is no
// failure; a store that cannot be written is reported.
__attribute__((visibility("default"))) win::HRESULT DllUnregisterServer() {
  return ravlin::RunScripts(false);
}

}  // extern "C"
