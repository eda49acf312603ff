// ravlin-regsvr end to end: the real program registers and unregisters the real libravlin.so in
// a registry store of the test's own, and reports what cannot be done.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/com/activation.h"
#include "platform/com/registry.h"
#include "platform/com/unknown.h"

namespace {

namespace fs = std::filesystem;
using namespace win;

struct Outcome {
  int status = -1;
  std::string output;
};

// Runs the program with the store at `store` and returns its exit status and output.
Outcome Regsvr(const std::string& store, const std::string& arguments) {
  const std::string command =
      "RAVLIN_REGISTRY='" + store + "' '" RAVLIN_REGSVR "' " + arguments + " 2>&1";
  Outcome run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe)) run.output += buf;
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Read(const std::string& path, const char* name = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "<missing>";
  char buf[1024] = {};
  DWORD size = sizeof buf - 1, type = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? std::string(buf) : "<no value>";
}

class RegsvrTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ravlin-regsvr-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    store_ = (dir_ / "registry.reg").string();
    setenv("RAVLIN_REGISTRY", store_.c_str(), 1);  // this process reads the same store
  }
  void TearDown() override {
    unsetenv("RAVLIN_REGISTRY");
    fs::remove_all(dir_);
  }
  fs::path dir_;
  std::string store_;
};

constexpr const char* kPortKey = "CLSID\\{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}";

TEST_F(RegsvrTool, RegistersTheLibraryByItsFullPathAndUnregistersIt) {
  const std::string library = fs::canonical(RAVLIN_LIBRARY).string();
  Outcome r = Regsvr(store_, "'" + library + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "=> ok\n");
  EXPECT_EQ(Read(std::string(kPortKey) + "\\InprocServer32"), library);
  EXPECT_EQ(Read(std::string(kPortKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Read(std::string(kPortKey) + "\\MiscStatus\\1"), "132497");
  EXPECT_EQ(Read("Cobrix.Port\\CurVer"), "Cobrix.Port.1");

  // The registered path is what activation by CLSID loads, from anywhere.
  ComPtr<IUnknown> port;
  EXPECT_EQ(CoGetClassObject(
                CLSID{0x7C2A9E0E, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}},
                CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown, port.ReceiveVoid()),
            S_OK);

  r = Regsvr(store_, "-u '" + library + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "=> ok\n");
  EXPECT_EQ(Read(kPortKey), "<missing>");
  EXPECT_EQ(Read("Cobrix.Port"), "<missing>");
}

TEST_F(RegsvrTool, WithoutALibraryItTakesTheOneBesideItAndReportsWhatItCannotDo) {
  // The build puts libravlin.so where the program looks for it (../lib from bin).
  Outcome r = Regsvr(store_, "");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(Read(std::string(kPortKey) + "\\InprocServer32"), "<missing>");

  r = Regsvr(store_, "'" + (dir_ / "nothing.so").string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output.rfind("!! 0x8007007E cannot load " + (dir_ / "nothing.so").string(), 0), 0u)
      << r.output;

  r = Regsvr(store_, "/lib/x86_64-linux-gnu/libc.so.6");
  if (r.output.find("cannot load") == std::string::npos) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "!! 0x8007007F /lib/x86_64-linux-gnu/libc.so.6 has no DllRegisterServer\n");
  }

  r = Regsvr("/proc/ravlin-regsvr-e2e/registry.reg", "'" RAVLIN_LIBRARY "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output.rfind("!! 0x", 0), 0u) << r.output;
  EXPECT_NE(r.output.find("DllRegisterServer failed for the store /proc/"), std::string::npos)
      << r.output;

  r = Regsvr(store_, "--frobnicate");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("unknown option '--frobnicate'"), std::string::npos) << r.output;
}

}  // namespace
