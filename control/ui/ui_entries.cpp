// The window library's entry table (control/ui_entries.h): what the control calls after loading
// libravlin_ui.so.
#include "control/ui_entries.h"

#include <QApplication>
#include <QPainter>
#include <QThread>

#include "control/ui/about_box.h"
#include "control/ui/design_drawing.h"
#include "control/ui/dialog_font.h"
#include "control/ui/hooks.h"
#include "control/ui/page_dialog.h"
#include "control/ui/property_frame.h"

namespace ravlin::ui {
namespace {

int ApplicationState() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app) return ui_no_application;
  if (QThread::currentThread() != app->thread()) return ui_wrong_thread;
  return ui_ready;
}

page_view* CreatePageView(page_editor* editor, void* parent, const win::RECT* rect) {
  if (!editor) return nullptr;
  const QPoint at = rect ? QPoint(rect->left, rect->top) : QPoint(0, 0);
  auto* dialog = new PageDialog(editor, static_cast<QWidget*>(parent), at);
  dialog->show();
  return dialog;
}

void WarningBox(const char16_t* title, const char16_t* text) {
  ShowWarning(QString::fromUtf16(title ? title : u""), QString::fromUtf16(text ? text : u""));
}

win::HRESULT PropertyFrameEntry(void* owner, const char16_t* caption, win::ULONG objectCount,
                                win::IUnknown** objects, win::ULONG pageCount,
                                win::IPropertyPage** pages, win::LCID lcid) {
  if ((objectCount && !objects) || (pageCount && !pages)) return win::E_INVALIDARG;
  return ShowPropertyFrame(
      static_cast<QWidget*>(owner), QString::fromUtf16(caption ? caption : u""),
      std::span<win::IUnknown* const>(objects, objects ? objectCount : 0),
      std::span<win::IPropertyPage* const>(pages, pages ? pageCount : 0), lcid);
}

void AboutBoxEntry(void* owner, const char* description, const char* fileVersion) {
  ShowAboutBox(static_cast<QWidget*>(owner), QString::fromUtf8(description ? description : ""),
               QString::fromUtf8(fileVersion ? fileVersion : ""));
}

void DrawEntry(void* painter, const win::RECT* bounds) {
  if (!painter || !bounds) return;
  DrawDesignTime(
      *static_cast<QPainter*>(painter),
      QRect(QPoint(bounds->left, bounds->top), QPoint(bounds->right - 1, bounds->bottom - 1)));
}

win::SIZE DialogUnitsEntry(win::SIZE du) {
  const QSize px = DialogUnitsToPixels(QSize(du.cx, du.cy));
  return {px.width(), px.height()};
}

constexpr ravlin_ui_entries kEntries{
    sizeof(ravlin_ui_entries), &ApplicationState, &CreatePageView, &WarningBox,
    &PropertyFrameEntry,       &AboutBoxEntry,    &DrawEntry,      &DialogUnitsEntry,
};

}  // namespace
}  // namespace ravlin::ui

extern "C" __attribute__((visibility("default"))) const ravlin_ui_entries* ravlin_ui_entry_table() {
  return &ravlin::ui::kEntries;
}
