// The controls of the EEPROM window and where they sit: the counters on the left (display, write,
// clears), the settings in the middle (TPH rank and print density, erase rank and lot, print
// position, each with its current value, list and button), the reader's texts and the other
// operations on the right. Every control carries its name as objectName.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/core/display_label.h"
#include "app/eeprom/eeprom_counters.h"
#include "app/eeprom/form_eep.h"

namespace tavo {
namespace {

QLabel* display(const QString& name, int minWidth = 48) {
  return makeDisplayLabel(name, minWidth);
}

QPushButton* button(const char* name, const QString& text) {
  auto* b = new QPushButton(text);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

// A list of fixed entries that opens with none chosen; the entries are the only values it takes.
QComboBox* choices(const char* name, const QStringList& entries) {
  auto* c = new QComboBox;
  c->setObjectName(QLatin1String(name));
  c->addItems(entries);
  c->setCurrentIndex(-1);
  return c;
}

QStringList digits(int last) {
  QStringList out;
  for (int d = 0; d <= last; ++d) out << QString::number(d);
  return out;
}

QListWidget* reference(const char* name, const QList<const char16_t*>& entries) {
  auto* l = new QListWidget;
  l->setObjectName(QLatin1String(name));
  for (const char16_t* e : entries) l->addItem(QString::fromUtf16(e));
  l->setFixedHeight(l->sizeHintForRow(0) * static_cast<int>(entries.size()) + 6);
  return l;
}

// One setting: caption, "現設定" value, list and button on a row.
void settingRow(QGridLayout* grid, int row, const QString& title, const char* valueLabel,
                QComboBox* list, QPushButton* change) {
  grid->addWidget(new QLabel(title), row, 0);
  grid->addWidget(new QLabel(QStringLiteral("現設定")), row, 1);
  grid->addWidget(display(QLatin1String(valueLabel), 56), row, 2);
  grid->addWidget(list, row, 3);
  grid->addWidget(change, row, 4);
}

}  // namespace

void FormEEP::buildWindow() {
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(8, 8, 8, 8);

  // Counters.
  auto* counters = new QGroupBox(QStringLiteral("カウント情報"));
  auto* left = new QVBoxLayout(counters);
  auto* label1 = display(QStringLiteral("Label1"), 200);
  label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label1->setMinimumHeight(label1->fontMetrics().lineSpacing() * 16 + 8);
  left->addWidget(label1, 1);
  QStringList counterNames;
  for (const Counter& c : kCounters) counterNames << QString::fromUtf16(c.listText);
  left->addWidget(choices("Combo4", counterNames));
  auto* writeRow = new QHBoxLayout;
  writeRow->addWidget(new QLabel(QStringLiteral("回数入力")));
  count_ = new QLineEdit;
  count_->setObjectName(QStringLiteral("Text1"));
  writeRow->addWidget(count_, 1);
  writeRow->addWidget(button("Command13", QStringLiteral("Write")));
  left->addLayout(writeRow);
  left->addWidget(button("Command1", QStringLiteral("各カウント情報取得")));
  left->addWidget(button("Command5", QStringLiteral("エラー回数初期化")));
  left->addWidget(button("Command7", QStringLiteral("ｴﾗｰ+ﾊﾟｽ回数初期化")));
  outer->addWidget(counters);

  // Settings.
  auto* middle = new QVBoxLayout;
  auto* tph = new QGroupBox(QStringLiteral("TPHランク"));
  auto* tphGrid = new QGridLayout(tph);
  tphGrid->addWidget(
      choices("Combo6", {QStringLiteral("V5100ﾀｲﾌﾟ(24V)"), QStringLiteral("Q7300ﾀｲﾌﾟ(24V)"),
                         QStringLiteral("Q7350ﾀｲﾌﾟ(12V)")}),
      0, 0, 1, 5);
  tphGrid->addWidget(
      reference("List1", {u" 1 > 　　　 ～ 800", u" 2 >  801 ～ 850", u" 3 >  851 ～ 900",
                          u" 4 >  901 ～ 950", u" 5 >  951 ～ 1000", u" 6 > 1001 ～ 1100",
                          u" 7 > 1101 ～ 1150", u" 8 > 1151 ～ 1200"}),
      1, 0, 1, 5);
  settingRow(tphGrid, 2, QStringLiteral("Rank"), "Label2", choices("Combo1", digits(8)),
             button("Command2", QStringLiteral("TPHﾗﾝｸ設定")));
  settingRow(tphGrid, 3, QStringLiteral("濃度"), "Label15", choices("Combo5", digits(4)),
             button("Command12", QStringLiteral("印字濃度")));
  middle->addWidget(tph);

  auto* erase = new QGroupBox(QStringLiteral("消去ランク"));
  auto* eraseGrid = new QGridLayout(erase);
  eraseGrid->addWidget(
      choices("Combo7", {QStringLiteral("標準タイプ"), QStringLiteral("特殊タイプ")}), 0, 0, 1, 5);
  eraseGrid->addWidget(reference("List2", {u" 6 > Ａ･Ｂ･Ｃ", u" 5 > Ｄ･Ｅ･Ｆ", u" 4 > Ｇ･Ｈ･Ｉ ",
                                           u" 3 > Ｉ・Ｊ    ", u" 2 > Ｋ・Ｌ   "}),
                       1, 0, 1, 5);
  settingRow(eraseGrid, 2, QStringLiteral("Rank"), "Label3", choices("Combo2", digits(9)),
             button("Command3", QStringLiteral("消去ﾗﾝｸ設定")));
  settingRow(eraseGrid, 3, QStringLiteral("ELOT"), "Label4", choices("Combo3", digits(8)),
             button("Command4", QStringLiteral("消去ﾛｯﾄ設定")));
  middle->addWidget(erase);

  auto* position = new QGroupBox(QStringLiteral("印字位置"));
  auto* positionGrid = new QGridLayout(position);
  settingRow(positionGrid, 0, QStringLiteral("位置"), "Label17", choices("Combo8", digits(8)),
             button("Command14", QStringLiteral("印字位置設定")));
  middle->addWidget(position);
  middle->addStretch(1);
  outer->addLayout(middle);

  // The reader's texts and the other operations.
  auto* right = new QVBoxLayout;
  auto* reader = new QGridLayout;
  reader->addWidget(new QLabel(QStringLiteral("ｶｰﾄﾞﾘｰﾀﾞｰ温度")), 0, 0);
  reader->addWidget(display(QStringLiteral("Label5"), 36), 0, 1);
  reader->addWidget(new QLabel(QStringLiteral("℃")), 0, 2);
  reader->addWidget(new QLabel(QStringLiteral("TH")), 1, 0);
  reader->addWidget(display(QStringLiteral("Label7"), 90), 1, 1, 1, 2);
  reader->addWidget(new QLabel(QStringLiteral("ROMﾊﾞｰｼﾞｮﾝ")), 2, 0);
  reader->addWidget(display(QStringLiteral("Label6"), 90), 2, 1, 1, 2);
  reader->addWidget(new QLabel(QStringLiteral("RE")), 3, 0);
  reader->addWidget(display(QStringLiteral("Label8"), 90), 3, 1, 1, 2);
  right->addLayout(reader);
  right->addWidget(button("Command8", QStringLiteral("CR設定情報取得")));
  right->addWidget(button("Command9", QStringLiteral("一括情報取得")));
  right->addWidget(button("Command10", QStringLiteral("RS")));
  right->addWidget(button("Command11", QStringLiteral("CRﾃﾞｰﾀ印　字")));
  erasePrint_ = new QCheckBox(QStringLiteral("消去印字"));
  erasePrint_->setObjectName(QStringLiteral("Check1"));
  right->addWidget(erasePrint_);
  right->addStretch(1);
  right->addWidget(button("Command6", QStringLiteral("終了")));
  outer->addLayout(right);
}

}  // namespace tavo
