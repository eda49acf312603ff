// Identity of the Port control: the GUIDs of its type library, interface, coclass and event
// interface, its ProgIDs and the CLSIDs of its property pages. These are the contract hosts bind
// to (activation by CLSID, event sinks by IID), so they never change.
#pragma once

#include "platform/com/base.h"

namespace ravlin {

// Type library "Port", version 1.0.
inline constexpr win::GUID LIBID_Port{
    0x7C2A9E01, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};
inline constexpr win::IID IID_IPort18{
    0x7C2A9E0D, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};
inline constexpr win::CLSID CLSID_Port{
    0x7C2A9E0E, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};
inline constexpr win::IID DIID__IPort18Events{
    0x7C2A9E0F, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};

// Property pages (their class objects come with the pages themselves).
inline constexpr win::CLSID CLSID_CPort19Ppg1{
    0x7C2A9E21, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};
inline constexpr win::CLSID CLSID_CPort19Ppg2{
    0x7C2A9E22, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};
inline constexpr win::CLSID CLSID_CPort19Ppg3{
    0x7C2A9E23, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};
inline constexpr win::CLSID CLSID_CPort19Ppg4{
    0x7C2A9E24, 0x4F3B, 0x4D8A, {0x9E, 0x61, 0x2B, 0x7D, 0x45, 0xC0, 0xA3, 0x11}};

// The same page class ids under the names of their registry entries (P19.Port19Ppg1, ...).
inline constexpr const win::CLSID& CLSID_Port19Ppg1 = CLSID_CPort19Ppg1;
inline constexpr const win::CLSID& CLSID_Port19Ppg2 = CLSID_CPort19Ppg2;
inline constexpr const win::CLSID& CLSID_Port19Ppg3 = CLSID_CPort19Ppg3;
inline constexpr const win::CLSID& CLSID_Port19Ppg4 = CLSID_CPort19Ppg4;

inline constexpr const char* kPortProgId = "Cobrix.Port.1";
inline constexpr const char* kPortVersionIndependentProgId = "Cobrix.Port";
inline constexpr const char16_t* kPortErrorSource = u"Cobrix.Port.1";

}  // namespace ravlin
