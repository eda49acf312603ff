// A property page's dialog: the child window a page object shows inside the property frame.
//
// How it works. The dialog is built from the page's layout (page_layouts.h) in the pages' font;
// each control of the page's table becomes a widget whose objectName is its dialog id ("216"),
// each label "label<id>". It shows the states the page object holds (page_editor) and reports
// every change the user makes (edit text, list selection, typed drop-down text, check box)
// back to it; the page object asks it to show the states again (page_view::Refresh), which
// refills lists and sets enabled states without counting as a change. If the dialog goes away
// with its parent before the page object closes it, it tells the page object (ViewGone).
//
// Offers: PageDialog.
#pragma once

#include <QWidget>
#include <vector>

#include "control/page_view.h"

namespace ravlin::ui {

class PageDialog final : public QWidget, public page_view {
 public:
  // A dialog for editor's page as a child of parent, at (x, y) of parent, sized by its layout.
  // objectName is the page's class name ("CPort19Ppg1").
  PageDialog(page_editor* editor, QWidget* parent, QPoint at);
  ~PageDialog() override;

  // ---- page_view ----------------------------------------------------------------------------
  void Refresh(std::size_t control) override;
  void Show(bool visible) override;
  void Move(const win::RECT& rect) override;
  void Destroy() override;

  // The widget of the control at index (Spec().controls order).
  QWidget* ControlWidget(std::size_t index) const { return widgets_[index]; }

 private:
  void Build();
  void Fill(std::size_t index);

  page_editor* editor_;
  std::vector<QWidget*> widgets_;  // one per control of the page's table
  bool refreshing_ = false;        // changes made while showing states are not the user's
};

}  // namespace ravlin::ui
