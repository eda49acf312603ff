// The dialogs' font and the platform's dialog units.
//
// Dialogs are laid out in dialog units: a horizontal unit is a quarter of the dialog font's
// average character width, a vertical unit an eighth of its height, so a dialog keeps its
// proportions with whatever font it gets. The property pages and the about box use
// "ＭＳ Ｐゴシック" 9 point; where that font is not installed Qt takes its nearest match, and the
// units follow the font actually used.
//
// Offers: DialogFont, DialogBaseUnits, DialogUnitsToPixels, DuRect.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace ravlin::ui {

QFont DialogFont();
// The font's average character width (of A-Z and a-z, as the platform measures it) and height.
QSize DialogBaseUnits(const QFont& font = DialogFont());
// A size in dialog units of font, in pixels (rounded like the platform's MulDiv).
QSize DialogUnitsToPixels(QSize dialogUnits, const QFont& font = DialogFont());
// A rectangle in dialog units, in pixels.
QRect DuRect(int x, int y, int width, int height, const QFont& font = DialogFont());

}  // namespace ravlin::ui
