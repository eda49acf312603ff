#include "control/ui/hooks.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace ravlin::ui {
namespace {

MessageHook& Messages() {
  static MessageHook hook;
  return hook;
}

DialogHook& Dialogs() {
  static DialogHook hook;
  return hook;
}

}  // namespace

void SetMessageHook(MessageHook hook) {
  Messages() = std::move(hook);
}

void SetDialogHook(DialogHook hook) {
  Dialogs() = std::move(hook);
}

void ShowWarning(const QString& title, const QString& text) {
  if (MessageHook hook = Messages()) {
    hook(title, text);
    return;
  }
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, nullptr);
  box.exec();
}

int RunModal(QDialog& dialog) {
  if (Dialogs()) {
    QPointer<QDialog> guard(&dialog);
    QTimer::singleShot(0, &dialog, [guard] {
      if (DialogHook hook = Dialogs(); hook && guard) hook(*guard);
    });
  }
  return dialog.exec();
}

}  // namespace ravlin::ui
