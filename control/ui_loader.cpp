#include "control/ui_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "control/port_identity.h"
#include "platform/com/errorinfo.h"
#include "platform/text/convert.h"

namespace ravlin {
namespace {

std::mutex g_loadLock;
const ravlin_ui_entries* g_entries = nullptr;  // set once, never cleared

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file of the module that holds the control: a library loaded by path has its path; only
// the executable itself (the control linked in) may carry a name that is not absolute.
std::string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&UiLibraryCandidates), &info) && info.dli_fname &&
      info.dli_fname[0] == '/')
    return info.dli_fname;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
}

win::HRESULT Fail(std::u16string_view text) {
  return win::ReportError(win::E_FAIL, kPortErrorSource, text, win::GUID_NULL);
}

// Loads the library and checks its table; the reason in *why when it fails.
const ravlin_ui_entries* Load(std::string* why) {
  std::lock_guard<std::mutex> guard(g_loadLock);
  if (g_entries) return g_entries;
  std::vector<std::string> candidates = UiLibraryCandidates();
  std::string firstError;
  for (const std::string& path : candidates) {
    // The last candidate is the bare name for the loader's search path; the others must exist.
    const bool bare = path.find('/') == std::string::npos;
    if (!bare && !IsRegularFile(path)) {
      if (firstError.empty() && std::getenv("RAVLIN_UI_LIBRARY"))
        firstError = path + ": no such file";
      continue;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* error = dlerror();
      if (firstError.empty()) firstError = error ? error : path;
      continue;
    }
    auto table = reinterpret_cast<ravlin_ui_entry_table_fn>(dlsym(handle, kUiEntryTableSymbol));
    const ravlin_ui_entries* entries = table ? table() : nullptr;
    if (!entries || entries->size != sizeof(ravlin_ui_entries)) {
      if (firstError.empty())
        firstError = path + ": not the window library of this control (no matching entry table)";
      continue;  // stays loaded: unloading a half-initialised toolkit is not safe
    }
    g_entries = entries;
    return g_entries;
  }
  *why = firstError.empty() ? std::string("not found") : firstError;
  return nullptr;
}

}  // namespace

std::vector<std::string> UiLibraryCandidates() {
  if (const char* named = std::getenv("RAVLIN_UI_LIBRARY"); named && *named) return {named};
  std::vector<std::string> candidates;
  std::string module = ModulePath();
  if (!module.empty()) {
    const std::string folder = FolderOf(module);
    candidates.push_back(folder + "/" + kUiLibraryName);
    candidates.push_back(folder + "/../lib/" + kUiLibraryName);
  }
  candidates.push_back(kUiLibraryName);
  return candidates;
}

const ravlin_ui_entries* RequireUi(win::HRESULT* hr) {
  std::string why;
  const ravlin_ui_entries* entries = Load(&why);
  if (!entries) {
    std::u16string text = u"cannot load ";
    text += win::Utf8ToUtf16(kUiLibraryName);
    text += u": ";
    text += win::Utf8ToUtf16(why);
    *hr = Fail(text);
    return nullptr;
  }
  switch (entries->application_state()) {
    case ui_ready:
      *hr = win::S_OK;
      return entries;
    case ui_wrong_thread:
      *hr = Fail(kWrongThreadText);
      return nullptr;
    default:
      *hr = Fail(kNoWindowSystemText);
      return nullptr;
  }
}

const ravlin_ui_entries* LoadedUi() {
  const ravlin_ui_entries* entries;
  {
    std::lock_guard<std::mutex> guard(g_loadLock);
    entries = g_entries;
  }
  return entries && entries->application_state() == ui_ready ? entries : nullptr;
}

}  // namespace ravlin
