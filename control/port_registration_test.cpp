// Registration of the library: the keys and values DllRegisterServer writes to the registry
// store, that DllUnregisterServer takes exactly those away again, and the object map's classes.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "control/module.h"
#include "control/port_test_support.h"
#include "platform/com/property_page.h"
#include "platform/com/registry.h"

namespace ravlin::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPortKey = "CLSID\\{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}";

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ravlin-regsvr-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    if (const char* before = getenv("RAVLIN_REGISTRY")) before_ = before;
    setenv("RAVLIN_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
  }
  void TearDown() override {
    if (before_.empty())
      unsetenv("RAVLIN_REGISTRY");
    else
      setenv("RAVLIN_REGISTRY", before_.c_str(), 1);
    fs::remove_all(dir_);
  }

  // The text of a value (name null: the default value), "<missing>" without the key,
  // "<no value>" without the value.
  static std::string Read(const std::string& path, const char* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return "<missing>";
    char buf[1024] = {};
    DWORD size = sizeof buf - 1, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf) : "<no value>";
  }
  static bool Exists(const std::string& path) { return Read(path) != "<missing>"; }
  static void Create(const std::string& path, const char* value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>(std::strlen(value) + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  fs::path dir_;
  std::string before_;
};

// Every key registration makes, each with its default value ("" for a key without one).
const std::vector<std::pair<std::string, std::string>>& RegisteredKeys() {
  static const std::vector<std::pair<std::string, std::string>> keys = {
      {"Cobrix.Port.1", "Qen Port Control 1.0"},
      {"Cobrix.Port.1\\CLSID", "{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}"},
      {"Cobrix.Port.1\\Insertable", "<no value>"},
      {"Cobrix.Port", "Qen Port Control 1.0"},
      {"Cobrix.Port\\CLSID", "{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}"},
      {"Cobrix.Port\\CurVer", "Cobrix.Port.1"},
      {kPortKey, "Qen Port Control 1.0"},
      {std::string(kPortKey) + "\\ProgID", "Cobrix.Port.1"},
      {std::string(kPortKey) + "\\VersionIndependentProgID", "Cobrix.Port"},
      {std::string(kPortKey) + "\\Programmable", "<no value>"},
      {std::string(kPortKey) + "\\Control", "<no value>"},
      {std::string(kPortKey) + "\\Insertable", "<no value>"},
      {std::string(kPortKey) + "\\MiscStatus", "0"},
      {std::string(kPortKey) + "\\MiscStatus\\1", "132497"},
      {std::string(kPortKey) + "\\TypeLib", "{7C2A9E01-4F3B-4D8A-9E61-2B7D45C0A311}"},
      {std::string(kPortKey) + "\\Version", "1.0"},
      {std::string(kPortKey) + "\\Verb\\0", "ﾌﾟﾛﾊﾟﾃｨ(&P),0,2"},
      {"P19.Port19Ppg1.1", "Port19Ppg1 Class"},
      {"P19.Port19Ppg1\\CurVer", "P19.Port19Ppg1.1"},
      {"CLSID\\{7C2A9E21-4F3B-4D8A-9E61-2B7D45C0A311}", "Port19Ppg1 Class"},
      {"P19.Port19Ppg2.1\\CLSID", "{7C2A9E22-4F3B-4D8A-9E61-2B7D45C0A311}"},
      {"CLSID\\{7C2A9E22-4F3B-4D8A-9E61-2B7D45C0A311}\\Programmable", "<no value>"},
      {"P19.Port19Ppg4", "Port19Ppg4 Class"},
      {"CLSID\\{7C2A9E24-4F3B-4D8A-9E61-2B7D45C0A311}", "Port19Ppg4 Class"},
      {"TypeLib\\{7C2A9E01-4F3B-4D8A-9E61-2B7D45C0A311}\\1.0", "Port 1.0 Type Library"},
      {"Interface\\{7C2A9E0D-4F3B-4D8A-9E61-2B7D45C0A311}", "IPort18"},
  };
  return keys;
}

TEST_F(Registration, RegisteringWritesTheClassesPagesAndTypeLibraryAndUnregisteringOnlyThose) {
  Create("CLSID\\{00000000-1111-2222-3333-444444444444}", "someone else's class");
  Create("Other.Thing", "someone else's ProgID");
  Create("Interface\\{00000000-1111-2222-3333-555555555555}", "IOther");

  ASSERT_EQ(DllRegisterServer(), S_OK);
  ASSERT_EQ(DllRegisterServer(), S_OK) << "registering again is the same";
  for (const auto& [path, value] : RegisteredKeys()) EXPECT_EQ(Read(path), value) << path;

  const std::string module = Read(std::string(kPortKey) + "\\InprocServer32");
  EXPECT_EQ(module, fs::canonical("/proc/self/exe").string())
      << "the library's own full path (here the test program, which holds the control)";
  EXPECT_EQ(Read(std::string(kPortKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Read(std::string(kPortKey) + "\\ToolboxBitmap32"), module + ", 101");
  for (const char* page : {"21", "22", "24"}) {
    const std::string key =
        std::string("CLSID\\{7C2A9E") + page + "-4F3B-4D8A-9E61-2B7D45C0A311}\\InprocServer32";
    EXPECT_EQ(Read(key), module) << page;
    EXPECT_EQ(Read(key, "ThreadingModel"), "Apartment") << page;
  }
  EXPECT_FALSE(Exists("CLSID\\{7C2A9E23-4F3B-4D8A-9E61-2B7D45C0A311}")) << "no page 3";
  EXPECT_FALSE(Exists("P19.Port19Ppg3"));
  EXPECT_EQ(Read("TypeLib\\{7C2A9E01-4F3B-4D8A-9E61-2B7D45C0A311}\\1.0\\0\\linux64"), module);

  ASSERT_EQ(DllUnregisterServer(), S_OK);
  for (const auto& [path, value] : RegisteredKeys()) EXPECT_FALSE(Exists(path)) << path;
  EXPECT_FALSE(Exists("P19.Port19Ppg1"));
  EXPECT_FALSE(Exists("TypeLib\\{7C2A9E01-4F3B-4D8A-9E61-2B7D45C0A311}"));
  EXPECT_EQ(Read("CLSID\\{00000000-1111-2222-3333-444444444444}"), "someone else's class");
  EXPECT_EQ(Read("Other.Thing"), "someone else's ProgID");
  EXPECT_EQ(Read("Interface\\{00000000-1111-2222-3333-555555555555}"), "IOther");
  EXPECT_EQ(DllUnregisterServer(), S_OK) << "nothing left to remove is no failure";
}

TEST_F(Registration, AStoreThatCannotBeWrittenIsReportedNotHidden) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  // A read-only folder: the store cannot be replaced.
  ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
  if (access((dir_ / "probe").c_str(), F_OK) == 0 || geteuid() == 0) {
    // A superuser writes anyway; point the store at a place that cannot exist instead.
    setenv("RAVLIN_REGISTRY", "/proc/ravlin-registration-test/registry.reg", 1);
  }
  EXPECT_TRUE(FAILED(DllRegisterServer()));
  EXPECT_TRUE(FAILED(DllUnregisterServer()));
  chmod(dir_.c_str(), 0700);
}

TEST(PortObjectMap, PageThreeHasNoClassObjectAndClassObjectsAreCached) {
  void* object = nullptr;
  EXPECT_EQ(DllGetClassObject(CLSID_CPort19Ppg3, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  ComPtr<IClassFactory> first, second;
  ASSERT_EQ(DllGetClassObject(CLSID_Port, IID_IClassFactory, first.ReceiveVoid()), S_OK);
  ASSERT_EQ(DllGetClassObject(CLSID_Port, IID_IUnknown, second.ReceiveVoid()), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(first.get()), static_cast<IUnknown*>(second.get()));
}

TEST(PortObjectMap, PageClassObjectsMakePagesThatHoldTheModule) {
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  for (const CLSID* page : {&CLSID_CPort19Ppg1, &CLSID_CPort19Ppg2, &CLSID_CPort19Ppg4}) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(*page, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    ComPtr<IPropertyPage> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, object.ReceiveVoid()), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a page object is alive";
    PROPPAGEINFO info{};
    info.cb = sizeof info;
    ASSERT_EQ(object->GetPageInfo(&info), S_OK);
    EXPECT_NE(info.pszTitle, nullptr);
    CoTaskMemFree(info.pszTitle);
    CoTaskMemFree(info.pszDocString);
    CoTaskMemFree(info.pszHelpFile);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(object.get(), IID_IUnknown, aggregated.ReceiveVoid()),
              CLASS_E_NOAGGREGATION);
    object.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "and gone";
  }
}

}  // namespace
}  // namespace ravlin::testing
