#include "app/tavotest/headless_press.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include "app/core/dialogs.h"
#include "app/core/form1.h"
#include "app/core/messages.h"
#include "app/core/module1.h"
#include "app/tavotest/headless_run.h"
#include "app/tavotest/transcript.h"
#include "app/tavotest/ui_script.h"

namespace tavo {
namespace {

QWidget* findControl(Form1& form, const QString& name) {
  for (QWidget* w : form.findChildren<QWidget*>())
    if (w->objectName() == name) return w;
  for (auto* b : form.findChildren<QAbstractButton*>())
    if (b->text() == name) return b;
  return nullptr;
}

bool usable(QWidget* w, const QString& name) {
  revealPage(w);
  // The window itself is not shown in a headless run: what counts is whether the control would
  // be seen in it.
  if (!w->isVisibleTo(w->window())) {
    printLine(QStringLiteral("error: \"%1\" is hidden").arg(escapeText(name)));
    return false;
  }
  if (!w->isEnabled()) {
    printLine(QStringLiteral("error: \"%1\" is disabled").arg(escapeText(name)));
    return false;
  }
  return true;
}

bool apply(Form1& form, const Preset& p) {
  QWidget* w = findControl(form, p.object);
  if (!w) {
    printLine(QStringLiteral("error: no object \"%1\"").arg(escapeText(p.object)));
    return false;
  }
  if (!usable(w, p.object)) return false;
  if (p.kind == Preset::Check) {
    auto* box = qobject_cast<QAbstractButton*>(w);
    const QString state = p.value.toLower();
    if (!box || !box->isCheckable() || (state != u"on" && state != u"off")) {
      printLine(QStringLiteral("error: \"%1\" cannot be checked %2")
                    .arg(escapeText(p.object), escapeText(p.value)));
      return false;
    }
    if (box->isChecked() != (state == u"on")) box->click();
    return true;
  }
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setText(p.value);
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    if (combo->isEditable()) {
      combo->setEditText(p.value);
    } else {
      const int index = combo->findText(p.value);
      if (index < 0) {
        printLine(QStringLiteral("error: \"%1\" has no entry \"%2\"")
                      .arg(escapeText(p.object), escapeText(p.value)));
        return false;
      }
      combo->setCurrentIndex(index);
    }
  } else {
    printLine(QStringLiteral("error: \"%1\" does not take text").arg(escapeText(p.object)));
    return false;
  }
  return true;
}

}  // namespace

bool parsePreset(Preset::Kind kind, const QString& argument, Preset* preset) {
  const qsizetype eq = argument.indexOf(u'=');
  if (eq <= 0) return false;
  preset->kind = kind;
  preset->object = argument.left(eq);
  preset->value = argument.mid(eq + 1);
  return true;
}

int runPresses(Form1& form, const QList<Preset>& presets, const QStringList& presses) {
  Module1& m = module1();
  auto finish = [&form](int status) {
    form.formQueryUnload();
    return status;
  };
  for (const Preset& p : presets)
    if (!apply(form, p)) return finish(4);
  QList<QAbstractButton*> buttons;
  for (const QString& name : presses) {
    auto* b = qobject_cast<QAbstractButton*>(findControl(form, name));
    if (!b) {
      printLine(QStringLiteral("error: no button \"%1\"").arg(escapeText(name)));
      return finish(4);
    }
    buttons << b;
  }

  m.stopRequest = 0;
  form.exchange().commIni();
  if (!form.port().opened()) {
    Dialogs::message(&form, form.exchange().lastOpenError(), MsgIcon::Critical);
    return finish(2);
  }

  for (int i = 0; i < buttons.size(); ++i) {
    if (!usable(buttons[i], presses[i])) return finish(4);
    buttons[i]->click();
    printResultLine(form);
    if (m.appEnding) return finish(2);
  }
  // No reply at all to the last command: the port closed under it, or the device went silent.
  if (m.replyType.isEmpty()) return finish(2);
  const bool failed =
      form.bench().lastTestFailed() || (m.replyType == u"A" && !isOkStatus(m.replyStatus));
  return finish(failed ? 1 : 0);
}

}  // namespace tavo
