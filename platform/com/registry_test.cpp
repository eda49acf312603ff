#include "platform/com/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/registry_file.h"

namespace win {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// Each test gets its own store file through RAVLIN_REGISTRY.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cobrix-reg-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ / "sub" / "registry.reg";
    setenv("RAVLIN_REGISTRY", file_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("RAVLIN_REGISTRY");
    fs::remove_all(dir_);
  }

  static std::string QueryString(HKEY key, const char* name) {
    char buf[256] = {};
    DWORD size = sizeof buf, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    if (rc != ERROR_SUCCESS) return "<error " + std::to_string(rc) + ">";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    return std::string(buf, size ? size - 1 : 0);
  }
  static LONG SetString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
  }

  fs::path dir_, file_;
};

TEST_F(RegistryTest, KeysAndValuesRoundTripThroughTheFile) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Cobrix\\Ravlin\\Ports", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(SetString(key, "COM1", "/dev/ttyUSB0"), ERROR_SUCCESS);
  EXPECT_EQ(SetString(key, nullptr, "default \"quoted\" C:\\path"), ERROR_SUCCESS);
  DWORD number = 0x12345678;
  EXPECT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  // Names match case-insensitively; the default value answers to null and "".
  HKEY again = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\cobrix\\RAVLIN\\ports", 0, KEY_READ, &again),
      ERROR_SUCCESS);
  EXPECT_EQ(QueryString(again, "com1"), "/dev/ttyUSB0");
  EXPECT_EQ(QueryString(again, ""), "default \"quoted\" C:\\path");
  DWORD type = 0, got = 0, size = sizeof got;
  EXPECT_EQ(RegQueryValueExA(again, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&got), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(got, 0x12345678u);

  // Size queries and a buffer that is too small.
  size = 0;
  EXPECT_EQ(RegQueryValueExA(again, "COM1", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 13u);
  char small[4];
  size = sizeof small;
  EXPECT_EQ(
      RegQueryValueExA(again, "COM1", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, 13u);
  EXPECT_EQ(RegQueryValueExA(again, "Missing", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(again);

  HKEY same = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Cobrix", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &same, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(same);

  std::string text = ReadText(file_);
  EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Cobrix\\Ravlin\\Ports]\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"COM1\"=\"/dev/ttyUSB0\"\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default \\\"quoted\\\" C:\\\\path\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"Count\"=dword:12345678\n"), std::string::npos);
}

TEST_F(RegistryTest, ValuesAreEnumeratedInOrderWithTheirSizes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Cobrix\\Ravlin\\Ports", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "COM1", "/dev/ttyUSB0"), ERROR_SUCCESS);
  const DWORD number = 7;
  ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_SUCCESS);
  char name[16];
  BYTE data[32];
  DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
  ASSERT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name), "COM1");
  EXPECT_EQ(nameSize, 4u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(dataSize, 13u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "/dev/ttyUSB0");
  nameSize = sizeof name;
  dataSize = 2;  // too small for the DWORD
  EXPECT_EQ(RegEnumValueA(key, 1, name, &nameSize, nullptr, &type, data, &dataSize),
            ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 4u);
  nameSize = 3;  // too small for "Count" and its NUL
  EXPECT_EQ(RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(nameSize, 6u);
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, StringsThatCannotBeQuotedSurviveAsHex) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Odd", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(SetString(key, "Lines", "one\r\ntwo\n[HKEY_CLASSES_ROOT\\Injected]"), ERROR_SUCCESS);
  // A string written without its NUL still reads back terminated.
  EXPECT_EQ(RegSetValueExA(key, "NoNul", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
            ERROR_SUCCESS);
  EXPECT_EQ(SetString(key, "Bad\nName", "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(QueryString(key, "Lines"), "one\r\ntwo\n[HKEY_CLASSES_ROOT\\Injected]");
  EXPECT_EQ(QueryString(key, "NoNul"), "abc");
  RegCloseKey(key);
  HKEY injected = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Injected", 0, KEY_READ, &injected),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, DeletingValuesKeysAndTrees) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Top\\Middle\\Leaf", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(SetString(key, "v", "1"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Top\\Middle"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Top\\Middle\\Leaf"), ERROR_SUCCESS);
  // The handle outlives its key: it now names a missing key.
  EXPECT_EQ(SetString(key, "v", "1"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Top\\Middle\\Leaf"), ERROR_FILE_NOT_FOUND);

  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Top\\Middle\\Again", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "Top"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Top", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, DamagedFileReadsAsFarAsItIsValid) {
  fs::create_directories(file_.parent_path());
  WriteText(file_,
            "REGEDIT4\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\Good]\r\n"
            "@=\"kept\"\r\n"
            "\"Bytes\"=hex:01,02,\\\r\n"
            "  03\r\n"
            "[HKEY_CLASSES_ROOT\\AlsoGood]\r\n"
            "\"Cut\"=\"no closing quote\r\n"
            "[HKEY_CLASSES_ROOT\\AfterDamage]\r\n");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Good", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, nullptr), "kept");
  BYTE bytes[8];
  DWORD size = sizeof bytes, type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Bytes", nullptr, &type, bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(bytes[2], 3);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "AlsoGood", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, "Cut"), "<error 2>");
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "AfterDamage", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);

  // Writing over a damaged store keeps the valid part and leaves a whole file.
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  registry::RegistryTree tree;
  EXPECT_TRUE(registry::ParseRegFile(ReadText(file_), &tree));
  EXPECT_NE(tree.classesRoot.Child("Good"), nullptr);
  EXPECT_NE(tree.classesRoot.Child("New"), nullptr);
  // ... and the damaged original is kept aside, tail and all.
  EXPECT_NE(ReadText(file_.string() + ".damaged").find("AfterDamage"), std::string::npos);

  // Something that is not a registry file at all reads as empty.
  WriteText(file_, std::string("\x7f"
                               "ELF\0\0garbage",
                               12));
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Good", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, WritesThroughASymbolicLink) {
  fs::path real = dir_ / "real.reg";
  WriteText(real, "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Old]\n");
  fs::create_directories(file_.parent_path());
  fs::create_symlink(real, file_);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(fs::is_symlink(file_));
  std::string text = ReadText(real);
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\Old]"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\New]"), std::string::npos);
}

TEST_F(RegistryTest, AWriteKeepsTheStoreModeAndAReadOnlyStoreIsLeftAlone) {
  fs::create_directories(file_.parent_path());
  WriteText(file_, "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Old]\n");
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(ReadText(file_).find("[HKEY_CLASSES_ROOT\\New]"), std::string::npos);

  fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = ReadText(file_);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Refused", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadText(file_), before);
  fs::permissions(file_, fs::perms::owner_all);
}

TEST(RegistryFileParse, MutatedFilesNeverCrashTheReader) {
  registry::RegistryTree source;
  auto* k =
      source.classesRoot.AddChild("CLSID")->AddChild("{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}");
  k->SetValue("", 1, {'P', 'o', 'r', 't', 0});
  k->SetValue("n", 4, {1, 2, 3, 4});
  k->SetValue("b", 7, {'a', 0, 'b', 0, 0});
  k->AddChild("InprocServer32")->SetValue("ThreadingModel", 1, {'A', 0});
  const std::string text = registry::SerializeRegFile(source);

  registry::RegistryTree back;
  ASSERT_TRUE(registry::ParseRegFile(text, &back));
  EXPECT_EQ(registry::SerializeRegFile(back), text);

  // Every cut at a line end keeps exactly the lines before it.
  for (size_t cut = text.find('\n'); cut != std::string::npos; cut = text.find('\n', cut + 1)) {
    registry::RegistryTree part;
    EXPECT_TRUE(registry::ParseRegFile(text.substr(0, cut + 1), &part));
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = text.substr(0, rng() % (text.size() + 1));
    for (int flips = rng() % 4; flips > 0 && !damaged.empty(); --flips)
      damaged[rng() % damaged.size()] = static_cast<char>(rng());
    registry::RegistryTree tree;
    registry::ParseRegFile(damaged, &tree);
    // Whatever was read must write out as a file that reads back whole.
    std::string again = registry::SerializeRegFile(tree);
    registry::RegistryTree reread;
    ASSERT_TRUE(registry::ParseRegFile(again, &reread)) << again;
    ASSERT_EQ(registry::SerializeRegFile(reread), again);
  }
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLeaveAValidFile) {
  constexpr int kValues = 40;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        HKEY key = nullptr;
        std::string sub = "Writers\\P" + std::to_string(p);
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        std::string name = "v" + std::to_string(i);
        if (SetString(key, name.c_str(), std::string(100 + i, 'a' + p)) != ERROR_SUCCESS)
          ++failures;
        RegCloseKey(key);
      }
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  registry::RegistryTree tree;
  ASSERT_TRUE(registry::ParseRegFile(ReadText(file_), &tree));
  for (int p = 0; p < 2; ++p) {
    registry::RegKey* key =
        tree.Find(registry::Hive::LocalMachine, {"Writers", "P" + std::to_string(p)});
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->values.size(), static_cast<size_t>(kValues)) << "writer " << p;
  }
}

TEST(RegistryFileParse, KeysMergeWhateverTheirCaseAndARemovedKeyComesBackFresh) {
  registry::RegistryTree tree;
  tree.classesRoot.AddChild("Before")->SetValue("v", 1, {'0', 0});
  ASSERT_TRUE(
      registry::ParseRegFile("REGEDIT4\n"
                             "[HKEY_CLASSES_ROOT\\BEFORE\\Sub]\n"
                             "[HKEY_CLASSES_ROOT\\Many\\K1]\n\"a\"=\"1\"\n"
                             "[HKEY_CLASSES_ROOT\\many\\k2]\n\"old\"=\"0\"\n"
                             "[HKEY_CLASSES_ROOT\\MANY\\k1]\n\"b\"=\"2\"\n"
                             "[-HKEY_CLASSES_ROOT\\Many\\K2]\n"
                             "[HKEY_CLASSES_ROOT\\Many\\K2]\n\"c\"=\"3\"\n",
                             &tree));
  ASSERT_EQ(tree.classesRoot.children.size(), 2u);
  registry::RegKey* before = tree.classesRoot.Child("before");
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(before->name, "Before") << "the key that was there is the one added to";
  EXPECT_EQ(before->values.size(), 1u);
  EXPECT_NE(before->Child("SUB"), nullptr);
  registry::RegKey* many = tree.classesRoot.Child("many");
  ASSERT_NE(many, nullptr);
  ASSERT_EQ(many->children.size(), 2u);
  EXPECT_EQ(many->children[0]->name, "K1");
  EXPECT_EQ(many->children[0]->values.size(), 2u) << "K1 and k1 are one key";
  EXPECT_EQ(many->children[1]->name, "K2");
  ASSERT_EQ(many->children[1]->values.size(), 1u) << "removed, then made again";
  EXPECT_EQ(many->children[1]->values[0].name, "c");

  ASSERT_TRUE(registry::ParseRegFile(
      "REGEDIT4\n[-HKEY_CLASSES_ROOT\\Many]\n[HKEY_CLASSES_ROOT\\Many\\K3]\n", &tree));
  many = tree.classesRoot.Child("Many");
  ASSERT_NE(many, nullptr);
  ASSERT_EQ(many->children.size(), 1u);
  EXPECT_EQ(many->children[0]->name, "K3");
}

// Gives the file a modification time in the past, so that a read finds it settled.
void SetModified(const fs::path& p, std::chrono::minutes ago) {
  fs::last_write_time(p, fs::file_time_type::clock::now() - ago);
}

TEST_F(RegistryTest, AnUnchangedFileIsParsedOnceAChangedOneAgain) {
  fs::create_directories(file_.parent_path());
  WriteText(file_, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ports]\n\"COM1\"=\"one\"\n");
  SetModified(file_, std::chrono::minutes(60));
  HKEY key = nullptr;
  const unsigned long before = registry::RegistryFile::ParseCount();
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Ports", 0, KEY_READ, &key), ERROR_SUCCESS);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(QueryString(key, "COM1"), "one");
  EXPECT_EQ(registry::RegistryFile::ParseCount(), before + 1) << "six reads, one parse";

  // Rewritten in place with the same size: the modification time tells.
  WriteText(file_, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ports]\n\"COM1\"=\"two\"\n");
  SetModified(file_, std::chrono::minutes(30));
  EXPECT_EQ(QueryString(key, "COM1"), "two");
  EXPECT_EQ(QueryString(key, "COM1"), "two");
  EXPECT_EQ(registry::RegistryFile::ParseCount(), before + 2);

  // Same time, another size.
  WriteText(file_, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ports]\n\"COM1\"=\"three\"\n");
  SetModified(file_, std::chrono::minutes(30));
  EXPECT_EQ(QueryString(key, "COM1"), "three");
  // Same size and time, another file (a rename over it): the inode tells.
  const fs::path other = dir_ / "other.reg";
  WriteText(other, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ports]\n\"COM1\"=\"four!\"\n");
  fs::last_write_time(other, fs::last_write_time(file_));
  fs::rename(other, file_);
  EXPECT_EQ(QueryString(key, "COM1"), "four!");
  // A change through the registry functions themselves.
  EXPECT_EQ(SetString(key, "COM1", "five"), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, "COM1"), "five");
  RegCloseKey(key);
}

TEST_F(RegistryTest, ReadersOnSeveralThreadsWhileTheFileChanges) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "V", "v0"), ERROR_SUCCESS);
  std::atomic<bool> done{false};
  std::atomic<int> bad{0}, reads{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!done.load()) {
        ++reads;
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Shared", 0, KEY_READ, &k) != ERROR_SUCCESS) {
          ++bad;
          continue;
        }
        const std::string v = QueryString(k, "V");
        if (v.size() < 2 || v[0] != 'v') ++bad;
        RegCloseKey(k);
      }
    });
  }
  for (int i = 1; i <= 30; ++i)
    EXPECT_EQ(SetString(key, "V", "v" + std::to_string(i)), ERROR_SUCCESS);
  // Let the readers meet the last version too before they stop.
  const int seen = reads.load();
  while (reads.load() < seen + 10) std::this_thread::yield();
  done = true;
  for (auto& r : readers) r.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(QueryString(key, "V"), "v30");
  RegCloseKey(key);
}

TEST_F(RegistryTest, WhatIsNoRegularFileReadsAsEmptyAndIsNeverReplaced) {
  fs::create_directories(file_.parent_path());
  HKEY key = nullptr;
  // A FIFO without a writer: reading it the ordinary way would wait forever.
  ASSERT_EQ(mkfifo(file_.c_str(), 0600), 0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_fifo(file_));
  fs::remove(file_);

  fs::create_directory(file_);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_directory(file_));

  // An endless device: read it whole and the process runs out of memory.
  setenv("RAVLIN_REGISTRY", "/dev/zero", 1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, AFileAbove16MiBIsNamedOnceAndNotRead) {
  fs::create_directories(file_.parent_path());
  // Exactly the limit is read: a valid head, then a comment line up to 16 MiB.
  const std::string head = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Big]\n@=\"yes\"\n;";
  std::string text = head + std::string(registry::kMaxRegistryFileBytes - head.size() - 1, 'c');
  text += '\n';
  ASSERT_EQ(text.size(), 16u << 20);
  WriteText(file_, text);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Big", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, nullptr), "yes");

  // One byte more and it is as if there were no file, with one line on standard error.
  std::ofstream(file_, std::ios::app) << ';';
  ASSERT_EQ(fs::file_size(file_), (16u << 20) + 1);
  testing::internal::CaptureStderr();
  HKEY again = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Big", 0, KEY_READ, &again), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QueryString(key, nullptr), "<error 2>");
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2),
            ERROR_ACCESS_DENIED);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors,
            "ravlin: registry file " + file_.string() + " is larger than 16 MiB; it is not read\n");
  EXPECT_EQ(fs::file_size(file_), (16u << 20) + 1) << "left as it was";
  RegCloseKey(key);
}

TEST(RegistryFilePath, EnvironmentChoosesTheFile) {
  const char* saved[3] = {getenv("RAVLIN_REGISTRY"), getenv("XDG_CONFIG_HOME"), getenv("HOME")};
  std::string keep[3];
  for (int i = 0; i < 3; ++i) keep[i] = saved[i] ? saved[i] : "";
  unsetenv("RAVLIN_REGISTRY");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(registry::RegistryFile::DefaultPath(), "/cfg/cobrix/registry.reg");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/u", 1);
  EXPECT_EQ(registry::RegistryFile::DefaultPath(), "/home/u/.config/cobrix/registry.reg");
  setenv("RAVLIN_REGISTRY", "/x/r.reg", 1);
  EXPECT_EQ(registry::RegistryFile::DefaultPath(), "/x/r.reg");
  const char* names[3] = {"RAVLIN_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
  for (int i = 0; i < 3; ++i) {
    if (saved[i]) {
      setenv(names[i], keep[i].c_str(), 1);
    } else {
      unsetenv(names[i]);
    }
  }
}

}  // namespace
}  // namespace win
