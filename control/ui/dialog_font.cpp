#include "control/ui/dialog_font.h"

#include <QFontMetrics>

namespace ravlin::ui {
namespace {

int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) /
                          denominator);
}

}  // namespace

QFont DialogFont() {
  QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
  font.setPointSize(9);
  return font;
}

QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(alphabet / 26 + 1) / 2, metrics.height()};
}

QSize DialogUnitsToPixels(QSize dialogUnits, const QFont& font) {
  const QSize base = DialogBaseUnits(font);
  return {MulDiv(dialogUnits.width(), base.width(), 4),
          MulDiv(dialogUnits.height(), base.height(), 8)};
}

QRect DuRect(int x, int y, int width, int height, const QFont& font) {
  const QSize base = DialogBaseUnits(font);
  const int left = MulDiv(x, base.width(), 4);
  const int top = MulDiv(y, base.height(), 8);
  return {left, top, MulDiv(width, base.width(), 4), MulDiv(height, base.height(), 8)};
}

}  // namespace ravlin::ui
