#include "app/tavotest/headless_download.h"

#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <cstdio>

#include "app/bitmap/form_bmp.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "app/core/settings_file.h"
#include "app/files/main_window_run.h"
#include "app/tavotest/transcript.h"
#include "app/tavotest/windows.h"

namespace tavo {
namespace {

bool toInt(const QString& text, int low, int high, int* out) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  if (!ok || v < low || v > high) return false;
  *out = v;
  return true;
}

// The bar on standard error: redrawn in place on a terminal at most ten times a second, one line
// a tenth of the way otherwise, and always for the last item.
class ProgressBar {
 public:
  explicit ProgressBar(const char* unit) : unit_(unit), terminal_(isatty(STDERR_FILENO) == 1) {
    clock_.start();
  }
  // The state reached is always shown: a run that ends early shows how far it got.
  ~ProgressBar() {
    if (sent_ >= 0 && !shownLast_) draw(sent_, total_, bytes_);
    if (drawn_ && terminal_) std::fputc('\n', stderr);
  }

  void show(int sent, int total, qint64 bytes) {
    sent_ = sent;
    total_ = total;
    bytes_ = bytes;
    shownLast_ = false;
    const qint64 now = clock_.elapsed();
    const bool last = sent >= total;
    if (terminal_ ? (!last && now - lastDraw_ < 100) : (!last && sent * 10 / total == lastTenth_))
      return;
    lastDraw_ = now;
    lastTenth_ = sent * 10 / total;
    draw(sent, total, bytes);
  }

 private:
  void draw(int sent, int total, qint64 bytes) {
    shownLast_ = true;
    const qint64 now = clock_.elapsed();
    constexpr int kWidth = 30;
    const int filled = total > 0 ? sent * kWidth / total : 0;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    const double seconds = now / 1000.0;
    const long rate = seconds > 0 ? static_cast<long>(bytes / seconds) : 0;
    std::fprintf(stderr, "%s[%s] %d/%d %s  %ld B/s%s", terminal_ ? "\r" : "", bar, sent, total,
                 unit_, rate, terminal_ ? "" : "\n");
    std::fflush(stderr);
    drawn_ = true;
  }

  const char* unit_;
  bool terminal_;
  bool drawn_ = false;
  QElapsedTimer clock_;
  qint64 lastDraw_ = -1000;
  int lastTenth_ = -1;
  int sent_ = -1, total_ = 0;
  qint64 bytes_ = 0;
  bool shownLast_ = false;
};

void selectOption(FormBMP& w, int number) {
  w.findChild<QRadioButton*>(QStringLiteral("Option%1").arg(number))->setChecked(true);
}

}  // namespace

bool parseDownloadOption(const QString& name, const QString* value, DownloadOptions* o, bool* known,
                         bool* used, QString* error) {
  *known = true;
  *used = false;
  auto needValue = [&]() {
    if (value) return true;
    *error = name + QStringLiteral(" needs a value");
    return false;
  };
  if (name == u"--download") {
    if (!needValue()) return false;
    o->picture = *value;
    *used = true;
  } else if (name == u"--mode") {
    if (!needValue()) return false;
    *used = true;
    if (*value != u"ib" && *value != u"pi") {
      *error = QStringLiteral("--mode takes ib or pi");
      return false;
    }
    o->binary = *value == u"ib";
  } else if (name == u"--all-image") {
    o->allImage = true;
  } else if (name == u"--with-text") {
    o->allImage = false;
  } else if (name == u"--zoom") {
    if (!needValue()) return false;
    *used = true;
    if (!toInt(*value, 1, 10000, &o->zoom)) {
      *error = QStringLiteral("--zoom takes a percentage from 1 to 10000");
      return false;
    }
  } else if (name == u"--brightness") {
    if (!needValue()) return false;
    *used = true;
    if (!toInt(*value, -50, 50, &o->brightness) || o->brightness % 10 != 0) {
      *error = QStringLiteral("--brightness takes -50, -40, ... 0, ... +40 or +50");
      return false;
    }
  } else if (name == u"--silver") {
    o->silver = true;
  } else if (name == u"--track") {
    if (!needValue()) return false;
    *used = true;
    if (!toInt(*value, 1, 2, &o->track)) {
      *error = QStringLiteral("--track takes 1 or 2");
      return false;
    }
  } else if (name.size() == 7 && name.startsWith(u"--line") && name[6] >= u'0' && name[6] <= u'4') {
    if (!needValue()) return false;
    *used = true;
    o->lines[name[6].digitValue()] = *value;
  } else if (name == u"--no-card") {
    o->noCard = true;
  } else if (name == u"--block-timeout") {
    if (!needValue()) return false;
    *used = true;
    if (!toInt(*value, 0, 86400000, &o->blockTimeoutMs)) {
      *error = QStringLiteral("--block-timeout takes milliseconds (0: no limit)");
      return false;
    }
  } else {
    *known = false;
  }
  return true;
}

int runDownload(Form1& form, Windows& windows, const DownloadOptions& o) {
  Module1& m = module1();
  if (!QFileInfo(o.picture).isFile()) {
    printLine(QStringLiteral("error: %1: no such picture file").arg(o.picture));
    form.formQueryUnload();
    return 4;
  }
  windows.open(Window::Bitmap);
  FormBMP& w = *windows.bitmap();

  auto* allImage = w.findChild<QCheckBox*>(QStringLiteral("Check2"));
  if (allImage->isChecked() != o.allImage) allImage->click();
  selectOption(w, o.silver ? 2 : 1);
  selectOption(w, o.track == 2 ? 4 : 3);
  selectOption(w, o.binary ? 5 : 6);
  auto* brightness = w.findChild<QComboBox*>(QStringLiteral("Combo4"));
  for (int i = 0; i < brightness->count(); ++i)
    if (brightness->itemText(i).trimmed().toInt() == o.brightness) brightness->setCurrentIndex(i);
  auto* zoom = w.findChild<QComboBox*>(QStringLiteral("Combo3"));
  zoom->setEditText(QString::number(o.zoom));
  w.Combo3_Change();
  const char* boxes[] = {"Text5", "Text1", "Text2", "Text3", "Text4"};
  for (int i = 0; i < 5; ++i)
    if (o.lines[i]) w.findChild<QLineEdit*>(QLatin1String(boxes[i]))->setText(*o.lines[i]);
  // As "File Read" would choose it: the data files go beside the picture.
  w.findChild<QLineEdit*>(QStringLiteral("Text6"))->setText(o.picture);
  m.bitmapFolder = withSeparator(QFileInfo(o.picture).absolutePath());
  if (!w.loadFromFile()) {
    printLine(QStringLiteral("error: %1: not a picture this program can read").arg(o.picture));
    form.formQueryUnload();
    return 4;
  }

  m.stopRequest = 0;
  if (!openPortForRun(form, &form)) {
    form.formQueryUnload();
    return 2;
  }

  ProgressBar bar(o.binary ? "blocks" : "lines");
  w.blockTimeoutMs = o.blockTimeoutMs;
  w.onTransmitProgress = [&bar](int sent, int total, qint64 bytes) {
    bar.show(sent, total, bytes);
  };
  w.cardAnswer = !o.noCard;
  w.Command8_Click();
  w.onTransmitProgress = nullptr;
  w.cardAnswer.reset();

  // The window empties its status line after a printed card, and after a cancelled one.
  const QString status = w.status();
  const bool ok = w.lastSucceeded() || (o.noCard && w.dataSet() && status.isEmpty());
  QString result = status;
  if (w.lastSucceeded())
    result = QStringLiteral("Finish");
  else if (ok)
    result = QStringLiteral("Data Set Finish");
  printLine(QStringLiteral("result: %1").arg(result.isEmpty() ? QStringLiteral("-") : result));
  form.formQueryUnload();
  return ok ? 0 : 1;
}

}  // namespace tavo
