// Modal windows of the application are shown through execModal, so that a script driving the
// application can go on inside a modal window the way a person at the screen does: the attached
// driver is handed the window as soon as its modal loop runs, works in it, and the code that
// opened the window continues when it closes.
//
// Offers: execModal, setModalDriver.
#pragma once

#include <functional>

class QDialog;

namespace tavo {

// Shows dialog modally and returns its result code, as QDialog::exec does.
int execModal(QDialog* dialog);

// The driver called (once the modal loop runs) for each modal window; none by default.
void setModalDriver(std::function<void(QDialog*)> driver);

}  // namespace tavo
