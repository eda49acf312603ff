// The serial API over real pseudo-terminals: the program holds the slave, the test the master.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/comm/comm.h"

namespace win {
namespace {

class PtyComm : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[128] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    path_ = name;
    // Cooked mode, as a fresh terminal is: the port must put it back at close.
    ASSERT_EQ(tcgetattr(slave_, &before_), 0);
    port_ = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ov_.hEvent = event_;
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    CloseHandle(event_);
    if (master_ >= 0) close(master_);
    close(slave_);
  }
  std::string ReadMaster(std::size_t size) {
    std::string got;
    while (got.size() < size) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) break;
      char buffer[256];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, size - got.size()));
      if (n <= 0) break;
      got.append(buffer, n);
    }
    return got;
  }
  void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS t{interval, multiplier, constant, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port_, &t));
  }

  int master_ = -1;
  int slave_ = -1;  // a second descriptor of the slave, to look at its settings
  std::string path_;
  termios before_{};
  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
  OVERLAPPED ov_{};
};

TEST_F(PtyComm, SettingsReachTheTerminalAndCloseRestoresThem) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_, &dcb));
  dcb.BaudRate = 19200;
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  dcb.fParity = 1;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fOutxCtsFlow = 1;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  termios t{};
  ASSERT_EQ(tcgetattr(slave_, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B19200);
  // Data bits and parity: a pty keeps 8 bits without parity whatever is asked (kernel rule).
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG)) << "raw mode";

  dcb.Parity = MARKPARITY;
  dcb.fOutX = dcb.fInX = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.StopBits = ONESTOPBIT;
  dcb.ByteSize = 8;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  ASSERT_EQ(tcgetattr(slave_, &t), 0);
  EXPECT_FALSE(t.c_cflag & (CRTSCTS | CSTOPB));
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
  DCB back{};
  ASSERT_TRUE(GetCommState(port_, &back));
  EXPECT_EQ(back.Parity, MARKPARITY) << "the DCB keeps what the pty cannot";

  // Every frame format is taken on a pty at any rate; the DCB reads back what was asked.
  for (DWORD rate : {9600u, 38400u}) {
    for (BYTE size : {BYTE{7}, BYTE{8}}) {
      for (BYTE parity : {BYTE{NOPARITY}, BYTE{EVENPARITY}, BYTE{ODDPARITY}}) {
        for (BYTE stop : {BYTE{ONESTOPBIT}, BYTE{TWOSTOPBITS}}) {
          dcb.BaudRate = rate;
          dcb.ByteSize = size;
          dcb.Parity = parity;
          dcb.fParity = parity != NOPARITY;
          dcb.StopBits = stop;
          ASSERT_TRUE(SetCommState(port_, &dcb))
              << rate << " " << int(size) << int(parity) << int(stop) << " " << GetLastError();
          ASSERT_TRUE(GetCommState(port_, &back));
          EXPECT_EQ(back.ByteSize, size);
          EXPECT_EQ(back.Parity, parity);
          EXPECT_EQ(back.StopBits, stop);
        }
      }
    }
  }

  dcb.BaudRate = 31250;  // not a standard rate: set through termios2
  ASSERT_TRUE(SetCommState(port_, &dcb)) << GetLastError();
  ASSERT_TRUE(GetCommState(port_, &back));
  EXPECT_EQ(back.BaudRate, 31250u);

  ASSERT_TRUE(CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
  ASSERT_EQ(tcgetattr(slave_, &t), 0);
  EXPECT_EQ(t.c_lflag, before_.c_lflag);
  EXPECT_EQ(t.c_iflag, before_.c_iflag);
  EXPECT_EQ(t.c_cflag, before_.c_cflag);
  EXPECT_EQ(cfgetospeed(&t), cfgetospeed(&before_));
}

TEST_F(PtyComm, ABusyPortAndAMissingDeviceCannotBeOpened) {
  EXPECT_EQ(CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(
      CreateFileA("/dev/cobrix-no-such-tty", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
      INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CreateFileA("/dev/null", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
}

TEST_F(PtyComm, BytesTravelBothWaysUnchanged) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  DWORD sent = 0;
  ASSERT_TRUE(WriteFile(port_, all.data(), 256, &sent, nullptr));
  EXPECT_EQ(sent, 256u);
  EXPECT_EQ(ReadMaster(256), all) << "raw output: no CR/LF mapping";

  SetTimeouts(0, 0, 2000);
  ASSERT_EQ(write(master_, all.data(), all.size()), 256);
  std::string got(256, '\0');
  DWORD n = 0;
  ASSERT_TRUE(ReadFile(port_, got.data(), 256, &n, nullptr));
  ASSERT_EQ(n, 256u);
  EXPECT_EQ(got, all) << "raw input: no signals, no echo, no mapping";
}

TEST_F(PtyComm, ReadTimesOutAndAbortPurgeEndsAPendingRead) {
  SetTimeouts(0, 0, 50);
  ASSERT_EQ(write(master_, "xy", 2), 2);
  char buffer[8];
  DWORD got = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ReadFile(port_, buffer, 5, &got, nullptr));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
  EXPECT_EQ(got, 2u);

  SetTimeouts(0, 0, 0);
  EXPECT_FALSE(ReadFile(port_, buffer, 5, &got, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(event_, 30), WAIT_TIMEOUT);
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT));
  EXPECT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &got, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
}

TEST_F(PtyComm, QueueCountsAndPurgeOfInput) {
  ASSERT_EQ(write(master_, "12345", 5), 5);
  COMSTAT stat{};
  DWORD errors = 1;
  for (int i = 0; i < 200 && stat.cbInQue < 5; ++i) {
    ASSERT_TRUE(ClearCommError(port_, &errors, &stat));
    if (stat.cbInQue < 5) Sleep(1);
  }
  EXPECT_EQ(stat.cbInQue, 5u);
  EXPECT_EQ(errors, 0u) << "a pty reports no line errors";
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR));
  ASSERT_TRUE(ClearCommError(port_, &errors, &stat));
  EXPECT_EQ(stat.cbInQue, 0u);
}

TEST_F(PtyComm, ANullModemWithAllInputLinesOn) {
  DWORD status = 0;
  ASSERT_TRUE(GetCommModemStatus(port_, &status));
  EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  EXPECT_TRUE(EscapeCommFunction(port_, CLRDTR));
  EXPECT_TRUE(EscapeCommFunction(port_, SETRTS));
  EXPECT_TRUE(SetCommBreak(port_));
  EXPECT_TRUE(ClearCommBreak(port_));
  ASSERT_TRUE(TransmitCommChar(port_, 'U'));
  EXPECT_EQ(ReadMaster(1), "U");
}

TEST_F(PtyComm, WaitCommEventEndsOnMaskChangeOnCloseAndOnReceive) {
  ASSERT_TRUE(SetCommMask(port_, 0x178));
  DWORD events = 0xFF;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(event_, 30), WAIT_TIMEOUT) << "no line ever changes on a pty";
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
  ASSERT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  DWORD unused;
  EXPECT_TRUE(GetOverlappedResult(port_, &ov_, &unused, FALSE));
  EXPECT_EQ(events, 0u);

  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  ASSERT_EQ(write(master_, "a", 1), 1);
  ASSERT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  EXPECT_EQ(events, EV_RXCHAR);

  events = 0xFF;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  std::thread closer([&] {
    // The close comes while this thread sleeps on the wait's event.
    for (int i = 0; i < 5000 && GetEventWaiterCount(event_) == 0; ++i) Sleep(1);
    EXPECT_EQ(GetEventWaiterCount(event_), 1u);
    CloseHandle(port_);
  });
  EXPECT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  closer.join();
  port_ = INVALID_HANDLE_VALUE;
  EXPECT_EQ(events, 0u);
}

// With an event wait and a read pending and nothing on the line, the service thread sleeps until
// the line or a call wakes it: no deadline, and no round of its loop while nothing happens.
TEST_F(PtyComm, AnIdlePortWithPendingOperationsLeavesItsServiceThreadAsleep) {
  ASSERT_TRUE(SetCommMask(port_, 0x178 | EV_TXEMPTY));
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  SetTimeouts(0, 0, 0);
  char buffer[4];
  DWORD got = 0;
  OVERLAPPED readOv{};
  EXPECT_FALSE(ReadFile(port_, buffer, 4, &got, &readOv));
  CommActivity asleep;
  ASSERT_TRUE(WaitCommActivity(
      port_,
      [&](const CommActivity& a) {
        asleep = a;
        return a.serviceIdle != FALSE;
      },
      5000))
      << "the service thread must sleep with no deadline";
  EXPECT_EQ(WaitForSingleObject(event_, 50), WAIT_TIMEOUT) << "nothing ends the event wait";
  CommActivity later;
  ASSERT_TRUE(GetCommActivity(port_, &later));
  // A spinning thread makes hundreds of rounds in 50 ms; a sleeping one none, or the odd one a
  // late wake-up brings on a slow machine (a sanitizer build).
  EXPECT_LE(later.serviceRounds - asleep.serviceRounds, 4u)
      << "the service thread must sleep, not spin";
  EXPECT_TRUE(later.serviceIdle);
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT));
  EXPECT_FALSE(GetOverlappedResult(port_, &readOv, &got, TRUE));
  // The event wait writes `events` when it ends: it must end while `events` still exists.
  ASSERT_TRUE(CancelIoEx(port_, &ov_));
  GetOverlappedResult(port_, &ov_, &got, TRUE);
}

TEST_F(PtyComm, ClosedMasterFailsTransfersInsteadOfHanging) {
  SetTimeouts(0, 0, 0);
  char buffer[4];
  DWORD got = 0;
  EXPECT_FALSE(ReadFile(port_, buffer, 4, &got, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  close(master_);
  master_ = -1;
  ASSERT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &got, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(WriteFile(port_, "a", 1, &got, nullptr));
  COMSTAT stat;
  EXPECT_FALSE(ClearCommError(port_, nullptr, &stat));
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
}

// A terminal that hangs up (the master closed, a USB adapter pulled) reads as a pulled cable:
// the lines it had on go off, once, to the wait watching them; then waits fail like the rest.
TEST_F(PtyComm, AHangUpTurnsTheModemLinesOffOnce) {
  ASSERT_TRUE(SetCommMask(port_, EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_RXCHAR));
  DWORD status = 0;
  ASSERT_TRUE(GetCommModemStatus(port_, &status));
  EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);  // a pty is a null modem
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  close(master_);
  master_ = -1;
  DWORD ignored = 0;
  ASSERT_TRUE(GetOverlappedResult(port_, &ov_, &ignored, TRUE)) << GetLastError();
  EXPECT_EQ(events, DWORD{EV_CTS | EV_DSR | EV_RLSD});
  ASSERT_TRUE(GetCommModemStatus(port_, &status));
  EXPECT_EQ(status, 0u);
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(WriteFile(port_, "a", 1, &ignored, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_TRUE(CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
}

// Linux drops a slave's unread input when the master closes; what the port had already taken
// stays with the read that was waiting for more.
TEST_F(PtyComm, AReadCutShortByAHangUpKeepsTheBytesItHad) {
  SetTimeouts(0, 0, 0);
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
  HANDLE arrived = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  OVERLAPPED waitOv{};
  waitOv.hEvent = arrived;
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &waitOv));
  char buffer[8] = {};
  DWORD got = 0;
  EXPECT_FALSE(ReadFile(port_, buffer, 5, &got, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  ASSERT_EQ(write(master_, "abc", 3), 3);
  EXPECT_EQ(WaitForSingleObject(arrived, 2000), WAIT_OBJECT_0);  // taken by the port
  CloseHandle(arrived);
  close(master_);
  master_ = -1;
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &got, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(std::string(buffer, got), "abc");
}

TEST_F(PtyComm, ASmallInputQueueFillsAndDrainsWithoutLosingBytesOrEvents) {
  ASSERT_TRUE(SetupComm(port_, 16, 16));
  SetTimeouts(0xFFFFFFFF, 0, 0);
  std::string sent;
  for (int i = 0; i < 40; ++i) sent.push_back(static_cast<char>('A' + i % 26));
  ASSERT_EQ(write(master_, sent.data(), sent.size()), 40);
  COMSTAT stat{};
  for (int i = 0; i < 200 && stat.cbInQue < 40; ++i) {
    ClearCommError(port_, nullptr, &stat);
    if (stat.cbInQue < 40) Sleep(1);
  }
  EXPECT_EQ(stat.cbInQue, 40u) << "queued here and in the driver";
  std::string got;
  char buffer[10];
  DWORD n = 0;
  while (got.size() < 40 && ReadFile(port_, buffer, sizeof buffer, &n, &ov_) && n > 0) {
    got.append(buffer, n);
  }
  EXPECT_EQ(got, sent);
  // With room again, a new byte is noticed on arrival.
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  ASSERT_EQ(write(master_, "z", 1), 1);
  EXPECT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  EXPECT_EQ(events, EV_RXCHAR);
}

// A stream many times the terminal's own buffer arrives in many short reads: the first read
// takes its share straight from the line, the queue keeps what follows, nothing is lost or
// reordered.
TEST_F(PtyComm, AStreamLargerThanTheTerminalBufferArrivesWholeAndInOrder) {
  ASSERT_TRUE(SetupComm(port_, 64 * 1024, 4096));
  SetTimeouts(0, 0, 5000);
  constexpr std::size_t kTotal = 256 * 1024;
  constexpr std::size_t kFirst = 100000;
  std::string sent(kTotal, '\0');
  for (std::size_t i = 0; i < kTotal; ++i) sent[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  std::string got(kTotal, '\0');
  DWORD n = 0;
  EXPECT_FALSE(ReadFile(port_, got.data(), kFirst, &n, &ov_));
  std::thread far([&] {
    std::size_t done = 0;
    while (done < kTotal) {
      const ssize_t w = write(master_, sent.data() + done, kTotal - done);
      if (w <= 0) return;
      done += static_cast<std::size_t>(w);
    }
  });
  ASSERT_TRUE(GetOverlappedResult(port_, &ov_, &n, TRUE));
  EXPECT_EQ(n, kFirst);
  std::size_t have = n;
  while (have < kTotal) {
    if (!ReadFile(port_, got.data() + have, static_cast<DWORD>(kTotal - have), &n, &ov_) &&
        !GetOverlappedResult(port_, &ov_, &n, TRUE)) {
      break;
    }
    if (n == 0) break;  // timed out: bytes went missing
    have += n;
  }
  far.join();
  EXPECT_EQ(have, kTotal);
  EXPECT_TRUE(got == sent) << "bytes lost or reordered";
}

}  // namespace
}  // namespace win
