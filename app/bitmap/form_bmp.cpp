// The bitmap window: opening, settings, picture loading and preview, the conversions and the
// assembler data export. The device sequences are in bitmap_download.cpp.
#include "app/bitmap/form_bmp.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "app/bitmap/bitmap_settings.h"
#include "app/bitmap/card_preview.h"
#include "app/core/dialogs.h"
#include "app/core/display_label.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "app/core/settings_file.h"

namespace tavo {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kMessageLineMax = 26;
// The preview's height in pixels for the whole image and for the image with text.
constexpr int kWholePreviewHeight = 6960 / kTwipsPerPixel;
constexpr int kTextPreviewHeight = 4560 / kTwipsPerPixel;

const QColor kWorking(0xFF, 0xFF, 0x00);  // yellow
const QColor kResting(0x00, 0xFF, 0xFF);  // cyan

void setRadio(QRadioButton* button, bool on) {
  button->setAutoExclusive(false);
  button->setChecked(on);
  button->setAutoExclusive(true);
}

}  // namespace

FormBMP::FormBMP(Form1& main)
    : QMainWindow(&main, Qt::Window), main_(main), m_(main.shared()), x_(main.exchange()) {
  setObjectName(QStringLiteral("FormBMP"));
  setWindowTitle(QStringLiteral("BMP Down Load"));
  buildWindow();
  buildMenus();
  connectControls();
  setButtons(true);
}

void FormBMP::connectControls() {
  auto onClick = [this](const char* name, auto handler) {
    connect(findChild<QPushButton*>(QLatin1String(name)), &QPushButton::clicked, this, handler);
  };
  onClick("Command1", [this] { Command1_Click(); });
  onClick("Command3", [this] { loadFromFile(); });
  onClick("Command7", [this] { loadFromClipboard(); });
  onClick("Command8", [this] { Command8_Click(); });
  onClick("Command5", [this] { Command5_Click(); });
  onClick("Command10", [this] { Command10_Click(); });
  onClick("Command11", [this] { Command11_Click(); });
  onClick("Command6", [this] { Command6_Click(); });
  connect(allImage_, &QCheckBox::clicked, this, [this] { Check2_Click(); });
  // The zoom takes effect when the list changes and when the focus leaves it (a typed value).
  connect(zoom_, &QComboBox::currentIndexChanged, this, [this] { Combo3_Change(); });
  connect(zoom_->lineEdit(), &QLineEdit::editingFinished, this, [this] { Combo3_Change(); });
  connect(zoom_->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { findChild<QPushButton*>(QStringLiteral("Command8"))->setFocus(); });
  connect(vScroll_, &QScrollBar::valueChanged, this, [this] { drawPreview(); });
  connect(hScroll_, &QScrollBar::valueChanged, this, [this] { drawPreview(); });
  preview_->onDoubleClick = [this] {
    if (!loadFromClipboard()) loadFromFile();
  };
  for (int i = 0; i < 4; ++i)
    connect(lines_[i], &QLineEdit::textChanged, this, [this, i] { messageLineChanged(i); });
}

bool FormBMP::japanese() const {
  return m_.japaneseMode == 1;
}

void FormBMP::formLoad() {
  const int offset = 200 / kTwipsPerPixel;
  move(parentWidget()->pos() + QPoint(offset, offset));

  allImage_->setChecked(true);
  Check2_Click();
  // No status yet: the label in the window's own colour until a sequence sets one.
  setDisplayText(status_, {});
  status_->setPalette(palette());
  setDisplayText(findChild<QLabel*>(QStringLiteral("Label4")), {});
  setDisplayText(findChild<QLabel*>(QStringLiteral("Label2")), {});

  setRadio(options_[0], true);  // White
  setRadio(options_[2], true);  // track 1
  setRadio(options_[5], true);  // PI
  zoom_->setCurrentIndex(zoom_->findText(QStringLiteral("100")));
  brightness_->setCurrentIndex(brightness_->findText(QStringLiteral("  0")));
  saveArea_->setCurrentIndex(0);
  loadArea_->setCurrentIndex(0);
  progress1_->setValue(0);
  progress2_->setValue(0);

  m_.iniFile = settingsPath(m_.programFolder);
  if (!bitmapSettingsWritten(m_.iniFile)) {
    firstRunBitmapSettings(m_);
    if (!CreateIni())
      tell(QStringLiteral("%1: %2").arg(m_.iniFile,
                                        japanese() ? QStringLiteral("設定を書き込めません")
                                                   : QStringLiteral("cannot write the settings")));
  } else {
    readBitmapSettings(m_);
  }

  topLine_->setText(m_.cardLines[0]);
  for (int i = 0; i < 4; ++i) lines_[i]->setText(m_.cardLines[i + 1]);
  fileName_->setText(m_.bitmapFile);
  // The reply of an exchange still under way belongs to whoever waits for it.
  if (m_.commBusy == 0 && m_.rxState == 0) {
    m_.replyType.clear();
    m_.replyStatus.clear();
    m_.replyText.clear();
    m_.replyCommand.clear();
    m_.rxText.clear();
  }
  loadFromFile();
}

bool FormBMP::CreateIni() {
  return writeBitmapSettings(m_);
}

void FormBMP::closeEvent(QCloseEvent* event) {
  m_.stopRequest = 1;
  m_.cardLines[0] = topLine_->text();
  for (int i = 0; i < 4; ++i) m_.cardLines[i + 1] = lines_[i]->text();
  CreateIni();
  event->accept();
}

void FormBMP::tell(const QString& text) {
  Dialogs::message(this, text, MsgIcon::Exclamation);
}

// ---- Picture ----

bool FormBMP::loadFromFile() {
  const QString path = fileName_->text();
  if (path.isEmpty() || !QFileInfo(path).isFile()) return false;
  QImageReader reader(path);
  reader.setAutoTransform(true);
  const QImage picture = reader.read();
  if (picture.isNull()) {
    tell(QStringLiteral("%1: %2").arg(path, reader.errorString()));
    return false;
  }
  loadPicture(picture);
  return true;
}

bool FormBMP::loadFromClipboard() {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (!data || !data->hasImage()) return false;
  const QImage picture = qvariant_cast<QImage>(data->imageData());
  if (picture.isNull()) return false;
  loadPicture(picture);
  return true;
}

void FormBMP::loadPicture(const QImage& picture) {
  source_ = normalizedPicture(picture);
  stretch_ = stretchSize(source_.size(), zoom());
  setScrollRange();
  drawPreview();
}

void FormBMP::Command1_Click() {
  const QString chosen =
      QFileDialog::getOpenFileName(this, QStringLiteral("ファイル選択"),
                                   m_.bitmapFile.isEmpty() ? m_.bitmapFolder : m_.bitmapFile,
                                   QStringLiteral("BitMap file(*.bmp *.BMP);;All file(*)"));
  if (chosen.isEmpty()) return;
  fileName_->setText(chosen);
  // The picture's own folder (the data files go there), with its separator.
  m_.bitmapFolder = withSeparator(QFileInfo(chosen).absolutePath());
  m_.bitmapFile = fileName_->text();
  loadFromFile();
}

int FormBMP::zoom() const {
  bool ok = false;
  const int z = zoom_->currentText().trimmed().toInt(&ok);
  return ok && z > 0 && z <= 10000 ? z : 100;
}

void FormBMP::Combo3_Change() {
  if (source_.isNull() || source_.width() < 1) return;
  const QSize s = stretchSize(source_.size(), zoom());
  if (s == stretch_) return;
  stretch_ = s;
  setScrollRange();
  drawPreview();
}

void FormBMP::setScrollRange() {
  const ScrollRange v = scrollRange(stretch_.height(), geometry_.imgHeight);
  const ScrollRange h = scrollRange(stretch_.width(), geometry_.imgWidth);
  const QSignalBlocker blockV(vScroll_), blockH(hScroll_);
  vScroll_->setRange(0, v.maximum);
  vScroll_->setValue(v.position);
  vScroll_->setPageStep(geometry_.imgHeight);
  hScroll_->setRange(0, h.maximum);
  hScroll_->setValue(h.position);
  hScroll_->setPageStep(geometry_.imgWidth);
}

QImage FormBMP::cardImage() const {
  return cardWindow(source_, stretch_, hScroll_->value(), vScroll_->value(), geometry_);
}

void FormBMP::drawPreview() {
  preview_->setImage(cardImage());
}

void FormBMP::Check2_Click() {
  setRadio(options_[2], false);
  setRadio(options_[3], false);
  const bool whole = allImage_->isChecked();
  geometry_ = whole ? CardGeometry::wholeImage() : CardGeometry::withText();
  preview_->setFixedHeight(whole ? kWholePreviewHeight : kTextPreviewHeight);
  for (QWidget* area : textArea_) area->setVisible(!whole);
  // The new window height changes what the scroll bars can reach.
  setScrollRange();
  drawPreview();
}

void FormBMP::messageLineChanged(int line) {
  QLineEdit* box = lines_[line];
  if (box->text().size() > kMessageLineMax) box->setText(box->text().left(kMessageLineMax));
  lengths_[line]->setText(QString::number(box->text().size()));
}

// ---- Status ----

void FormBMP::setStatus(const QString& text, bool working) {
  setDisplayText(status_, text);
  QPalette p = status_->palette();
  p.setColor(QPalette::Window, working ? kWorking : kResting);
  status_->setPalette(p);
}

QString FormBMP::status() const {
  return displayText(status_);
}

void FormBMP::showStep(QProgressBar* bar, int counter, int value, const QString& sent, bool force) {
  constexpr int kDisplayMs = 40;
  if (!force && stepShown_.isValid() && stepShown_.elapsed() < kDisplayMs) return;
  stepShown_.start();
  setDisplayText(findChild<QLabel*>(QStringLiteral("Label4")), QString::number(counter));
  if (!sent.isNull()) showSent(sent);
  bar->setValue(value);
}

void FormBMP::showSent(const QString& text) {
  setDisplayText(findChild<QLabel*>(QStringLiteral("Label2")), text);
}

void FormBMP::setButtons(bool on) {
  for (const char* name :
       {"Command1", "Command3", "Command7", "Command8", "Command5", "Command10", "Command11"})
    findChild<QPushButton*>(QLatin1String(name))->setEnabled(on);
  for (const char* name : {"Command9", "bmpDisp", "bmpDownload", "cardPrint"})
    findChild<QAction*>(QLatin1String(name))->setEnabled(on);
  findChild<QPushButton*>(QStringLiteral("Command6"))->setEnabled(!on);
}

DotLevels FormBMP::levels() const {
  return dotLevels(brightness_->currentText().trimmed().toInt());
}

bool FormBMP::allImage() const {
  return allImage_->isChecked();
}

bool FormBMP::silver() const {
  return options_[1]->isChecked();
}

QString FormBMP::dataFile(const char* name) const {
  return withSeparator(m_.bitmapFolder.isEmpty() ? m_.programFolder : m_.bitmapFolder) +
         QLatin1String(name);
}

// ---- Conversions ----

DotImage FormBMP::startConversion() {
  stepShown_.invalidate();
  drawPreview();
  DotImage dots(preview_->image(), levels());
  setStatus(QStringLiteral("Data Convert"), true);
  progress1_->setMaximum(geometry_.imgHeight);
  progress1_->setValue(0);
  progress2_->setValue(0);
  m_.stopRequest = 0;
  return dots;
}

bool FormBMP::convertText() {
  const DotImage dots = startConversion();

  // The lines are kept in memory for the download; the file is a copy for the engineer, so a
  // folder that cannot take it is reported and the download goes on.
  const QString path = dataFile("IRtemp.dat");
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    tell(QStringLiteral("%1: %2").arg(path, file.errorString()));
  imageLines_.assign(461, {});
  for (int y = 0; y < geometry_.imgHeight; ++y) {
    main_.yieldEvents(0);
    const bool stop = m_.stopRequest != 0;
    showStep(progress1_, y, y, {}, stop || y == geometry_.imgHeight - 1);
    const QByteArray line = textLine(dots, y, geometry_.lineOffset);
    imageLines_[y] = line;
    if (file.isOpen()) file.write(line + "\r\n");
    if (stop) {
      setStatus(QStringLiteral("Stop"), false);
      return false;
    }
  }
  if (file.isOpen() && !file.flush()) tell(QStringLiteral("%1: %2").arg(path, file.errorString()));
  return true;
}

bool FormBMP::convertBinary() {
  const DotImage dots = startConversion();

  imageLines_.assign(461, {});
  for (int y = 0; y + 4 <= geometry_.imgHeight; y += 4) {
    main_.yieldEvents(0);
    const bool stop = m_.stopRequest != 0;
    showStep(progress1_, y, y + 4, {}, stop || y + 8 > geometry_.imgHeight);
    imageLines_[y / 4] = imageBlock(dots, y, geometry_.lineOffset);
    if (stop) {
      setStatus(QStringLiteral("Stop"), false);
      return false;
    }
  }
  return true;
}

void FormBMP::Command9_Click() {
  setButtons(false);
  const DotImage dots = startConversion();

  // The file is all this export makes: one that cannot be written ends it with an error.
  const QString path = dataFile("IMAGE.dat");
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    tell(QStringLiteral("%1: %2").arg(path, file.errorString()));
    setStatus(QStringLiteral("Error"), false);
    setButtons(true);
    return;
  }
  for (int y = 0; y < geometry_.imgHeight; ++y) {
    main_.yieldEvents(0);
    const bool stop = m_.stopRequest != 0;
    showStep(progress1_, y, y, {}, stop || y == geometry_.imgHeight - 1);
    if (file.write(assemblerLine(dots, y) + "\r\n") < 0) break;
    if (stop) {
      setStatus(QStringLiteral("Stop"), false);
      setButtons(true);
      return;
    }
  }
  if (!file.flush() || file.error() != QFileDevice::NoError) {
    tell(QStringLiteral("%1: %2").arg(path, file.errorString()));
    setStatus(QStringLiteral("Error"), false);
  } else {
    setStatus(QStringLiteral("Data Set Finish"), false);
  }
  setButtons(true);
}

}  // namespace tavo
