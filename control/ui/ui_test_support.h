// For the window library's tests: one QApplication on the offscreen platform, warning boxes and
// modal dialogs taken by hooks (nothing waits for a person), a page site that records what pages
// tell it, and small helpers to find widgets.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

#include "control/ui/hooks.h"
#include "platform/com/property_page.h"
#include "platform/com/unknown.h"

namespace ravlin::ui::testing {

inline void EnsureTestApplication() {
  if (QCoreApplication::instance()) return;
  static QTemporaryDir runtime;
  QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "ravlin_ui_test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

// Every test gets the application and records the warning boxes; no dialog hook is left behind.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    SetMessageHook(
        [this](const QString& title, const QString& text) { boxes.emplace_back(title, text); });
  }
  void TearDown() override {
    SetMessageHook({});
    SetDialogHook({});
  }
  std::vector<std::pair<QString, QString>> boxes;
};

// Runs the application's events until pred holds or ms pass.
inline bool PumpUntil(const std::function<bool()>& pred, int ms = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

template <class W>
W* Find(QObject* root, const QString& name) {
  W* w = root ? root->findChild<W*>(name) : nullptr;
  EXPECT_NE(w, nullptr) << name.toStdString();
  return w;
}

// A page site that records every status a page reports.
class RecordingSite final : public win::Unknown<win::IPropertyPageSite> {
 public:
  win::HRESULT OnStatusChange(win::DWORD flags) override {
    statuses.push_back(flags);
    return win::S_OK;
  }
  win::HRESULT GetLocaleID(win::LCID* id) override {
    *id = 0x0411;
    return win::S_OK;
  }
  win::HRESULT GetPageContainer(win::IUnknown**) override { return win::E_NOTIMPL; }
  win::HRESULT TranslateAccelerator(win::MSG*) override { return win::E_NOTIMPL; }
  std::vector<win::DWORD> statuses;

 private:
  win::IUnknown* FindInterface(win::REFIID riid) override {
    return riid == win::IID_IPropertyPageSite ? static_cast<win::IPropertyPageSite*>(this)
                                              : nullptr;
  }
};

}  // namespace ravlin::ui::testing
