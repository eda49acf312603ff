// The preview box of the bitmap window (Picture1): the card window dot for dot.
//
// How it works: the box holds the card window image the conversion reads (one pixel a card dot)
// and paints it from its top-left corner, each dot as a square of the largest whole number of
// screen pixels that lets the image fit (at least one), so the eye sees what prints and nothing is
// resampled. Where no image is set the box is white. A double-click is passed on.
//
// Offers: CardPreview.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace tavo {

class CardPreview final : public QWidget {
 public:
  explicit CardPreview(QWidget* parent = nullptr);

  void setImage(const QImage& image);
  const QImage& image() const { return image_; }
  // Screen pixels a dot takes at the box's present size.
  int dotScale() const;

  std::function<void()> onDoubleClick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QImage image_;
};

}  // namespace tavo
