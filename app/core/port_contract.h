// What the application knows of the Port control: its class and event interface identities and
// the DISPIDs of the members it uses. These numbers are the contract between the application and
// the control library; the application binds to nothing else of the control.
//
// Offers: CLSID_Port, DIID__IPort18Events, namespace dispid, CommState and CommError values.
#pragma once

#include "platform/com/dispatch.h"

namespace tavo {

inline constexpr win::CLSID CLSID_Port{
    0x7C2A9E0E, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};
inline constexpr win::IID DIID__IPort18Events{
    0x7C2A9E0F, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};

namespace dispid {
// Methods.
inline constexpr win::DISPID ClearInputBuffer = 3;
inline constexpr win::DISPID ClearOutputBuffer = 4;
inline constexpr win::DISPID Close = 5;
inline constexpr win::DISPID Input = 17;
inline constexpr win::DISPID InputB = 18;
inline constexpr win::DISPID Open = 19;
inline constexpr win::DISPID Output = 20;
inline constexpr win::DISPID OutputB = 21;
inline constexpr win::DISPID SetIOMode = 23;
// Properties.
inline constexpr win::DISPID BaudRate = 81;
inline constexpr win::DISPID DataBits = 85;
inline constexpr win::DISPID Dsr = 86;
inline constexpr win::DISPID Dtr = 87;
inline constexpr win::DISPID EventMask = 89;
inline constexpr win::DISPID Handshaking = 97;
inline constexpr win::DISPID InputBufferByteCount = 98;
inline constexpr win::DISPID InputBufferSize = 99;
inline constexpr win::DISPID InputThreshold = 101;
inline constexpr win::DISPID InputTimeout = 102;
inline constexpr win::DISPID OffThreshold = 113;
inline constexpr win::DISPID OnThreshold = 114;
inline constexpr win::DISPID Opened = 115;
inline constexpr win::DISPID OutputBufferSize = 117;
inline constexpr win::DISPID OutputThreshold = 119;
inline constexpr win::DISPID OutputTimeout = 120;
inline constexpr win::DISPID Parity = 121;
inline constexpr win::DISPID PortNumber = 130;
inline constexpr win::DISPID Rts = 132;
inline constexpr win::DISPID StopBits = 133;
// Events.
inline constexpr win::DISPID CommError = 513;
inline constexpr win::DISPID CommState = 515;
}  // namespace dispid

inline constexpr int iomBlocking = 1;

}  // namespace tavo
