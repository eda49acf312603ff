// The activation tests' server library: exports DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer and DllUnregisterServer like a real control library.
#include "platform/com/testdata/test_server.h"

#include <atomic>
#include <string>

#include "platform/com/registrar.h"

using namespace win;
using namespace test_server;

namespace {

std::atomic<long> gLocks{0};  // live objects plus server locks
std::atomic<int> gUnloadAsks{0};

class AnswerObject final : public IAnswer {
 public:
  AnswerObject() { ++gLocks; }
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == kIidUnknown || riid == kIidAnswer) {
      *object = static_cast<IAnswer*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT Answer(LONG* value) override {
    if (!value) return E_POINTER;
    *value = 42;
    return S_OK;
  }

 private:
  ~AnswerObject() { --gLocks; }
  std::atomic<ULONG> refs_{1};
};

class Factory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == kIidUnknown || riid == kIidClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: its references do not keep the library loaded, as usual for class objects.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* created = new AnswerObject;
    HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    lock ? ++gLocks : --gLocks;
    return S_OK;
  }
};

Factory gFactory;

std::string Script() {
  return std::string("HKCR { NoRemove CLSID { ForceRemove ") + kClsidAnswerText +
         " = s 'Cobrix test answer' { InprocServer32 = s '%MODULE%' "
         "{ val ThreadingModel = s 'Apartment' } } } }";
}

HRESULT RunScript(bool registering) {
  Registrar registrar;
  registrar.AddReplacement("MODULE",
                           ModulePathOf(reinterpret_cast<const void*>(&RunScript)).c_str());
  return registering ? registrar.StringRegister(Script().c_str())
                     : registrar.StringUnregister(Script().c_str());
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                                 void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != kClsidAnswer) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(riid, object);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  ++gUnloadAsks;
  return gLocks == 0 ? S_OK : S_FALSE;
}

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  return RunScript(true);
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  return RunScript(false);
}

__attribute__((visibility("default"))) int TestServerUnloadAsks() {
  return gUnloadAsks;
}
}
