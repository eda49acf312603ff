// ravlin-regsvr: registers or unregisters an in-process server library in the registry store.
//
//   ravlin-regsvr [-u] [LIBRARY]
//
// Loads LIBRARY (default: libravlin.so beside this program, or in ../lib), calls its
// DllRegisterServer (or DllUnregisterServer with -u) and prints the result as ravlin-testcon
// does: "=> ok", or "!! 0xHHHHHHHH DESCRIPTION". Exit status 0 on success, 1 when the library
// cannot be loaded, lacks the export or reports a failure, 2 for a bad command line.
//
// Registration is needed only when the control must be found by CLSID from somewhere other
// than beside the program (the store then names the library's full path); a program with
// libravlin.so beside it finds the control without it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/com/activation.h"
#include "platform/com/base.h"
#include "platform/com/registry_file.h"
#include "platform/host/value_format.h"
#include "platform/text/convert.h"

namespace {

constexpr win::HRESULT kModuleNotFound = win::MakeHResult(0x8007007E);  // ERROR_MOD_NOT_FOUND
constexpr win::HRESULT kProcNotFound = win::MakeHResult(0x8007007F);    // ERROR_PROC_NOT_FOUND

int usage() {
  std::fprintf(stderr,
               "usage: ravlin-regsvr [-u] [LIBRARY]\n"
               "Registers LIBRARY (default: libravlin.so beside this program) in the registry\n"
               "store, or unregisters it with -u. The store is RAVLIN_REGISTRY, else\n"
               "$XDG_CONFIG_HOME/cobrix/registry.reg, else ~/.config/cobrix/registry.reg.\n");
  return 2;
}

int fail(win::HRESULT hr, const std::string& description) {
  std::puts(winhost::format_failure(hr, win::Utf8ToUtf16(description)).c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  std::string library;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-u" || a == "/u") {
      unregister = true;
    } else if (a == "-h" || a == "--help") {
      usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "ravlin-regsvr: unknown option '%s'\n", a.c_str());
      return usage();
    } else if (library.empty()) {
      library = a;
    } else {
      return usage();
    }
  }
  if (library.empty()) {
    for (const std::string& candidate : win::DefaultServerCandidates())
      if (access(candidate.c_str(), F_OK) == 0) {
        library = candidate;
        break;
      }
    if (library.empty()) return fail(kModuleNotFound, "no libravlin.so beside this program");
  }
  // A bare name would be searched for on the library path; a registration names one file.
  if (library.find('/') == std::string::npos) library = "./" + library;

  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return fail(kModuleNotFound, "cannot load " + library + ": " + (why ? why : "unknown error"));
  }
  const char* exportName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  using entry_t = win::HRESULT (*)();
  auto entry = reinterpret_cast<entry_t>(dlsym(handle, exportName));
  if (!entry) return fail(kProcNotFound, library + " has no " + exportName);
  const win::HRESULT hr = entry();
  if (win::FAILED(hr))
    return fail(hr, std::string(exportName) + " failed for the store " +
                        win::registry::RegistryFile::DefaultPath());
  std::puts("=> ok");
  return 0;
}
