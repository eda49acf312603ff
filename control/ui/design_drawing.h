// The Port control's picture on a form at design time (it is invisible at run time).
//
// In the given rectangle: the button-face colour, a one-pixel border in the button-shadow
// colour, icon 204 at the top-left corner at its natural size, and a highlight line in the
// button-highlight colour from the bottom-left corner (two pixels above the bottom) up to the
// top-left corner and along the top edge to one pixel before the right edge. Colours come from
// the application's palette (Button, Dark, Light). The control's extent is fixed at 28 x 28
// pixels.
//
// Offers: kDesignTimeExtent, DrawDesignTime.
#pragma once

#include <QRect>
#include <QSize>

class QPainter;

namespace ravlin::ui {

inline constexpr QSize kDesignTimeExtent{28, 28};

void DrawDesignTime(QPainter& painter, const QRect& bounds);

}  // namespace ravlin::ui
