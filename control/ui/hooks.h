// How the window library's modal windows meet tests and scripts: nothing here ever waits for a
// person when a hook is installed.
//
// A message hook takes every warning box instead of showing it (title and text), so a test can
// assert what the user would have read. A dialog hook is called once each modal dialog of this
// library (the property frame, the about box) is up and running its event loop; it can look at
// the dialog, press its buttons and close it.
//
// Offers: MessageHook, SetMessageHook, DialogHook, SetDialogHook, ShowWarning, RunModal.
#pragma once

#include <QString>
#include <functional>

class QDialog;

namespace ravlin::ui {

using MessageHook = std::function<void(const QString& title, const QString& text)>;
// Installs hook (an empty one shows real boxes again).
void SetMessageHook(MessageHook hook);

using DialogHook = std::function<void(QDialog& dialog)>;
void SetDialogHook(DialogHook hook);

// A warning box without owner, or the message hook's call.
void ShowWarning(const QString& title, const QString& text);

// Runs dialog modally (QDialog::exec) and returns its result; the dialog hook, when set, is
// called from inside the dialog's event loop.
int RunModal(QDialog& dialog);

}  // namespace ravlin::ui
