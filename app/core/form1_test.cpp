// The main window with its real port control (libravlin.so, created by class id) on the
// in-memory device: the line events the control reports reach the exchange, which closes the
// port and tells the operator. The window runs on the offscreen platform; message boxes are
// scripted and observed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/core/dialogs.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "platform/comm/memory_device.h"

namespace tavo {
namespace {

// One application object for the process, made on first use.
void EnsureApplication() {
  static QTemporaryDir* runtime = nullptr;
  if (QCoreApplication::instance()) return;
  runtime = new QTemporaryDir;
  QFile::setPermissions(runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", runtime->path().toLocal8Bit());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "tavo_form1_test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

// The memory device's modem lines at creation. DSR alone goes off in these tests: the control
// reports one line event per change, and a change of carrier detect too would be reported as
// that instead.
constexpr win::DWORD kAllOn = win::MS_CTS_ON | win::MS_DSR_ON | win::MS_RLSD_ON;
constexpr win::DWORD kDsrOff = win::MS_CTS_ON | win::MS_RLSD_ON;

class Form1PortEvents : public testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    ASSERT_TRUE(home_.isValid());
    // The control is found beside the test binary (build/bin -> build/lib), not through a
    // registry of the machine.
    setenv("RAVLIN_REGISTRY", QDir(home_.path()).filePath("no-registry.reg").toLocal8Bit(), 1);
    device_ = win::MemoryDevice::Create("form1-test");
    setenv("RAVLIN_COM1", device_->Path().c_str(), 1);

    Module1& m = module1();
    resetLinkState(m);
    m.appEnding = false;
    m.programFolder = home_.path();
    Dialogs::setScripted(true);
    Dialogs::setObserver([this](const Dialogs::Shown& shown) { messages_ << shown.text; });

    form_ = std::make_unique<Form1>(m);
    QString error;
    ASSERT_TRUE(form_->createPort(&error)) << error.toStdString();
    form_->formLoad();
    // Line events reach the window as before; the test also notes that they came.
    auto handler = form_->port().onCommState;
    form_->port().onCommState = [this, handler](int id) {
      lineEvents_ << id;
      handler(id);
    };
  }
  void TearDown() override {
    form_.reset();
    Dialogs::setObserver({});
    device_.reset();
  }

  // Lets window events run until done() holds; false after the limit.
  bool RunUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
      if (deadline.hasExpired()) return false;
      form_->yieldEvents(20);
    }
    return true;
  }

  void OpenPort() {
    form_->exchange().commIni();
    ASSERT_TRUE(form_->port().opened()) << form_->exchange().lastOpenError().toStdString();
    ASSERT_TRUE(device_->IsOpen());
    // The scheduler shows the open state on its next tick.
    ASSERT_TRUE(RunUntil([&] { return form_->controlText("Label33") == u"True"; }));
  }

  bool Closed() { return !form_->port().opened() && !device_->IsOpen(); }

  QTemporaryDir home_;
  std::shared_ptr<win::MemoryDevice> device_;
  std::unique_ptr<Form1> form_;
  QStringList messages_;
  QList<int> lineEvents_;
};

TEST_F(Form1PortEvents, DsrGoingOffClosesThePortAndTellsTheOperator) {
  ASSERT_NO_FATAL_FAILURE(OpenPort());
  device_->SetModemLines(kDsrOff);
  ASSERT_TRUE(RunUntil([&] { return !messages_.isEmpty(); }));
  EXPECT_EQ(messages_, QStringList{QString::fromUtf16(u"端末がＯＦＦです")});
  EXPECT_TRUE(Closed());
  EXPECT_EQ(form_->controlText("Label33"), u"False");

  // The next open works again, and the English text is used when English is chosen.
  device_->SetModemLines(kAllOn);
  form_->switchLanguage(false);
  ASSERT_NO_FATAL_FAILURE(OpenPort());
  EXPECT_EQ(device_->OpenCount(), 2);
  messages_.clear();
  device_->SetModemLines(kDsrOff);
  ASSERT_TRUE(RunUntil([&] { return !messages_.isEmpty(); }));
  EXPECT_EQ(messages_, QStringList{u"Terminal OFF"_qs});
  EXPECT_TRUE(Closed());
}

// With "DSR Checkd" off, DSR going off leaves the port open; a line error afterwards still closes
// it.
// A device switched off on a full cable drops DSR and CD at once; the control reports that as a
// CD change, and the window still sees DSR off.
TEST_F(Form1PortEvents, DsrDroppingWithCarrierDetectIsSeen) {
  ASSERT_NO_FATAL_FAILURE(OpenPort());
  device_->SetModemLines(win::MS_CTS_ON);
  ASSERT_TRUE(RunUntil([&] { return !messages_.isEmpty(); }));
  EXPECT_EQ(messages_, QStringList{QString::fromUtf16(u"端末がＯＦＦです")});
  EXPECT_TRUE(Closed());
}

TEST_F(Form1PortEvents, DsrIsNotWatchedWhenDsrCheckIsOff) {
  auto* dsrChecked = form_->findChild<QAction*>(u"Check1"_qs);
  ASSERT_NE(dsrChecked, nullptr);
  ASSERT_TRUE(dsrChecked->isChecked());
  dsrChecked->setChecked(false);
  ASSERT_NO_FATAL_FAILURE(OpenPort());
  device_->SetModemLines(kDsrOff);
  ASSERT_TRUE(RunUntil([&] { return lineEvents_.contains(2); }));  // DSR changed
  EXPECT_TRUE(form_->port().opened());
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join(u' ').toStdString();
  device_->RaiseErrors(win::CE_FRAME);
  ASSERT_TRUE(RunUntil([&] { return !messages_.isEmpty(); }));
  EXPECT_EQ(messages_, QStringList{QString::fromUtf16(u"フレーミングエラーが発生しました！")});
  EXPECT_TRUE(Closed());
}

// Each line error closes the port with a message of its own.
TEST_F(Form1PortEvents, LineErrorsCloseThePortEachWithItsMessage) {
  QStringList shown;
  for (win::DWORD error : {win::CE_FRAME, win::CE_OVERRUN, win::CE_RXOVER, win::CE_RXPARITY}) {
    SCOPED_TRACE(error);
    messages_.clear();
    ASSERT_NO_FATAL_FAILURE(OpenPort());
    device_->RaiseErrors(error);
    ASSERT_TRUE(RunUntil([&] { return !messages_.isEmpty(); }));
    EXPECT_EQ(messages_.size(), 1);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(form_->controlText("Label33"), u"False");
    shown << messages_.first();
  }
  EXPECT_EQ(shown[0], QString::fromUtf16(u"フレーミングエラーが発生しました！"));
  EXPECT_EQ(shown.size(), 4);
  shown.removeDuplicates();
  EXPECT_EQ(shown.size(), 4) << shown.join(u' ').toStdString();
}

}  // namespace
}  // namespace tavo
