// The main window with its real port control (libravlin.so, created by class id) on the
// in-memory device: the line events the control reports reach the exchange, which closes the
// port and tells the operator. The window runs on the offscreen platform; message boxes are
// scripted and observed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
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
#include "app/core/test_application.h"
#include "platform/comm/memory_device.h"

namespace tavo {
namespace {

// The memory device's modem lines at creation. DSR alone goes off in these tests: the control
// reports one line event per change, and a change of carrier detect too would be reported as
// that instead.
constexpr win::DWORD kAllOn = win::MS_CTS_ON | win::MS_DSR_ON | win::MS_RLSD_ON;
constexpr win::DWORD kDsrOff = win::MS_CTS_ON | win::MS_RLSD_ON;

class Form1PortEvents : public testing::Test {
 protected:
  void SetUp() override {
    ensureTestApplication();
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

// The window's start values and its password-guarded menus.
using Form1Window = Form1PortEvents;

TEST_F(Form1Window, EnlargeNeedsThePasswordAndTogglesBack) {
  const QSize normal(640, 480);
  EXPECT_EQ(form_->size(), normal);
  auto* ir = form_->findChild<QWidget*>(QStringLiteral("chkIR"));
  auto* punch = form_->findChild<QWidget*>(QStringLiteral("chkPunch"));
  ASSERT_TRUE(ir && punch);
  EXPECT_TRUE(ir->isHidden());

  Dialogs::queueAnswer(QStringLiteral("12345"));
  form_->bench().enLarge();
  EXPECT_EQ(form_->size(), normal);
  EXPECT_TRUE(ir->isHidden());

  Dialogs::queueAnswer(QStringLiteral("48213"));
  form_->bench().enLarge();
  EXPECT_EQ(form_->windowHeightTwips(), 8610);
  EXPECT_EQ(form_->windowWidthTwips(), 12000);
  EXPECT_FALSE(ir->isHidden());
  EXPECT_FALSE(punch->isHidden());

  // Enlarged: the entry returns the window to its normal size without asking.
  messages_.clear();
  form_->bench().enLarge();
  EXPECT_EQ(form_->size(), normal);
  EXPECT_TRUE(ir->isHidden());
  EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(Form1Window, EepromWindowOpensOnlyAfterThePassword) {
  form_->switchLanguage(false);
  QList<Window> opened;
  Dialogs::queueAnswer(QStringLiteral("wrong"));
  form_->bench().eepControl();
  EXPECT_EQ(messages_, QStringList{u"Input password"_qs});  // the input box alone

  Dialogs::queueAnswer(QStringLiteral("48213"));
  form_->bench().eepControl();
  EXPECT_EQ(messages_.last(), u"This window is not available in this version."_qs);

  // A hook that opens only some windows leaves the others to the message.
  form_->bench().openWindow = [&](Window w) {
    opened << w;
    return w == Window::Eeprom;
  };
  Dialogs::queueAnswer(QStringLiteral("48213"));
  form_->bench().eepControl();
  EXPECT_EQ(opened, QList<Window>{Window::Eeprom});
  const qsizetype shown = messages_.size();
  form_->bench().openMenuWindow(Window::Version);
  EXPECT_EQ(opened.last(), Window::Version);
  ASSERT_EQ(messages_.size(), shown + 1);
  EXPECT_EQ(messages_.last(), u"This window is not available in this version."_qs);
}

TEST_F(Form1Window, PrintOffDisablesAndClearsEr) {
  auto* print = form_->findChild<QAbstractButton*>(QStringLiteral("Check3"));
  auto* er = form_->findChild<QAbstractButton*>(QStringLiteral("chkER"));
  ASSERT_TRUE(print && er);
  EXPECT_TRUE(print->isChecked());
  EXPECT_TRUE(er->isChecked());
  EXPECT_TRUE(er->isEnabled());
  print->click();
  EXPECT_FALSE(er->isChecked());
  EXPECT_FALSE(er->isEnabled());
  print->click();
  EXPECT_TRUE(er->isEnabled());
  EXPECT_FALSE(er->isChecked());
}

TEST_F(Form1Window, DspClearPutsTheBoxesBackAndEmptiesTheLabels) {
  form_->setControlText("Text2", "7");
  form_->setControlText("Label12", "V1");
  form_->setControlText("txtWd(3)", "abc");
  form_->findChild<QAbstractButton*>(QStringLiteral("Command54"))->click();
  EXPECT_EQ(form_->controlText("Text2"), u"200"_qs);
  EXPECT_EQ(form_->controlText("Text9"), u"0/0/24/esc$e221998"_qs);
  EXPECT_EQ(form_->controlText("Text14"), u"LOG000"_qs);
  EXPECT_EQ(form_->controlText("txtWd(3)"), u"2"_qs);
  EXPECT_EQ(form_->controlText("Label5(3)"), u"1"_qs);  // the length follows the box
  EXPECT_EQ(form_->controlText("Label12"), QString());
}

}  // namespace
}  // namespace tavo
