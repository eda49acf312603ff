// The serial API over the in-memory device: settings, transfers, time-outs, events, errors.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/comm/comm.h"
#include "platform/comm/memory_device.h"

namespace win {
namespace {

// Looks every millisecond until `reached` holds: true; false once `ms` passed.
bool Eventually(const std::function<bool()>& reached, DWORD ms = 5000) {
  const DWORD start = GetTickCount();
  while (!reached()) {
    if (GetTickCount() - start >= ms) return false;
    Sleep(1);
  }
  return true;
}

class MemoryComm : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> next{0};
    device_ = MemoryDevice::Create("comm-test-" + std::to_string(next++));
    port_ = CreateFileA(device_->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ov_.hEvent = event_;
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    CloseHandle(event_);
  }
  void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant, DWORD writeConstant = 0) {
    COMMTIMEOUTS t{interval, multiplier, constant, 0, writeConstant};
    ASSERT_TRUE(SetCommTimeouts(port_, &t));
  }

  std::shared_ptr<MemoryDevice> device_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
  OVERLAPPED ov_{};
};

TEST(DcbLayout, FlagWordBitsAreThePlatformsOnes) {
  DCB dcb{};
  dcb.fBinary = 1;
  EXPECT_EQ(DcbFlags(dcb), 0x1u);
  dcb = {};
  dcb.fOutxCtsFlow = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  EXPECT_EQ(DcbFlags(dcb), 0x2314u);  // the hsBoth group
  dcb = {};
  dcb.fNull = 1;
  dcb.fAbortOnError = 1;
  dcb.fDsrSensitivity = 1;
  dcb.fTXContinueOnXoff = 1;
  dcb.fErrorChar = 1;
  dcb.fParity = 1;
  dcb.fOutxDsrFlow = 1;
  EXPECT_EQ(DcbFlags(dcb), 0x800u | 0x4000u | 0x40u | 0x80u | 0x400u | 0x2u | 0x8u);
  DCB back{};
  SetDcbFlags(back, 0x1028);
  EXPECT_EQ(back.fOutxDsrFlow, 1u);
  EXPECT_EQ(back.fDtrControl, DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(back.fRtsControl, RTS_CONTROL_ENABLE);
  EXPECT_EQ(sizeof(COMMTIMEOUTS), 20u);
}

TEST_F(MemoryComm, OpeningIsExclusiveAndMissingDevicesFail) {
  EXPECT_EQ(
      CreateFileA(device_->Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
      INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileA("mem:no-such-device", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  ::setenv("RAVLIN_COM31", device_->Path().c_str(), 1);
  CloseHandle(port_);
  port_ = CreateFileA("\\\\.\\COM31", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OVERLAPPED, nullptr);
  ::unsetenv("RAVLIN_COM31");
  EXPECT_NE(port_, INVALID_HANDLE_VALUE);
  EXPECT_EQ(device_->OpenCount(), 2);
}

TEST_F(MemoryComm, StateReadsBackExactlyAndBadSettingsAreRefused) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_, &dcb));
  dcb.BaudRate = 12345;  // arbitrary rates are fine
  dcb.ByteSize = 7;
  dcb.Parity = MARKPARITY;
  dcb.StopBits = TWOSTOPBITS;
  SetDcbFlags(dcb, 0x2314 | 0x1 | 0x800);
  dcb.XonLim = 1024;
  dcb.EvtChar = 'K';
  dcb.wReserved1 = 0;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  DCB back{};
  ASSERT_TRUE(GetCommState(port_, &back));
  EXPECT_EQ(std::memcmp(&dcb, &back, sizeof dcb), 0);
  EXPECT_EQ(device_->AppliedState().BaudRate, 12345u);

  auto refused = [&](auto change) {
    DCB bad = dcb;
    change(bad);
    SetLastError(0);
    return !SetCommState(port_, &bad) && GetLastError() == ERROR_INVALID_PARAMETER;
  };
  EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 4; }));
  EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 9; }));
  EXPECT_TRUE(refused([](DCB& d) { d.Parity = 5; }));
  EXPECT_TRUE(refused([](DCB& d) { d.BaudRate = 0; }));
  EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 5, d.StopBits = TWOSTOPBITS; }));
  EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 8, d.StopBits = ONE5STOPBITS; }));
  EXPECT_TRUE(refused([](DCB& d) { d.XonChar = d.XoffChar = 0x11; }));
  ASSERT_TRUE(GetCommState(port_, &back));
  EXPECT_EQ(std::memcmp(&dcb, &back, sizeof dcb), 0) << "a refused state leaves the old one";

  DCB five = dcb;
  five.ByteSize = 5;
  five.StopBits = ONE5STOPBITS;
  EXPECT_TRUE(SetCommState(port_, &five));

  device_->FailCall(CommCall::SetCommState, ERROR_GEN_FAILURE);
  EXPECT_FALSE(SetCommState(port_, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
}

TEST_F(MemoryComm, QueueSizesTimeoutsAndMaskReadBack) {
  ASSERT_TRUE(SetupComm(port_, 1000, 2000));
  COMMPROP prop{};
  ASSERT_TRUE(GetCommProperties(port_, &prop));
  EXPECT_EQ(prop.dwCurrentRxQueue, 1000u);
  EXPECT_EQ(prop.dwCurrentTxQueue, 2000u);
  COMMTIMEOUTS t{1, 2, 3, 4, 5}, back{};
  ASSERT_TRUE(SetCommTimeouts(port_, &t));
  ASSERT_TRUE(GetCommTimeouts(port_, &back));
  EXPECT_EQ(std::memcmp(&t, &back, sizeof t), 0);
  ASSERT_TRUE(SetCommMask(port_, 0x178));
  DWORD mask = 0;
  ASSERT_TRUE(GetCommMask(port_, &mask));
  EXPECT_EQ(mask, 0x178u);
  EXPECT_FALSE(SetCommMask(port_, 0x10000));
}

TEST_F(MemoryComm, ReadCompletesAtOnceWhenBytesAreThereAndLaterWhenTheyCome) {
  SetTimeouts(0, 0, 2000);
  device_->Feed("abc");
  char buffer[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, 3, &got, &ov_));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0) << "immediate completion sets the event";

  EXPECT_FALSE(ReadFile(port_, buffer, 4, &got, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &got, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  device_->Feed("wx");
  device_->Feed("yz!");
  EXPECT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port_, &ov_, &got, FALSE));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buffer, 4), "wxyz");
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(port_, nullptr, &stat));
  EXPECT_EQ(stat.cbInQue, 1u);
}

TEST_F(MemoryComm, ReadTimesOutWithWhatCameAndKeepsNothingBack) {
  SetTimeouts(0, 0, 60);
  device_->Feed("12");
  char buffer[8] = {};
  DWORD got = 99;
  const auto start = std::chrono::steady_clock::now();
  // Synchronous: no record.
  ASSERT_TRUE(ReadFile(port_, buffer, 5, &got, nullptr));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(got, 2u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(55));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1000));

  SetTimeouts(0xFFFFFFFF, 0, 0);  // return at once with what is there
  ASSERT_TRUE(ReadFile(port_, buffer, 5, &got, &ov_));
  EXPECT_EQ(got, 0u);

  SetTimeouts(20, 0, 0);  // interval only: ends 20 ms after the last byte
  EXPECT_FALSE(ReadFile(port_, buffer, 5, &got, &ov_));
  device_->Feed("q");
  EXPECT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port_, &ov_, &got, TRUE));
  EXPECT_EQ(got, 1u);
}

TEST_F(MemoryComm, AbortPurgeEndsAPendingReadAndCancelEndsOne) {
  SetTimeouts(0, 0, 0);  // no time-out at all
  char buffer[8];
  DWORD got = 0;
  EXPECT_FALSE(ReadFile(port_, buffer, 5, &got, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  device_->Feed("ab");
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(port_, nullptr, &stat));  // the bytes reach the waiting read
  EXPECT_EQ(stat.cbInQue, 0u);
  std::thread purger([&] {
    // The purge comes while this thread sleeps in GetOverlappedResult on the read's event.
    EXPECT_TRUE(Eventually([&] { return GetEventWaiterCount(event_) == 1; }));
    PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
  });
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &got, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(got, 2u) << "the bytes already read stay read";
  purger.join();

  EXPECT_FALSE(ReadFile(port_, buffer, 5, &got, &ov_));
  ASSERT_TRUE(CancelIoEx(port_, &ov_));
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &got, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(CancelIoEx(port_, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
}

TEST_F(MemoryComm, HeldWritesTimeOutWithTheCountTakenAndRunWhenReleased) {
  SetTimeouts(0, 0, 0, 50);
  device_->HoldWrites(true);
  DWORD sent = 99;
  EXPECT_FALSE(WriteFile(port_, "hello", 5, &sent, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(port_, nullptr, &stat));
  EXPECT_EQ(stat.cbOutQue, 5u);
  EXPECT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port_, &ov_, &sent, FALSE));
  EXPECT_EQ(sent, 0u);

  SetTimeouts(0, 0, 0, 0);
  EXPECT_FALSE(WriteFile(port_, "world", 5, &sent, &ov_));
  device_->HoldWrites(false);
  EXPECT_TRUE(GetOverlappedResult(port_, &ov_, &sent, TRUE));
  EXPECT_EQ(sent, 5u);
  ASSERT_TRUE(WriteFile(port_, "!", 1, &sent, nullptr));
  EXPECT_EQ(device_->TakeWritten(), "world!");

  // An abort purge ends a held write.
  device_->HoldWrites(true);
  EXPECT_FALSE(WriteFile(port_, "zz", 2, &sent, &ov_));
  ASSERT_TRUE(PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR));
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &sent, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
}

TEST_F(MemoryComm, TransmitCommCharAndLinesAndBreak) {
  ASSERT_TRUE(TransmitCommChar(port_, 0x1B));
  EXPECT_EQ(device_->TakeWritten(), "\x1b");
  EXPECT_TRUE(device_->Dtr());
  ASSERT_TRUE(EscapeCommFunction(port_, CLRDTR));
  ASSERT_TRUE(EscapeCommFunction(port_, CLRRTS));
  EXPECT_FALSE(device_->Dtr());
  EXPECT_FALSE(device_->Rts());
  // A DCB with the same DTR mode leaves the dropped line dropped.
  DCB dcb{};
  GetCommState(port_, &dcb);
  ASSERT_TRUE(SetCommState(port_, &dcb));
  EXPECT_FALSE(device_->Dtr());
  ASSERT_TRUE(EscapeCommFunction(port_, SETDTR));
  EXPECT_TRUE(device_->Dtr());
  ASSERT_TRUE(SetCommBreak(port_));
  EXPECT_TRUE(device_->Break());
  ASSERT_TRUE(ClearCommBreak(port_));
  EXPECT_FALSE(device_->Break());
  EXPECT_FALSE(EscapeCommFunction(port_, 77));
  device_->SetModemLines(MS_CTS_ON | MS_RING_ON);
  DWORD status = 0;
  ASSERT_TRUE(GetCommModemStatus(port_, &status));
  EXPECT_EQ(status, MS_CTS_ON | MS_RING_ON);
}

TEST_F(MemoryComm, ErrorBitsAreReportedOnce) {
  device_->RaiseErrors(CE_FRAME | CE_RXPARITY);
  device_->RaiseBreak();
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, CE_FRAME | CE_RXPARITY | CE_BREAK);
  ASSERT_TRUE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, 0u);
  device_->RaiseErrors(CE_OVERRUN | CE_RXOVER);
  ASSERT_TRUE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, CE_OVERRUN | CE_RXOVER);
  device_->FailCall(CommCall::ClearCommError, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

// The line counts its errors for ever (as a serial driver does across opens); a new handle reports
// only the errors that come while it is open.
TEST_F(MemoryComm, ErrorsOfAnEarlierOpenAreNotReportedAgain) {
  device_->RaiseErrors(CE_FRAME);
  ASSERT_TRUE(CloseHandle(port_));
  port_ = CreateFileA(device_->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, 0u);
  device_->RaiseErrors(CE_OVERRUN);
  ASSERT_TRUE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, static_cast<DWORD>(CE_OVERRUN));
}

TEST_F(MemoryComm, NullDiscardDropsReceivedNuls) {
  DCB dcb{};
  GetCommState(port_, &dcb);
  dcb.fNull = 1;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  SetTimeouts(0xFFFFFFFF, 0, 0);
  device_->Feed(std::string("a\0b\0\0c", 6));
  char buffer[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, 8, &got, &ov_));
  EXPECT_EQ(std::string(buffer, got), "abc");
}

TEST_F(MemoryComm, HandshakeLinesHoldOutputAndDsrSensitivityDropsInput) {
  DCB dcb{};
  GetCommState(port_, &dcb);
  dcb.fOutxCtsFlow = 1;
  dcb.fOutxDsrFlow = 1;
  dcb.fDsrSensitivity = 1;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  SetTimeouts(0xFFFFFFFF, 0, 0);
  device_->SetModemLines(MS_DSR_ON);  // CTS off: output waits
  DWORD sent = 0;
  EXPECT_FALSE(WriteFile(port_, "ab", 2, &sent, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(port_, nullptr, &stat));
  EXPECT_TRUE(stat.fCtsHold);
  EXPECT_FALSE(stat.fDsrHold);
  EXPECT_EQ(WaitForSingleObject(event_, 30), WAIT_TIMEOUT);
  EXPECT_EQ(device_->TakeWritten(), "");
  device_->SetModemLines(MS_CTS_ON | MS_DSR_ON);
  ASSERT_TRUE(GetOverlappedResult(port_, &ov_, &sent, TRUE));
  EXPECT_EQ(sent, 2u);
  EXPECT_EQ(device_->TakeWritten(), "ab");

  device_->SetModemLines(MS_CTS_ON);  // DSR off: output waits, input is ignored
  EXPECT_FALSE(WriteFile(port_, "c", 1, &sent, &ov_));
  device_->Feed("lost");
  ASSERT_TRUE(ClearCommError(port_, nullptr, &stat));  // taken from the line while DSR is off
  EXPECT_EQ(stat.cbInQue, 0u);
  device_->SetModemLines(MS_CTS_ON | MS_DSR_ON);
  ASSERT_TRUE(GetOverlappedResult(port_, &ov_, &sent, TRUE));
  EXPECT_EQ(device_->TakeWritten(), "c");
  device_->Feed("kept");
  char buffer[16] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &got, &ov_));
  EXPECT_EQ(std::string(buffer, got), "kept");
}

TEST_F(MemoryComm, AbortOnErrorStopsTransfersUntilTheErrorIsCleared) {
  DCB dcb{};
  GetCommState(port_, &dcb);
  dcb.fAbortOnError = 1;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  SetTimeouts(0, 0, 0);
  char buffer[4];
  DWORD got = 0;
  EXPECT_FALSE(ReadFile(port_, buffer, 4, &got, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  device_->RaiseErrors(CE_FRAME);
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &got, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(WriteFile(port_, "a", 1, &got, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(port_, &errors, nullptr));
  EXPECT_EQ(errors, CE_FRAME);
  EXPECT_TRUE(WriteFile(port_, "a", 1, &got, &ov_));
  EXPECT_EQ(device_->TakeWritten(), "a");
}

// Waits for the next event of a pending WaitCommEvent.
DWORD AwaitEvents(HANDLE port, HANDLE event, OVERLAPPED* ov, DWORD* events) {
  if (WaitForSingleObject(event, 2000) != WAIT_OBJECT_0) return 0xDEAD;
  DWORD unused;
  GetOverlappedResult(port, ov, &unused, FALSE);
  return *events;
}

TEST_F(MemoryComm, WaitCommEventSeesLineChangesBreakAndErrors) {
  ASSERT_TRUE(SetCommMask(port_, EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR));
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  device_->SetModemLines(MS_DSR_ON | MS_RLSD_ON);  // CTS drops
  EXPECT_EQ(AwaitEvents(port_, event_, &ov_, &events), EV_CTS);

  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  device_->SetModemLines(MS_RING_ON);
  EXPECT_EQ(AwaitEvents(port_, event_, &ov_, &events), EV_DSR | EV_RLSD | EV_RING);

  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  device_->RaiseErrors(CE_RXOVER);  // not a line-status error: no EV_ERR
  device_->RaiseBreak();
  EXPECT_EQ(AwaitEvents(port_, event_, &ov_, &events), EV_BREAK);

  // An event that came with no wait pending ends the next wait at once.
  device_->RaiseErrors(CE_FRAME);
  ASSERT_TRUE(WaitCommEvent(port_, &events, &ov_));
  EXPECT_EQ(events, EV_ERR);

  // A second wait while one is pending is refused; a wait with an empty mask too.
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  OVERLAPPED other{};
  DWORD otherEvents = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &otherEvents, &other));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ASSERT_TRUE(SetCommMask(port_, 0));
  EXPECT_EQ(AwaitEvents(port_, event_, &ov_, &events), 0u) << "a mask change ends the wait";
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(MemoryComm, WaitCommEventReceiveEvents) {
  DCB dcb{};
  GetCommState(port_, &dcb);
  dcb.EvtChar = '\x03';
  ASSERT_TRUE(SetCommState(port_, &dcb));
  ASSERT_TRUE(SetupComm(port_, 10, 10));
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_RXFLAG | EV_RX80FULL | EV_TXEMPTY));
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  device_->Feed("ab");
  EXPECT_EQ(AwaitEvents(port_, event_, &ov_, &events), EV_RXCHAR);
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  device_->Feed("cdefg\x03");  // 8 of 10 bytes: 80% full, and the event character
  EXPECT_EQ(AwaitEvents(port_, event_, &ov_, &events), EV_RXCHAR | EV_RXFLAG | EV_RX80FULL);
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  DWORD sent = 0;
  OVERLAPPED writeOv{};
  ASSERT_TRUE(WriteFile(port_, "x", 1, &sent, &writeOv));
  EXPECT_EQ(AwaitEvents(port_, event_, &ov_, &events), EV_TXEMPTY);
}

TEST_F(MemoryComm, ClosingEndsPendingOperationsAndDuplicatesKeepTheDeviceOpen) {
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), port_, GetCurrentProcess(), &copy, 0, TRUE,
                              DUPLICATE_SAME_ACCESS));
  ASSERT_TRUE(SetCommMask(port_, EV_CTS));
  DWORD events = 0xFF;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  ASSERT_TRUE(CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
  EXPECT_EQ(WaitForSingleObject(event_, 50), WAIT_TIMEOUT) << "the duplicate keeps it open";
  EXPECT_TRUE(device_->IsOpen());
  char buffer[4];
  DWORD got;
  OVERLAPPED readOv{};
  EXPECT_FALSE(ReadFile(copy, buffer, 4, &got, &readOv));
  ASSERT_TRUE(CloseHandle(copy));
  EXPECT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  EXPECT_EQ(events, 0u);
  EXPECT_FALSE(GetOverlappedResult(copy, &readOv, &got, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(device_->IsOpen());
  EXPECT_FALSE(GetCommState(copy, nullptr));
  DCB dcb;
  EXPECT_FALSE(GetCommState(copy, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(MemoryComm, PulledCableFailsPendingAndLaterTransfers) {
  SetTimeouts(0, 0, 0);
  char buffer[4];
  DWORD got = 0;
  EXPECT_FALSE(ReadFile(port_, buffer, 4, &got, &ov_));
  device_->Disconnect();
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &got, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(WriteFile(port_, "a", 1, &got, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  COMSTAT stat;
  EXPECT_FALSE(ClearCommError(port_, nullptr, &stat));
}

TEST_F(MemoryComm, APulledDeviceReadsAsLinesOffAndOpensAgainOncePluggedIn) {
  device_->SetModemLines(MS_DSR_ON | MS_RING_ON);
  ASSERT_TRUE(SetCommMask(port_, EV_CTS | EV_DSR | EV_RLSD | EV_RING));
  // No wait is pending when the device goes: the next wait gets the change, once.
  device_->Disconnect();
  DWORD events = 0;
  DWORD ignored = 0;
  EXPECT_TRUE(WaitCommEvent(port_, &events, &ov_)) << GetLastError();
  EXPECT_EQ(events, DWORD{EV_DSR | EV_RING});
  DWORD status = MS_CTS_ON;
  ASSERT_TRUE(GetCommModemStatus(port_, &status));
  EXPECT_EQ(status, 0u);
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(ReadFile(port_, &ignored, 1, &ignored, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);

  // Gone devices cannot be opened; back, but still held by the dead handle, neither.
  auto open = [&] {
    return CreateFileA(device_->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  };
  EXPECT_EQ(open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  device_->Reconnect();
  EXPECT_EQ(open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(WriteFile(port_, "a", 1, &ignored, &ov_)) << "the old handle stays dead";
  ASSERT_TRUE(CloseHandle(port_));
  port_ = open();
  ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(WriteFile(port_, "ok", 2, &ignored, &ov_));
  EXPECT_EQ(device_->TakeWritten(), "ok");
  ASSERT_TRUE(GetCommModemStatus(port_, &status));
  EXPECT_EQ(status, DWORD{MS_DSR_ON | MS_RING_ON});
}

// A pending wait that asks for no modem line fails with the loss, as every transfer does.
TEST_F(MemoryComm, APulledDeviceEndsAWaitForOtherEventsWithItsError) {
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY));
  DWORD events = 0;
  EXPECT_FALSE(WaitCommEvent(port_, &events, &ov_));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  device_->Disconnect();
  DWORD ignored = 0;
  EXPECT_FALSE(GetOverlappedResult(port_, &ov_, &ignored, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(events, 0u);
}

TEST_F(MemoryComm, InjectedFailuresReachEveryCall) {
  device_->FailCall(CommCall::ReadFile, ERROR_GEN_FAILURE);
  device_->FailCall(CommCall::PurgeComm, ERROR_ACCESS_DENIED);
  char buffer[1];
  DWORD got;
  EXPECT_FALSE(ReadFile(port_, buffer, 1, &got, &ov_));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
  EXPECT_FALSE(PurgeComm(port_, PURGE_RXCLEAR));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  device_->FailCall(CommCall::ReadFile, ERROR_SUCCESS);
  SetTimeouts(0xFFFFFFFF, 0, 0);
  EXPECT_TRUE(ReadFile(port_, buffer, 1, &got, &ov_));

  CloseHandle(port_);
  device_->FailCall(CommCall::CreateFile, ERROR_SHARING_VIOLATION);
  port_ = CreateFileA(device_->Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(port_, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
}

// Several threads on one device, as the serial engine has them (blocking reader, queued reader,
// automatic input, writer, line monitor), stopped by an abort purge and a mask change: nothing
// is lost or read twice, and every thread comes back.
TEST_F(MemoryComm, ConcurrentUseLosesNothingAndEveryThreadComesBack) {
  SetTimeouts(0, 0, 5, 50);
  ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_CTS));
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> readTotal{0};
  std::atomic<std::size_t> writeTotal{0};
  auto reader = [&] {
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char buffer[7];
    while (!stop) {
      OVERLAPPED ov{};
      ov.hEvent = ev;
      DWORD got = 0;
      if (!ReadFile(port_, buffer, sizeof buffer, &got, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) break;
        GetOverlappedResult(port_, &ov, &got, TRUE);
      }
      readTotal += got;
    }
    CloseHandle(ev);
  };
  auto writer = [&] {
    while (!stop) {
      DWORD sent = 0;
      if (!WriteFile(port_, "0123456789", 10, &sent, nullptr) &&
          GetLastError() != ERROR_OPERATION_ABORTED) {
        break;
      }
      writeTotal += sent;
    }
  };
  std::atomic<bool> monitorDone{false};
  auto monitor = [&] {
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (!stop) {
      OVERLAPPED ov{};
      ov.hEvent = ev;
      DWORD events = 0;
      DWORD unused = 0;
      if (!WaitCommEvent(port_, &events, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) break;
        GetOverlappedResult(port_, &ov, &unused, TRUE);
      }
    }
    CloseHandle(ev);
    monitorDone = true;
  };
  std::thread monitorThread(monitor);
  std::thread others[] = {std::thread(reader), std::thread(reader), std::thread(writer),
                          std::thread([&] {
                            // A status poll every millisecond (the engine's runs every 10).
                            while (!stop) {
                              COMSTAT stat;
                              ClearCommError(port_, nullptr, &stat);
                              Sleep(1);
                            }
                          })};
  std::size_t fed = 0;
  std::size_t readBefore = 0;
  for (int i = 0; i < 200; ++i) {
    device_->Feed("abcdefghijklm");
    fed += 13;
    if (i % 50 == 0) device_->SetModemLines(i % 100 ? MS_CTS_ON : MS_DSR_ON);
    if (i % 20 == 0) {
      // Feeding and reading interleave: the readers take some of what came before more comes.
      EXPECT_TRUE(Eventually([&] { return readTotal > readBefore; })) << "feed " << i;
      readBefore = readTotal;
    }
  }
  COMSTAT stat{};
  // Readers stop and drain; then what was read and what is left add up to what came.
  stop = true;
  PurgeComm(port_, PURGE_RXABORT | PURGE_TXABORT);
  for (auto& t : others) t.join();
  // The monitor either saw the stop by itself or sleeps in an event wait that only a mask
  // change ends: the change comes once it is in one of the two.
  EXPECT_TRUE(WaitCommActivity(
      port_, [&](const CommActivity& a) { return a.eventWaitPending || monitorDone; }, 5000));
  SetCommMask(port_, 0);
  monitorThread.join();
  ASSERT_TRUE(ClearCommError(port_, nullptr, &stat));
  EXPECT_EQ(readTotal + stat.cbInQue, fed);
  EXPECT_EQ(device_->TakeWritten().size(), writeTotal.load());
  EXPECT_TRUE(CloseHandle(port_));
  port_ = INVALID_HANDLE_VALUE;
}

}  // namespace
}  // namespace win

namespace win {
namespace {

// A process may end with a device open and a transfer pending: the handle table then goes away
// with the device, whose completion still signals the transfer's event through the table.
TEST(MemoryCommExit, AProcessMayEndWithATransferPending) {
  EXPECT_EXIT(
      {
        auto device = MemoryDevice::Create("comm-exit-test");
        HANDLE port = CreateFileA(device->Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (port == INVALID_HANDLE_VALUE) std::_Exit(3);
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        char buffer[4];
        DWORD got = 0;
        if (ReadFile(port, buffer, 4, &got, &ov) || GetLastError() != ERROR_IO_PENDING)
          std::_Exit(4);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace win
