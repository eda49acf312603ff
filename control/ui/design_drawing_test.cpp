// The design-time picture, drawn by the control through IViewObject into an image.
#include "control/ui/design_drawing.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include "control/port_test_support.h"
#include "control/ui/pictures.h"
#include "control/ui/ui_test_support.h"
#include "platform/com/view_object.h"

namespace ravlin::ui::testing {
namespace {

using namespace win;
using ravlin::testing::NextPortNumber;
using ravlin::testing::PortRig;

// Distinct colours, so that every pixel says which part of the picture it belongs to.
class DesignTime : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    saved_ = QGuiApplication::palette();
    QPalette palette = saved_;
    palette.setColor(QPalette::Button, QColor(0xC0, 0xC0, 0xC0));
    palette.setColor(QPalette::Dark, QColor(0x80, 0x00, 0x00));
    palette.setColor(QPalette::Light, QColor(0x00, 0xFF, 0x00));
    QGuiApplication::setPalette(palette);
  }
  void TearDown() override {
    QGuiApplication::setPalette(saved_);
    UiTest::TearDown();
  }
  // The control's picture in image at bounds, through the control's IViewObject.
  HRESULT Draw(QImage* image, const RECTL& bounds) {
    PortRig rig(NextPortNumber(), false);
    ComPtr<IViewObject> view;
    EXPECT_EQ(rig.port.As(IID_IViewObject, &view), S_OK);
    QPainter painter(image);
    return view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &painter, &bounds, nullptr,
                      nullptr, 0);
  }
  QPalette saved_;
};

QRgb At(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFF;
}

TEST_F(DesignTime, FaceBorderIconAndHighlightLine) {
  QImage image(28, 28, QImage::Format_RGB32);
  image.fill(Qt::white);
  ASSERT_EQ(Draw(&image, RECTL{0, 0, 28, 28}), S_OK);
  const QRgb face = 0xC0C0C0, shadow = 0x800000, light = 0x00FF00;
  // The highlight: up the left edge from two above the bottom, along the top to one before
  // the right edge.
  EXPECT_EQ(At(image, 0, 0), light);
  EXPECT_EQ(At(image, 0, 14), light);
  EXPECT_EQ(At(image, 0, 26), light);
  EXPECT_EQ(At(image, 26, 0), light);
  // The border shows where the highlight does not reach.
  EXPECT_EQ(At(image, 0, 27), shadow);
  EXPECT_EQ(At(image, 27, 0), shadow);
  EXPECT_EQ(At(image, 27, 14), shadow);
  EXPECT_EQ(At(image, 14, 27), shadow);
  EXPECT_EQ(At(image, 27, 27), shadow);
  // The face inside, round the icon.
  EXPECT_EQ(At(image, 1, 1), face);
  EXPECT_EQ(At(image, 26, 26), face);
  // The icon at the top-left at its natural size: its pixels are the icon's, not the face.
  const QImage icon = PortIcon(28);
  EXPECT_EQ(icon.size(), QSize(28, 28));
  int iconPixels = 0;
  for (int y = 2; y < 26; ++y)
    for (int x = 2; x < 26; ++x)
      if (qAlpha(icon.pixel(x, y)) == 255) {
        ++iconPixels;
        EXPECT_EQ(At(image, x, y), icon.pixel(x, y) & 0xFFFFFF) << x << "," << y;
      }
  EXPECT_GT(iconPixels, 100);
  EXPECT_NE(At(image, 14, 14), face);
}

TEST_F(DesignTime, OnlyTheGivenRectangleIsPaintedAndTheExtentIsFixed) {
  QImage image(40, 40, QImage::Format_RGB32);
  image.fill(Qt::white);
  ASSERT_EQ(Draw(&image, RECTL{5, 6, 33, 34}), S_OK);
  EXPECT_EQ(At(image, 4, 6), 0xFFFFFFu);
  EXPECT_EQ(At(image, 33, 20), 0xFFFFFFu);
  EXPECT_EQ(At(image, 20, 34), 0xFFFFFFu);
  EXPECT_EQ(At(image, 5, 6), 0x00FF00u);
  EXPECT_EQ(At(image, 32, 33), 0x800000u);
  EXPECT_EQ(kDesignTimeExtent, QSize(28, 28));
  // The control reports that extent in HIMETRIC.
  PortRig rig(NextPortNumber(), false);
  ComPtr<IOleObject> ole;
  ASSERT_EQ(rig.port.As(IID_IOleObject, &ole), S_OK);
  SIZEL extent{};
  ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, (28 * 2540 + 48) / 96);
}

}  // namespace
}  // namespace ravlin::ui::testing
