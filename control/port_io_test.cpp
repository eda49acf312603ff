// The Port control's open/close, input and output through Invoke, and the events they raise:
// their arguments, their order within one read or write, and how sinks see them.
#include <pty.h>
#include <termios.h>

#include "control/port_messages.h"
#include "control/port_test_support.h"
#include "platform/text/codepage.h"
#include "platform/text/convert.h"

namespace ravlin::testing {
namespace {

class PortIO : public ::testing::Test {
 protected:
  void SetUp() override { SetActiveCodePageForTesting(932); }
  PortRig rig{NextPortNumber()};
};

TEST_F(PortIO, OpenAndCloseFollowTheirRefusals) {
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");  // closed already: TRUE
  // PortNumber 0 is refused by the device open.
  EXPECT_EQ(rig.Run(DISPID_Port_Open, {Variant::I4(0)}), "!! 0x800400CF");
  EXPECT_EQ(TakeErrorDescription(), std::u16string(portMessageText(207)) +
                                        u" (COM0: no such port (port numbers start at 1))");
  // A device that cannot be opened is named, with the reason.
  const std::string gone = "mem:no-such-device-" + std::to_string(getpid());
  setenv("RAVLIN_COM999", gone.c_str(), 1);
  EXPECT_EQ(rig.Run(DISPID_Port_Open, {Variant::I4(999)}), "!! 0x800400CF");
  EXPECT_EQ(TakeErrorDescription(), std::u16string(portMessageText(207)) + u" (" +
                                        Utf8ToUtf16(gone) +
                                        u": no such in-memory device, or it is unplugged)");
  unsetenv("RAVLIN_COM999");
  EXPECT_EQ(rig.Run(DISPID_Port_Open, {Variant::I4(rig.portNumber_), Variant::I4(0)}),
            "!! 0x80070057");
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "true");
  EXPECT_EQ(rig.device->AppliedState().BaudRate, 9600u);
  EXPECT_EQ(rig.device->AppliedState().ByteSize, 8);
  EXPECT_TRUE(rig.device->Dtr());
  EXPECT_EQ(rig.Show(DISPID_Port_Opened), "true");
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "!! 0x800400CE");
  EXPECT_EQ(TakeErrorDescription(), portMessageText(206));
  // The handle is a duplicate the caller owns.
  Variant h = rig.Get(DISPID_Port_Handle);
  ASSERT_EQ(h.vt, VT_I4);
  EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(h.lVal))));
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");
  EXPECT_FALSE(rig.device->IsOpen());
  EXPECT_EQ(rig.Show(DISPID_Port_Opened), "false");
}

TEST_F(PortIO, AHandleNobodyTakesDoesNotKeepTheDeviceOpen) {
  ASSERT_TRUE(rig.Open());
  // A get of Handle without a result: the duplicate it makes must not stay open.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(rig.port->Invoke(DISPID_Port_Handle, IID_NULL, LOCALE_USER_DEFAULT,
                             DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");
  EXPECT_FALSE(rig.device->IsOpen());
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "true");
}

TEST_F(PortIO, OpenWithArgumentsAppliesAndNotifiesThem) {
  EXPECT_EQ(rig.Run(DISPID_Port_Open, {Variant::Missing(), Variant::I4(19200), Variant::I2(7),
                                       Variant::R4(2.0f), Variant::I4(0), Variant::I4(2)}),
            "true");
  EXPECT_EQ(rig.device->AppliedState().BaudRate, 19200u);
  EXPECT_EQ(rig.device->AppliedState().ByteSize, 7);
  EXPECT_EQ(rig.device->AppliedState().Parity, 2);
  EXPECT_EQ(rig.device->AppliedState().StopBits, 2);
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"changed 81", "changed 85", "changed 133",
                                                  "changed 97", "changed 121"}));
  EXPECT_TRUE(rig.impl->Dirty());
}

TEST_F(PortIO, BlockingInputReadsConvertsAndTimesOut) {
  ASSERT_TRUE(rig.Open(1));
  ASSERT_EQ(rig.Put(DISPID_Port_InputTimeout, Variant::I4(10)), S_OK);
  rig.device->Feed("AB\x82\xa0");  // "AB" and a Japanese character in code page 932
  BSTR text = nullptr;
  Variant r;
  ASSERT_EQ(rig.Call(DISPID_Port_Input, {Variant::ByRef(VT_BSTR, &text)}, &r), S_OK);
  EXPECT_EQ(r.lVal, 4);
  EXPECT_EQ(BstrView(text), u"AB\u3042");
  EXPECT_EQ(rig.Show(DISPID_Port_InputByteCount), "4");

  // Fewer bytes than asked within the time-out: -1, PortLastError and the event; the engine
  // leaves the bytes in the driver's queue for the next read.
  // The error poll stores its own value on every cycle and may land between the read's store
  // and the event, so the handler gets a few tries to see 513; every try is a full time-out.
  rig.Take();
  rig.WatchPortLastError();
  rig.device->Feed("xyz1");
  bool seen = false;
  for (int attempt = 0; attempt < 5 && !seen; ++attempt) {
    rig.lastErrorAtEvents.clear();
    ASSERT_EQ(rig.Call(DISPID_Port_Input, {Variant::ByRef(VT_BSTR, &text), Variant::I4(10)}, &r),
              S_OK);
    EXPECT_EQ(r.lVal, -1);
    EXPECT_EQ(BstrView(text), u"");
    SysFreeString(text);
    text = nullptr;
    ASSERT_EQ(rig.lastErrorAtEvents.size(), 1u);
    seen = rig.lastErrorAtEvents[0] == "513";
    EXPECT_EQ(rig.Take(), (std::vector<std::string>{"event CommIOState(513)"}));
  }
  EXPECT_TRUE(seen);
  EXPECT_EQ(rig.Show(DISPID_Port_InputByteCount), "4");
  EXPECT_EQ(rig.Show(DISPID_Port_InputBufferByteCount), "4");

  ArrayRef bytes;
  EXPECT_EQ(rig.Run(DISPID_Port_InputB, {bytes.Ref(), Variant::I4(5)}), "-1");
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"event CommIOState(514)"}));
  EXPECT_EQ(rig.Run(DISPID_Port_InputB, {bytes.Ref()}), "4");
  EXPECT_EQ(winhost::format_value(bytes.Ref()), "bytes:78797A31");
  EXPECT_EQ(rig.Run(DISPID_Port_InputB, {bytes.Ref(), Variant::I4(-2)}), "!! 0x80070057");
}

TEST_F(PortIO, ThresholdAndWrapEventsFollowTheData) {
  ASSERT_TRUE(rig.Open(1));
  ASSERT_EQ(rig.Put(DISPID_Port_InputThreshold, Variant::I4(10)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_WaitForData, ByteArray("ab")), S_OK);
  rig.Take();
  rig.device->Feed(std::string(20, 'x') + "ab" + "abc");
  ArrayRef bytes;
  EXPECT_EQ(rig.Run(DISPID_Port_InputB, {bytes.Ref(), Variant::I4(25)}), "25");
  EXPECT_EQ(rig.Take(),
            (std::vector<std::string>{"event DataDetected()", "event DataDetected()",
                                      "event CommIOState(512)", "event CommIOState(512)"}));
  rig.device->Feed("12345");
  EXPECT_EQ(rig.Run(DISPID_Port_InputB, {bytes.Ref(), Variant::I4(5)}), "5");
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"event CommIOState(512)"}));

  rig.impl->Counters().set_counts_for_testing(2147483640, 0);
  rig.device->Feed("0123456789");
  EXPECT_EQ(rig.Run(DISPID_Port_InputB, {bytes.Ref(), Variant::I4(10)}), "10");
  EXPECT_EQ(rig.Show(DISPID_Port_InputByteCount), "3");
  EXPECT_EQ(rig.Take(),
            (std::vector<std::string>{"event CommIOState(512)", "event CommIOState(515)"}));
}

TEST_F(PortIO, BlockingOutputWritesCodePage932AndTimesOut) {
  ASSERT_TRUE(rig.Open(1));
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"\u65e5\u672c")}), "4");
  EXPECT_EQ(rig.device->TakeWritten(), "\x93\xfa\x96\x7b");
  ArrayRef data(std::string_view("\x00\xff", 2));
  EXPECT_EQ(rig.Run(DISPID_Port_OutputB, {data.Ref()}), "2");
  EXPECT_EQ(rig.device->TakeWritten(), std::string("\x00\xff", 2));
  EXPECT_EQ(rig.Show(DISPID_Port_OutputByteCount), "6");
  ArrayRef none;
  EXPECT_EQ(rig.Run(DISPID_Port_OutputB, {none.Ref()}), "0");  // Nothing: 0
  // An empty string is a failed conversion.
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"")}), "!! 0x800400D7");

  ASSERT_EQ(rig.Put(DISPID_Port_OutputTimeout, Variant::I4(10)), S_OK);
  rig.Take();
  rig.WatchPortLastError();
  rig.device->HoldWrites(true);
  // The error poll stores its own value on every cycle; with it failing, the handler is sure
  // to read what the timed-out write left.
  rig.device->FailCall(CommCall::ClearCommError, ERROR_GEN_FAILURE);
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"late")}), "-1");
  rig.device->FailCall(CommCall::ClearCommError, ERROR_SUCCESS);
  EXPECT_EQ(rig.lastErrorAtEvents, (std::vector<std::string>{"529"}));
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"event CommIOState(529)"}));
  rig.device->HoldWrites(false);
}

TEST_F(PortIO, AutomaticInputReachesEverySinkInAdviseOrderWithTheSinksChanges) {
  // A second sink, advised later, sees what the first left in the by-reference array.
  std::vector<std::string> second;
  EventRecorder sink2([&](const std::string& l) { second.push_back("2:" + l); });
  ASSERT_NE(winhost::Advise(rig.port.get(), DIID__IPort18Events, sink2.get()), 0u);
  std::string firstSaw;
  rig.events->set_hook([&](DISPID id, DISPPARAMS* p) -> HRESULT {
    if (id != DISPID_PortEvent_AutoInput) return S_OK;
    SAFEARRAY** sa = p->rgvarg[1].pparray;  // InputBytes: the first parameter, last in rgvarg
    firstSaw = winhost::format_value(p->rgvarg[1]);
    SafeArrayDestroy(*sa);
    *sa = SafeArrayFromBytes("ZZ", 2);
    return E_FAIL;  // a failing sink does not stop the next one
  });
  ASSERT_TRUE(rig.Open());
  rig.device->Feed("hi");
  ASSERT_TRUE(rig.PumpUntil([&] { return !second.empty(); }));
  ASSERT_EQ(rig.lines.size(), 1u);
  EXPECT_EQ(firstSaw, "bytes:6869");
  EXPECT_EQ(second[0], "2:event AutoInput(bytes:5A5A, 2)");
  EXPECT_TRUE(rig.PumpUntil([&] { return rig.Show(DISPID_Port_InputByteCount) == "2"; }));
}

TEST_F(PortIO, QueuedRequestsCompleteWithEventsAndCancellationCompletesTheRest) {
  ASSERT_TRUE(rig.Open(2));
  ASSERT_EQ(rig.Put(DISPID_Port_InputTimeout, Variant::I4(10)), S_OK);
  rig.Take();
  rig.device->Feed("abcd");
  BSTR text = nullptr;
  Variant id;
  ASSERT_EQ(rig.Call(DISPID_Port_Input, {Variant::ByRef(VT_BSTR, &text), Variant::I4(10)}, &id),
            S_OK);
  EXPECT_GT(id.lVal, 0);
  SysFreeString(text);
  ASSERT_TRUE(rig.PumpUntil([&] { return !rig.lines.empty(); }));
  // A short read completes with -1 and, as the engine leaves the bytes queued, no text.
  EXPECT_EQ(rig.lines[0], "event NonblockInput(" + std::to_string(id.lVal) + ", \"\", -1)");
  rig.Take();

  // Queued output completes with NonblockOutput.
  Variant out;
  ASSERT_EQ(rig.Call(DISPID_Port_Output, {Variant::Str(u"xy")}, &out), S_OK);
  ASSERT_TRUE(rig.PumpUntil([&] { return !rig.lines.empty(); }));
  EXPECT_EQ(rig.lines[0], "event NonblockOutput(" + std::to_string(out.lVal) + ", 2)");
  EXPECT_EQ(rig.device->TakeWritten(), "xy");
  rig.Take();

  // Requests still queued are completed by the cancellation, with nothing.
  ASSERT_EQ(rig.Put(DISPID_Port_InputTimeout, Variant::I4(3000)), S_OK);
  ArrayRef bytes;
  Variant a, b;
  ASSERT_EQ(rig.Call(DISPID_Port_InputB, {bytes.Ref(), Variant::I4(100)}, &a), S_OK);
  ASSERT_EQ(rig.Call(DISPID_Port_Input, {Variant::Missing(), Variant::I4(100)}, &b), S_OK);
  rig.lines.clear();
  EXPECT_EQ(rig.Run(DISPID_Port_CancelPendingInputs), "true");
  std::vector<std::string> expected = {
      "event NonblockInputB(" + std::to_string(a.lVal) + ", bytes:null, 0)",
      "event NonblockInput(" + std::to_string(b.lVal) + ", null, 0)"};
  // The first may already be in the reader's hands: it then completes on its own.
  std::vector<std::string> got = rig.Take();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), expected.back());
}

// With and without the writer holding the oldest request in a write when the port closes.
class PortIOClose : public PortIO, public ::testing::WithParamInterface<bool> {};

TEST_P(PortIOClose, CloseCompletesQueuedOutputAndNoEventsFollow) {
  ASSERT_TRUE(rig.Open(2));
  rig.device->HoldWrites(true);
  Variant id1, id2;
  ASSERT_EQ(rig.Call(DISPID_Port_Output, {Variant::Str(u"one")}, &id1), S_OK);
  ASSERT_EQ(rig.Call(DISPID_Port_Output, {Variant::Str(u"two")}, &id2), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_OutputBufferByteCount).empty(), false);
  if (GetParam()) WaitWithDispatch(0, nullptr, 40);  // the writer takes the first and holds
  rig.Take();
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");
  // Both complete once, oldest first, whether the writer had taken the first one or not.
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{
                            "event NonblockOutput(" + std::to_string(id1.lVal) + ", 0)",
                            "event NonblockOutput(" + std::to_string(id2.lVal) + ", 0)"}));
  rig.device->HoldWrites(false);
  rig.device->Feed("late");
  WaitWithDispatch(0, nullptr, 50);
  EXPECT_EQ(rig.Take(), std::vector<std::string>{});
}
INSTANTIATE_TEST_SUITE_P(WriterBusyOrIdle, PortIOClose, ::testing::Bool());

TEST_F(PortIO, OutputUrgentSendsAheadAndCounts) {
  EXPECT_EQ(rig.Run(DISPID_Port_OutputUrgent, {Variant::UI1(0x41)}), "!! 0x800400C9");
  ASSERT_TRUE(rig.Open(1));
  ASSERT_EQ(rig.Put(DISPID_Port_OutputThreshold, Variant::I4(1)), S_OK);
  rig.Take();
  EXPECT_EQ(rig.Run(DISPID_Port_OutputUrgent, {Variant::UI1(0x41)}), "true");
  EXPECT_EQ(rig.device->TakeWritten(), "A");
  EXPECT_EQ(rig.Show(DISPID_Port_OutputByteCount), "1");
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"event CommIOState(528)"}));
}

TEST_F(PortIO, AHandlerMayCallBackIntoTheControlAndEvenCloseIt) {
  std::string inside;
  rig.events->set_hook([&](DISPID id, DISPPARAMS*) -> HRESULT {
    if (id != DISPID_PortEvent_AutoInput || !inside.empty()) return S_OK;
    inside = rig.Show(DISPID_Port_InputBufferByteCount);
    inside += " " + rig.Run(DISPID_Port_Close);
    return S_OK;
  });
  ASSERT_TRUE(rig.Open());
  rig.device->Feed("bye");
  ASSERT_TRUE(rig.PumpUntil([&] { return !inside.empty(); }));
  EXPECT_EQ(inside, "0 true");  // the reader already took the bytes it reports
  EXPECT_EQ(rig.Show(DISPID_Port_Opened), "false");
  EXPECT_FALSE(rig.device->IsOpen());
  // The control is still usable.
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "true");
}

TEST_F(PortIO, LineEventsAndErrorsReachTheHostOnItsThread) {
  ASSERT_EQ(rig.Put(DISPID_Port_EventMask, Variant::I4(376 | 128)), S_OK);
  rig.WatchPortLastError();
  ASSERT_TRUE(rig.Open());
  rig.Take();
  rig.device->SetModemLines(MS_DSR_ON | MS_RLSD_ON);  // CTS drops
  ASSERT_TRUE(rig.PumpUntil([&] { return !rig.lines.empty(); }));
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"event CommState(1)"}));
  // Overrun and parity together: one CommError, the last match.
  rig.device->RaiseErrors(CE_OVERRUN | CE_RXPARITY);
  ASSERT_TRUE(rig.PumpUntil([&] {
    for (const auto& l : rig.lines)
      if (l == "event CommError(1027)") return true;
    return false;
  }));
  ASSERT_FALSE(rig.lastErrorAtEvents.empty());
  EXPECT_EQ(rig.lastErrorAtEvents.back(), "1027");
}

TEST(PortOverPty, OpenConfiguresThePtyAndBlockingIoCrossesIt) {
  PortRig rig(NextPortNumber());
  int master = -1, slave = -1;
  ASSERT_TRUE(OpenRawPty(&master, &slave));
  setenv(("RAVLIN_COM" + std::to_string(rig.portNumber_)).c_str(), ttyname(slave), 1);
  ASSERT_TRUE(rig.Open(1));
  struct termios line;
  tcgetattr(slave, &line);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"ping")}), "4");
  char buf[16] = {};
  ssize_t n = 0;
  for (int i = 0; i < 100 && n < 4; ++i) {
    ssize_t r = read(master, buf + n, sizeof buf - n);
    if (r > 0) n += r;
  }
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), "ping");
  ASSERT_EQ(write(master, "pong", 4), 4);
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Show(DISPID_Port_InputBufferByteCount) == "4"; }));
  BSTR text = nullptr;
  Variant r;
  ASSERT_EQ(rig.Call(DISPID_Port_Input, {Variant::ByRef(VT_BSTR, &text), Variant::I4(4)}, &r),
            S_OK);
  EXPECT_EQ(r.lVal, 4);
  EXPECT_EQ(BstrView(text), u"pong");
  SysFreeString(text);
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");
  close(master);
  close(slave);
}

TEST(PortTwoControls, TwoControlsOnTwoPortsWorkIndependently) {
  PortRig a(NextPortNumber()), b(NextPortNumber());
  ASSERT_TRUE(a.Open(1));
  ASSERT_TRUE(b.Open());
  EXPECT_EQ(a.Put(DISPID_Port_BaudRate, Variant::I4(2400)), S_OK);
  EXPECT_EQ(a.Take(), (std::vector<std::string>{"changed 103", "changed 81"}));  // IOMode, then
  EXPECT_TRUE(b.lines.empty());
  EXPECT_EQ(b.Show(DISPID_Port_BaudRate), "9600");
  b.device->Feed("to b");
  ASSERT_TRUE(b.PumpUntil([&] { return !b.lines.empty(); }));
  EXPECT_EQ(b.lines[0], "event AutoInput(bytes:746F2062, 4)");
  EXPECT_TRUE(a.lines.empty());
  EXPECT_EQ(a.Run(DISPID_Port_Output, {Variant::Str(u"to a")}), "4");
  EXPECT_EQ(a.device->TakeWritten(), "to a");
  EXPECT_EQ(b.device->TakeWritten(), "");
  EXPECT_EQ(a.Run(DISPID_Port_Close), "true");
  EXPECT_EQ(b.Show(DISPID_Port_Opened), "true");
}

}  // namespace
}  // namespace ravlin::testing
