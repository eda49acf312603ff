// What `members`, `help NAME` and `ports` print.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "control/port_members.h"
#include "platform/com/registry.h"
#include "tools/testcon/member_listing.h"
#include "tools/testcon/port_listing.h"

namespace testcon {
namespace {

namespace fs = std::filesystem;

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(MemberListing, EveryMemberEventAndEnumerationHasOneLine) {
  const std::vector<std::string> lines = list_members();
  std::size_t properties = 0, methods = 0;
  for (const auto& m : ravlin::iport18Members()) {
    if (m.kind == ravlin::member_kind::method) ++methods;
    if (m.kind == ravlin::member_kind::propget ||
        (m.kind == ravlin::member_kind::propput &&
         !ravlin::findPortMember(m.dispid, ravlin::member_kind::propget)))
      ++properties;
  }
  EXPECT_EQ(lines.size(), properties + methods + ravlin::iport18EventMembers().size() + 7);
  EXPECT_TRUE(Has(
      lines, "property BaudRate: int32 (read/write)  [81]  データ転送速度（ボーレート）を設定"));
  EXPECT_TRUE(Has(lines, "property Cts: bool (read-only)  [84]  CTSラインの状態を参照"));
  EXPECT_TRUE(Has(lines, "property _BaudRate: int32 (write-only)  [344, hidden]"));
  EXPECT_TRUE(Has(lines,
                  "method InputB(out InputBytes byte array, [NumBytes int32]) -> int32  "
                  "[18]  受信バッファに受信したバイナリデータを取得"));
  EXPECT_TRUE(Has(lines,
                  "event CommState(CommStateId CommStateIdEnum)  [515]  "
                  "通信状態が変化すると発生"));
  EXPECT_TRUE(Has(lines, "enum IOModeEnum: iomAutoInput = 0, iomBlocking = 1, iomNonBlocking = 2"));
}

TEST(MemberListing, HelpForOneNameShowsItAndItsEnumerations) {
  const std::vector<std::string> parity = describe_member("PARITY");
  ASSERT_FALSE(parity.empty());
  EXPECT_EQ(parity[0],
            "property Parity: ParityEnum (read/write)  [121]  パリティチェックの種類を設定");
  EXPECT_TRUE(Has(parity, "  parSpace = 4  スペースパリティ"));
  const std::vector<std::string> open = describe_member("open");
  EXPECT_EQ(open.size(), 1u + (1 + 5) + (1 + 5) + (1 + 3))
      << "Open, then HandshakingEnum, ParityEnum and IOModeEnum with their values";
  const std::vector<std::string> states = describe_member("CommIOStateIdEnum");
  ASSERT_EQ(states.size(), 9u);
  EXPECT_EQ(states[0].rfind("enum CommIOStateIdEnum: pioeInputThreshold = 512, ", 0), 0u);
  EXPECT_EQ(states[2].rfind("  pioeInputTimeout = 513", 0), 0u);
  EXPECT_TRUE(describe_member("NoSuchThing").empty());
}

class PortListing : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/testcon-ports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    if (const char* r = getenv("RAVLIN_REGISTRY")) registryBefore_ = r;
    setenv("RAVLIN_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
    fs::create_directories(dir_ / "dev/serial/by-id");
    for (const char* name : {"ttyS0", "ttyS1", "ttyS10", "ttyUSB0", "ttyUSB1", "ttyACM0", "tty1"})
      std::ofstream(dir_ / "dev" / name) << "";
    fs::create_symlink("../../ttyUSB0", dir_ / "dev/serial/by-id/usb-FTDI_A50285BI-if00-port0");
    sources_.dev = (dir_ / "dev").string();
    sources_.use_process_environment = false;
    sources_.uart_present = [](const std::string& path) {
      return path.size() >= 5 && path.compare(path.size() - 5, 5, "ttyS1") == 0;
    };
  }
  void TearDown() override {
    if (registryBefore_.empty())
      unsetenv("RAVLIN_REGISTRY");
    else
      setenv("RAVLIN_REGISTRY", registryBefore_.c_str(), 1);
    fs::remove_all(dir_);
  }
  std::string Dev(const char* name) const { return (dir_ / "dev" / name).string(); }

  fs::path dir_;
  std::string registryBefore_;
  port_listing_sources sources_;
};

TEST_F(PortListing, DevicesWithTheComNumbersThatReachThem) {
  const std::string byId = Dev("serial/by-id/usb-FTDI_A50285BI-if00-port0");
  win::HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, "Software\\Cobrix\\Ravlin\\Ports", 0,
                                 nullptr, 0, win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
            win::ERROR_SUCCESS);
  for (auto [name, value] : {std::pair{"COM5", Dev("ttyACM0")}, std::pair{"COM3", Dev("ttyS0")}}) {
    ASSERT_EQ(win::RegSetValueExA(key, name, 0, win::REG_SZ,
                                  reinterpret_cast<const win::BYTE*>(value.c_str()),
                                  static_cast<win::DWORD>(value.size() + 1)),
              win::ERROR_SUCCESS);
  }
  win::RegCloseKey(key);
  sources_.environment = {"RAVLIN_COM3=" + byId, "RAVLIN_COM9=/nonexistent/tty", "HOME=/root",
                          "RAVLIN_ACP=932"};
  const std::vector<std::string> lines = list_serial_ports(sources_);
  const std::vector<std::string> expected = {
      "COM3 -> " + byId + " (RAVLIN_COM3)",  // the environment wins over the registry
      "COM5 -> " + Dev("ttyACM0") + " (registry)",
      "COM9 -> /nonexistent/tty (RAVLIN_COM9): missing",
      Dev("ttyS1") + ": COM2",  // ttyS0 and ttyS10 have no UART behind them
      Dev("ttyACM0") + ": COM5",
      Dev("ttyUSB0") + " (" + byId + "): COM3",
      Dev("ttyUSB1") + ": no COM number; set RAVLIN_COM<n>=" + Dev("ttyUSB1") +
          " or add \"COM<n>\" to the registry's Ports key",
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(PortListing, NothingAtAllIsSaid) {
  fs::remove_all(dir_ / "dev");
  fs::create_directories(dir_ / "dev");
  EXPECT_EQ(list_serial_ports(sources_),
            std::vector<std::string>{"no serial devices and no COM mappings"});
}

}  // namespace
}  // namespace testcon
