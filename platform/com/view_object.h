// Drawing an embedded object: the container asks the object to draw itself into a rectangle of
// a drawing surface it owns (IViewObject::Draw), for instance to show a control on a form at
// design time.
//
// The drawing surface is opaque here: hdcDraw is whatever the container's toolkit paints with
// (the Qt containers pass a QPainter*). Only Draw is declared; the cache, advise and freeze
// members are left out, and the target-device, continue-callback and metafile arguments are
// kept for the platform's shape but not used.
//
// Offers: IViewObject (Draw), IID_IViewObject.
#pragma once

#include "platform/com/base.h"

namespace win {

extern const IID IID_IViewObject;

struct IViewObject : IUnknown {
  // Draws aspect dwDrawAspect (DVASPECT_CONTENT) into *lprcBounds of the surface hdcDraw.
  virtual HRESULT Draw(DWORD dwDrawAspect, LONG lindex, void* pvAspect, void* ptd,
                       void* hdcTargetDev, void* hdcDraw, const RECTL* lprcBounds,
                       const RECTL* lprcWBounds, void* pfnContinue, UINT_PTR dwContinue) = 0;
};

}  // namespace win
