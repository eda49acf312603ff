// The members of IPort18 and _IPort18Events as the type library describes them: DISPID, name,
// kind, parameter and result types, optional parameters with their defaults, flags and the
// Japanese help strings. This table is the contract with late-binding hosts; the control's
// IDispatch is driven by it (names resolve through it, Invoke checks arguments against it).
//
// Types are the automation type codes (VARTYPE values) so the table needs no runtime headers.
//
// Offers: member_kind, param_spec, member_spec, iport18Members, iport18EventMembers,
// findPortMember, and the DISPID constants (DISPID_Port_*, DISPID_PortEvent_*).
#pragma once

#include <cstdint>
#include <span>

namespace ravlin {

namespace vt {
// Automation type codes (the platform's VARTYPE values).
inline constexpr std::uint16_t empty = 0, i2 = 2, i4 = 3, r4 = 4, bstr = 8, dispatch = 9,
                               boolean = 11, variant = 12, ui1 = 17, uint = 23, array = 0x2000,
                               byref = 0x4000;
inline constexpr std::uint16_t bytes = array | ui1;  // SAFEARRAY(unsigned char)
}  // namespace vt

enum class member_kind : std::uint8_t { method, propget, propput };

enum param_flags : std::uint8_t {
  pf_in = 1,
  pf_out = 2,
  pf_optional = 4,
  pf_retval = 8,
};

// A default for an optional parameter (the type library's defaultvalue).
struct default_value {
  enum kind_t : std::uint8_t { none, i4, i2, r4, bstr } kind = none;
  std::int32_t i = 0;
  float f = 0;
  const char16_t* s = nullptr;
};

struct param_spec {
  const char* name;
  std::uint16_t type;     // VARTYPE, with byref for out and by-reference parameters
  std::uint8_t flags;     // param_flags
  const char* enum_name;  // the enumeration an int32 parameter is declared as, or nullptr
  default_value def;
};

enum member_flags : std::uint8_t {
  mf_hidden = 1,
  mf_nonbrowsable = 2,
  mf_default_source = 4,  // unused for members; kept for the type description
};

struct member_spec {
  std::int32_t dispid;
  const char* name;
  member_kind kind;
  std::uint16_t result;                // VARTYPE of the [retval] (empty: none)
  const char* result_enum;             // enumeration name of an int32 result, or nullptr
  std::span<const param_spec> params;  // without the [retval]
  std::uint8_t flags;                  // member_flags
  const char* help;                    // UTF-8, nullptr when none
};

// IPort18 in interface order (get before put for properties).
std::span<const member_spec> iport18Members();
// _IPort18Events in order.
std::span<const member_spec> iport18EventMembers();

// The entry for (dispid, kind), or nullptr.
const member_spec* findPortMember(std::int32_t dispid, member_kind kind);

// DISPIDs of IPort18 (decimal; hexadecimal in the table reads like decimal).
enum : std::int32_t {
  DISPID_Port_AboutBox = -552,
  DISPID_Port_CancelPendingInputs = 1,
  DISPID_Port_CancelPendingOutputs = 2,
  DISPID_Port_ClearInputBuffer = 3,
  DISPID_Port_ClearOutputBuffer = 4,
  DISPID_Port_Close = 5,
  DISPID_Port_Configure = 6,
  DISPID_Port_ConnectTapiCtl = 7,
  DISPID_Port_Crc16 = 8,
  DISPID_Port_Crc32 = 9,
  DISPID_Port_DisconnectTapiCtl = 16,
  DISPID_Port_Input = 17,
  DISPID_Port_InputB = 18,
  DISPID_Port_Open = 19,
  DISPID_Port_Output = 20,
  DISPID_Port_OutputB = 21,
  DISPID_Port_OutputUrgent = 22,
  DISPID_Port_SetIOMode = 23,
  DISPID_Port_AllowConnection = 80,
  DISPID_Port_BaudRate = 81,
  DISPID_Port_Break = 82,
  DISPID_Port_Cd = 83,
  DISPID_Port_Cts = 84,
  DISPID_Port_DataBits = 85,
  DISPID_Port_Dsr = 86,
  DISPID_Port_Dtr = 87,
  DISPID_Port_EventByte = 88,
  DISPID_Port_EventMask = 89,
  DISPID_Port_Handle = 96,
  DISPID_Port_Handshaking = 97,
  DISPID_Port_InputBufferByteCount = 98,
  DISPID_Port_InputBufferSize = 99,
  DISPID_Port_InputByteCount = 100,
  DISPID_Port_InputThreshold = 101,
  DISPID_Port_InputTimeout = 102,
  DISPID_Port_IOMode = 103,
  DISPID_Port_IsOccupied = 104,
  DISPID_Port_NullDiscard = 105,
  DISPID_Port_OccupyingControl = 112,
  DISPID_Port_OffThreshold = 113,
  DISPID_Port_OnThreshold = 114,
  DISPID_Port_Opened = 115,
  DISPID_Port_OutputBufferByteCount = 116,
  DISPID_Port_OutputBufferSize = 117,
  DISPID_Port_OutputByteCount = 118,
  DISPID_Port_OutputThreshold = 119,
  DISPID_Port_OutputTimeout = 120,
  DISPID_Port_Parity = 121,
  DISPID_Port_ParityReplaceByte = 128,
  DISPID_Port_PortLastError = 129,
  DISPID_Port_PortNumber = 130,
  DISPID_Port_Ri = 131,
  DISPID_Port_Rts = 132,
  DISPID_Port_StopBits = 133,
  DISPID_Port_TapiCtl = 134,
  DISPID_Port_WaitForData = 135,
  DISPID_Port_XoffByte = 136,
  DISPID_Port_XonByte = 137,
  DISPID_Port__Close = 337,
  DISPID_Port__Input = 338,
  DISPID_Port__InputB = 339,
  DISPID_Port__Open = 340,
  DISPID_Port__Output = 341,
  DISPID_Port__OutputB = 342,
  DISPID_Port__SetIOMode = 343,
  DISPID_Port__BaudRate = 344,
  DISPID_Port__Handshaking = 345,
  DISPID_Port__DataBits = 352,
  DISPID_Port__InputTimeout = 353,
  DISPID_Port__IOMode = 354,
  DISPID_Port__OutputTimeout = 355,
  DISPID_Port__Parity = 356,
  DISPID_Port__StopBits = 357,
  DISPID_Port__TermOrFile = 358,
  DISPID_Port__GetComponent = 359,
  DISPID_Port__RunMode = 360,
  DISPID_Port__SaneContainer = 361,
  DISPID_Port__SetComponent = 368,
  DISPID_Port__TapiCtl = 369,
  DISPID_Port__TapiCtls = 370,
  DISPID_Port__Fire_AutoInput = 371,
  DISPID_Port__Fire_CommError = 372,
  DISPID_Port__Fire_CommIOState = 373,
  DISPID_Port__Fire_CommState = 374,
  DISPID_Port__Fire_DataDetected = 375,
  DISPID_Port__Fire_NonblockInput = 376,
  DISPID_Port__Fire_NonblockInputB = 377,
  DISPID_Port__Fire_NonblockOutput = 384,
  DISPID_Port__Fire__UberAutoInput = 385,
};

// DISPIDs of _IPort18Events.
enum : std::int32_t {
  DISPID_PortEvent_AutoInput = 512,
  DISPID_PortEvent_CommError = 513,
  DISPID_PortEvent_CommIOState = 514,
  DISPID_PortEvent_CommState = 515,
  DISPID_PortEvent_DataDetected = 516,
  DISPID_PortEvent_NonblockInput = 517,
  DISPID_PortEvent_NonblockInputB = 518,
  DISPID_PortEvent_NonblockOutput = 519,
  DISPID_PortEvent__UberAutoInput = 520,
};

}  // namespace ravlin
