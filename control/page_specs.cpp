// The three property pages of the Port control, as tables.
#include <array>
#include <string>

#include "control/page_spec.h"
#include "control/port_enums.h"
#include "control/port_identity.h"
#include "control/port_members.h"

namespace ravlin {
namespace {

using V = value_type;
using C = control_kind;

constexpr list_entry kBaudRates[] = {
    {u"300", 300},     {u"600", 600},     {u"1200", 1200},   {u"1800", 1800},     {u"2400", 2400},
    {u"4800", 4800},   {u"7200", 7200},   {u"9600", 9600},   {u"14400", 14400},   {u"19200", 19200},
    {u"38400", 38400}, {u"56000", 56000}, {u"57600", 57600}, {u"115200", 115200},
};
constexpr list_entry kParities[] = {
    {u"Even", parEven}, {u"Mark", parMark},   {u"None", parNone},
    {u"Odd", parOdd},   {u"Space", parSpace},
};
constexpr list_entry kDataBits[] = {{u"5", 5}, {u"6", 6}, {u"7", 7}, {u"8", 8}};
constexpr list_entry kStopBits[] = {{u"1.0", 1.0}, {u"1.5", 1.5}, {u"2.0", 2.0}};
constexpr list_entry kHandshakings[] = {
    {u"Both", hsBoth},     {u"DtrDsr", hsDtrDsr},   {u"None", hsNone},
    {u"RtsCts", hsRtsCts}, {u"XonXoff", hsXonXoff},
};
constexpr list_entry kIOModes[] = {
    {u"AutoInput", iomAutoInput}, {u"Blocking", iomBlocking}, {u"NonBlocking", iomNonBlocking}};

// "0" to "127": the byte lists of page 2.
std::span<const list_entry> Bytes() {
  struct table {
    std::array<std::u16string, 128> texts;
    std::array<list_entry, 128> entries;
    table() {
      for (int i = 0; i < 128; ++i) {
        for (char c : std::to_string(i)) texts[i] += static_cast<char16_t>(c);
        entries[i] = {texts[i].c_str(), static_cast<double>(i)};
      }
    }
  };
  static const table t;
  return t.entries;
}

// ---- page 1: general settings ---------------------------------------------------------------

const page_spec& MakePage1() {
  static const control_spec controls[] = {
      {216, C::number_edit},     {204, C::editable_list, kBaudRates},
      {217, C::list, kParities}, {218, C::list, kDataBits},
      {219, C::list, kStopBits}, {220, C::list, kHandshakings},
      {209, C::list, kIOModes},  {221, C::edit},
      {222, C::number_edit},     {212, C::number_edit},
      {213, C::number_edit},     {223, C::check},
      {224, C::check},
  };
  static const property_spec properties[] = {
      {u"PortNumber", DISPID_Port_PortNumber, DISPID_Port_PortNumber, false, V::i4, 216, true},
      {u"BaudRate", DISPID_Port_BaudRate, DISPID_Port_BaudRate, false, V::i4, 204, true},
      {u"Parity", DISPID_Port_Parity, DISPID_Port_Parity, false, V::i4, 217, true},
      {u"DataBits", DISPID_Port_DataBits, DISPID_Port_DataBits, false, V::i2, 218, true},
      {u"StopBits", DISPID_Port_StopBits, DISPID_Port_StopBits, false, V::r4, 219, true},
      {u"Handshaking", DISPID_Port_Handshaking, DISPID_Port_Handshaking, false, V::i4, 220, true},
      {u"IOMode", DISPID_Port_IOMode, DISPID_Port_SetIOMode, true, V::i4, 209, false},
      {u"Tx Timeout", DISPID_Port_OutputTimeout, DISPID_Port_OutputTimeout, false, V::i4, 221,
       false},
      {u"Rx Timeout", DISPID_Port_InputTimeout, DISPID_Port_InputTimeout, false, V::i4, 222, false},
      {u"Rts", DISPID_Port_Rts, DISPID_Port_Rts, false, V::boolean, 223, false},
      {u"Dtr", DISPID_Port_Dtr, DISPID_Port_Dtr, false, V::boolean, 224, false},
      {u"Tx BufferSize", DISPID_Port_OutputBufferSize, DISPID_Port_OutputBufferSize, false, V::i4,
       212, false},
      {u"Rx BufferSize", DISPID_Port_InputBufferSize, DISPID_Port_InputBufferSize, false, V::i4,
       213, false},
  };
  // The line settings go through the hidden setters, so they reset even while a modem control
  // is linked or an occupier is set. StopBits 1.0 is written before DataBits 8: it goes with
  // every data-bit count, while 8 data bits are refused next to 1.5 stop bits.
  static const reset_value reset[] = {
      {DISPID_Port_PortNumber, V::i4, 1},         {DISPID_Port__IOMode, V::i4, iomAutoInput},
      {DISPID_Port_Dtr, V::boolean, 0},           {DISPID_Port_Rts, V::boolean, 0},
      {DISPID_Port_InputBufferSize, V::i4, 4096}, {DISPID_Port_OutputBufferSize, V::i4, 4096},
      {DISPID_Port__BaudRate, V::i4, 9600},       {DISPID_Port__StopBits, V::r4, 1.0},
      {DISPID_Port__DataBits, V::i2, 8},          {DISPID_Port__Parity, V::i4, parNone},
      {DISPID_Port__Handshaking, V::i4, hsBoth},  {DISPID_Port__InputTimeout, V::i4, 2000},
      {DISPID_Port__OutputTimeout, V::i4, 2000},
  };
  static const page_spec spec{&CLSID_CPort19Ppg1, u"CPort19Ppg1", u"全般", u"全般", controls,
                              properties,         reset,          215,     nullptr};
  return spec;
}

// ---- page 2: flow control and events --------------------------------------------------------

// XonByte 17 is refused while XoffByte is 17, and XoffByte 19 while XonByte is 19: with the two
// exactly swapped neither default could be written. XoffByte first moves out of the way to a
// value that clashes with neither.
void MoveXoffOutOfTheWay(win::IDispatch* object) {
  win::Variant xon, xoff;
  using win::FAILED;
  if (FAILED(win::GetProperty(object, DISPID_Port_XonByte, &xon)) ||
      FAILED(win::GetProperty(object, DISPID_Port_XoffByte, &xoff)) ||
      FAILED(xon.ChangeType(win::VT_I4)) || FAILED(xoff.ChangeType(win::VT_I4)))
    return;
  if (xoff.lVal != 17) return;
  for (int v = 0; v < 128; ++v) {
    if (v == 17 || v == 19 || v == xon.lVal) continue;
    win::PutProperty(object, DISPID_Port_XoffByte, win::Variant::UI1(static_cast<win::BYTE>(v)));
    return;
  }
}

const page_spec& MakePage2() {
  static const control_spec controls[] = {
      {203, C::number_edit},   {204, C::number_edit},   {205, C::list, Bytes()},
      {207, C::list, Bytes()}, {210, C::number_edit},   {211, C::number_edit},
      {228, C::list, Bytes()}, {208, C::list, Bytes()}, {225, C::check},
      {231, C::check},
  };
  static const property_spec properties[] = {
      {u"On Threshold", DISPID_Port_OnThreshold, DISPID_Port_OnThreshold, false, V::i4, 203, false},
      {u"Off Threshold", DISPID_Port_OffThreshold, DISPID_Port_OffThreshold, false, V::i4, 204,
       false},
      {u"Xon Character", DISPID_Port_XonByte, DISPID_Port_XonByte, false, V::ui1, 205, false},
      {u"Xoff Character", DISPID_Port_XoffByte, DISPID_Port_XoffByte, false, V::ui1, 207, false},
      {u"Input Threshold", DISPID_Port_InputThreshold, DISPID_Port_InputThreshold, false, V::i4,
       210, false},
      {u"Output Threshold", DISPID_Port_OutputThreshold, DISPID_Port_OutputThreshold, false, V::i4,
       211, false},
      {u"Event Byte", DISPID_Port_EventByte, DISPID_Port_EventByte, false, V::ui1, 228, false},
      {u"ParityReplace Byte", DISPID_Port_ParityReplaceByte, DISPID_Port_ParityReplaceByte, false,
       V::ui1, 208, false},
      {u"NullDiscard", DISPID_Port_NullDiscard, DISPID_Port_NullDiscard, false, V::boolean, 225,
       false},
      {u"AllowConnection", DISPID_Port_AllowConnection, DISPID_Port_AllowConnection, false,
       V::boolean, 231, false},
  };
  static const reset_value reset[] = {
      {DISPID_Port_OnThreshold, V::i4, 25},       {DISPID_Port_OffThreshold, V::i4, 75},
      {DISPID_Port_ParityReplaceByte, V::ui1, 0}, {DISPID_Port_EventByte, V::ui1, 0},
      {DISPID_Port_XonByte, V::ui1, 17},          {DISPID_Port_XoffByte, V::ui1, 19},
      {DISPID_Port_InputThreshold, V::i4, 20000}, {DISPID_Port_OutputThreshold, V::i4, 20000},
      {DISPID_Port_NullDiscard, V::boolean, 0},   {DISPID_Port_AllowConnection, V::boolean, -1},
  };
  static const page_spec spec{&CLSID_CPort19Ppg2,
                              u"CPort19Ppg2",
                              u"送受信の設定",
                              u"送信の設定",
                              controls,
                              properties,
                              reset,
                              230,
                              &MoveXoffOutOfTheWay};
  return spec;
}

// ---- page 4: event mask ---------------------------------------------------------------------

const page_spec& MakePage4() {
  static const control_spec controls[] = {
      {214, C::mask_check, {}, WIN_EV_RING},    {215, C::mask_check, {}, WIN_EV_BREAK},
      {216, C::mask_check, {}, WIN_EV_CTS},     {217, C::mask_check, {}, WIN_EV_DSR},
      {218, C::mask_check, {}, WIN_EV_RLSD},    {219, C::mask_check, {}, WIN_EV_RX80FULL},
      {220, C::mask_check, {}, WIN_EV_RXCHAR},  {221, C::mask_check, {}, WIN_EV_RXFLAG},
      {222, C::mask_check, {}, WIN_EV_TXEMPTY}, {223, C::mask_check, {}, WIN_EV_ERR},
      {224, C::mask_check, {}, WIN_EV_EVENT1},  {225, C::mask_check, {}, WIN_EV_EVENT2},
  };
  static const property_spec properties[] = {
      {u"EventMask", DISPID_Port_EventMask, DISPID_Port_EventMask, false, V::i4, 0, false},
  };
  static const reset_value reset[] = {{DISPID_Port_EventMask, V::i4, 376}};
  static const page_spec spec{&CLSID_CPort19Ppg4,
                              u"CPort19Ppg4",
                              u"イベントの抑制",
                              u"イベントの抑制",
                              controls,
                              properties,
                              reset,
                              226,
                              nullptr};
  return spec;
}

}  // namespace

const page_spec& Port19Page1Spec() {
  return MakePage1();
}
const page_spec& Port19Page2Spec() {
  return MakePage2();
}
const page_spec& Port19Page4Spec() {
  return MakePage4();
}

}  // namespace ravlin
