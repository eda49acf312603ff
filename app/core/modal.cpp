#include "app/core/modal.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

namespace tavo {
namespace {

std::function<void(QDialog*)>& driver() {
  static std::function<void(QDialog*)> d;
  return d;
}

}  // namespace

int execModal(QDialog* dialog) {
  if (driver()) {
    QPointer<QDialog> guard(dialog);
    QTimer::singleShot(0, dialog, [guard] {
      if (guard && guard->isVisible() && driver()) driver()(guard.data());
    });
  }
  return dialog->exec();
}

void setModalDriver(std::function<void(QDialog*)> d) {
  driver() = std::move(d);
}

}  // namespace tavo
