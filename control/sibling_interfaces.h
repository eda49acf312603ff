// The interfaces the Port control expects of its sibling controls on the same form.
//
// How it works. Two kinds of sibling cooperate with the Port control: a modem control, which
// dials a line and then hands the open line to the Port control, and an occupier (a terminal or
// file-transfer control), which takes over the port's data stream. The Port control only queries
// a sibling for these interfaces and calls their one operation each; everything else about the
// siblings is their own business. A sibling that lacks an interface simply is not asked.
//
//   IModemLink             the modem control. Attach(port) when the Port control links to it,
//                          Attach(nullptr) when it unlinks; a failure result means the modem
//                          control refuses (it is busy with a call) and the link stays as it was.
//                          It derives from IDispatch: TapiCtl hands it out as the linked control.
//   IOccupierCounting      an occupier that wants the port's byte counting and events to go on
//                          while it holds the port. PortOpened() after each successful open,
//                          PortClosed() after each successful close.
//   ITerminalNotification  an occupier that wants to hear of a close: Notify(&value) after each
//                          successful close while it occupies the port; the value is ignored.
//
// Offers: IModemLink, IOccupierCounting, ITerminalNotification and their IIDs. Header only, so
// that the sibling stand-ins of the tools and tests can implement them without the control.
#pragma once

#include "platform/com/dispatch.h"

namespace ravlin {

inline constexpr win::IID IID_IModemLink{
    0x182E7D80, 0xE2B7, 0x4CD3, {0xA9, 0x51, 0xDF, 0x10, 0xF8, 0x94, 0x29, 0xD6}};
inline constexpr win::IID IID_IOccupierCounting{
    0xB1F4679D, 0xCC85, 0x4FCE, {0xBB, 0x23, 0x87, 0xBD, 0x49, 0x22, 0x53, 0x1C}};
inline constexpr win::IID IID_ITerminalNotification{
    0xE9EC51EF, 0x4D4F, 0x4C32, {0x99, 0x76, 0x8E, 0xF5, 0x78, 0x53, 0xDB, 0x2B}};

struct IModemLink : win::IDispatch {
  // port: the Port control linking to this modem control, or null when it unlinks. S_OK when
  // the modem control agrees; any failure leaves both sides as they were.
  virtual win::HRESULT Attach(win::IDispatch* port) = 0;
};

struct IOccupierCounting : win::IUnknown {
  virtual win::HRESULT PortOpened() = 0;
  virtual win::HRESULT PortClosed() = 0;
};

struct ITerminalNotification : win::IUnknown {
  // value: storage the occupier may write; the Port control ignores what it holds afterwards.
  virtual win::HRESULT Notify(win::LONG* value) = 0;
};

}  // namespace ravlin
