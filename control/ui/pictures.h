// The control's pictures, drawn in code: icon 204 (the control on a form and in a toolbox),
// icon 2502 and bitmap 207 (the about box).
//
// The icon is a nine-pin serial connector seen from the front, on a transparent ground, with a
// two-pixel transparent margin so that what it is drawn over shows round it.
//
// Offers: PortIcon, AboutIcon, AboutPicture.
#pragma once

#include <QImage>

namespace ravlin::ui {

// Icon 204 at size x size pixels (natural size 28).
QImage PortIcon(int size = 28);
// Icon 2502: the about box's icon (32 x 32).
QImage AboutIcon();
// Bitmap 207: the about box's picture (96 x 64).
QImage AboutPicture();

}  // namespace ravlin::ui
