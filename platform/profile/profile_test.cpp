#include "platform/profile/profile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/codepage.h"

namespace {

namespace fs = std::filesystem;
using win::DWORD;
using win::FALSE;
using win::GetPrivateProfileStringA;
using win::WritePrivateProfileStringA;

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::SetActiveCodePageForTesting(932);
    std::string pattern = (fs::temp_directory_path() / "profile_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ini_ = (dir_ / "Marlo4.ini").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
    win::SetActiveCodePageForTesting(0);
  }

  void Put(const std::string& text, const std::string& path = {}) {
    std::ofstream(path.empty() ? ini_ : path, std::ios::binary) << text;
  }
  std::string Contents(const std::string& path = {}) {
    std::ifstream in(path.empty() ? ini_ : path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Reads like the application does: empty default, a 1024-byte buffer.
  std::string Read(const char* section, const char* key, const char* def = "") {
    char buffer[1024];
    DWORD n = GetPrivateProfileStringA(section, key, def, buffer, sizeof buffer, ini_.c_str());
    EXPECT_EQ(n, std::strlen(buffer));
    return std::string(buffer, n);
  }
  // A listing as its NUL-separated bytes, final NUL included.
  std::string List(const char* section, DWORD size = 4096, DWORD* returned = nullptr) {
    std::vector<char> buffer(size + 1, 'x');
    DWORD n = GetPrivateProfileStringA(section, nullptr, "dflt", buffer.data(), size, ini_.c_str());
    if (returned) *returned = n;
    return std::string(buffer.data(), std::min<std::size_t>(n + 1, size));
  }
  bool Write(const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, ini_.c_str()) != FALSE;
  }
  std::vector<std::string> FilesInDir() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    return names;
  }

  fs::path dir_;
  std::string ini_;
};

TEST_F(ProfileTest, ReadsKeysTheWayThePlatformDoes) {
  Put("; settings\r\n"
      "orphan=before any section\r\n"
      "[Comm]\r\n"
      "  Boud = 19200abc  \r\n"
      "Parity=2\r\n"
      "parity=first one wins\r\n"
      "Empty=\r\n"
      "Quoted=\"  two blanks kept  \"\r\n"
      "Single='x'\r\n"
      "Mismatched=\"x'\r\n"
      "Lone=\"\r\n"
      "Path=C:\\a=b\r\n"
      "no equals sign here\r\n"
      "; Commented=1\r\n"
      "[ Data ] trailing text\r\n"
      "Path=/data/\r\n"
      "[comm]\r\n"
      "Port=9\r\n"
      "Boud=never\r\n");
  EXPECT_EQ(Read("Comm", "Boud"), "19200abc");
  EXPECT_EQ(Read("COMM", "boud"), "19200abc");
  EXPECT_EQ(Read("Comm", "Parity"), "2");
  EXPECT_EQ(Read("Comm", "Empty", "dflt"), "");  // present but empty is not missing
  EXPECT_EQ(Read("Comm", "Quoted"), "  two blanks kept  ");
  EXPECT_EQ(Read("Comm", "Single"), "x");
  EXPECT_EQ(Read("Comm", "Mismatched"), "\"x'");
  EXPECT_EQ(Read("Comm", "Lone"), "\"");
  EXPECT_EQ(Read("Comm", "Path"), "C:\\a=b");
  EXPECT_EQ(Read("Comm", "no equals sign here", "dflt"), "dflt");
  EXPECT_EQ(Read("Comm", "; Commented", "dflt"), "dflt");
  EXPECT_EQ(Read("Comm", "orphan", "dflt"), "dflt");
  EXPECT_EQ(Read("Data", "Path"), "/data/");
  EXPECT_EQ(Read(" Data ", " Path "), "/data/");
  // The second [comm] is shadowed by the first.
  EXPECT_EQ(Read("Comm", "Port", "dflt"), "dflt");
}

TEST_F(ProfileTest, DefaultsWhenFileSectionOrKeyIsMissing) {
  EXPECT_EQ(Read("Application", "App", "none  \t"), "none");  // trailing blanks dropped
  EXPECT_EQ(Read("Application", "App", "  lead"), "  lead");
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(GetPrivateProfileStringA("A", "B", nullptr, buffer, 8, ini_.c_str()), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_FALSE(fs::exists(ini_));  // reading never creates the file

  Put("[Application]\nApp=x\n");
  EXPECT_EQ(Read("Other", "App", "d"), "d");
  EXPECT_EQ(Read("Application", "Other", "d"), "d");

  // A folder in place of the file reads as an empty file.
  fs::create_directory(dir_ / "folder.ini");
  char out[16];
  EXPECT_EQ(GetPrivateProfileStringA("A", "B", "dflt", out, 16, (dir_ / "folder.ini").c_str()), 4u);
  EXPECT_STREQ(out, "dflt");
  EXPECT_EQ(GetPrivateProfileStringA("A", "B", "dflt", out, 16, nullptr), 4u);
}

TEST_F(ProfileTest, ResultIsCutToTheBuffer) {
  Put("[S]\nK=abcdef\n");
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buffer, 4, ini_.c_str()), 3u);
  EXPECT_EQ(std::string(buffer, 5), std::string("abc\0x", 5));
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buffer, 7, ini_.c_str()), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buffer, 1, ini_.c_str()), 0u);
  EXPECT_EQ(buffer[0], '\0');
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buffer, 0, ini_.c_str()), 0u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", nullptr, 8, ini_.c_str()), 0u);
  // The default is cut the same way.
  EXPECT_EQ(GetPrivateProfileStringA("S", "none", "0123456789", buffer, 5, ini_.c_str()), 4u);
  EXPECT_STREQ(buffer, "0123");
}

TEST_F(ProfileTest, ListsSectionsAndKeys) {
  Put("[Application]\nApp=1\n[Comm]\nPort=1\nBoud=2\nport=3\n[Empty]\n[COMM]\nExtra=4\n");
  DWORD n = 0;
  EXPECT_EQ(List(nullptr, 4096, &n), std::string("Application\0Comm\0Empty\0\0", 24));
  EXPECT_EQ(n, 23u);
  char buffer[64];
  EXPECT_EQ(GetPrivateProfileStringA("Comm", nullptr, "", buffer, 64, ini_.c_str()), 10u);
  EXPECT_EQ(std::string(buffer, 11), std::string("Port\0Boud\0\0", 11));
  EXPECT_EQ(List("Empty"), std::string("\0", 1));
  EXPECT_EQ(List("Missing"), std::string("\0", 1));

  // Too small: cut to size - 2, two NULs, size - 2 returned.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buffer, 8, ini_.c_str()), 6u);
  EXPECT_EQ(std::string(buffer, 9), std::string("Applic\0\0x", 9));
  EXPECT_EQ(GetPrivateProfileStringA("Comm", nullptr, "", buffer, 2, ini_.c_str()), 0u);
  EXPECT_EQ(std::string(buffer, 2), std::string("\0\0", 2));
  // Exactly enough room.
  EXPECT_EQ(GetPrivateProfileStringA("Comm", nullptr, "", buffer, 11, ini_.c_str()), 10u);
  EXPECT_EQ(std::string(buffer, 11), std::string("Port\0Boud\0\0", 11));

  fs::remove(ini_);
  EXPECT_EQ(List(nullptr), std::string("\0", 1));
}

TEST_F(ProfileTest, WritingCreatesTheFileAndSections) {
  ASSERT_TRUE(Write("Application", "App", "Tavo Emuletor Program 4"));
  ASSERT_TRUE(Write("Comm", "Port", "1"));
  ASSERT_TRUE(Write("Comm", "Boud", "9600"));
  EXPECT_EQ(Contents(),
            "[Application]\r\nApp=Tavo Emuletor Program 4\r\n\r\n"
            "[Comm]\r\nPort=1\r\nBoud=9600\r\n");
  EXPECT_EQ(Read("application", "APP"), "Tavo Emuletor Program 4");
  EXPECT_EQ(Read("Comm", "Boud"), "9600");
}

TEST_F(ProfileTest, WritingKeepsEverythingElseInPlace) {
  const std::string original =
      "; Tavotest settings\n"
      "[Comm]\n"
      "  Port = 1   ; kept\n"
      "Boud=9600\n"
      "\n"
      "; about the display\n"
      "[Display]\n"
      "Left=0\n";
  Put(original);
  ASSERT_TRUE(Write("comm", "PORT", "3"));    // replaced in place, spelling and blanks kept
  ASSERT_TRUE(Write("Comm", "Parity", "2"));  // after the last key, before the blank line
  ASSERT_TRUE(Write("Display", "Top", "15"));
  ASSERT_TRUE(Write("Timer", "Timer1", "5000"));
  EXPECT_EQ(Contents(),
            "; Tavotest settings\n"
            "[Comm]\n"
            "  Port = 3\n"
            "Boud=9600\n"
            "Parity=2\n"
            "\n"
            "; about the display\n"
            "[Display]\n"
            "Left=0\n"
            "Top=15\n"
            "\n"
            "[Timer]\n"
            "Timer1=5000\n");
}

TEST_F(ProfileTest, WritingHandlesLineEndsAndMissingFinalNewline) {
  Put("[A]\r\nx=1");  // CR LF file whose last line has no line end
  ASSERT_TRUE(Write("A", "y", "2"));
  EXPECT_EQ(Contents(), "[A]\r\nx=1\r\ny=2\r\n");
  Put("[A]\r\nx=1");
  ASSERT_TRUE(Write("A", "x", "22"));
  EXPECT_EQ(Contents(), "[A]\r\nx=22");
  Put("[A]\nx=1");
  ASSERT_TRUE(Write("B", "y", "2"));
  EXPECT_EQ(Contents(), "[A]\nx=1\n\n[B]\ny=2\n");
  Put("[A]");
  ASSERT_TRUE(Write("A", "k", "v"));
  EXPECT_EQ(Contents(), "[A]\r\nk=v\r\n");
  Put("");
  ASSERT_TRUE(Write("A", "k", "v"));
  EXPECT_EQ(Contents(), "[A]\r\nk=v\r\n");
}

TEST_F(ProfileTest, DeletingKeysAndSections) {
  Put("[A]\nk=1\nK=2\nj=3\n[B]\nk=4\n[a]\nk=5\n");
  ASSERT_TRUE(Write("A", "k", nullptr));
  EXPECT_EQ(Contents(), "[A]\nj=3\n[B]\nk=4\n[a]\nk=5\n");
  // The shadowed [a] stays shadowed: the first section has no k now.
  EXPECT_EQ(Read("A", "k", "gone"), "gone");
  ASSERT_TRUE(Write("a", nullptr, nullptr));  // every section of the name
  EXPECT_EQ(Contents(), "[B]\nk=4\n");
  // Deleting what is not there succeeds and creates nothing.
  ASSERT_TRUE(Write("Nope", nullptr, nullptr));
  ASSERT_TRUE(Write("B", "nope", nullptr));
  EXPECT_EQ(Contents(), "[B]\nk=4\n");
  fs::remove(ini_);
  ASSERT_TRUE(Write("B", "k", nullptr));
  ASSERT_TRUE(Write("B", nullptr, nullptr));
  EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(ProfileTest, RefusesWritesThatWouldBreakTheFile) {
  Put("[A]\nk=1\n");
  EXPECT_FALSE(Write("A", "k", "1\r\n[Evil]"));
  EXPECT_FALSE(Write("A", "k\n", "1"));
  EXPECT_FALSE(Write("A", "k=j", "1"));
  EXPECT_FALSE(Write("A", "  ", "1"));
  EXPECT_FALSE(Write("A", "[k", "1"));
  EXPECT_FALSE(Write("A", ";k", "1"));
  EXPECT_FALSE(Write("A]", "k", "1"));
  EXPECT_FALSE(Write("A\n", "k", "1"));
  EXPECT_FALSE(Write(nullptr, "k", "1"));
  EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", nullptr));
  EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", ""));
  EXPECT_EQ(Contents(), "[A]\nk=1\n");
  EXPECT_TRUE(Write(nullptr, nullptr, nullptr));  // the platform's cache flush
}

TEST_F(ProfileTest, DoubleByteNamesAndValuesStayIntact) {
  // "ゾ" is 83 5D: its trail byte is "]". "ア" (83 41) and "ヂ" (83 61) differ only by what
  // would be the case of an ASCII letter.
  const std::string zo = "\x83\x5D", a = "\x83\x41", dji = "\x83\x61";
  const std::string value = "\x92\xCA\x90\x4D\x90\xDD\x92\xE8 \xB6\xB0\xC4\xDE \x95\x5C";
  Put("[" + zo + "]\r\n" + a + "=1\r\n");
  EXPECT_EQ(Read(zo.c_str(), a.c_str()), "1");
  EXPECT_EQ(Read(zo.c_str(), dji.c_str(), "none"), "none");
  ASSERT_TRUE(Write(zo.c_str(), dji.c_str(), value.c_str()));
  EXPECT_EQ(Read(zo.c_str(), dji.c_str()), value);
  EXPECT_EQ(Read(zo.c_str(), a.c_str()), "1");
  EXPECT_EQ(List(nullptr), zo + std::string("\0\0", 2));
  // A section name may hold a double-byte character ending in "]", never a real "]".
  EXPECT_TRUE(Write((zo + zo).c_str(), "k", "v"));
  EXPECT_EQ(Read((zo + zo).c_str(), "k"), "v");
  // A name ending in a lead byte on its own would take the "]" of its header as its trail byte:
  // the header would not read back, so the write is refused and the file stays as it was.
  const std::string before = Contents();
  EXPECT_FALSE(Write("ab\x83", "k", "v"));
  EXPECT_FALSE(Write((zo + "\xFB").c_str(), "k", "v"));
  EXPECT_EQ(Contents(), before);
  EXPECT_TRUE(Write("ab\x83\x83", "k", "v"));  // one whole double-byte character
  EXPECT_EQ(Read("ab\x83\x83", "k"), "v");
  // A file may hold such a section ("[ab" 83 " ]": the blank is no trail byte and is trimmed):
  // it is found and edited in place.
  Put("[ab\x83 ]\r\nk=1\r\n");
  EXPECT_EQ(Read("ab\x83", "k"), "1");
  EXPECT_TRUE(Write("ab\x83", "k", "2"));
  EXPECT_EQ(Contents(), "[ab\x83 ]\r\nk=2\r\n");
}

TEST_F(ProfileTest, SurvivesBinaryGarbageAndHugeLines) {
  std::string garbage;
  unsigned seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>(seed >> 16));
  }
  garbage += std::string("\n[S]\nk=ab\0cd\n", 14);  // a NUL ends what is read of a line
  Put(garbage);
  EXPECT_EQ(Read("S", "k"), "ab");
  List(nullptr);
  ASSERT_TRUE(Write("S", "new", "value"));
  EXPECT_EQ(Read("S", "new"), "value");
  EXPECT_EQ(Contents().substr(0, 20000), garbage.substr(0, 20000));  // untouched bytes stay

  const std::string huge(150 * 1024, 'v');
  ASSERT_TRUE(Write("Big", "line", huge.c_str()));
  std::vector<char> buffer(huge.size() + 1);
  EXPECT_EQ(GetPrivateProfileStringA("Big", "line", "", buffer.data(),
                                     static_cast<DWORD>(buffer.size()), ini_.c_str()),
            huge.size());
  EXPECT_EQ(std::string(buffer.data()), huge);
  EXPECT_EQ(Read("Big", "line").size(), 1023u);  // the application's buffer cuts it
  ASSERT_TRUE(Write("Big", "after", "1"));
  EXPECT_EQ(Read("Big", "after"), "1");
}

TEST_F(ProfileTest, UnchangedWriteLeavesTheFileAlone) {
  Put("[A]\nk=1\n");
  struct stat before;
  ASSERT_EQ(::stat(ini_.c_str(), &before), 0);
  ASSERT_TRUE(Write("A", "k", "1"));
  struct stat after;
  ASSERT_EQ(::stat(ini_.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced
  ASSERT_TRUE(Write("A", "k", "2"));
  ASSERT_EQ(::stat(ini_.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);  // replaced by rename
}

TEST_F(ProfileTest, WriteFailuresLeaveTheOldFile) {
  // A folder in place of the file.
  const std::string folder = (dir_ / "folder.ini").string();
  fs::create_directory(folder);
  fs::path inside = fs::path(folder) / "keep";
  Put("x", inside.string());
  EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", folder.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("A", nullptr, nullptr, folder.c_str()));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(Contents(inside.string()), "x");

  // A folder that does not exist.
  EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", (dir_ / "no/such.ini").c_str()));

  // A read-only file: refused even when nothing would change.
  Put("[A]\nk=1\n");
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_FALSE(Write("A", "k", "2"));
  EXPECT_FALSE(Write("A", "k", "1"));
  EXPECT_EQ(Contents(), "[A]\nk=1\n");
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);

  // A folder that cannot be written to.
  if (::geteuid() != 0) {
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(Write("A", "k", "2"));
    fs::permissions(dir_, fs::perms::owner_all);
  } else {
    // The superuser writes anywhere on a writable file system; /proc is not one.
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "1", "/proc/profile_test.ini"));
  }
  EXPECT_EQ(Contents(), "[A]\nk=1\n");

  // The disk fills up half-way through the new file (a file size limit stands in for it).
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
  struct rlimit oldLimit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  struct rlimit small = oldLimit;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string big(10000, 'z');
  const bool written = Write("A", "big", big.c_str());
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  ::sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_FALSE(written);
  EXPECT_EQ(Contents(), "[A]\nk=1\n");
  for (const std::string& name : FilesInDir()) {
    EXPECT_TRUE(name == "Marlo4.ini" || name == "folder.ini") << name << " left over";
  }
}

TEST_F(ProfileTest, KeepsModeAndFollowsSymbolicLinks) {
  Put("[A]\nk=1\n");
  ::chmod(ini_.c_str(), 0640);
  ASSERT_TRUE(Write("A", "k", "2"));
  struct stat st;
  ASSERT_EQ(::stat(ini_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const std::string link = (dir_ / "link.ini").string();
  ASSERT_EQ(::symlink(ini_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("A", "k", "3", link.c_str()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Contents(), "[A]\nk=3\n");

  // A new file gets the usual permissions (0666 less the umask).
  const std::string fresh = (dir_ / "fresh.ini").string();
  ASSERT_TRUE(WritePrivateProfileStringA("A", "k", "1", fresh.c_str()));
  mode_t mask = ::umask(0);
  ::umask(mask);
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
}

TEST_F(ProfileTest, RelativeNamesAreRelativeToTheWorkingDirectory) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  const bool written = WritePrivateProfileStringA("A", "k", "1", "relative.ini") != FALSE;
  char buffer[8];
  const DWORD n = GetPrivateProfileStringA("A", "k", "", buffer, 8, "relative.ini");
  fs::current_path(previous);
  EXPECT_TRUE(written);
  EXPECT_EQ(n, 1u);
  EXPECT_TRUE(fs::exists(dir_ / "relative.ini"));
}

TEST_F(ProfileTest, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 10; ++i) {
        const std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
        WritePrivateProfileStringA(t % 2 ? "Odd" : "Even", key.c_str(), key.c_str(), ini_.c_str());
        char buffer[32];
        GetPrivateProfileStringA(t % 2 ? "Odd" : "Even", key.c_str(), "", buffer, 32, ini_.c_str());
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 10; ++i) {
      const std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
      EXPECT_EQ(Read(t % 2 ? "Odd" : "Even", key.c_str()), key);
    }
  }
}

}  // namespace
