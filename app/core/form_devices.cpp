#include "app/core/form_devices.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/core/serial_devices.h"

namespace tavo {

FormDevices::FormDevices(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormDevices"));
  setWindowTitle(QStringLiteral("Serial devices"));

  list_ = new QTreeWidget;
  list_->setObjectName(QStringLiteral("DeviceList"));
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({QStringLiteral("COM"), QStringLiteral("Device"), QStringLiteral("Is"),
                          QStringLiteral("Note")});
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { useSelected(); });

  auto* refreshButton = new QPushButton(QStringLiteral("Refresh"));
  refreshButton->setObjectName(QStringLiteral("Refresh"));
  auto* use = new QPushButton(QStringLiteral("Use"));
  use->setObjectName(QStringLiteral("Use"));
  auto* close = new QPushButton(QStringLiteral("Close"));
  close->setObjectName(QStringLiteral("Close"));
  connect(refreshButton, &QPushButton::clicked, this, &FormDevices::refresh);
  connect(use, &QPushButton::clicked, this, &FormDevices::useSelected);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(refreshButton);
  buttons->addStretch(1);
  buttons->addWidget(use);
  buttons->addWidget(close);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(list_, 1);
  outer->addLayout(buttons);
  resize(620, 300);
  refresh();
}

void FormDevices::refresh() {
  list_->clear();
  for (const SerialDevice& d : scanSerialDevices()) {
    QStringList ports;
    for (int n : d.comPorts) ports << QStringLiteral("COM%1").arg(n);
    auto* item =
        new QTreeWidgetItem(list_, {ports.join(QStringLiteral(", ")), d.path, d.target, d.note});
    item->setData(0, Qt::UserRole, d.comPorts.isEmpty() ? 0 : d.comPorts.first());
  }
  if (list_->topLevelItemCount() == 0)
    new QTreeWidgetItem(list_, {QString(), QStringLiteral("(no serial device found)")});
}

void FormDevices::useSelected() {
  QTreeWidgetItem* item = list_->currentItem();
  const int port = item ? item->data(0, Qt::UserRole).toInt() : 0;
  if (port <= 0) return;
  emit portChosen(port);
  accept();
}

}  // namespace tavo
