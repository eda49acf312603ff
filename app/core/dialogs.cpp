#include "app/core/dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <deque>

namespace tavo {
namespace {

struct State {
  bool scripted = false;
  std::deque<QString> answers;
  Dialogs::Observer observer;
};

State& state() {
  static State s;
  return s;
}

QString answerName(MsgAnswer a) {
  switch (a) {
    case MsgAnswer::Ok:
      return QStringLiteral("ok");
    case MsgAnswer::Cancel:
      return QStringLiteral("cancel");
    case MsgAnswer::Yes:
      return QStringLiteral("yes");
    case MsgAnswer::No:
      return QStringLiteral("no");
  }
  return {};
}

std::optional<QString> takeAnswer() {
  auto& s = state();
  if (s.answers.empty()) return std::nullopt;
  QString a = s.answers.front();
  s.answers.pop_front();
  return a;
}

MsgAnswer scriptedMessage(MsgButtons buttons) {
  const std::optional<QString> given = takeAnswer();
  const QString a = given ? given->trimmed().toLower() : QString();
  switch (buttons) {
    case MsgButtons::Ok:
      return MsgAnswer::Ok;
    case MsgButtons::OkCancel:
      return a == u"cancel" || a == u"no" ? MsgAnswer::Cancel : MsgAnswer::Ok;
    case MsgButtons::YesNo:
      return a == u"no" || a == u"cancel" ? MsgAnswer::No : MsgAnswer::Yes;
  }
  return MsgAnswer::Ok;
}

QMessageBox::Icon boxIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Critical:
      return QMessageBox::Critical;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

MsgAnswer interactiveMessage(QWidget* parent, const QString& text, MsgIcon icon, MsgButtons buttons,
                             const QString& title) {
  QMessageBox box(boxIcon(icon), title.isEmpty() ? QApplication::applicationName() : title, text,
                  QMessageBox::NoButton, parent);
  switch (buttons) {
    case MsgButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MsgButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      break;
    case MsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return MsgAnswer::Cancel;
    case QMessageBox::Yes:
      return MsgAnswer::Yes;
    case QMessageBox::No:
      return MsgAnswer::No;
    default:
      return buttons == MsgButtons::OkCancel && box.clickedButton() == nullptr ? MsgAnswer::Cancel
                                                                               : MsgAnswer::Ok;
  }
}

}  // namespace

MsgAnswer Dialogs::message(QWidget* parent, const QString& text, MsgIcon icon, MsgButtons buttons,
                           const QString& title) {
  const MsgAnswer answer = state().scripted
                               ? scriptedMessage(buttons)
                               : interactiveMessage(parent, text, icon, buttons, title);
  if (state().observer) state().observer(Shown{text, answerName(answer), false});
  return answer;
}

std::optional<QString> Dialogs::input(QWidget* parent, const QString& prompt, const QString& title,
                                      const QString& defaultText) {
  std::optional<QString> result;
  if (state().scripted) {
    const std::optional<QString> given = takeAnswer();
    if (!given || given->trimmed().toLower() == u"ok")
      result = defaultText;
    else if (given->trimmed().toLower() != u"cancel")
      result = *given;
  } else {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, title.isEmpty() ? QApplication::applicationName() : title,
                              prompt, QLineEdit::Normal, defaultText, &ok);
    if (ok) result = text;
  }
  if (state().observer)
    state().observer(Shown{prompt, result ? *result : QStringLiteral("cancel"), true});
  return result;
}

void Dialogs::setScripted(bool scripted) {
  state().scripted = scripted;
}

bool Dialogs::scripted() {
  return state().scripted;
}

void Dialogs::queueAnswer(const QString& answer) {
  state().answers.push_back(answer);
}

void Dialogs::setObserver(Observer observer) {
  state().observer = std::move(observer);
}

}  // namespace tavo
