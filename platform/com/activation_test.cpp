#include "platform/com/activation.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/com/registry.h"
#include "platform/com/testdata/test_server.h"

namespace win {
namespace {

namespace fs = std::filesystem;
using test_server::IAnswer;
using test_server::kClsidAnswer;
using test_server::kIidAnswer;

bool Loaded(const std::string& path) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

LONG AnswerOf(IAnswer* object) {
  LONG value = 0;
  EXPECT_EQ(object->Answer(&value), S_OK);
  return value;
}

// Each test works on a private registry and a private copy of the server library, so that which
// file got loaded shows which path the runtime took.
class ActivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cobrix-act-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("RAVLIN_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
    server_ = (dir_ / "libanswer.so").string();
    fs::copy_file(COM_TEST_SERVER_PATH, server_);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    unsetenv("RAVLIN_REGISTRY");
    fs::remove_all(dir_);
  }

  // Runs the copy's own DllRegisterServer, as an installer would.
  void RegisterServer() {
    void* h = dlopen(server_.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    auto reg = reinterpret_cast<DllRegisterServerFn>(dlsym(h, "DllRegisterServer"));
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg(), S_OK);
    dlclose(h);
  }

  int UnloadAsks() {
    void* h = dlopen(server_.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return -1;
    auto asks = reinterpret_cast<test_server::UnloadAsksFn>(dlsym(h, "TestServerUnloadAsks"));
    int n = asks ? asks() : -1;
    dlclose(h);
    return n;
  }

  fs::path dir_;
  std::string server_;
};

TEST_F(ActivationTest, CreatesThroughTheRegisteredInprocServer) {
  RegisterServer();
  ASSERT_FALSE(Loaded(server_));
  IAnswer* object = nullptr;
  ASSERT_EQ(CoCreateInstance(kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER, kIidAnswer,
                             reinterpret_cast<void**>(&object)),
            S_OK);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(AnswerOf(object), 42);
  EXPECT_TRUE(Loaded(server_));

  // DllCanUnloadNow is asked, and keeps the library while an object lives.
  int asksBefore = UnloadAsks();
  CoFreeUnusedLibraries();
  EXPECT_GT(UnloadAsks(), asksBefore);
  EXPECT_TRUE(Loaded(server_));
  EXPECT_EQ(AnswerOf(object), 42);
  object->Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(Loaded(server_));
}

TEST_F(ActivationTest, FallsBackToTheLibraryNamedInTheCall) {
  IAnswer* object = nullptr;
  HRESULT hr = CoCreateInstance(kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER, kIidAnswer,
                                reinterpret_cast<void**>(&object));
  // Not registered: nothing, or a libravlin.so beside the tests that does not know the class.
  EXPECT_TRUE(hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE) << std::hex << hr;
  EXPECT_EQ(object, nullptr);

  ASSERT_EQ(CoCreateInstanceFromLibrary(server_.c_str(), kClsidAnswer, nullptr, CLSCTX_ALL,
                                        kIidAnswer, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(AnswerOf(object), 42);
  object->Release();
}

TEST_F(ActivationTest, StaleRegistrationFallsBackAndIsReported) {
  HKEY key = nullptr;
  std::string keyPath = std::string("CLSID\\") + test_server::kClsidAnswerText + "\\InprocServer32";
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::string gone = (dir_ / "removed.so").string();
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(gone.c_str()),
                 static_cast<DWORD>(gone.size() + 1));
  RegCloseKey(key);

  IUnknown* object = nullptr;
  HRESULT hr = CoCreateInstance(kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER,
                                test_server::kIidUnknown, reinterpret_cast<void**>(&object));
  EXPECT_TRUE(hr == CO_E_DLLNOTFOUND || hr == CLASS_E_CLASSNOTAVAILABLE) << std::hex << hr;
  ASSERT_EQ(
      CoCreateInstanceFromLibrary(server_.c_str(), kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER,
                                  test_server::kIidUnknown, reinterpret_cast<void**>(&object)),
      S_OK);
  object->Release();
}

TEST_F(ActivationTest, ARegisteredPathThatIsNoRegularFileCountsAsMissing) {
  const std::string keyPath =
      std::string("CLSID\\") + test_server::kClsidAnswerText + "\\InprocServer32";
  const std::string fifo = (dir_ / "answer.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& registered : {fifo, dir_.string()}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(registered.c_str()),
                   static_cast<DWORD>(registered.size() + 1));
    RegCloseKey(key);
    // dlopen would wait on the FIFO for a writer; instead it is passed over like a missing file.
    IUnknown* object = nullptr;
    HRESULT hr = CoCreateInstance(kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER,
                                  test_server::kIidUnknown, reinterpret_cast<void**>(&object));
    EXPECT_TRUE(hr == CO_E_DLLNOTFOUND || hr == CLASS_E_CLASSNOTAVAILABLE)
        << registered << ": " << std::hex << hr;
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(
        CoCreateInstanceFromLibrary(server_.c_str(), kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER,
                                    test_server::kIidUnknown, reinterpret_cast<void**>(&object)),
        S_OK)
        << registered;
    object->Release();
    // Named in the call, it is missing too.
    EXPECT_EQ(
        CoCreateInstanceFromLibrary(registered.c_str(), kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER,
                                    test_server::kIidUnknown, reinterpret_cast<void**>(&object)),
        hr)
        << registered;
  }
}

TEST_F(ActivationTest, FailuresLeaveNoObject) {
  void* out = reinterpret_cast<void*>(0x1);
  const char* lib = server_.c_str();
  EXPECT_EQ(CoCreateInstanceFromLibrary(lib, kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER,
                                        kIidAnswer, nullptr),
            E_POINTER);
  EXPECT_EQ(CoCreateInstanceFromLibrary(lib, kClsidAnswer, nullptr, CLSCTX_LOCAL_SERVER, kIidAnswer,
                                        &out),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(out, nullptr);

  // The server refuses aggregation and unknown interfaces; the error comes back unchanged.
  IUnknown* outer = reinterpret_cast<IUnknown*>(&out);  // never called by this server
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstanceFromLibrary(lib, kClsidAnswer, outer, CLSCTX_INPROC_SERVER,
                                        test_server::kIidUnknown, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CoCreateInstanceFromLibrary(lib, kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER,
                                        test_server::kIidClassFactory, &out),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  // A file that is not a library at all.
  std::string text = (dir_ / "not-a-library.so").string();
  std::ofstream(text) << "plain text";
  EXPECT_EQ(CoCreateInstanceFromLibrary(text.c_str(), kClsidAnswer, nullptr, CLSCTX_INPROC_SERVER,
                                        kIidAnswer, &out),
            CO_E_ERRORINDLL);
  EXPECT_EQ(out, nullptr);
}

TEST_F(ActivationTest, ClassObjectCanBeFetchedDirectly) {
  RegisterServer();
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kClsidAnswer, CLSCTX_INPROC_SERVER, nullptr,
                             test_server::kIidClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  // A server lock pins the library even with no object alive.
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded(server_));
  IAnswer* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, kIidAnswer, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_EQ(AnswerOf(object), 42);
  object->Release();
  factory->LockServer(FALSE);
  factory->Release();
}

TEST(DefaultServer, LooksBesideTheExecutableAndInLib) {
  EXPECT_EQ(
      DefaultServerCandidates("/opt/cobrix/bin/tavotest"),
      (std::vector<std::string>{"/opt/cobrix/bin/libravlin.so", "/opt/cobrix/lib/libravlin.so"}));
  auto own = DefaultServerCandidates();
  ASSERT_EQ(own.size(), 2u);
  EXPECT_EQ(fs::path(own[0]).parent_path(), fs::read_symlink("/proc/self/exe").parent_path());
}

}  // namespace
}  // namespace win
