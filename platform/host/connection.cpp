#include "platform/host/connection.h"

namespace winhost {

using namespace win;

namespace {

// control's connection point for iid, or null.
ComPtr<IConnectionPoint> PointFor(IUnknown* control, REFIID iid) {
  ComPtr<IConnectionPointContainer> container;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid())) ||
      !container)
    return {};
  ComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(iid, point.Receive()))) return {};
  return point;
}

}  // namespace

DWORD Advise(IUnknown* control, REFIID iid, IUnknown* sink) {
  if (!control || !sink) return 0;
  ComPtr<IConnectionPoint> point = PointFor(control, iid);
  if (!point) return 0;
  DWORD cookie = 0;
  if (FAILED(point->Advise(sink, &cookie))) return 0;
  return cookie;
}

void Unadvise(IUnknown* control, REFIID iid, DWORD cookie) {
  if (!control || cookie == 0) return;
  if (ComPtr<IConnectionPoint> point = PointFor(control, iid)) point->Unadvise(cookie);
}

}  // namespace winhost
