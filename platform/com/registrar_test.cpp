#include "platform/com/registrar.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/com/registry.h"

namespace win {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPortScript = R"(HKCR
{
	Cobrix.Port.1 = s 'Qen Port Control 1.0'
	{
		CLSID = s '{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}'
		'Insertable'
	}
	NoRemove CLSID
	{
		ForceRemove {7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311} = s 'Qen Port Control 1.0'
		{
			ProgID = s 'Cobrix.Port.1'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'ToolboxBitmap32' = s '%MODULE%, 101'
			'MiscStatus' = s '0'
			{
				'1' = s '132497'
			}
			'Count' = d '0x20'
		}
	}
}
HKLM
{
	NoRemove Software
	{
		Cobrix
		{
			val 'It''s' = s '100%%'
		}
	}
}
)";

class RegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cobrix-rgs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("RAVLIN_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("RAVLIN_REGISTRY");
    fs::remove_all(dir_);
  }

  // Value text of HKCR\path (name null = default), or "<missing>".
  static std::string Read(HKEY hive, const char* path, const char* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    char buf[512] = {};
    DWORD size = sizeof buf - 1, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "<no value>";
    if (type == REG_DWORD) {
      DWORD number = 0;
      std::memcpy(&number, buf, sizeof number);
      return "dword " + std::to_string(number);
    }
    return buf;
  }
  static bool Exists(HKEY hive, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  std::string StoreText() const {
    std::ifstream in(dir_ / "registry.reg");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir_;
};

constexpr const char* kClsidKey = "CLSID\\{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}";

TEST_F(RegistrarTest, RegisterModeCreatesKeysWithReplacements) {
  Registrar r;
  // A path with a quote and a brace must not be read as script text.
  ASSERT_EQ(r.AddReplacement("MODULE", "/opt/o'brien {x}/libravlin.so"), S_OK);
  ASSERT_EQ(r.StringRegister(kPortScript), S_OK);

  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, "Cobrix.Port.1"), "Qen Port Control 1.0");
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, "Cobrix.Port.1\\CLSID"),
            "{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}");
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "Cobrix.Port.1\\Insertable"));
  std::string clsid = kClsidKey;
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, (clsid + "\\InprocServer32").c_str()),
            "/opt/o'brien {x}/libravlin.so");
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, (clsid + "\\InprocServer32").c_str(), "ThreadingModel"),
            "Apartment");
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, (clsid + "\\ToolboxBitmap32").c_str()),
            "/opt/o'brien {x}/libravlin.so, 101");
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, (clsid + "\\MiscStatus\\1").c_str()), "132497");
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, (clsid + "\\Count").c_str()), "dword 32");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\Cobrix", "It's"), "100%");
}

TEST_F(RegistrarTest, ForceRemoveClearsStaleKeysOnRegister) {
  HKEY stale = nullptr;
  std::string old = std::string(kClsidKey) + "\\LocalServer32";
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, old.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &stale, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(stale);
  Registrar r;
  r.AddReplacement("MODULE", "/lib/libravlin.so");
  ASSERT_EQ(r.StringRegister(kPortScript), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, old.c_str()));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, (std::string(kClsidKey) + "\\ProgID").c_str()));
}

TEST_F(RegistrarTest, RemoveModeDeletesWhatTheScriptAddedAndKeepsNoRemoveKeys) {
  // Another server's class under the shared CLSID key, and a value beside ours.
  HKEY other = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{OTHER}", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &other, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(other);
  Registrar r;
  r.AddReplacement("MODULE", "/lib/libravlin.so");
  ASSERT_EQ(r.StringRegister(kPortScript), S_OK);
  HKEY keep = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Cobrix.Port.1\\Extra", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &keep, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(keep);

  ASSERT_EQ(r.StringUnregister(kPortScript), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kClsidKey));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "CLSID"));  // NoRemove
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "CLSID\\{OTHER}"));
  // A plain key that still holds sub-keys nobody listed stays; its listed parts are gone.
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "Cobrix.Port.1\\Extra"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Cobrix.Port.1\\CLSID"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Cobrix"));

  // Removing again finds nothing to remove and still succeeds.
  EXPECT_EQ(r.StringUnregister(kPortScript), S_OK);
}

TEST_F(RegistrarTest, NoRemoveHoldsWhereverTheScriptNamesTheKeyAgain) {
  // The same key named plainly first, then NoRemove: the plain entry must not delete it, not on
  // the first removal and not on a second one.
  constexpr const char* kScript = R"(HKLM
{
	NoRemove Software
	{
		Shared { Mine }
		NoRemove Shared { Other }
		Lonely
		NoRemove Lonely
	}
})";
  Registrar r;
  ASSERT_EQ(r.StringRegister(kScript), S_OK);
  ASSERT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Shared\\Other"));
  ASSERT_EQ(r.StringUnregister(kScript), S_OK);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Shared"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Shared\\Mine"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Shared\\Other"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Lonely"));
  ASSERT_EQ(r.StringUnregister(kScript), S_OK);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Shared"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Lonely"));
}

TEST_F(RegistrarTest, MalformedScriptsChangeNothing) {
  Registrar r;
  r.AddReplacement("MODULE", "/lib/libravlin.so");
  const char* bad[] = {
      "HKCR { A = s 'ok' } HKCR { B = s 'unterminated }",
      "HKCR { A = s 'ok' } HKCU { B }",        // hive we do not keep
      "HKCR { A = s 'ok' B = x 'bad type' }",  // unknown value type
      "HKCR { A = s '%UNKNOWN%' }",            // no such replacement
      "HKCR { A { val = s 'x' }",              // missing brace and name
      "HKCR { A = d 'twelve' }",               // not a number
      "HKCR { A = b '0g' }",                   // not hex
      "HKCR { val V = s 'x' }",                // value outside any key
  };
  for (const char* script : bad) {
    EXPECT_EQ(r.StringRegister(script), DISP_E_EXCEPTION) << script;
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "A")) << script;
  }
  EXPECT_EQ(r.StringRegister(nullptr), E_INVALIDARG);
  // Deep nesting is refused rather than exhausting the stack.
  std::string deep = "HKCR {";
  for (int i = 0; i < 5000; ++i) deep += " K {";
  EXPECT_EQ(r.StringRegister(deep.c_str()), DISP_E_EXCEPTION);
}

TEST(ModulePath, FindsTheExecutable) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  static int inThisProgram;
  EXPECT_EQ(ModulePathOf(&inThisProgram), std::string(self, n));
}

}  // namespace
}  // namespace win
