#include "app/core/form_com.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/core/dialogs.h"
#include "app/core/form_devices.h"
#include "app/core/modal.h"
#include "app/core/settings_file.h"
#include "app/core/text_utils.h"

namespace tavo {
namespace {

void selectValue(QComboBox* combo, const QVariant& value) {
  combo->setCurrentIndex(0);
  for (int i = 0; i < combo->count(); ++i) {
    if (combo->itemData(i) == value) {
      combo->setCurrentIndex(i);
      return;
    }
  }
}

}  // namespace

FormCOM::FormCOM(Module1& m, QWidget* parent) : QDialog(parent), m_(m) {
  setObjectName(QStringLiteral("FormCOM"));
  setWindowTitle(QString::fromUtf16(u"通信設定"));

  for (int i = 0; i < 6; ++i) {
    combo_[i] = new QComboBox;
    combo_[i]->setObjectName(QStringLiteral("Combo%1").arg(i));
    combo_[i]->setMinimumWidth(170);
  }
  for (int port = 1; port <= 256; ++port)
    combo_[0]->addItem(QStringLiteral("Com%1").arg(port), port);
  for (int rate : {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200})
    combo_[1]->addItem(QStringLiteral("%1bps").arg(rate, 6), rate);
  combo_[2]->addItem(QString::fromUtf16(u"パリティなし\tparNone"), 0);
  combo_[2]->addItem(QString::fromUtf16(u"奇数パリティ\tparOdd"), 1);
  combo_[2]->addItem(QString::fromUtf16(u"偶数パリティ\tparEven"), 2);
  combo_[3]->addItem(QStringLiteral("8 bit"), 8);
  combo_[3]->addItem(QStringLiteral("7 bit"), 7);
  combo_[4]->addItem(QStringLiteral("  1 bit"));
  combo_[4]->addItem(QStringLiteral("1.5 bit"));
  combo_[4]->addItem(QStringLiteral("  2 bit"));
  combo_[5]->addItem(QString::fromUtf16(u"なし"), 0);
  combo_[5]->addItem(QStringLiteral("Xon/Xoff"), 1);
  combo_[5]->addItem(QStringLiteral("RTS/CTS"), 2);
  combo_[5]->addItem(QString::fromUtf16(u"Xon/Xof・RTS/CTS"), 3);
  combo_[5]->addItem(QStringLiteral("DTR/DSR"), 4);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  const char* captions[6] = {"Port",      "BoudRate",  "Parity Check",
                             "Data Bits", "Stop Bits", "Handshaking"};
  for (int i = 0; i < 6; ++i) {
    grid->addWidget(new QLabel(QLatin1String(captions[i])), i, 0);
    grid->addWidget(combo_[i], i, 1);
  }
  grid->addWidget(new QLabel(QStringLiteral("bps")), 1, 2);

  auto* set = new QPushButton(QStringLiteral("Comm Set"));
  set->setObjectName(QStringLiteral("Command22"));
  set->setDefault(true);
  auto* devices = new QPushButton(QString::fromUtf16(u"デバイスマネージャー"));
  devices->setObjectName(QStringLiteral("DeviceManager"));
  connect(set, &QPushButton::clicked, this, [this] { Command22_Click(); });
  connect(devices, &QPushButton::clicked, this, [this] { DeviceManager_Click(); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(devices);
  buttons->addStretch(1);
  buttons->addWidget(set);

  auto* outer = new QVBoxLayout(this);
  outer->addLayout(grid);
  outer->addLayout(buttons);

  formLoad();
}

void FormCOM::formLoad() {
  adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  selectValue(combo_[0], m_.portNumber);
  selectValue(combo_[1], m_.baudRate);
  selectValue(combo_[2], m_.parity);
  selectValue(combo_[3], m_.dataBits);
  selectValue(combo_[5], m_.handshaking);
  if (m_.stopBits == 1.0f)
    combo_[4]->setCurrentIndex(0);
  else if (m_.stopBits == 1.5f)
    combo_[4]->setCurrentIndex(1);
  else if (m_.stopBits == 2.0f)
    combo_[4]->setCurrentIndex(2);
}

void FormCOM::Command22_Click() {
  m_.portNumber = combo_[0]->currentData().toInt();
  m_.baudRate = combo_[1]->currentData().toInt();
  m_.parity = static_cast<qint16>(combo_[2]->currentData().toInt());
  m_.dataBits = static_cast<qint16>(combo_[3]->currentData().toInt());
  m_.handshaking = static_cast<qint16>(combo_[5]->currentData().toInt());
  m_.stopBits = static_cast<float>(valNumber(combo_[4]->currentText()));
  if (!writeCommSettings(m_)) {
    // The choices still apply to this session; the operator learns they will not be kept.
    Dialogs::message(
        this,
        (m_.japaneseMode == 1 ? QString::fromUtf16(u"設定ファイルに書き込めません: ")
                              : QStringLiteral("The settings file cannot be written: ")) +
            m_.iniFile,
        MsgIcon::Exclamation);
  }
  accept();
}

void FormCOM::DeviceManager_Click() {
  FormDevices devices(this);
  connect(&devices, &FormDevices::portChosen, this,
          [this](int port) { selectValue(combo_[0], port); });
  execModal(&devices);
}

}  // namespace tavo
