// The bitmap window's device sequences: the two downloads, the card sequence, the RAM areas,
// "Stop", "CommClose" and "Quit".
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "app/bitmap/bitmap_settings.h"
#include "app/bitmap/form_bmp.h"
#include "app/core/dialogs.h"
#include "app/core/exchange.h"
#include "app/core/form1.h"
#include "app/core/module1.h"

namespace tavo {
namespace {

// A block the device NAKs is sent again; after this many sends of one block the download ends.
constexpr int kMaxBlockSends = 3;
// The longest a track text may be: a longer one keeps its first kTrackKeep characters.
constexpr int kTrackLimit = 70;
constexpr int kTrackKeep = 69;

// A block as the status shows it: its head (SOH, number, complement) and first data bytes in
// hexadecimal. The whole block would be unreadable, and laying out its 492 characters for every
// block costs more than sending it.
QString blockHead(const QByteArray& block) {
  constexpr int kShown = 12;
  return QString::fromLatin1(block.left(kShown).toHex(' ').toUpper()) +
         (block.size() > kShown ? QStringLiteral(" ...") : QString());
}

}  // namespace

// One sequence of the window from its start to its end: the buttons off while it runs, and a
// "CL" asked for by "Stop" while the link was held sent once it has ended.
class FormBMP::Sequence {
 public:
  explicit Sequence(FormBMP& w) : w_(w) {
    w_.running_ = true;
    w_.dataSet_ = false;
    w_.succeeded_ = false;
    w_.setButtons(false);
  }
  ~Sequence() {
    w_.setButtons(true);
    w_.running_ = false;
    w_.finishSequence();
  }
  Sequence(const Sequence&) = delete;
  Sequence& operator=(const Sequence&) = delete;

 private:
  FormBMP& w_;
};

bool FormBMP::begin() {
  if (m_.commBusy == 0 && !running_) return true;
  tell(japanese() ? QStringLiteral("他の操作が装置と通信中です。終わってから操作してください。")
                  : QStringLiteral("Another operation is talking to the device. Try again when "
                                   "it has ended."));
  return false;
}

bool FormBMP::checkStop() {
  if (m_.stopRequest != 0) {
    setStatus(QStringLiteral("Stop"), false);
    return false;
  }
  // The exchange closes the port when the device stops answering (and says so); the rest of the
  // sequence would then go nowhere and a card would print without its image.
  if (!x_.portOpen()) {
    setStatus(QStringLiteral("Error"), false);
    return false;
  }
  return true;
}

bool FormBMP::send(const QString& command) {
  m_.commandText = command;
  x_.comu();
  return checkStop();
}

bool FormBMP::preamble() {
  x_.poll();
  if (m_.replyText.startsWith(u"R2")) {
    m_.commandText = QStringLiteral("PA");
    x_.comu();
  }
  return checkStop();
}

QString FormBMP::trackText() const {
  QString text;
  for (QLineEdit* line : lines_) text += line->text();
  if (text.size() >= kTrackLimit) text.truncate(kTrackKeep);
  return text;
}

bool FormBMP::imageStart(bool reverseFirst) {
  if (!send(QStringLiteral("PC")) || !send(QStringLiteral("MS:X0N0Y1K0F0"))) return false;
  // Text lines turn the back colour before the track is written, blocks after it.
  if (reverseFirst && silver() && !send(QStringLiteral("RV"))) return false;
  m_.commandText = QStringLiteral("MS:C0H0");
  x_.comu();
  const QString track = trackText();
  if (options_[2]->isChecked()) {
    m_.commandText = QStringLiteral("MS:C1H1");
    x_.comu();
    m_.commandText = QStringLiteral("WD:1/") + track;
    x_.comu();
  } else if (options_[3]->isChecked()) {
    m_.commandText = QStringLiteral("MS:C2H2");
    x_.comu();
    m_.commandText = QStringLiteral("WD:2/") + track;
    x_.comu();
  }
  if (!checkStop()) return false;
  return reverseFirst || !silver() || send(QStringLiteral("RV"));
}

bool FormBMP::sendTextLines(bool blank) {
  setStatus(QStringLiteral("TXT Data Transmit"), true);
  QString top = topLine_->text();
  QString messages = lines_[0]->text() + m_.LF + lines_[1]->text() + m_.LF + lines_[2]->text() +
                     m_.LF + lines_[3]->text();
  if (blank) {
    if (!send(QStringLiteral("PD:0/0/32/") + m_.ESC + QStringLiteral("e22") + QString(13, u' ')))
      return false;
    const QString spaces(26, u' ');
    if (!send(QStringLiteral("PD:0/0/361/") + spaces + m_.LF + spaces + m_.LF + spaces + m_.LF +
              spaces))
      return false;
  }
  return send(QStringLiteral("PD:0/0/32/") + m_.ESC + QStringLiteral("e22") + top) &&
         send(QStringLiteral("PD:0/0/361/") + messages);
}

bool FormBMP::sendImageText() {
  if (!convertText() || !preamble() || !imageStart(true)) return false;

  setStatus(QStringLiteral("BMP Data Transmit"), true);
  progress2_->setMaximum(geometry_.imgHeight);
  qint64 written = 0;
  stepShown_.invalidate();
  for (int y = 0; y < geometry_.imgHeight; ++y) {
    main_.yieldEvents(0);
    const QString line = QString::fromLatin1(imageLines_[y]);
    showStep(progress2_, y, y, line, y == geometry_.imgHeight - 1);
    if (!send(line)) {
      showStep(progress2_, y, y, line, true);
      return false;
    }
    written += line.size() + 4;  // EOT, STX, ETX and the check byte around the text
    if (onTransmitProgress) onTransmitProgress(y + 1, geometry_.imgHeight, written);
  }
  return finishDownload();
}

bool FormBMP::finishDownload() {
  if (silver() && !send(QStringLiteral("RV"))) return false;
  if (!allImage() && !sendTextLines(false)) return false;
  dataSetFinished();
  if (!cardSequence()) return false;
  setStatus({}, false);
  return true;
}

void FormBMP::setAutoPoll(bool on) {
  main_.setChecked(QStringLiteral("Check10"), on);
}

int FormBMP::sendBlock(const QByteArray& block, qint64* written) {
  m_.replyText.clear();
  m_.rxBuffer.clear();
  m_.rxByte = -1;
  m_.rxState = 1;
  // The block's ACK must not raise a poll: the device is in block mode until the last block.
  setAutoPoll(false);
  const int count = main_.port().outputBytes(block);
  if (count <= 0) {
    setStatus(QStringLiteral("Error"), false);
    return -1;
  }
  *written += count;

  QElapsedTimer waited;
  waited.start();
  while (x_.portOpen() && m_.rxState != 0 && m_.stopRequest == 0 && !m_.appEnding) {
    x_.rxdCheck();
    if (m_.rxState == 0) break;
    if (blockTimeoutMs > 0 && waited.elapsed() >= blockTimeoutMs) {
      setStatus(QStringLiteral("Error"), false);
      main_.addLog(QStringLiteral("   (no answer to the block in %1 ms)").arg(blockTimeoutMs));
      return -1;
    }
    // Nothing tells the window that bytes came in; a short timed wait keeps the core free.
    main_.yieldEvents(1);
  }
  if (m_.rxState != 0) {
    // A stop is the caller's to show; a port closed under the wait ends the download.
    if (m_.stopRequest == 0) setStatus(QStringLiteral("Error"), false);
    return -1;
  }
  if (m_.replyText == u"NAK") {
    // The link would resend the pending command on a NAK; here it is the block to resend.
    m_.sendRequest = 0;
    return 0;
  }
  return 1;
}

bool FormBMP::sendBlocks() {
  const int total = geometry_.imgHeight / 4;
  progress2_->setMaximum(geometry_.imgHeight);
  m_.stopRequest = 0;
  // The link is this loop's alone: the commands of other handlers wait (comu returns at once).
  m_.commBusy = -1;
  inBlockLoop_ = true;
  qint64 written = 0;
  bool ok = true;
  stepShown_.invalidate();
  for (int y = 0; ok && y + 4 <= geometry_.imgHeight; y += 4) {
    const QByteArray& block = imageLines_[y / 4];
    showStep(progress2_, y, y, blockHead(block), false);
    int answer = 0;
    for (int sends = 0; answer == 0 && sends < kMaxBlockSends; ++sends)
      answer = sendBlock(block, &written);
    if (answer == 0) {
      main_.addLog(QStringLiteral("   (block %1 refused %2 times)")
                       .arg(static_cast<unsigned char>(block[1]))
                       .arg(kMaxBlockSends));
      setStatus(QStringLiteral("Error"), false);
      ok = false;
    } else if (m_.stopRequest != 0) {
      setStatus(QStringLiteral("Stop"), false);
      ok = false;
    } else if (answer < 0) {
      ok = false;  // sendBlock has said why
    } else {
      if (onTransmitProgress) onTransmitProgress(y / 4 + 1, total, written);
    }
    // Where the loop ended, or how far it has come.
    showStep(progress2_, y, ok ? y + 4 : y, blockHead(block), !ok || y + 8 > geometry_.imgHeight);
  }
  // An answer still awaited (stop, time-out) is not waited for any more.
  if (m_.rxState != 0) m_.rxState = 0;
  m_.commBusy = 0;
  inBlockLoop_ = false;
  setAutoPoll(true);
  // Whatever ended the loop, the scheduler runs again: the commands after it need it.
  main_.setTimerEnabled(TimerId::Timer1, true);
  if (!ok && m_.stopRequest != 0) clPending_ = true;
  return ok;
}

bool FormBMP::sendImageBinary() {
  if (!convertBinary()) return false;
  setStatus(QStringLiteral("Data Transmit"), true);
  if (!preamble() || !imageStart(false)) return false;
  if (!send(QStringLiteral("IB"))) return false;

  main_.setTimerEnabled(TimerId::Timer1, false);
  setStatus(QStringLiteral("BMP Data Transmit"), true);
  if (!sendBlocks()) return false;

  x_.poll();  // switches the scheduler back on
  if (!checkStop()) return false;
  return finishDownload();
}

void FormBMP::dataSetFinished() {
  dataSet_ = true;
  setStatus(QStringLiteral("Data Set Finish"), true);
}

bool FormBMP::cardSequence() {
  setButtons(false);
  if (!preamble()) return false;
  setStatus(QStringLiteral("Card In"), true);
  if (cardAnswer)
    Dialogs::queueAnswer(*cardAnswer ? QStringLiteral("ok") : QStringLiteral("cancel"));
  if (Dialogs::message(this, QStringLiteral("Please Insert a card"), MsgIcon::Exclamation,
                       MsgButtons::OkCancel) != MsgAnswer::Ok) {
    setStatus({}, false);
    return false;
  }
  if (!send(QStringLiteral("CI"))) return false;
  setStatus(QStringLiteral("Write"), true);
  if (!send(QStringLiteral("WR"))) return false;
  setStatus(QStringLiteral("Print"), true);
  if (!send(QStringLiteral("PR")) || !send(QStringLiteral("CO"))) return false;
  setStatus(QStringLiteral("Finish"), false);
  return true;
}

void FormBMP::Command8_Click() {
  if (!begin()) return;
  {
    Sequence sequence(*this);
    m_.cardLines[0] = topLine_->text();
    for (int i = 0; i < 4; ++i) m_.cardLines[i + 1] = lines_[i]->text();
    m_.bitmapFile = fileName_->text();
    writeBitmapFiles(m_);
    succeeded_ = options_[4]->isChecked() ? sendImageBinary() : sendImageText();
  }
  findChild<QPushButton*>(QStringLiteral("Command8"))->setFocus();
}

void FormBMP::bmpDownload_Click() {
  if (!begin()) return;
  Sequence sequence(*this);
  sendImageBinary();
}

void FormBMP::Command5_Click() {
  if (!begin()) return;
  Sequence sequence(*this);
  cardSequence();
}

void FormBMP::cardPrint_Click() {
  Command5_Click();
}

void FormBMP::Command10_Click() {
  if (!begin()) return;
  bool sent = false;
  {
    Sequence sequence(*this);
    if (!preamble()) return;
    setStatus(QStringLiteral("Data set"), true);
    sent = send(QStringLiteral("IC:0") + saveArea_->currentText());
  }
  if (sent) findChild<QPushButton*>(QStringLiteral("Command10"))->setFocus();
}

void FormBMP::Command11_Click() {
  if (!begin()) return;
  Sequence sequence(*this);
  if (!preamble()) return;
  setStatus(QStringLiteral("Data set"), true);
  if (!send(QStringLiteral("IC:") + loadArea_->currentText() + QStringLiteral("0"))) return;
  if (!allImage()) {
    if (!send(QStringLiteral("MS:X0N0Y1K0F0")) || !sendTextLines(true)) return;
  }
  dataSetFinished();
  if (!cardSequence()) return;
  setStatus({}, false);
}

void FormBMP::Command6_Click() {
  if (running_) {
    // The sequence holds the link (a command or a block waits for its answer): it ends at its
    // next look at the flag and the "CL" goes out then. A "CI" waiting for a card ends its wait
    // as soon as another command is placed.
    m_.stopRequest = 1;
    clPending_ = true;
    if (!inBlockLoop_) m_.commandText = QStringLiteral("CL");
    return;
  }
  m_.commandText = QStringLiteral("CL");
  x_.comu();
  m_.stopRequest = 1;
}

void FormBMP::finishSequence() {
  if (!clPending_) return;
  clPending_ = false;
  m_.commandText = QStringLiteral("CL");
  x_.comu();
}

void FormBMP::Close_Click() {
  x_.commClose();
  m_.stopRequest = 1;
}

void FormBMP::Quit_Click() {
  m_.stopRequest = 1;
  close();
  main_.close();
}

}  // namespace tavo
