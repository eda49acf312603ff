// Connecting a host's sink to a control's outgoing interface.
//
// A control that raises events is a connection point container: it hands out one connection
// point per outgoing interface (its events dispinterface, IPropertyNotifySink). Advise finds the
// point for an interface and advises the sink on it, which answers a cookie; Unadvise finds the
// same point and gives the cookie back. The point holds a reference on the sink until then.
//
// Offers: Advise, Unadvise.
#pragma once

#include "platform/com/connection_point.h"

namespace winhost {

// Advises sink on control's connection point for iid. The cookie, or 0 when control or sink is
// null, control is no connection point container, it has no point for iid, or the point refuses
// the sink (the sink does not answer iid); on failure nothing is advised.
win::DWORD Advise(win::IUnknown* control, win::REFIID iid, win::IUnknown* sink);

// Ends the connection cookie made on control's point for iid. Does nothing for a null control or
// a 0 cookie; an unknown cookie or a missing point is ignored (nothing else is unadvised).
void Unadvise(win::IUnknown* control, win::REFIID iid, win::DWORD cookie);

}  // namespace winhost
