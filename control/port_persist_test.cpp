// The Port control's persistence: the stream's bytes, save/load round trips through a stream and
// a storage, the dirty flag, damaged and truncated streams, settings a stream may hold that the
// setters would refuse, and the property page list.
#include <cstring>

#include "control/port_messages.h"
#include "control/port_state_stream.h"
#include "control/port_test_support.h"
#include "platform/text/convert.h"

namespace ravlin::testing {
namespace {

std::vector<BYTE> Saved(IDispatch* port, BOOL clearDirty = FALSE) {
  ComPtr<IPersistStreamInit> persist;
  EXPECT_EQ(port->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid()), S_OK);
  ComPtr<IStream> stream;
  EXPECT_EQ(CreateStreamOnMemory(nullptr, 0, stream.Receive()), S_OK);
  EXPECT_EQ(persist->Save(stream.get(), clearDirty), S_OK);
  std::vector<BYTE> bytes;
  EXPECT_EQ(ReadStreamBytes(stream.get(), &bytes), S_OK);
  return bytes;
}

HRESULT LoadInto(IDispatch* port, const std::vector<BYTE>& bytes) {
  ComPtr<IPersistStreamInit> persist;
  EXPECT_EQ(port->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid()), S_OK);
  ComPtr<IStream> stream;
  EXPECT_EQ(CreateStreamOnMemory(bytes.data(), bytes.size(), stream.Receive()), S_OK);
  return persist->Load(stream.get());
}

std::uint32_t U32At(const std::vector<BYTE>& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | b.at(at + i);
  return v;
}

void SetU32At(std::vector<BYTE>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<BYTE>(v >> (8 * i));
}

// A stream as a control with the given modem-link name would write it (the name is spliced in
// where the length field says; the rest is this control's own stream).
std::vector<BYTE> WithName(std::vector<BYTE> bytes, std::u16string_view name) {
  const std::uint32_t L = static_cast<std::uint32_t>(2 * name.size() + 2);
  SetU32At(bytes, 80, L);
  std::vector<BYTE> raw;
  for (char16_t c : name) {
    raw.push_back(static_cast<BYTE>(c & 0xFF));
    raw.push_back(static_cast<BYTE>(c >> 8));
  }
  raw.push_back(0);
  raw.push_back(0);
  bytes.insert(bytes.begin() + 84, raw.begin(), raw.end());
  return bytes;
}

// Offsets in the stream: the DCB's BaudRate and ByteSize inside the configuration block.
constexpr std::size_t kBaudAt = 4 + 28 + 4;
constexpr std::size_t kByteSizeAt = 4 + 28 + 18;

class PortPersist : public ::testing::Test {
 protected:
  PortRig rig{NextPortNumber(), /*runMode=*/false};
};

TEST_F(PortPersist, TheStreamHoldsEachFieldAtItsOffset) {
  ASSERT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(38400)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_InputThreshold, Variant::I4(123)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Bool(false)), S_OK);
  std::vector<BYTE> b = Saved(rig.port.get());
  ASSERT_EQ(b.size(), 110u);
  EXPECT_EQ(U32At(b, 0), static_cast<std::uint32_t>(rig.portNumber_));
  EXPECT_EQ(b[4], 1) << "the block starts with the automatic-input flag";
  EXPECT_EQ(b[4 + 4], 1) << "DTR raised";
  EXPECT_EQ(U32At(b, 4 + 56 + 8), 2000u) << "ReadTotalTimeoutConstant = InputTimeout";
  EXPECT_EQ(U32At(b, kBaudAt), 38400u);
  EXPECT_EQ(b[kByteSizeAt], 8);
  EXPECT_EQ(U32At(b, 80), 0u) << "no modem-link name";
  EXPECT_EQ(b[84], 1) << "portFree";
  EXPECT_EQ(b[85], 0) << "AllowConnection";
  EXPECT_EQ(U32At(b, 86), 0u);
  EXPECT_EQ(U32At(b, 90), 123u);
  EXPECT_EQ(U32At(b, 94), 20000u);
  EXPECT_EQ(U32At(b, 98), 0x0300u);
  EXPECT_EQ(U32At(b, 102), 741u) << "28 pixels in HIMETRIC";
  EXPECT_EQ(U32At(b, 106), 741u);
}

TEST_F(PortPersist, AModemLinkNameIsWrittenWithItsLengthAndNul) {
  std::vector<BYTE> named = WithName(Saved(rig.port.get()), u"Quorv1");
  PortRig other(NextPortNumber(), false);
  ASSERT_EQ(LoadInto(other.port.get(), named), S_OK);
  std::vector<BYTE> b = Saved(other.port.get());
  ASSERT_EQ(b.size(), 124u);
  EXPECT_EQ(U32At(b, 80), 14u);
  const BYTE expected[] = {'Q', 0, 'u', 0, 'o', 0, 'r', 0, 'v', 0, '1', 0, 0, 0};
  EXPECT_EQ(std::memcmp(b.data() + 84, expected, sizeof expected), 0);
  EXPECT_EQ(U32At(b, 98 + 14), 0x0300u);
  // A stored name is a modem link for the refusals: the line settings belong to that control.
  EXPECT_EQ(other.Put(DISPID_Port_BaudRate, Variant::I4(1200)), static_cast<HRESULT>(0x800400D4));
}

TEST_F(PortPersist, EveryPersistedPropertySurvivesARoundTrip) {
  struct change {
    DISPID id;
    Variant value;
  };
  const change changes[] = {
      {DISPID_Port_BaudRate, Variant::I4(4800)},
      {DISPID_Port_DataBits, Variant::I2(7)},
      {DISPID_Port_StopBits, Variant::R4(2.0f)},
      {DISPID_Port_Parity, Variant::I4(2)},
      {DISPID_Port_Handshaking, Variant::I4(1)},
      {DISPID_Port_IOMode, Variant::I4(2)},
      {DISPID_Port_Dtr, Variant::Bool(false)},
      {DISPID_Port_Rts, Variant::Bool(false)},
      {DISPID_Port_EventMask, Variant::I4(0x1FF)},
      {DISPID_Port_InputBufferSize, Variant::I4(8192)},
      {DISPID_Port_OutputBufferSize, Variant::I4(1024)},
      {DISPID_Port_OnThreshold, Variant::I4(10)},
      {DISPID_Port_OffThreshold, Variant::I4(90)},
      {DISPID_Port_XonByte, Variant::UI1(1)},
      {DISPID_Port_XoffByte, Variant::UI1(2)},
      {DISPID_Port_EventByte, Variant::UI1(10)},
      {DISPID_Port_ParityReplaceByte, Variant::UI1('?')},
      {DISPID_Port_NullDiscard, Variant::Bool(true)},
      {DISPID_Port_InputTimeout, Variant::I4(150)},
      {DISPID_Port_OutputTimeout, Variant::I4(250)},
      {DISPID_Port_InputThreshold, Variant::I4(7)},
      {DISPID_Port_OutputThreshold, Variant::I4(9)},
      {DISPID_Port_AllowConnection, Variant::Bool(false)},
      {DISPID_Port_PortNumber, Variant::I4(77)},
  };
  PortRig fresh(NextPortNumber(), false);
  for (const auto& c : changes) {
    const std::string before = rig.Show(c.id);
    ASSERT_EQ(rig.Put(c.id, c.value), S_OK) << c.id;
    ASSERT_NE(rig.Show(c.id), before) << c.id << " must differ from its default";
  }
  ASSERT_TRUE(rig.impl->Dirty());
  ASSERT_EQ(LoadInto(fresh.port.get(), Saved(rig.port.get())), S_OK);
  for (const auto& c : changes) EXPECT_EQ(fresh.Show(c.id), rig.Show(c.id)) << c.id;
  EXPECT_FALSE(fresh.impl->Dirty()) << "a loaded control is clean";
  EXPECT_EQ(Saved(fresh.port.get()), Saved(rig.port.get()));
}

TEST_F(PortPersist, TheStorageKeepsTheSameBytesInItsContentsStream) {
  ASSERT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(57600)), S_OK);
  ComPtr<IPersistStorage> persist;
  ASSERT_EQ(rig.port->QueryInterface(IID_IPersistStorage, persist.ReceiveVoid()), S_OK);
  ComPtr<IStorage> storage;
  ASSERT_EQ(StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE, 0, storage.Receive()), S_OK);
  ASSERT_EQ(persist->InitNew(storage.get()), S_OK);
  ASSERT_EQ(persist->Save(storage.get(), TRUE), S_OK);
  ASSERT_EQ(persist->SaveCompleted(nullptr), S_OK);

  ComPtr<IStream> contents;
  ASSERT_EQ(storage->OpenStream(u"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                contents.Receive()),
            S_OK);
  std::vector<BYTE> bytes;
  ASSERT_EQ(ReadStreamBytes(contents.get(), &bytes), S_OK);
  contents.Reset();
  EXPECT_EQ(bytes, Saved(rig.port.get()));

  PortRig other(NextPortNumber(), false);
  ComPtr<IPersistStorage> otherPersist;
  ASSERT_EQ(other.port->QueryInterface(IID_IPersistStorage, otherPersist.ReceiveVoid()), S_OK);
  ASSERT_EQ(otherPersist->Load(storage.get()), S_OK);
  EXPECT_EQ(other.Show(DISPID_Port_BaudRate), "57600");

  ComPtr<IStorage> empty;
  ASSERT_EQ(StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE, 0, empty.Receive()), S_OK);
  EXPECT_TRUE(FAILED(otherPersist->Load(empty.get()))) << "no Contents stream";
}

TEST_F(PortPersist, TheDirtyFlagFollowsChangesSavesAndLoads) {
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(rig.port->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid()), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  EXPECT_EQ(persist->InitNew(), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_Parity, Variant::I4(1)), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  Saved(rig.port.get(), FALSE);
  EXPECT_EQ(persist->IsDirty(), S_OK) << "a save that does not ask to clear leaves it";
  std::vector<BYTE> bytes = Saved(rig.port.get(), TRUE);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  ASSERT_EQ(rig.Put(DISPID_Port_Parity, Variant::I4(3)), S_OK);
  EXPECT_EQ(LoadInto(rig.port.get(), bytes), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  EXPECT_EQ(rig.Show(DISPID_Port_Parity), "1");

  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_Port);
  ULARGE_INTEGER size{};
  EXPECT_EQ(persist->GetSizeMax(&size), E_NOTIMPL);
  EXPECT_EQ(persist->Load(nullptr), E_POINTER);
  EXPECT_EQ(persist->Save(nullptr, TRUE), E_POINTER);
}

TEST_F(PortPersist, AStreamWithoutAPortNumberLoadsNothing) {
  PortRig source(NextPortNumber(), false);
  ASSERT_EQ(source.Put(DISPID_Port_BaudRate, Variant::I4(300)), S_OK);
  std::vector<BYTE> b = Saved(source.port.get());
  for (std::uint32_t bad : {0u, 0x80000000u}) {
    SetU32At(b, 0, bad);
    EXPECT_EQ(LoadInto(rig.port.get(), b), E_FAIL);
    EXPECT_EQ(rig.Show(DISPID_Port_PortNumber), std::to_string(rig.portNumber_));
    EXPECT_EQ(rig.Show(DISPID_Port_BaudRate), "9600");
  }
}

TEST_F(PortPersist, ALaterVersionFailsAfterTheControlPartIsLoaded) {
  PortRig source(NextPortNumber(), false);
  ASSERT_EQ(source.Put(DISPID_Port_BaudRate, Variant::I4(1200)), S_OK);
  ASSERT_EQ(source.Put(DISPID_Port_OutputThreshold, Variant::I4(5)), S_OK);
  std::vector<BYTE> b = Saved(source.port.get());
  SetU32At(b, 98, 0x0301);
  SetU32At(b, 102, 5000);
  ASSERT_TRUE(rig.Put(DISPID_Port_Parity, Variant::I4(1)) == S_OK);
  EXPECT_EQ(LoadInto(rig.port.get(), b), E_FAIL);
  EXPECT_EQ(rig.Show(DISPID_Port_BaudRate), "1200");
  EXPECT_EQ(rig.Show(DISPID_Port_OutputThreshold), "5");
  EXPECT_TRUE(rig.impl->Dirty()) << "a failed load leaves the flag";
  std::vector<BYTE> after = Saved(rig.port.get());
  EXPECT_EQ(U32At(after, 102), 741u) << "the extent comes after the version: not loaded";
}

TEST_F(PortPersist, EveryTruncationFailsAndKeepsWhatWasReadWhole) {
  PortRig source(NextPortNumber(), false);
  ASSERT_EQ(source.Put(DISPID_Port_PortNumber, Variant::I4(9)), S_OK);
  ASSERT_EQ(source.Put(DISPID_Port_BaudRate, Variant::I4(2400)), S_OK);
  ASSERT_EQ(source.Put(DISPID_Port_AllowConnection, Variant::Bool(false)), S_OK);
  ASSERT_EQ(source.Put(DISPID_Port_OutputThreshold, Variant::I4(3)), S_OK);
  const std::vector<BYTE> full = WithName(Saved(source.port.get()), u"Modem1");
  ASSERT_EQ(full.size(), 124u);
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    PortRig target(NextPortNumber(), false);
    const std::string ownNumber = std::to_string(target.portNumber_);
    std::vector<BYTE> part(full.begin(), full.begin() + cut);
    ASSERT_EQ(LoadInto(target.port.get(), part), E_FAIL) << cut;
    EXPECT_EQ(target.Show(DISPID_Port_PortNumber), cut >= 4 ? "9" : ownNumber) << cut;
    EXPECT_EQ(target.Show(DISPID_Port_BaudRate), cut >= 80 ? "2400" : "9600") << cut;
    // The name (84 + 14 bytes) makes a modem link: line settings are then refused.
    HRESULT put = target.Put(DISPID_Port_DataBits, Variant::I2(8));
    EXPECT_EQ(put, cut >= 98 ? static_cast<HRESULT>(0x800400D4) : S_OK) << cut;
    EXPECT_EQ(target.Show(DISPID_Port_AllowConnection), cut >= 100 ? "false" : "true") << cut;
    EXPECT_EQ(target.Show(DISPID_Port_OutputThreshold), cut >= 112 ? "3" : "20000") << cut;
  }
  PortRig whole(NextPortNumber(), false);
  EXPECT_EQ(LoadInto(whole.port.get(), full), S_OK);
}

TEST_F(PortPersist, ANameLengthThatCannotBeRightIsRefusedBeforeAnythingIsRead) {
  const std::vector<BYTE> good = WithName(Saved(rig.port.get()), u"AB");
  struct damaged {
    const char* what;
    std::vector<BYTE> bytes;
  };
  std::vector<damaged> cases;
  {
    auto b = good;
    SetU32At(b, 80, 5);  // odd: half a character
    cases.push_back({"odd length", b});
  }
  {
    auto b = good;
    SetU32At(b, 80, 64 * 1024 + 2);
    cases.push_back({"above 64 KiB", b});
  }
  {
    auto b = good;
    SetU32At(b, 80, 0xFFFFFFFE);
    cases.push_back({"near 4 GiB", b});
  }
  {
    auto b = good;
    b[84 + 4] = 'C';  // the NUL replaced by a character
    cases.push_back({"no NUL", b});
  }
  for (const auto& c : cases) {
    PortRig target(NextPortNumber(), false);
    EXPECT_EQ(LoadInto(target.port.get(), c.bytes), E_FAIL) << c.what;
    EXPECT_EQ(target.Put(DISPID_Port_DataBits, Variant::I2(7)), S_OK)
        << c.what << ": no name was taken";
  }
  // The largest name allowed loads.
  std::u16string longest(kMaxModemNameBytes / 2 - 1, u'x');
  PortRig target(NextPortNumber(), false);
  EXPECT_EQ(LoadInto(target.port.get(), WithName(Saved(rig.port.get()), longest)), S_OK);
  EXPECT_EQ(U32At(Saved(target.port.get()), 80), kMaxModemNameBytes);
}

TEST_F(PortPersist, SettingsTheSettersWouldRefuseLoadButTheNextOpenFailsCleanly) {
  struct stored {
    const char16_t* what;  // as the error says it
    std::size_t at;
    int width;  // bytes
    std::uint32_t value;
  };
  const stored cases[] = {
      {u"a baud rate of 0", kBaudAt, 4, 0},
      {u"3 data bits", kByteSizeAt, 1, 3},
      {u"200 data bits", kByteSizeAt, 1, 200},
      {u"stop-bit code 7", 4 + 28 + 20, 1, 7},
  };
  for (const auto& c : cases) {
    PortRig target(NextPortNumber(), false);
    std::vector<BYTE> b = Saved(target.port.get());
    if (c.width == 4)
      SetU32At(b, c.at, c.value);
    else
      b[c.at] = static_cast<BYTE>(c.value);
    ASSERT_EQ(LoadInto(target.port.get(), b), S_OK) << Utf16ToUtf8(c.what);
    Variant r;
    HRESULT hr = target.Call(DISPID_Port_Open, {}, &r);
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800400CC)) << Utf16ToUtf8(c.what) << ": message 204";
    EXPECT_EQ(TakeErrorDescription(), std::u16string(portMessageText(204)) + u" (" +
                                          Utf8ToUtf16(target.device->Path()) +
                                          u": settings no line can take (" + c.what + u"))");
    EXPECT_EQ(target.Show(DISPID_Port_Opened), "false") << Utf16ToUtf8(c.what);
    EXPECT_FALSE(target.device->IsOpen()) << Utf16ToUtf8(c.what) << ": the device is closed again";
    // Put right, the same control opens.
    ASSERT_EQ(target.Put(DISPID_Port_BaudRate, Variant::I4(9600)), S_OK);
    ASSERT_EQ(target.Put(DISPID_Port_DataBits, Variant::I2(8)), S_OK);
    ASSERT_EQ(target.Put(DISPID_Port_StopBits, Variant::R4(1.0f)), S_OK);
    EXPECT_TRUE(target.Open()) << Utf16ToUtf8(c.what);
  }
}

TEST_F(PortPersist, ThresholdsBelowOneLoadAndCountingGoesOn) {
  std::vector<BYTE> b = Saved(rig.port.get());
  SetU32At(b, 90, 0);
  SetU32At(b, 94, static_cast<std::uint32_t>(-5));
  ASSERT_EQ(LoadInto(rig.port.get(), b), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_InputThreshold), "0");
  EXPECT_EQ(rig.Show(DISPID_Port_OutputThreshold), "-5");
  ASSERT_TRUE(rig.Open(1));
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"abc")}), "3");
  EXPECT_EQ(rig.Show(DISPID_Port_OutputByteCount), "3");
}

TEST_F(PortPersist, LoadingUnderAnOpenPortIsRefused) {
  PortRig source(NextPortNumber(), false);
  ASSERT_EQ(source.Put(DISPID_Port_BaudRate, Variant::I4(300)), S_OK);
  ASSERT_TRUE(rig.Open());
  EXPECT_EQ(LoadInto(rig.port.get(), Saved(source.port.get())), E_UNEXPECTED);
  EXPECT_EQ(rig.Show(DISPID_Port_BaudRate), "9600");
}

TEST_F(PortPersist, ThePagesAreListedInPageOrder) {
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(rig.port->QueryInterface(IID_ISpecifyPropertyPages, pages.ReceiveVoid()), S_OK);
  CAUUID list{};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 3u);
  EXPECT_EQ(list.pElems[0], CLSID_CPort19Ppg1);
  EXPECT_EQ(list.pElems[1], CLSID_CPort19Ppg2);
  EXPECT_EQ(list.pElems[2], CLSID_CPort19Ppg4);
  CoTaskMemFree(list.pElems);
  EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
}

}  // namespace
}  // namespace ravlin::testing
