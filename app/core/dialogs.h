// The one way the application shows message, question and input boxes, so that a script can
// answer them and a headless run can report them.
//
// Interactive (the default): a real modal box on the screen. Scripted (headless runs and UI
// scripts): no box is shown; the next queued answer is taken ("ok", "cancel", "yes", "no", or any
// other text for an input box), and with none queued the box's default button is taken (OK, Yes,
// or the input box's default text). Either way every box is reported to the observer, when one
// is set, with its text and the answer it got, so a transcript shows what the operator would
// have seen.
//
// Offers: MsgIcon, MsgButtons, MsgAnswer, Dialogs (message, input, setScripted, queueAnswer,
// setObserver).
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace tavo {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgAnswer { Ok, Cancel, Yes, No };

class Dialogs {
 public:
  // What a box showed and how it was answered; answer is "ok", "cancel", "yes", "no" or the
  // text given to an input box.
  struct Shown {
    QString text;
    QString answer;
    bool input = false;
  };
  using Observer = std::function<void(const Shown&)>;

  // A message or question box. Interactive boxes are modal to parent (or the application when
  // null); the title defaults to the application's name.
  static MsgAnswer message(QWidget* parent, const QString& text, MsgIcon icon = MsgIcon::None,
                           MsgButtons buttons = MsgButtons::Ok, const QString& title = {});
  // An input box; no value when it was cancelled.
  static std::optional<QString> input(QWidget* parent, const QString& prompt,
                                      const QString& title = {}, const QString& defaultText = {});

  static void setScripted(bool scripted);
  static bool scripted();
  // Queues the answer for the next box (scripted mode).
  static void queueAnswer(const QString& answer);
  static void setObserver(Observer observer);
};

}  // namespace tavo
