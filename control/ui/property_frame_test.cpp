// The property frame as Configure and the properties verb show it: tabs, Apply, OK and Cancel,
// the module lock while the pages live, and a port that is open.
#include "control/ui/property_frame.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "control/module.h"
#include "control/page_factory.h"
#include "control/port_test_support.h"
#include "control/ui/ui_test_support.h"
#include "control/ui_loader.h"

#include <thread>

namespace ravlin::ui::testing {
namespace {

using namespace win;
using ravlin::testing::NextPortNumber;
using ravlin::testing::PortRig;

LONG I4(PortRig& rig, DISPID id) {
  Variant v = rig.Get(id);
  EXPECT_EQ(v.ChangeType(VT_I4), S_OK);
  return v.lVal;
}

template <class W>
W* OnPage(QDialog& frame, int tab, int id) {
  auto* holder = Find<QWidget>(&frame, QStringLiteral("tab%1").arg(tab));
  return holder ? Find<W>(holder, QString::number(id)) : nullptr;
}

class Frame : public UiTest {};

TEST_F(Frame, ConfigureShowsThePagesInOrderAndAnswersTrueWhenClosed) {
  PortRig rig(NextPortNumber());
  int shown = 0;
  const LONG locksBefore = ModuleLockCount();
  SetDialogHook([&](QDialog& frame) {
    ++shown;
    EXPECT_EQ(frame.objectName(), QStringLiteral("PropertyFrame"));
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Portのプロパティ"));
    EXPECT_TRUE(frame.isModal());
    auto* tabs = Find<QTabWidget>(&frame, QStringLiteral("tabs"));
    EXPECT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("全般"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("送受信の設定"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("イベントの抑制"));
    EXPECT_NE(Find<QWidget>(tabs->widget(0), QStringLiteral("CPort19Ppg1")), nullptr);
    EXPECT_NE(Find<QWidget>(tabs->widget(1), QStringLiteral("CPort19Ppg2")), nullptr);
    EXPECT_NE(Find<QWidget>(tabs->widget(2), QStringLiteral("CPort19Ppg4")), nullptr);
    // The pages show the control's values, and while they live the library stays loaded.
    EXPECT_EQ(OnPage<QComboBox>(frame, 0, 204)->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(ModuleLockCount(), locksBefore + 3);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_FALSE(Find<QPushButton>(&frame, QStringLiteral("apply"))->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(&frame, QStringLiteral("ok"))->isDefault());
    Find<QPushButton>(&frame, QStringLiteral("cancel"))->click();
  });
  EXPECT_EQ(rig.Run(DISPID_Port_Configure), "true");
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ModuleLockCount(), locksBefore);
}

TEST_F(Frame, ApplyIsEnabledWhileAPageIsDirtyAndOkAppliesBeforeClosing) {
  PortRig rig(NextPortNumber());
  SetDialogHook([&](QDialog& frame) {
    auto* apply = Find<QPushButton>(&frame, QStringLiteral("apply"));
    OnPage<QComboBox>(frame, 0, 204)->setEditText(QStringLiteral("4800"));
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_EQ(I4(rig, DISPID_Port_BaudRate), 9600);
    apply->click();
    EXPECT_EQ(I4(rig, DISPID_Port_BaudRate), 4800);
    EXPECT_FALSE(apply->isEnabled());
    // A change on another page; OK applies it and closes.
    OnPage<QLineEdit>(frame, 1, 210)->setText(QStringLiteral("321"));
    EXPECT_TRUE(apply->isEnabled());
    Find<QPushButton>(&frame, QStringLiteral("ok"))->click();
  });
  EXPECT_EQ(rig.Run(DISPID_Port_Configure), "true");
  EXPECT_EQ(I4(rig, DISPID_Port_InputThreshold), 321);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Frame, CancelClosesWithoutApplyingAndTheVerbShowsTheSameFrame) {
  PortRig rig(NextPortNumber());
  int shown = 0;
  SetDialogHook([&](QDialog& frame) {
    ++shown;
    OnPage<QLineEdit>(frame, 0, 222)->setText(QStringLiteral("3333"));
    Find<QPushButton>(&frame, QStringLiteral("cancel"))->click();
  });
  EXPECT_EQ(rig.Run(DISPID_Port_Configure), "true");
  EXPECT_EQ(I4(rig, DISPID_Port_InputTimeout), 2000);
  ComPtr<IOleObject> ole;
  ASSERT_EQ(rig.port.As(IID_IOleObject, &ole), S_OK);
  EXPECT_EQ(ole->DoVerb(0, nullptr), S_OK);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(I4(rig, DISPID_Port_InputTimeout), 2000);
}

TEST_F(Frame, ARefusalOnOkShowsItsBoxAndTheFrameStillCloses) {
  PortRig rig(NextPortNumber());
  SetDialogHook([&](QDialog& frame) {
    OnPage<QComboBox>(frame, 1, 207)->setCurrentIndex(17);  // Xoff 17 while Xon is 17
    Find<QPushButton>(&frame, QStringLiteral("ok"))->click();
  });
  EXPECT_EQ(rig.Run(DISPID_Port_Configure), "true");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, QStringLiteral("Xoff Character"));
  EXPECT_EQ(I4(rig, DISPID_Port_XoffByte), 19);
}

TEST_F(Frame, AnOpenPortAnswersFalseWithoutAFrame) {
  PortRig rig(NextPortNumber());
  ASSERT_TRUE(rig.Open());
  int shown = 0;
  SetDialogHook([&](QDialog& frame) {
    ++shown;
    frame.reject();
  });
  EXPECT_EQ(rig.Run(DISPID_Port_Configure), "false");
  EXPECT_EQ(shown, 0);
}

TEST_F(Frame, TheFrameIsOwnedByTheActiveWindow) {
  PortRig rig(NextPortNumber());
  QWidget owner;
  owner.setGeometry(50, 50, 300, 200);
  owner.show();
  QApplication::setActiveWindow(&owner);
  ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == &owner; }, 3000));
  QWidget* parent = nullptr;
  SetDialogHook([&](QDialog& frame) {
    parent = frame.parentWidget();
    frame.reject();
  });
  EXPECT_EQ(rig.Run(DISPID_Port_Configure), "true");
  EXPECT_EQ(parent, &owner);
}

TEST_F(Frame, APageThatCannotBeActivatedShowsNothing) {
  PortRig rig(NextPortNumber());
  ComPtr<IPropertyPage> good, broken;
  ASSERT_EQ(
      CreatePortPropertyPage(CLSID_Port19Ppg1, nullptr, IID_IPropertyPage, good.ReceiveVoid()),
      S_OK);
  int shown = 0;
  SetDialogHook([&](QDialog& frame) {
    ++shown;
    frame.reject();
  });
  IUnknown* objects[] = {rig.port.get()};
  IPropertyPage* pages[] = {good.get(), nullptr};
  EXPECT_EQ(ShowPropertyFrame(nullptr, QStringLiteral("Port"), objects, pages, 0x0411), E_POINTER);
  EXPECT_EQ(shown, 0);
  // The page that was set up is let go again: it holds no objects and shows no dialog.
  EXPECT_EQ(good->Show(SW_SHOW), E_UNEXPECTED);
  EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, u"Port", 1, nullptr, 0, nullptr, 0, 0, nullptr),
            E_INVALIDARG);
}

TEST_F(Frame, AnotherThreadThanTheApplicationsGetsTheReasonInsteadOfAWindow) {
  HRESULT hr = S_OK;
  bool gotEntries = true, gotLoaded = true;
  std::u16string why;
  std::thread([&] {
    gotEntries = RequireUi(&hr) != nullptr;
    why = ravlin::testing::TakeErrorDescription();
    gotLoaded = LoadedUi() != nullptr;
  }).join();
  EXPECT_FALSE(gotEntries);
  EXPECT_FALSE(gotLoaded);
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(why, kWrongThreadText);
  // On the application's thread the same library is ready.
  EXPECT_NE(RequireUi(&hr), nullptr);
  EXPECT_EQ(hr, S_OK);
  EXPECT_NE(LoadedUi(), nullptr);
}

}  // namespace
}  // namespace ravlin::ui::testing
