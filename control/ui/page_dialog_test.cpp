// The property pages with their dialogs: page objects made by class id, activated in a window
// of the test, editing the real control (and fake objects where a test needs refusals or a
// modem link).
#include "control/ui/page_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "control/page_factory.h"
#include "control/page_test_support.h"
#include "control/port_messages.h"
#include "control/port_test_support.h"
#include "control/ui/dialog_font.h"
#include "control/ui/ui_test_support.h"

namespace ravlin::ui::testing {
namespace {

using namespace win;
using ravlin::testing::FakePort;
using ravlin::testing::NextPortNumber;
using ravlin::testing::PortRig;

QStringList Items(QComboBox* combo) {
  QStringList items;
  for (int i = 0; combo && i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

LONG I4(PortRig& rig, DISPID id) {
  Variant v = rig.Get(id);
  EXPECT_EQ(v.ChangeType(VT_I4), S_OK);
  return v.lVal;
}

// One page object shown in a window of the test.
class ShownPage {
 public:
  ShownPage(const CLSID& clsid, std::initializer_list<IUnknown*> objects) {
    EXPECT_EQ(CreatePortPropertyPage(clsid, nullptr, IID_IPropertyPage, page.ReceiveVoid()), S_OK);
    site = MakeObject<RecordingSite>();
    page->SetPageSite(site.get());
    std::vector<IUnknown*> list(objects);
    EXPECT_EQ(page->SetObjects(static_cast<ULONG>(list.size()), list.data()), S_OK);
    parent = std::make_unique<QWidget>();
    parent->resize(600, 400);
    RECT rect{4, 6, 4 + 400, 6 + 300};
    EXPECT_EQ(page->Activate(parent.get(), &rect, TRUE), S_OK);
    parent->show();
    dialog = parent->findChild<PageDialog*>();
    EXPECT_NE(dialog, nullptr);
  }
  ~ShownPage() {
    if (page) {
      page->Deactivate();
      page->SetObjects(0, nullptr);
      page->SetPageSite(nullptr);
    }
  }
  template <class W>
  W* Get(int id) {
    return Find<W>(dialog, QString::number(id));
  }
  QString Label(int id) {
    auto* label = Find<QLabel>(dialog, QStringLiteral("label%1").arg(id));
    return label ? label->text() : QString();
  }

  ComPtr<IPropertyPage> page;
  ComPtr<RecordingSite> site;
  std::unique_ptr<QWidget> parent;
  PageDialog* dialog = nullptr;
};

class PageDialogs : public UiTest {};

TEST_F(PageDialogs, Page1ListsLabelsAndTheControlsValues) {
  PortRig rig(NextPortNumber());
  ASSERT_EQ(rig.Put(DISPID_Port_Handshaking, Variant::I4(hsXonXoff)), S_OK);
  ShownPage p(CLSID_Port19Ppg1, {rig.port.get()});
  ASSERT_NE(p.dialog, nullptr);
  EXPECT_EQ(p.dialog->objectName(), QStringLiteral("CPort19Ppg1"));
  EXPECT_EQ(p.dialog->pos(), QPoint(4, 6));
  EXPECT_EQ(p.dialog->size(), DialogUnitsToPixels({257, 155}, p.dialog->font()));
  EXPECT_EQ(Items(p.Get<QComboBox>(204)),
            QStringList({"300", "600", "1200", "1800", "2400", "4800", "7200", "9600", "14400",
                         "19200", "38400", "56000", "57600", "115200"}));
  EXPECT_TRUE(p.Get<QComboBox>(204)->isEditable());
  EXPECT_EQ(Items(p.Get<QComboBox>(217)), QStringList({"Even", "Mark", "None", "Odd", "Space"}));
  EXPECT_EQ(Items(p.Get<QComboBox>(218)), QStringList({"5", "6", "7", "8"}));
  EXPECT_EQ(Items(p.Get<QComboBox>(219)), QStringList({"1.0", "1.5", "2.0"}));
  EXPECT_EQ(Items(p.Get<QComboBox>(220)),
            QStringList({"Both", "DtrDsr", "None", "RtsCts", "XonXoff"}));
  EXPECT_EQ(Items(p.Get<QComboBox>(209)), QStringList({"AutoInput", "Blocking", "NonBlocking"}));
  EXPECT_FALSE(p.Get<QComboBox>(217)->isEditable());

  EXPECT_EQ(p.Get<QLineEdit>(216)->text(), QString::number(rig.portNumber_));
  EXPECT_EQ(p.Get<QComboBox>(204)->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(p.Get<QComboBox>(217)->currentText(), QStringLiteral("None"));
  EXPECT_EQ(p.Get<QComboBox>(218)->currentText(), QStringLiteral("8"));
  EXPECT_EQ(p.Get<QComboBox>(219)->currentText(), QStringLiteral("1.0"));
  EXPECT_EQ(p.Get<QComboBox>(220)->currentText(), QStringLiteral("XonXoff"));
  EXPECT_EQ(p.Get<QComboBox>(209)->currentText(), QStringLiteral("AutoInput"));
  EXPECT_EQ(p.Get<QLineEdit>(221)->text(), QStringLiteral("2000"));
  EXPECT_EQ(p.Get<QLineEdit>(222)->text(), QStringLiteral("2000"));
  EXPECT_EQ(p.Get<QLineEdit>(212)->text(), QStringLiteral("4096"));
  EXPECT_EQ(p.Get<QLineEdit>(213)->text(), QStringLiteral("4096"));
  EXPECT_TRUE(p.Get<QCheckBox>(223)->isChecked());
  EXPECT_TRUE(p.Get<QCheckBox>(224)->isChecked());
  EXPECT_EQ(p.Get<QCheckBox>(223)->text(), QStringLiteral("RTS"));
  EXPECT_EQ(p.Get<QCheckBox>(224)->text(), QStringLiteral("DTR"));
  EXPECT_EQ(p.Get<QPushButton>(215)->text(), QStringLiteral("リセット"));

  EXPECT_EQ(p.Label(216), QStringLiteral("ポート番号:"));
  EXPECT_EQ(p.Label(204), QStringLiteral("ボーレート:"));
  EXPECT_EQ(p.Label(217), QStringLiteral("パリティ:"));
  EXPECT_EQ(p.Label(218), QStringLiteral("データビット:"));
  EXPECT_EQ(p.Label(219), QStringLiteral("ストップビット:"));
  EXPECT_EQ(p.Label(220), QStringLiteral("フロー制御:"));
  EXPECT_EQ(p.Label(209), QStringLiteral("送受信モード:"));
  EXPECT_EQ(p.Label(221), QStringLiteral("送信:"));
  EXPECT_EQ(p.Label(222), QStringLiteral("受信:"));
  EXPECT_EQ(p.Label(212), QStringLiteral("送信:"));
  EXPECT_EQ(p.Label(213), QStringLiteral("受信:"));
  auto* port = Find<QGroupBox>(p.dialog, QStringLiteral("groupPortSettings"));
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->title(), QStringLiteral("ポートの設定"));
  EXPECT_EQ(Find<QGroupBox>(p.dialog, "groupTimeout")->title(), QStringLiteral("タイムアウト"));
  EXPECT_EQ(Find<QGroupBox>(p.dialog, "groupBufferSize")->title(),
            QStringLiteral("バッファサイズ"));
  EXPECT_EQ(Find<QGroupBox>(p.dialog, "groupSignalLines")->title(), QStringLiteral("信号線状態"));
  // The port group frames the first six fields and nothing else.
  for (int id : {216, 204, 217, 218, 219, 220})
    EXPECT_TRUE(port->geometry().contains(p.Get<QWidget>(id)->geometry())) << id;
  for (int id : {209, 221, 222, 212, 213})
    EXPECT_FALSE(port->geometry().intersects(p.Get<QWidget>(id)->geometry())) << id;
  // Digits only where the table says so; the send time-out takes -1.
  QString minusOne = QStringLiteral("-1");
  int pos = 0;
  EXPECT_EQ(p.Get<QLineEdit>(216)->validator()->validate(minusOne, pos), QValidator::Invalid);
  EXPECT_EQ(p.Get<QLineEdit>(221)->validator(), nullptr);
  EXPECT_EQ(p.page->IsPageDirty(), S_FALSE);
  EXPECT_TRUE(p.site->statuses.empty());
}

TEST_F(PageDialogs, Pages2And4LabelsAndLists) {
  PortRig rig(NextPortNumber());
  ASSERT_EQ(rig.Put(DISPID_Port_EventMask, Variant::I4(8 | 2048)), S_OK);
  ShownPage p2(CLSID_Port19Ppg2, {rig.port.get()});
  for (int id : {205, 207, 228, 208}) {
    QStringList expected;
    for (int i = 0; i < 128; ++i) expected << QString::number(i);
    EXPECT_EQ(Items(p2.Get<QComboBox>(id)), expected) << id;
  }
  EXPECT_EQ(p2.Get<QComboBox>(205)->currentText(), QStringLiteral("17"));
  EXPECT_EQ(p2.Get<QComboBox>(207)->currentText(), QStringLiteral("19"));
  EXPECT_EQ(p2.Label(203), QStringLiteral("干潮線:"));
  EXPECT_EQ(p2.Label(204), QStringLiteral("高潮線:"));
  EXPECT_EQ(p2.Label(205), QStringLiteral("Xon:"));
  EXPECT_EQ(p2.Label(207), QStringLiteral("Xoff:"));
  EXPECT_EQ(p2.Label(210), QStringLiteral("Input:"));
  EXPECT_EQ(p2.Label(211), QStringLiteral("Output:"));
  EXPECT_EQ(p2.Label(228), QStringLiteral("EventByte:"));
  EXPECT_EQ(p2.Label(208), QStringLiteral("ParityReplaceByte:"));
  EXPECT_EQ(p2.Get<QCheckBox>(225)->text(), QStringLiteral("ヌル文字の破棄"));
  EXPECT_EQ(p2.Get<QCheckBox>(231)->text(), QStringLiteral("AllowConnection"));
  EXPECT_TRUE(p2.Get<QCheckBox>(231)->isChecked());
  EXPECT_EQ(Find<QGroupBox>(p2.dialog, "groupXonXoff")->title(),
            QStringLiteral("Xon/Xoffキャラクタ"));
  EXPECT_EQ(Find<QGroupBox>(p2.dialog, "groupThresholds")->title(),
            QStringLiteral("InputThreshold/OutputThreshold"));
  EXPECT_EQ(Find<QGroupBox>(p2.dialog, "groupFlowControl")->title(), QStringLiteral("フロー制御"));

  ShownPage p4(CLSID_Port19Ppg4, {rig.port.get()});
  const std::pair<int, const char*> boxes[] = {
      {214, "リング検出(RING)"},
      {215, "ブレーク検出(BREAK)"},
      {216, "CTS信号状態変化(CTS)"},
      {217, "DSR信号状態変化(DSR)"},
      {218, "CD信号状態変化(RLSD)"},
      {219, "受信バッファ80%超える(RX80FULL)"},
      {220, "文字を受信(RXCHAR)"},
      {221, "イベントバイトを受信(RXFLAG)"},
      {222, "バッファが空なった(TXEMPTY)"},
      {223, "ラインステータスエラー(ERR)"},
      {224, "デバイス特有イベント(EVENT1)"},
      {225, "デバイス特有イベント(EVENT2)"},
  };
  for (const auto& [id, text] : boxes) {
    auto* box = p4.Get<QCheckBox>(id);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString::fromUtf8(text));
    EXPECT_EQ(box->isChecked(), id == 216 || id == 224) << id;
  }
  EXPECT_EQ(Find<QLabel>(p4.dialog, "note")->text(),
            QStringLiteral("※チェックされたイベントだけが発生します。"));
  EXPECT_EQ(Find<QGroupBox>(p4.dialog, "groupEventMask")->title(),
            QStringLiteral("イベントの抑制"));
}

TEST_F(PageDialogs, EveryKindOfEditMarksThePageDirtyAndTellsTheSite) {
  PortRig rig(NextPortNumber());
  ShownPage p(CLSID_Port19Ppg1, {rig.port.get()});
  const DWORD dirty = PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE;
  p.Get<QLineEdit>(222)->setText(QStringLiteral("1500"));
  EXPECT_EQ(p.page->IsPageDirty(), S_OK);
  ASSERT_EQ(p.site->statuses.size(), 1u);
  EXPECT_EQ(p.site->statuses[0], dirty);
  p.page->Apply();
  EXPECT_EQ(p.page->IsPageDirty(), S_FALSE);
  p.Get<QComboBox>(217)->setCurrentIndex(3);  // CBN_SELCHANGE
  EXPECT_EQ(p.page->IsPageDirty(), S_OK);
  p.page->Apply();
  p.Get<QComboBox>(204)->setEditText(QStringLiteral("4"));  // CBN_EDITCHANGE
  EXPECT_EQ(p.page->IsPageDirty(), S_OK);
  p.page->Apply();
  p.Get<QCheckBox>(224)->click();
  EXPECT_EQ(p.page->IsPageDirty(), S_OK);
  EXPECT_EQ(p.site->statuses, (std::vector<DWORD>{dirty, dirty, dirty, dirty}));
}

TEST_F(PageDialogs, ApplyWritesThePageToTheControl) {
  PortRig rig(NextPortNumber());
  ShownPage p(CLSID_Port19Ppg1, {rig.port.get()});
  p.Get<QComboBox>(204)->setEditText(QStringLiteral("57600"));
  p.Get<QComboBox>(217)->setCurrentIndex(0);  // Even
  p.Get<QComboBox>(220)->setCurrentIndex(2);  // None
  p.Get<QComboBox>(209)->setCurrentIndex(2);  // NonBlocking
  p.Get<QLineEdit>(221)->setText(QStringLiteral("-1"));
  p.Get<QLineEdit>(213)->setText(QStringLiteral("1024"));
  p.Get<QCheckBox>(223)->setChecked(false);
  EXPECT_EQ(p.page->Apply(), S_OK);
  EXPECT_EQ(p.page->IsPageDirty(), S_FALSE);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(I4(rig, DISPID_Port_BaudRate), 57600);
  EXPECT_EQ(I4(rig, DISPID_Port_Parity), parEven);
  EXPECT_EQ(I4(rig, DISPID_Port_Handshaking), hsNone);
  EXPECT_EQ(I4(rig, DISPID_Port_IOMode), iomNonBlocking);
  EXPECT_EQ(I4(rig, DISPID_Port_OutputTimeout), -1);
  EXPECT_EQ(I4(rig, DISPID_Port_InputBufferSize), 1024);
  EXPECT_EQ(I4(rig, DISPID_Port_Rts), 0);
  EXPECT_EQ(I4(rig, DISPID_Port_Dtr), -1);

  ShownPage p4(CLSID_Port19Ppg4, {rig.port.get()});
  p4.Get<QCheckBox>(222)->setChecked(true);   // TXEMPTY
  p4.Get<QCheckBox>(216)->setChecked(false);  // CTS
  p4.page->Apply();
  EXPECT_EQ(I4(rig, DISPID_Port_EventMask), 376 + 4 - 8);
}

TEST_F(PageDialogs, XonEqualToXoffShowsTheBoxPutsTheListBackAndWritesNothingAfterIt) {
  PortRig rig(NextPortNumber());
  ShownPage p(CLSID_Port19Ppg2, {rig.port.get()});
  p.Get<QComboBox>(205)->setCurrentIndex(19);
  p.Get<QLineEdit>(210)->setText(QStringLiteral("500"));
  p.Get<QCheckBox>(231)->setChecked(false);
  EXPECT_EQ(p.page->Apply(), S_OK);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, QStringLiteral("Xon Character"));
  EXPECT_EQ(boxes[0].second,
            QString::fromStdU16String(std::u16string(portMessageText(msgXonEqualsXoff))));
  EXPECT_EQ(p.Get<QComboBox>(205)->currentText(), QStringLiteral("17"));
  EXPECT_EQ(p.Get<QComboBox>(205)->count(), 128);
  EXPECT_EQ(I4(rig, DISPID_Port_InputThreshold), 20000);
  EXPECT_EQ(I4(rig, DISPID_Port_AllowConnection), -1);
  EXPECT_EQ(p.page->IsPageDirty(), S_FALSE);
}

TEST_F(PageDialogs, WhenTheFirstObjectRefusesTheSecondIsStillWritten) {
  auto refusing = MakeObject<FakePort>();
  refusing->refusals[DISPID_Port_BaudRate] = {portErrorHResult(msgModemLinked),
                                              std::u16string(portMessageText(msgModemLinked))};
  PortRig rig(NextPortNumber());
  ShownPage p(CLSID_Port19Ppg1, {refusing.get(), rig.port.get()});
  p.Get<QComboBox>(204)->setEditText(QStringLiteral("2400"));
  p.Get<QLineEdit>(222)->setText(QStringLiteral("900"));
  p.page->Apply();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, QStringLiteral("BaudRate"));
  EXPECT_EQ(boxes[0].second.toStdU16String(), portMessageText(msgModemLinked));
  // The field shows the refusing object's value; the other object got everything.
  EXPECT_EQ(p.Get<QComboBox>(204)->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(refusing->WrittenIds(),
            (std::vector<DISPID>{DISPID_Port_PortNumber, DISPID_Port_BaudRate}));
  EXPECT_EQ(I4(rig, DISPID_Port_BaudRate), 2400);
  EXPECT_EQ(I4(rig, DISPID_Port_InputTimeout), 900);
}

TEST_F(PageDialogs, ResetButtonsWriteTheDefaultsAndLeaveThePagesClean) {
  PortRig rig(NextPortNumber());
  {
    ShownPage p(CLSID_Port19Ppg1, {rig.port.get()});
    p.Get<QComboBox>(204)->setEditText(QStringLiteral("300"));
    p.page->Apply();
    p.Get<QLineEdit>(222)->setText(QStringLiteral("77"));
    EXPECT_EQ(p.page->IsPageDirty(), S_OK);
    p.Get<QPushButton>(215)->click();
    EXPECT_EQ(p.page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(I4(rig, DISPID_Port_BaudRate), 9600);
    EXPECT_EQ(I4(rig, DISPID_Port_InputTimeout), 2000);
    EXPECT_EQ(I4(rig, DISPID_Port_PortNumber), 1);
    EXPECT_EQ(I4(rig, DISPID_Port_Dtr), 0);  // a new control has TRUE; the reset drops them
    EXPECT_EQ(I4(rig, DISPID_Port_Rts), 0);
    EXPECT_FALSE(p.Get<QCheckBox>(223)->isChecked());
    EXPECT_FALSE(p.Get<QCheckBox>(224)->isChecked());
    EXPECT_EQ(p.Get<QComboBox>(204)->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(p.Get<QLineEdit>(222)->text(), QStringLiteral("2000"));
  }
  ASSERT_EQ(rig.Put(DISPID_Port_XonByte, Variant::UI1(1)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_NullDiscard, Variant::Bool(true)), S_OK);
  {
    ShownPage p(CLSID_Port19Ppg2, {rig.port.get()});
    p.Get<QPushButton>(230)->click();
    EXPECT_EQ(I4(rig, DISPID_Port_XonByte), 17);
    EXPECT_EQ(I4(rig, DISPID_Port_NullDiscard), 0);
    EXPECT_EQ(p.Get<QComboBox>(205)->currentText(), QStringLiteral("17"));
    EXPECT_FALSE(p.Get<QCheckBox>(225)->isChecked());
    EXPECT_EQ(p.page->IsPageDirty(), S_FALSE);
  }
  ASSERT_EQ(rig.Put(DISPID_Port_EventMask, Variant::I4(0)), S_OK);
  {
    ShownPage p(CLSID_Port19Ppg4, {rig.port.get()});
    EXPECT_FALSE(p.Get<QCheckBox>(214)->isChecked());
    p.Get<QPushButton>(226)->click();
    EXPECT_EQ(I4(rig, DISPID_Port_EventMask), 376);
    EXPECT_TRUE(p.Get<QCheckBox>(214)->isChecked());
    EXPECT_EQ(p.page->IsPageDirty(), S_FALSE);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PageDialogs, AModemLinkedObjectDisablesTheLineSettingsAndApplyLeavesThemAlone) {
  auto linked = MakeObject<FakePort>();
  linked->modemLink = true;
  ShownPage p(CLSID_Port19Ppg1, {linked.get()});
  for (int id : {216, 204, 217, 218, 219, 220}) EXPECT_FALSE(p.Get<QWidget>(id)->isEnabled()) << id;
  for (int id : {209, 221, 222, 212, 213, 223, 224})
    EXPECT_TRUE(p.Get<QWidget>(id)->isEnabled()) << id;
  p.Get<QLineEdit>(212)->setText(QStringLiteral("512"));
  p.page->Apply();
  for (DISPID id : linked->WrittenIds())
    for (DISPID line : {DISPID_Port_PortNumber, DISPID_Port_BaudRate, DISPID_Port_Parity,
                        DISPID_Port_DataBits, DISPID_Port_StopBits, DISPID_Port_Handshaking})
      EXPECT_NE(id, line);
  EXPECT_EQ(linked->Written(DISPID_Port_OutputBufferSize).lVal, 512);
}

TEST_F(PageDialogs, APageOutlivesItsDialogAndMeasuresItsSizeInTheDialogFont) {
  PortRig rig(NextPortNumber());
  ShownPage p(CLSID_Port19Ppg1, {rig.port.get()});
  PROPPAGEINFO info{};
  ASSERT_EQ(p.page->GetPageInfo(&info), S_OK);
  const QSize pixels = DialogUnitsToPixels({257, 155});
  EXPECT_EQ(QSize(info.size.cx, info.size.cy), pixels);
  FreePropPageInfo(&info);
  RECT moved{10, 20, 10, 20};
  EXPECT_EQ(p.page->Move(&moved), S_OK);
  EXPECT_EQ(p.dialog->pos(), QPoint(10, 20));
  EXPECT_EQ(p.page->Show(SW_HIDE), S_OK);
  EXPECT_FALSE(p.dialog->isVisible());
  // The window the dialog lives in goes first: the page no longer has a dialog to use.
  p.parent.reset();
  EXPECT_EQ(p.page->Show(SW_SHOW), E_UNEXPECTED);
  EXPECT_EQ(p.page->Deactivate(), S_OK);
  EXPECT_EQ(p.page->Apply(), S_OK);
}

}  // namespace
}  // namespace ravlin::ui::testing
