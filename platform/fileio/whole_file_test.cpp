// Whole-file writes: creation, kept permissions, symbolic links, refusals, concurrent writers
// and a write that fails half way.
#include "platform/fileio/whole_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fileio {
namespace {

namespace fs = std::filesystem;

class WholeFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cobrix-fileio-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static unsigned Mode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  // The names in the folder, sorted (temporary files would show here).
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(WholeFile, ANewFileGetsTheUmaskAndNothingElseIsLeftBeside) {
  const mode_t before = ::umask(022);
  std::string error;
  EXPECT_TRUE(ReplaceWholeFile(Path("new.ini"), "a=1\n", &error)) << error;
  ::umask(before);
  EXPECT_EQ(Contents(Path("new.ini")), "a=1\n");
  EXPECT_EQ(Mode(Path("new.ini")), 0644u);
  EXPECT_EQ(Names(), std::vector<std::string>{"new.ini"});
}

TEST_F(WholeFile, AReplacedFileKeepsItsModeAndAReadOnlyOneIsRefused) {
  for (unsigned mode : {0600u, 0640u, 0664u}) {
    Write(Path("keep"), "old");
    ASSERT_EQ(::chmod(Path("keep").c_str(), mode), 0);
    EXPECT_TRUE(ReplaceWholeFile(Path("keep"), "new"));
    EXPECT_EQ(Contents(Path("keep")), "new");
    EXPECT_EQ(Mode(Path("keep")), mode);
  }
  Write(Path("ro"), "old");
  ASSERT_EQ(::chmod(Path("ro").c_str(), 0444), 0);
  std::string error;
  EXPECT_FALSE(ReplaceWholeFile(Path("ro"), "new", &error));
  EXPECT_EQ(error, Path("ro") + ": is read-only");
  EXPECT_EQ(Contents(Path("ro")), "old");
  EXPECT_EQ(Mode(Path("ro")), 0444u);
}

TEST_F(WholeFile, ASymbolicLinkIsFollowedAndStaysALink) {
  fs::create_directory(dir_ / "real");
  Write(Path("real/eeprom.txt"), "old");
  ASSERT_EQ(::chmod(Path("real/eeprom.txt").c_str(), 0600), 0);
  fs::create_symlink("real/eeprom.txt", dir_ / "relative");  // relative to the link's folder
  fs::create_symlink(dir_ / "relative", dir_ / "chain");     // a link to a link
  EXPECT_TRUE(ReplaceWholeFile(Path("chain"), "new"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "chain"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "relative"));
  EXPECT_EQ(Contents(Path("real/eeprom.txt")), "new");
  EXPECT_EQ(Mode(Path("real/eeprom.txt")), 0600u);
  // A dangling link: the file it names is created.
  fs::create_symlink("real/later.txt", dir_ / "dangling");
  EXPECT_TRUE(ReplaceWholeFile(Path("dangling"), "made"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling"));
  EXPECT_EQ(Contents(Path("real/later.txt")), "made");
}

TEST_F(WholeFile, TargetsThatAreNoRegularFilesAreRefused) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
  fs::create_directory(dir_ / "folder");
  std::string error;
  EXPECT_FALSE(ReplaceWholeFile(Path("fifo"), "x", &error));
  EXPECT_EQ(error, Path("fifo") + ": is not a regular file");
  EXPECT_FALSE(ReplaceWholeFile(Path("folder"), "x", &error));
  EXPECT_FALSE(ReplaceWholeFile(Path("missing/file"), "x", &error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));

  std::string out = "stale";
  EXPECT_EQ(ReadWholeFile(Path("fifo"), out), read_outcome::failed) << "and it does not block";
  EXPECT_EQ(out, "");
  EXPECT_EQ(ReadWholeFile(Path("folder"), out), read_outcome::failed);
  EXPECT_EQ(ReadWholeFile(Path("nothing"), out), read_outcome::missing);
  Write(Path("some"), std::string(100000, 's'));
  EXPECT_EQ(ReadWholeFile(Path("some"), out), read_outcome::read);
  EXPECT_EQ(out, std::string(100000, 's'));
}

TEST_F(WholeFile, TwoWritersAtOnceEndWithOneWholeFileAndNoTemporaries) {
  const std::string a(64 * 1024, 'a'), b(64 * 1024, 'b');
  // A file named as a fixed-name temporary would be: writers must not touch it.
  Write(Path("shared.reg.tmp"), "someone else's");
  std::atomic<int> failures{0};
  auto writer = [&](const std::string& text) {
    for (int i = 0; i < 150; ++i)
      if (!ReplaceWholeFile(Path("shared.reg"), text)) ++failures;
  };
  std::thread one(writer, a), two(writer, b);
  // Readers meanwhile see one version or the other, whole.
  for (int i = 0; i < 200; ++i) {
    std::string seen;
    if (ReadWholeFile(Path("shared.reg"), seen) == read_outcome::read && !seen.empty()) {
      EXPECT_TRUE(seen == a || seen == b) << "a torn file of " << seen.size() << " bytes";
    }
  }
  one.join();
  two.join();
  EXPECT_EQ(failures.load(), 0);
  const std::string end = Contents(Path("shared.reg"));
  EXPECT_TRUE(end == a || end == b);
  EXPECT_EQ(Contents(Path("shared.reg.tmp")), "someone else's");
  EXPECT_EQ(Names(), (std::vector<std::string>{"shared.reg", "shared.reg.tmp"}));
}

TEST_F(WholeFile, AWriteThatFailsHalfWayLeavesTheOldFile) {
  Write(Path("settings"), "the old settings");
  // The file size limit makes the write fail after 4 KiB, for any user (root included).
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
  struct rlimit before {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  struct rlimit small = before;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  const bool written = ReplaceWholeFile(Path("settings"), std::string(100000, 'n'), &error);
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_FALSE(written);
  EXPECT_EQ(error.rfind(Path("settings") + ": cannot be written: ", 0), 0u) << error;
  EXPECT_EQ(Contents(Path("settings")), "the old settings");
  EXPECT_EQ(Names(), std::vector<std::string>{"settings"});
}

}  // namespace
}  // namespace fileio
