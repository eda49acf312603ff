#include "app/tavotest/ui_script.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include "app/core/dialogs.h"
#include "app/core/display_label.h"
#include "app/core/form1.h"
#include "app/core/modal.h"
#include "app/tavotest/transcript.h"

namespace tavo {
namespace {

QString withoutMnemonic(QString text) {
  text.remove(u'&');
  return text;
}

// Reads a double-quoted string at text[*at] (escapes applied); *at ends after the closing quote.
bool readQuoted(const QString& text, qsizetype* at, QString* out, QString* error);

QString applyEscapes(const QString& text, bool* ok) {
  QString out;
  *ok = true;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const QChar e = text[++i];
    if (e == u'r')
      out += u'\r';
    else if (e == u'n')
      out += u'\n';
    else if (e == u't')
      out += u'\t';
    else if (e == u'\\')
      out += u'\\';
    else if (e == u'"')
      out += u'"';
    else if (e == u'x') {
      const QString hex = text.mid(i + 1, 2);
      bool hexOk = false;
      const int v = hex.toInt(&hexOk, 16);
      if (hex.size() != 2 || !hexOk) {
        *ok = false;
        return {};
      }
      out += QChar(static_cast<char16_t>(v));
      i += 2;
    } else {
      *ok = false;
      return {};
    }
  }
  return out;
}

bool readQuoted(const QString& text, qsizetype* at, QString* out, QString* error) {
  qsizetype i = *at + 1;
  QString raw;
  while (i < text.size() && text[i] != u'"') {
    if (text[i] == u'\\' && i + 1 < text.size()) raw += text[i++];
    raw += text[i++];
  }
  if (i >= text.size()) {
    *error = QStringLiteral("a quoted string has no closing quote");
    return false;
  }
  bool ok = false;
  *out = applyEscapes(raw, &ok);
  if (!ok) {
    *error = QStringLiteral("bad escape in a quoted string");
    return false;
  }
  *at = i + 1;
  return true;
}

void skipBlanks(const QString& text, qsizetype* at) {
  while (*at < text.size() && (text[*at] == u' ' || text[*at] == u'\t')) ++*at;
}

// One word, or a quoted string.
bool readToken(const QString& text, qsizetype* at, QString* out, QString* error) {
  skipBlanks(text, at);
  if (*at < text.size() && text[*at] == u'"') return readQuoted(text, at, out, error);
  const qsizetype start = *at;
  while (*at < text.size() && text[*at] != u' ' && text[*at] != u'\t') ++*at;
  *out = text.mid(start, *at - start);
  return true;
}

// The rest of the line: a quoted string, or the text itself without surrounding blanks.
bool readRest(const QString& text, qsizetype* at, bool escapes, QString* out, QString* error) {
  skipBlanks(text, at);
  if (*at < text.size() && text[*at] == u'"') {
    if (!readQuoted(text, at, out, error)) return false;
    skipBlanks(text, at);
    if (*at < text.size()) {
      *error = QStringLiteral("text after the closing quote");
      return false;
    }
    return true;
  }
  QString rest = text.mid(*at).trimmed();
  *at = text.size();
  if (escapes) {
    bool ok = false;
    rest = applyEscapes(rest, &ok);
    if (!ok) {
      *error = QStringLiteral("bad escape");
      return false;
    }
  }
  *out = rest;
  return true;
}

void serveEvents(int milliseconds) {
  QDeadlineTimer deadline(milliseconds, Qt::PreciseTimer);
  while (!deadline.hasExpired()) {
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

QString colourOf(const QWidget* w) {
  return w->palette().color(w->backgroundRole()).name().toUpper();
}

QList<QAction*> menuActions(QWidget* window) {
  QList<QAction*> out;
  auto* mainWindow = qobject_cast<QMainWindow*>(window);
  if (!mainWindow || !mainWindow->menuBar()) return out;
  QList<QAction*> pending = mainWindow->menuBar()->actions();
  while (!pending.isEmpty()) {
    QAction* a = pending.takeFirst();
    out << a;
    if (a->menu()) pending << a->menu()->actions();
  }
  return out;
}

}  // namespace

bool parseUiLine(const QString& line, UiCommand* c, QString* error) {
  *c = UiCommand{};
  const QString trimmed = line.trimmed();
  if (trimmed.isEmpty() || trimmed.startsWith(u'#')) return true;
  qsizetype at = 0;
  QString verb;
  readToken(trimmed, &at, &verb, error);
  c->verb = verb.toLower();
  static const QStringList kNoArgs = {QStringLiteral("quit")};
  static const QStringList kObjectOnly = {QStringLiteral("window"), QStringLiteral("menu"),
                                          QStringLiteral("press"), QStringLiteral("print")};
  static const QStringList kObjectText = {QStringLiteral("set"), QStringLiteral("select"),
                                          QStringLiteral("doubleclick"), QStringLiteral("check"),
                                          QStringLiteral("key")};
  static const QStringList kTextOnly = {QStringLiteral("answer"), QStringLiteral("wait"),
                                        QStringLiteral("snapshot")};
  if (kNoArgs.contains(c->verb)) {
    skipBlanks(trimmed, &at);
    if (at < trimmed.size()) {
      *error = QStringLiteral("quit takes no argument");
      return false;
    }
    return true;
  }
  if (kObjectOnly.contains(c->verb) || kObjectText.contains(c->verb)) {
    if (!readToken(trimmed, &at, &c->object, error)) return false;
    if (c->object.isEmpty()) {
      *error = QStringLiteral("an object is needed");
      return false;
    }
    if (kObjectOnly.contains(c->verb)) {
      skipBlanks(trimmed, &at);
      if (at < trimmed.size()) {
        *error = QStringLiteral("text after the object (quote a name with blanks)");
        return false;
      }
      return true;
    }
    if (!readRest(trimmed, &at,
                  c->verb == u"set" || c->verb == u"select" || c->verb == u"doubleclick", &c->text,
                  error))
      return false;
    if (c->verb != u"set" && c->text.isEmpty()) {
      *error = QStringLiteral("a value is needed");
      return false;
    }
    return true;
  }
  if (c->verb == u"when" || c->verb == u"after") {
    // when LOGLINE COMMAND, after MS COMMAND: the command is kept as it stands and checked here.
    if (!readToken(trimmed, &at, &c->object, error)) return false;
    skipBlanks(trimmed, &at);
    c->text = trimmed.mid(at);
    UiCommand inner;
    if (c->object.isEmpty() || c->text.isEmpty()) {
      *error = c->verb == u"when" ? QStringLiteral("when needs a log line and a command")
                                  : QStringLiteral("after needs milliseconds and a command");
      return false;
    }
    bool ok = true;
    if (c->verb == u"after" && (c->object.toInt(&ok) < 0 || !ok)) {
      *error = QStringLiteral("after needs milliseconds");
      return false;
    }
    if (!parseUiLine(c->text, &inner, error)) return false;
    if (inner.verb == u"when" || inner.verb == u"after" || inner.verb == u"quit" ||
        inner.verb == u"wait") {
      *error = QStringLiteral("%1 cannot run \"%2\"").arg(c->verb, inner.verb);
      return false;
    }
    return true;
  }
  if (kTextOnly.contains(c->verb)) {
    if (!readRest(trimmed, &at, false, &c->text, error)) return false;
    if (c->text.isEmpty()) {
      *error = QStringLiteral("a value is needed");
      return false;
    }
    return true;
  }
  *error = QStringLiteral("unknown command \"%1\"").arg(verb);
  return false;
}

UiScript::UiScript(Form1& main, Output out) : main_(main), out_(std::move(out)) {}

UiScript::~UiScript() {
  setModalDriver({});
}

int UiScript::run() {
  windows_.assign(1, QPointer<QWidget>(&main_));
  // Commands waiting for a log line run once it has been added, from the event loop: the line
  // is added deep inside the exchange, which must not be entered again from there.
  auto previousLog = main_.onLog;
  main_.onLog = [this, previousLog](const QString& line) {
    if (previousLog) previousLog(line);
    for (auto it = triggers_.begin(); it != triggers_.end(); ++it) {
      if (it->first != line) continue;
      const UiCommand command = it->second;
      triggers_.erase(it);
      QTimer::singleShot(0, &main_, [this, command, line] {
        QString error;
        if (!execute(command, &error)) {
          bad_ = true;
          out_(QStringLiteral("error: when %1: %2").arg(escapeText(line), error));
        }
      });
      break;
    }
  };
  setModalDriver([this](QDialog* dialog) {
    windows_.push_back(dialog);
    runLines(dialog);
    windows_.pop_back();
    // The script ended or quits while the window is open: close it as its title-bar button
    // would, so the code that opened it can go on.
    if (dialog->isVisible()) dialog->reject();
  });
  runLines(nullptr);
  setModalDriver({});
  main_.close();
  main_.onLog = previousLog;
  triggers_.clear();
  return bad_ ? 3 : 0;
}

void UiScript::runLines(QDialog* frame) {
  while (next_ < lines_.size() && !quitting_ && !module1().appEnding) {
    if (frame && !frame->isVisible()) return;
    const QString line = lines_[next_++];
    UiCommand c;
    QString error;
    if (!parseUiLine(line, &c, &error) || (!c.verb.isEmpty() && !execute(c, &error))) {
      bad_ = true;
      out_(QStringLiteral("error: %1: %2").arg(escapeText(line.trimmed()), error));
    }
  }
}

QWidget* UiScript::current() const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
    if (*it && (*it)->isVisible()) return it->data();
  return &main_;
}

void revealPage(QWidget* widget) {
  for (QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget()) {
    auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
    if (!stack) continue;
    if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget())) tabs->setCurrentWidget(w);
  }
}

QObject* UiScript::find(const QString& name, QString* error) const {
  QWidget* window = current();
  const QList<QWidget*> widgets = window->findChildren<QWidget*>();
  for (QWidget* w : widgets)
    if (w->window() == window && w->objectName() == name) return w;
  const QList<QAction*> actions = menuActions(window);
  for (QAction* a : actions)
    if (a->objectName() == name) return a;
  for (QWidget* w : widgets) {
    if (w->window() != window) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && withoutMnemonic(b->text()) == name)
      return b;
  }
  for (QAction* a : actions)
    if (withoutMnemonic(a->text()) == name) return a;
  *error = QStringLiteral("no object \"%1\" in %2").arg(name, window->objectName());
  return nullptr;
}

bool UiScript::execute(const UiCommand& c, QString* error) {
  if (c.verb == u"quit") {
    quitting_ = true;
    return true;
  }
  if (c.verb == u"answer") {
    Dialogs::queueAnswer(c.text);
    return true;
  }
  if (c.verb == u"when") {
    UiCommand inner;
    parseUiLine(c.text, &inner, error);
    triggers_.emplace_back(c.object, inner);
    return true;
  }
  if (c.verb == u"after") {
    UiCommand inner;
    parseUiLine(c.text, &inner, error);
    QTimer::singleShot(c.object.toInt(), &main_, [this, inner, line = c.text] {
      QString failure;
      if (!execute(inner, &failure)) {
        bad_ = true;
        out_(QStringLiteral("error: after: %1: %2").arg(escapeText(line), failure));
      }
    });
    return true;
  }
  if (c.verb == u"wait") {
    bool ok = false;
    const int ms = c.text.toInt(&ok);
    if (!ok || ms < 0) {
      *error = QStringLiteral("wait needs milliseconds");
      return false;
    }
    serveEvents(ms);
    return true;
  }
  if (c.verb == u"window") {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->isVisible() && w->objectName() == c.object) {
        windows_.back() = w;
        return true;
      }
    }
    *error = QStringLiteral("no open window \"%1\"").arg(c.object);
    return false;
  }
  if (c.verb == u"snapshot") {
    main_.flushLog();
    if (!current()->grab().save(c.text, "PNG")) {
      *error = QStringLiteral("cannot write %1").arg(c.text);
      return false;
    }
    return true;
  }

  QObject* target = find(c.object, error);
  if (!target) return false;
  auto* widget = qobject_cast<QWidget*>(target);
  auto* action = qobject_cast<QAction*>(target);
  // A control on a page of a tab widget that is not in front: its page is brought forward
  // first, as a person would click the page's tab.
  if (widget && c.verb != u"print") revealPage(widget);
  if (widget && !widget->isEnabled() && c.verb != u"print") {
    *error = QStringLiteral("\"%1\" is disabled").arg(c.object);
    return false;
  }

  if (c.verb == u"menu") {
    if (!action) {
      *error = QStringLiteral("\"%1\" is not a menu entry").arg(c.object);
      return false;
    }
    if (!action->isEnabled()) {
      *error = QStringLiteral("\"%1\" is disabled").arg(c.object);
      return false;
    }
    action->trigger();
    return true;
  }
  if (c.verb == u"press") {
    auto* button = qobject_cast<QAbstractButton*>(target);
    if (!button) {
      *error = QStringLiteral("\"%1\" is not a button").arg(c.object);
      return false;
    }
    if (!button->isVisible()) {
      *error = QStringLiteral("\"%1\" is hidden").arg(c.object);
      return false;
    }
    button->click();
    return true;
  }
  if (c.verb == u"check") {
    const QString state = c.text.toLower();
    if (state != u"on" && state != u"off") {
      *error = QStringLiteral("check needs on or off");
      return false;
    }
    const bool on = state == u"on";
    if (auto* button = qobject_cast<QAbstractButton*>(target); button && button->isCheckable()) {
      if (button->isChecked() != on) button->click();
      return true;
    }
    if (action && action->isCheckable()) {
      if (action->isChecked() != on) action->trigger();
      return true;
    }
    *error = QStringLiteral("\"%1\" cannot be checked").arg(c.object);
    return false;
  }
  if (c.verb == u"set") {
    if (auto* e = qobject_cast<QLineEdit*>(target)) {
      e->setText(c.text);
    } else if (auto* combo = qobject_cast<QComboBox*>(target); combo && combo->isEditable()) {
      combo->setEditText(c.text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(target); plain && !plain->isReadOnly()) {
      plain->setPlainText(c.text);
    } else if (auto* rich = qobject_cast<QTextEdit*>(target); rich && !rich->isReadOnly()) {
      rich->setPlainText(c.text);
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(target)) {
      spin->setFocus();
      if (auto* line = spin->findChild<QLineEdit*>()) line->setText(c.text);
      spin->interpretText();
    } else {
      *error = QStringLiteral("\"%1\" does not take text").arg(c.object);
      return false;
    }
    return true;
  }
  if (c.verb == u"select") {
    if (auto* combo = qobject_cast<QComboBox*>(target)) {
      int index = combo->findText(c.text);
      for (int i = 0; index < 0 && i < combo->count(); ++i)
        if (combo->itemText(i).section(u'\t', 0, 0) == c.text) index = i;
      if (index < 0) {
        *error = QStringLiteral("\"%1\" has no entry \"%2\"").arg(c.object, escapeText(c.text));
        return false;
      }
      combo->setCurrentIndex(index);
      emit combo->activated(index);
      return true;
    }
    if (auto* list = qobject_cast<QListWidget*>(target)) {
      const auto items = list->findItems(c.text, Qt::MatchExactly);
      if (items.isEmpty()) {
        *error = QStringLiteral("\"%1\" has no entry \"%2\"").arg(c.object, escapeText(c.text));
        return false;
      }
      list->setCurrentItem(items.first());
      emit list->itemClicked(items.first());
      return true;
    }
    if (auto* tree = qobject_cast<QTreeWidget*>(target)) {
      for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        for (int col = 0; col < tree->columnCount(); ++col) {
          if (item->text(col) == c.text) {
            tree->setCurrentItem(item);
            return true;
          }
        }
      }
      *error = QStringLiteral("\"%1\" has no entry \"%2\"").arg(c.object, escapeText(c.text));
      return false;
    }
    *error = QStringLiteral("\"%1\" is not a list").arg(c.object);
    return false;
  }
  if (c.verb == u"doubleclick") {
    auto* list = qobject_cast<QListWidget*>(target);
    if (!list) {
      *error = QStringLiteral("\"%1\" is not a list").arg(c.object);
      return false;
    }
    const auto items = list->findItems(c.text, Qt::MatchExactly);
    if (items.isEmpty()) {
      *error = QStringLiteral("\"%1\" has no entry \"%2\"").arg(c.object, escapeText(c.text));
      return false;
    }
    // A double-click is a click, then the double-click.
    list->setCurrentItem(items.first());
    emit list->itemClicked(items.first());
    emit list->itemDoubleClicked(items.first());
    return true;
  }
  if (c.verb == u"key") {
    const QString key = c.text.toLower();
    int code = 0;
    if (key == u"enter")
      code = Qt::Key_Return;
    else if (key == u"escape")
      code = Qt::Key_Escape;
    if (!widget || code == 0) {
      *error = widget ? QStringLiteral("key takes Enter or Escape")
                      : QStringLiteral("\"%1\" takes no keys").arg(c.object);
      return false;
    }
    QWidget* receiver = widget;
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit())
      receiver = combo->lineEdit();
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier);
    QApplication::sendEvent(receiver, &press);
    QApplication::sendEvent(receiver, &release);
    return true;
  }
  if (c.verb == u"print") {
    QString text;
    QString colour;
    if (widget && widget->objectName() == u"txtDisp") {
      text = main_.logText();
    } else if (auto* label = qobject_cast<QLabel*>(target)) {
      text = displayText(label);  // with its CRs, shown on the screen as line breaks
      if (label->autoFillBackground()) colour = QStringLiteral(" [") + colourOf(label) + u']';
    } else if (auto* e = qobject_cast<QLineEdit*>(target)) {
      text = e->text();
    } else if (auto* combo = qobject_cast<QComboBox*>(target)) {
      text = combo->currentText();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(target)) {
      text = plain->toPlainText();
    } else if (auto* rich = qobject_cast<QTextEdit*>(target)) {
      text = rich->toPlainText();
    } else if (auto* button = qobject_cast<QAbstractButton*>(target);
               button && button->isCheckable()) {
      text = button->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
    } else if (auto* b = qobject_cast<QAbstractButton*>(target)) {
      text = b->text();
    } else if (action) {
      text = action->isCheckable()
                 ? (action->isChecked() ? QStringLiteral("on") : QStringLiteral("off"))
                 : withoutMnemonic(action->text());
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(target)) {
      text = spin->text();
    }
    out_(c.object + QStringLiteral(": ") + escapeText(text) + colour);
    return true;
  }
  *error = QStringLiteral("unknown command");
  return false;
}

}  // namespace tavo
