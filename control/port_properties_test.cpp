// The Port control's properties through Invoke: defaults, the rules of each setter, change
// notifications and their order, BOOL checks, occupancy and design/run mode refusals.
#include "control/port_messages.h"
#include "control/port_test_support.h"

namespace ravlin::testing {
namespace {

class PortProperties : public ::testing::Test {
 protected:
  PortRig rig{NextPortNumber()};
};

// ---- defaults: one row per property ---------------------------------------------------------

struct default_row {
  const char* name;
  DISPID id;
  const char* shown;  // as the test container prints it
};

const default_row kDefaults[] = {
    {"BaudRate", DISPID_Port_BaudRate, "9600"},
    {"DataBits", DISPID_Port_DataBits, "8"},
    {"StopBits", DISPID_Port_StopBits, "1"},
    {"Parity", DISPID_Port_Parity, "0"},
    {"Handshaking", DISPID_Port_Handshaking, "3"},
    {"IOMode", DISPID_Port_IOMode, "0"},
    {"InputTimeout", DISPID_Port_InputTimeout, "2000"},
    {"OutputTimeout", DISPID_Port_OutputTimeout, "2000"},
    {"InputBufferSize", DISPID_Port_InputBufferSize, "4096"},
    {"OutputBufferSize", DISPID_Port_OutputBufferSize, "4096"},
    {"OnThreshold", DISPID_Port_OnThreshold, "25"},
    {"OffThreshold", DISPID_Port_OffThreshold, "75"},
    {"XonByte", DISPID_Port_XonByte, "17"},
    {"XoffByte", DISPID_Port_XoffByte, "19"},
    {"EventByte", DISPID_Port_EventByte, "0"},
    {"ParityReplaceByte", DISPID_Port_ParityReplaceByte, "0"},
    {"NullDiscard", DISPID_Port_NullDiscard, "false"},
    {"EventMask", DISPID_Port_EventMask, "376"},
    {"Dtr", DISPID_Port_Dtr, "true"},
    {"Rts", DISPID_Port_Rts, "true"},
    {"InputThreshold", DISPID_Port_InputThreshold, "20000"},
    {"OutputThreshold", DISPID_Port_OutputThreshold, "20000"},
    {"AllowConnection", DISPID_Port_AllowConnection, "true"},
    {"PortLastError", DISPID_Port_PortLastError, "0"},
    {"Opened", DISPID_Port_Opened, "false"},
};

void PrintTo(const default_row& row, std::ostream* os) {
  *os << row.name;
}

class PortDefault : public ::testing::TestWithParam<default_row> {
 protected:
  PortRig rig{NextPortNumber()};
};

TEST_P(PortDefault, ANewControlHoldsIt) {
  EXPECT_EQ(rig.Show(GetParam().id), GetParam().shown);
  EXPECT_FALSE(rig.impl->Dirty()) << "reading changes nothing";
}

INSTANTIATE_TEST_SUITE_P(Properties, PortDefault, ::testing::ValuesIn(kDefaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortProperties, MembersThatNeedAnOpenPortReportMessage201WithItsText) {
  for (DISPID id :
       {DISPID_Port_Handle, DISPID_Port_Break, DISPID_Port_Cd, DISPID_Port_Cts, DISPID_Port_Dsr,
        DISPID_Port_Ri, DISPID_Port_InputBufferByteCount, DISPID_Port_OutputBufferByteCount}) {
    HRESULT hr;
    rig.Get(id, &hr);
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800400C9)) << id;
    std::u16string source;
    EXPECT_EQ(TakeErrorDescription(&source), portMessageText(201)) << id;
    EXPECT_EQ(source, u"Cobrix.Port.1");
  }
  EXPECT_EQ(rig.Run(DISPID_Port_ClearInputBuffer), "!! 0x800400C9");
  EXPECT_EQ(rig.Run(DISPID_Port_CancelPendingOutputs), "!! 0x800400C9");
  EXPECT_EQ(rig.Put(DISPID_Port_Break, Variant::Bool(true)), static_cast<HRESULT>(0x800400C9));
}

// ---- setter rules: one row per rule, each on a new control ------------------------------------

struct setter_row {
  const char* name;
  std::vector<std::pair<DISPID, Variant>> before;  // puts that must succeed first
  DISPID id;
  Variant value;
  HRESULT expected;
  int message;        // the message whose text the error info holds (0: none checked)
  const char* shown;  // the property afterwards (null: not checked)
};

const HRESULT kInvalid = E_INVALIDARG;
const HRESULT kXonXoff = static_cast<HRESULT>(0x800400D9);

std::vector<setter_row> SetterRows() {
  return {
      // Xon and Xoff may not be equal: their own message.
      {"XonEqualToXoff", {}, DISPID_Port_XonByte, Variant::UI1(19), kXonXoff, 217, "17"},
      {"XoffEqualToXon", {}, DISPID_Port_XoffByte, Variant::UI1(17), kXonXoff, 217, "19"},
      {"EventByteAbove127", {}, DISPID_Port_EventByte, Variant::I4(128), kInvalid, 0, "0"},
      {"ParityReplaceByteAbove127",
       {},
       DISPID_Port_ParityReplaceByte,
       Variant::I4(200),
       kInvalid,
       0,
       "0"},
      {"EventByte127", {}, DISPID_Port_EventByte, Variant::I4(127), S_OK, 0, "127"},
      // Data bits and stop bits that clash.
      {"StopBits15WithEightDataBits",
       {},
       DISPID_Port_StopBits,
       Variant::R4(1.5f),
       kInvalid,
       0,
       "1"},
      {"StopBits2", {}, DISPID_Port_StopBits, Variant::R4(2.0f), S_OK, 0, "2"},
      {"FiveDataBitsWithStopBits2",
       {{DISPID_Port_StopBits, Variant::R4(2.0f)}},
       DISPID_Port_DataBits,
       Variant::I2(5),
       kInvalid,
       0,
       "8"},
      {"NineDataBits", {}, DISPID_Port_DataBits, Variant::I2(9), kInvalid, 0, "8"},
      {"StopBits125", {}, DISPID_Port_StopBits, Variant::R4(1.25f), kInvalid, 0, "1"},
      // Flow-control thresholds against each other and the buffer size.
      {"OnThresholdAboveOff", {}, DISPID_Port_OnThreshold, Variant::I4(80), kInvalid, 0, "25"},
      {"OnThreshold101", {}, DISPID_Port_OnThreshold, Variant::I4(101), kInvalid, 0, "25"},
      {"OffThresholdNegative", {}, DISPID_Port_OffThreshold, Variant::I4(-1), kInvalid, 0, "75"},
      // With a 10-byte buffer 26 % gives the same XonLim as 25 %: nothing is stored.
      {"OnThresholdThatChangesNoLimit",
       {{DISPID_Port_InputBufferSize, Variant::I4(10)}},
       DISPID_Port_OnThreshold,
       Variant::I4(26),
       S_OK,
       0,
       "25"},
      {"InputBufferSize0", {}, DISPID_Port_InputBufferSize, Variant::I4(0), kInvalid, 0, "4096"},
      {"OutputBufferSizeNegative",
       {},
       DISPID_Port_OutputBufferSize,
       Variant::I4(-5),
       kInvalid,
       0,
       "4096"},
      // Time-outs: 10 ms or more; -1 (no limit) for output only.
      {"InputTimeoutNoLimit", {}, DISPID_Port_InputTimeout, Variant::I4(-1), kInvalid, 0, "2000"},
      {"InputTimeout9", {}, DISPID_Port_InputTimeout, Variant::I4(9), kInvalid, 0, "2000"},
      {"OutputTimeoutNoLimit", {}, DISPID_Port_OutputTimeout, Variant::I4(-1), S_OK, 0, "-1"},
      // Enumerations, thresholds, port number, PortLastError.
      {"Parity5", {}, DISPID_Port_Parity, Variant::I4(5), kInvalid, 0, "0"},
      {"HandshakingNegative", {}, DISPID_Port_Handshaking, Variant::I4(-1), kInvalid, 0, "3"},
      {"BaudRate0", {}, DISPID_Port_BaudRate, Variant::I4(0), kInvalid, 0, "9600"},
      {"InputThreshold0", {}, DISPID_Port_InputThreshold, Variant::I4(0), kInvalid, 0, "20000"},
      {"OutputThresholdNegative",
       {},
       DISPID_Port_OutputThreshold,
       Variant::I4(-3),
       kInvalid,
       0,
       "20000"},
      {"PortNumber0", {}, DISPID_Port_PortNumber, Variant::I4(0), kInvalid, 0, nullptr},
      {"PortLastError5", {}, DISPID_Port_PortLastError, Variant::I4(5), kInvalid, 0, "0"},
      {"PortLastError0", {}, DISPID_Port_PortLastError, Variant::I4(0), S_OK, 0, "0"},
  };
}

void PrintTo(const setter_row& row, std::ostream* os) {
  *os << row.name;
}

class PortSetterRule : public ::testing::TestWithParam<setter_row> {
 protected:
  PortRig rig{NextPortNumber()};
};

TEST_P(PortSetterRule, Holds) {
  const setter_row& row = GetParam();
  for (const auto& [id, value] : row.before) ASSERT_EQ(rig.Put(id, value), S_OK) << id;
  TakeErrorDescription();
  EXPECT_EQ(rig.Put(row.id, row.value), row.expected);
  if (row.message) {
    EXPECT_EQ(TakeErrorDescription(), portMessageText(row.message));
  }
  if (row.shown) {
    EXPECT_EQ(rig.Show(row.id), row.shown);
  }
}

INSTANTIATE_TEST_SUITE_P(Properties, PortSetterRule, ::testing::ValuesIn(SetterRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortProperties, BooleansAcceptOnlyZeroAndMinusOne) {
  EXPECT_EQ(rig.Put(DISPID_Port_Dtr, Variant::I4(1)), E_INVALIDARG);
  EXPECT_EQ(rig.Put(DISPID_Port_Rts, Variant::I4(5)), E_INVALIDARG);
  EXPECT_EQ(rig.Put(DISPID_Port_NullDiscard, Variant::Str(u"yes")), E_INVALIDARG);
  EXPECT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Null()), E_INVALIDARG);
  EXPECT_EQ(rig.Put(DISPID_Port_NullDiscard, Variant::I4(-1)), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_NullDiscard), "true");
  EXPECT_EQ(rig.Put(DISPID_Port_NullDiscard, Variant::Bool(false)), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_NullDiscard), "false");
  EXPECT_EQ(rig.Put(DISPID_Port_Dtr, Variant::I2(0)), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_Dtr), "false");
}

TEST_F(PortProperties, NotificationsComeBeforeTheChangeAndOnlyForNotifyingProperties) {
  // The sink sees the old value while it is notified.
  std::string seen;
  rig.notes->set_hook([&](DISPID id) {
    if (id == DISPID_Port_BaudRate) seen = rig.Show(DISPID_Port_BaudRate);
  });
  EXPECT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(19200)), S_OK);
  EXPECT_EQ(seen, "9600");
  EXPECT_EQ(rig.Show(DISPID_Port_BaudRate), "19200");
  EXPECT_TRUE(rig.impl->Dirty());
  rig.notes->set_hook({});

  // A setter notifies after validation even when the value then changes nothing (no dirty
  // mark), and not at all when validation fails.
  rig.impl->ClearDirty();
  rig.Take();
  EXPECT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(19200)), S_OK);
  EXPECT_EQ(rig.Put(DISPID_Port_Parity, Variant::I4(9)), E_INVALIDARG);
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"changed 81"}));
  EXPECT_FALSE(rig.impl->Dirty());

  // These notify after storing, and only on a change.
  EXPECT_EQ(rig.Put(DISPID_Port_InputThreshold, Variant::I4(20000)), S_OK);
  EXPECT_EQ(rig.Put(DISPID_Port_OutputThreshold, Variant::I4(100)), S_OK);
  EXPECT_EQ(rig.Put(DISPID_Port_PortNumber, Variant::I4(rig.portNumber_)), S_OK);
  EXPECT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Bool(true)), S_OK);
  EXPECT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Bool(false)), S_OK);
  EXPECT_EQ(rig.Put(DISPID_Port_PortLastError, Variant::I4(0)), S_OK);
  // Break and the read-only properties notify nothing.
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"changed 119", "changed 80", "changed 129"}));
}

TEST_F(PortProperties, DesignAndRunModeRefusals) {
  // Run mode (the form's default): IOMode only through SetIOMode.
  EXPECT_EQ(rig.Put(DISPID_Port_IOMode, Variant::I4(1)), static_cast<HRESULT>(0x800400D5));
  EXPECT_EQ(TakeErrorDescription(), portMessageText(213));
  EXPECT_EQ(rig.Put(DISPID_Port_IOMode, Variant::I4(3)), E_INVALIDARG);  // range first
  EXPECT_EQ(rig.Run(DISPID_Port_SetIOMode, {Variant::I4(1)}), "true");
  EXPECT_EQ(rig.Show(DISPID_Port_IOMode), "1");
  EXPECT_EQ(rig.Run(DISPID_Port_SetIOMode, {Variant::I4(7)}), "!! 0x80070057");
  EXPECT_EQ(rig.Run(DISPID_Port__RunMode, {Variant::I4(0)}), "true");
  EXPECT_EQ(rig.Run(DISPID_Port__SaneContainer), "true");

  rig.form->SetUserMode(false);
  EXPECT_EQ(rig.Put(DISPID_Port_IOMode, Variant::I4(2)), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_IOMode), "2");
  EXPECT_EQ(rig.Run(DISPID_Port__RunMode, {Variant::I4(0)}), "false");
  for (DISPID id :
       {DISPID_Port_IsOccupied, DISPID_Port_OccupyingControl, DISPID_Port_WaitForData}) {
    HRESULT hr;
    rig.Get(id, &hr);
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800400CD)) << id;
  }
  EXPECT_EQ(rig.Put(DISPID_Port_WaitForData, Variant::Str(u"x")), static_cast<HRESULT>(0x800400CD));
}

// An object that stands for a terminal or file-transfer control.
class Occupier final : public Unknown<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return riid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
  }
};

TEST_F(PortProperties, AnOccupierHoldsThePortAgainstTheHost) {
  ASSERT_TRUE(rig.Open(1));
  rig.device->Feed("abc");
  auto occupier = ComPtr<Occupier>::Attach(new Occupier);
  EXPECT_EQ(rig.Show(DISPID_Port_IsOccupied), "false");
  EXPECT_EQ(rig.Show(DISPID_Port_OccupyingControl), "nothing");
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Variant::Dispatch(occupier.get())), S_OK);

  EXPECT_EQ(rig.Show(DISPID_Port_IsOccupied), "true");
  Variant who = rig.Get(DISPID_Port_OccupyingControl);
  ASSERT_EQ(who.vt, VT_DISPATCH);
  EXPECT_EQ(who.pdispVal, static_cast<IDispatch*>(occupier.get()));
  ArrayRef out;
  EXPECT_EQ(rig.Run(DISPID_Port_Input), "-2");
  EXPECT_EQ(rig.Run(DISPID_Port_InputB, {out.Ref()}), "-2");
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"x")}), "-2");
  ArrayRef data("x");
  EXPECT_EQ(rig.Run(DISPID_Port_OutputB, {data.Ref()}), "-2");
  EXPECT_EQ(rig.Run(DISPID_Port_SetIOMode, {Variant::I4(0)}), "false");
  EXPECT_EQ(rig.Run(DISPID_Port_OutputUrgent, {Variant::UI1(65)}), "false");
  EXPECT_EQ(rig.Put(DISPID_Port_InputTimeout, Variant::I4(100)), static_cast<HRESULT>(0x800400D3));
  EXPECT_EQ(TakeErrorDescription(), portMessageText(211));
  EXPECT_EQ(rig.Put(DISPID_Port_OutputTimeout, Variant::I4(100)), static_cast<HRESULT>(0x800400D3));
  EXPECT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Bool(false)),
            static_cast<HRESULT>(0x800400D3));
  // Nothing was sent and nothing read; the occupier goes through the hidden members.
  EXPECT_EQ(rig.device->TakeWritten(), "");
  EXPECT_EQ(rig.Run(DISPID_Port__Output, {Variant::Str(u"hi")}), "2");
  EXPECT_EQ(rig.device->TakeWritten(), "hi");
  // The hidden setters are open to the occupier, too.
  EXPECT_EQ(rig.Put(DISPID_Port__InputTimeout, Variant::I4(100)), S_OK);

  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Variant::Dispatch(nullptr)), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_IsOccupied), "false");
  EXPECT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Bool(false)), S_OK);
  // Refusing connections reads as occupied by the control itself.
  EXPECT_EQ(rig.Show(DISPID_Port_IsOccupied), "true");
  Variant self = rig.Get(DISPID_Port_OccupyingControl);
  ASSERT_EQ(self.vt, VT_DISPATCH);
  EXPECT_EQ(self.pdispVal, rig.port.get());
}

TEST_F(PortProperties, WaitForDataKeepsBytesAndAnswersInTheCallersForm) {
  EXPECT_EQ(rig.Show(DISPID_Port_WaitForData), "null");
  ASSERT_EQ(rig.Put(DISPID_Port_WaitForData, ByteArray("OK\r")), S_OK);
  EXPECT_EQ(rig.impl->Engine().pattern(), Bytes("OK\r"));
  // A caller whose VARIANT already holds an array gets the array back.
  // (The result is an [out] VARIANT: it holds the array type but nothing to free.)
  Variant asArray;
  asArray.vt = VT_ARRAY | VT_UI1;
  asArray.parray = nullptr;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(rig.port->Invoke(DISPID_Port_WaitForData, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                             &asArray, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(winhost::format_value(asArray), "bytes:4F4B0D");
  // A string keeps its UTF-16 code units as bytes, low byte first.
  ASSERT_EQ(rig.Put(DISPID_Port_WaitForData, Variant::Str(u"A\u3042")), S_OK);
  EXPECT_EQ(rig.impl->Engine().pattern(), (std::vector<std::uint8_t>{0x41, 0x00, 0x42, 0x30}));
  EXPECT_EQ(rig.Show(DISPID_Port_WaitForData), "\"A\u3042\"");
  ASSERT_EQ(rig.Put(DISPID_Port_WaitForData, Variant::Str(u"")), S_OK);
  EXPECT_TRUE(rig.impl->Engine().pattern().empty());
  EXPECT_EQ(rig.Put(DISPID_Port_WaitForData, Variant::I4(5)), E_INVALIDARG);
}

TEST_F(PortProperties, PortNumberIsRefusedWhileOpenAndSettingsGoToTheOpenDevice) {
  ASSERT_TRUE(rig.Open());
  EXPECT_EQ(rig.Put(DISPID_Port_PortNumber, Variant::I4(3)), static_cast<HRESULT>(0x800400D0));
  EXPECT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(38400)), S_OK);
  EXPECT_EQ(rig.device->AppliedState().BaudRate, 38400u);
  // A refusal by the device keeps the old value.
  rig.device->FailCall(CommCall::SetCommState, 87);
  EXPECT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(4800)), static_cast<HRESULT>(0x800400CC));
  EXPECT_EQ(TakeErrorDescription(), portMessageText(204));
  EXPECT_EQ(rig.Show(DISPID_Port_BaudRate), "38400");
  rig.device->FailCall(CommCall::SetCommState, 0);
  EXPECT_EQ(rig.Put(DISPID_Port_Dtr, Variant::Bool(false)), S_OK);
  EXPECT_FALSE(rig.device->Dtr());
  EXPECT_EQ(rig.Put(DISPID_Port_Break, Variant::Bool(true)), S_OK);
  EXPECT_TRUE(rig.device->Break());
  EXPECT_EQ(rig.Show(DISPID_Port_Break), "true");
  EXPECT_EQ(rig.Show(DISPID_Port_Cts), "true");
  rig.device->SetModemLines(MS_RING_ON);
  EXPECT_EQ(rig.Show(DISPID_Port_Cts), "false");
  EXPECT_EQ(rig.Show(DISPID_Port_Ri), "true");
  rig.device->FailCall(CommCall::GetCommModemStatus, 5);
  EXPECT_EQ(rig.Show(DISPID_Port_Dsr), "!! 0x800400D1");
}

}  // namespace
}  // namespace ravlin::testing
