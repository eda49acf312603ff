#include "platform/com/activation.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/com/registry.h"

namespace win {
namespace {

// {00000001-0000-0000-C000-000000000046}
constexpr GUID kIidClassFactory = {0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::string ClsidText(REFCLSID g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

// The InprocServer32 path registered for clsid, or "".
std::string RegisteredServer(REFCLSID clsid) {
  std::string keyPath = "CLSID\\" + ClsidText(clsid) + "\\InprocServer32";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return {};
  std::string path;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ && size > 1) {
    path.resize(size);
    if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path.data()),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      path.resize(std::min<size_t>(size, path.size()));
      while (!path.empty() && path.back() == '\0') path.pop_back();
    } else {
      path.clear();
    }
  }
  RegCloseKey(key);
  return path;
}

// Whether path is a regular file, asked of the file opened without waiting (opening a FIFO the
// ordinary way waits for a writer).
bool IsRegularFile(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
}

struct Library {
  std::string path;  // real path: one entry per file however it was named
  void* handle = nullptr;
  DllGetClassObjectFn getClassObject = nullptr;
  DllCanUnloadNowFn canUnloadNow = nullptr;
  int busy = 0;  // activations running in it right now
};

class LibraryTable {
 public:
  // Loads path (once per process) and marks it busy; Done ends that. A path that is not a
  // regular file (a FIFO, a device, a directory) counts as missing: dlopen would wait on a FIFO
  // for a writer forever.
  HRESULT Acquire(const std::string& path, Library** out) {
    char real[PATH_MAX];
    if (!realpath(path.c_str(), real)) return CO_E_DLLNOTFOUND;
    if (!IsRegularFile(real)) return CO_E_DLLNOTFOUND;
    std::lock_guard lock(mutex_);
    for (auto& lib : libraries_) {
      if (lib->path == real) {
        ++lib->busy;
        *out = lib.get();
        return S_OK;
      }
    }
    void* handle = dlopen(real, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return CO_E_ERRORINDLL;
    auto lib = std::make_unique<Library>();
    lib->path = real;
    lib->handle = handle;
    lib->getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    lib->canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    if (!lib->getClassObject) {
      dlclose(handle);
      return CO_E_ERRORINDLL;
    }
    lib->busy = 1;
    *out = lib.get();
    libraries_.push_back(std::move(lib));
    return S_OK;
  }

  void Done(Library* lib) {
    std::lock_guard lock(mutex_);
    --lib->busy;
  }

  void FreeUnused() {
    std::lock_guard lock(mutex_);
    for (auto it = libraries_.begin(); it != libraries_.end();) {
      Library& lib = **it;
      if (lib.busy == 0 && lib.canUnloadNow && lib.canUnloadNow() == S_OK) {
        dlclose(lib.handle);
        it = libraries_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<Library>> libraries_;
};

// Libraries stay loaded until CoFreeUnusedLibraries, and are never closed at process exit:
// objects may outlive static destruction.
LibraryTable& Libraries() {
  static auto* table = new LibraryTable;
  return *table;
}

// Finds the class object among the candidate libraries; on success the library stays marked
// busy (*used) until the caller's Done.
HRESULT FindClassObject(const char* namedLibrary, REFCLSID clsid, DWORD clsContext, REFIID iid,
                        void** out, Library** used) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!(clsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;

  struct Candidate {
    std::string path;
    bool named;  // named by the registry or the caller: a missing file is worth reporting
  };
  std::vector<Candidate> candidates;
  if (std::string registered = RegisteredServer(clsid); !registered.empty())
    candidates.push_back({registered, true});
  if (namedLibrary && *namedLibrary) candidates.push_back({namedLibrary, true});
  for (auto& path : DefaultServerCandidates()) candidates.push_back({path, false});

  HRESULT result = REGDB_E_CLASSNOTREG;
  for (size_t i = 0; i < candidates.size(); ++i) {
    bool seen = false;
    for (size_t j = 0; j < i; ++j) seen = seen || candidates[j].path == candidates[i].path;
    if (seen) continue;
    Library* lib = nullptr;
    HRESULT hr = Libraries().Acquire(candidates[i].path, &lib);
    if (FAILED(hr)) {
      if (hr != CO_E_DLLNOTFOUND || candidates[i].named) {
        if (result == REGDB_E_CLASSNOTREG || hr == CO_E_ERRORINDLL) result = hr;
      }
      continue;
    }
    hr = lib->getClassObject(clsid, iid, out);
    if (SUCCEEDED(hr) && *out) {
      *used = lib;
      return hr;
    }
    Libraries().Done(lib);
    *out = nullptr;
    if (SUCCEEDED(hr)) hr = E_UNEXPECTED;  // success without an object
    // Only a library that does not know the class hands over to the next candidate.
    if (hr != CLASS_E_CLASSNOTAVAILABLE) return hr;
    // A broken named or registered library is the more useful error than a fallback library
    // that merely does not know the class.
    if (result == REGDB_E_CLASSNOTREG) result = hr;
  }
  return result;
}

HRESULT CreateFrom(const char* namedLibrary, REFCLSID clsid, IUnknown* outer, DWORD clsContext,
                   REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  IClassFactory* factory = nullptr;
  Library* lib = nullptr;
  HRESULT hr = FindClassObject(namedLibrary, clsid, clsContext, kIidClassFactory,
                               reinterpret_cast<void**>(&factory), &lib);
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, out);
  factory->Release();
  Libraries().Done(lib);
  if (FAILED(hr)) *out = nullptr;
  return hr;
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* /*reserved*/, REFIID iid,
                         void** out) {
  Library* lib = nullptr;
  HRESULT hr = FindClassObject(nullptr, clsid, clsContext, iid, out, &lib);
  if (SUCCEEDED(hr)) Libraries().Done(lib);
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid,
                         void** out) {
  return CreateFrom(nullptr, clsid, outer, clsContext, iid, out);
}

HRESULT CoCreateInstanceFromLibrary(const char* libraryPath, REFCLSID clsid, IUnknown* outer,
                                    DWORD clsContext, REFIID iid, void** out) {
  return CreateFrom(libraryPath, clsid, outer, clsContext, iid, out);
}

void CoFreeUnusedLibraries() {
  Libraries().FreeUnused();
}

std::vector<std::string> DefaultServerCandidates(const std::string& exePath) {
  namespace fs = std::filesystem;
  std::string exe = exePath;
  if (exe.empty()) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    exe.assign(self, static_cast<size_t>(n));
  }
  fs::path folder = fs::path(exe).parent_path();
  return {(folder / "libravlin.so").lexically_normal().string(),
          (folder / ".." / "lib" / "libravlin.so").lexically_normal().string()};
}

}  // namespace win
