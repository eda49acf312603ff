// The Port control's picture on a form at design time, offered to containers as IViewObject.
//
// How it works. The control is invisible at run time; a container in design mode asks it to
// draw itself (IViewObject::Draw) into a rectangle of its own surface. The picture (button face,
// shadow border, icon 204, highlight line) is painted by the window library (ui_loader.h), so
// the control library itself never needs a window toolkit. The object is a part of the control
// and answers QueryInterface, AddRef and Release through the control's identity.
//
// Offers: PortViewObject.
#pragma once

#include "platform/com/view_object.h"

namespace ravlin {

class PortViewObject final : public win::IViewObject {
 public:
  explicit PortViewObject(win::IUnknown* owner) : owner_(owner) {}
  PortViewObject(const PortViewObject&) = delete;
  PortViewObject& operator=(const PortViewObject&) = delete;

  win::HRESULT QueryInterface(win::REFIID riid, void** object) override {
    return owner_->QueryInterface(riid, object);
  }
  win::ULONG AddRef() override { return owner_->AddRef(); }
  win::ULONG Release() override { return owner_->Release(); }

  // hdcDraw is a QPainter*. DV_E_DVASPECT for another aspect than DVASPECT_CONTENT;
  // E_INVALIDARG without a painter or bounds; E_FAIL with error info when the window library
  // cannot be loaded or the process has no Qt application. Nothing is drawn on failure.
  win::HRESULT Draw(win::DWORD dwDrawAspect, win::LONG lindex, void* pvAspect, void* ptd,
                    void* hdcTargetDev, void* hdcDraw, const win::RECTL* lprcBounds,
                    const win::RECTL* lprcWBounds, void* pfnContinue,
                    win::UINT_PTR dwContinue) override;

 private:
  win::IUnknown* owner_;
};

}  // namespace ravlin
