#include "app/core/bench.h"

#include <QDateTime>

#include "app/core/log_record.h"
#include "app/core/print_layouts.h"
#include "app/core/text_utils.h"

namespace tavo {
namespace {

constexpr QChar kCR = u'\r';

// The commands of the first button array that are sent as they stand, by index.
const char* plainCommand1(int index) {
  static const char* const kPlain[] = {
      nullptr, "PA",    "RS", "CI", nullptr, "CO", "CI*",   "CL",   "BI",    "BO",   "BP",
      "FE",    "HC",    "CR", "CE", "EC",    "FP", "RP",    "MR",   "CT",    "ST",   "VS",
      "DT:4",  "DT:5",  "RD", "WR", "WN",    "VR", "RC",    "DT:1", "DT:2",  "DT:3", nullptr,
      nullptr, nullptr, "PC", "PR", "PO",    "PP", nullptr, "DC",   nullptr, "DP"};
  if (index < 0 || index >= static_cast<int>(std::size(kPlain))) return nullptr;
  return kPlain[index];
}

// The text of a box for "MS": characters below the space removed.
QString withoutControls(const QString& text) {
  QString out;
  for (QChar c : text)
    if (c.unicode() >= 0x20) out += c;
  return out;
}

// The text of a box for "PD" and "DD": characters below the space removed except LF, SO, SI and
// ESC, which the print data uses.
QString printable(const QString& text) {
  QString out;
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if (u >= 0x20 || u == 0x0A || u == 0x0E || u == 0x0F || u == 0x1B) out += c;
  }
  return out;
}

// The counters the read-out shows, in order, with their titles.
struct CounterLine {
  char code;
  const char16_t* title;
};
constexpr CounterLine kCounterLines[] = {
    {'0', u"パス　回数 : "},     {'1', u"ライト回数 : "},     {'2', u"リード回数 : "},
    {'3', u"印字　回数 : "},     {'4', u"電断　回数 : "},     {'9', u"Tr1エラー  :     "},
    {'A', u"Tr2エラー  :     "}, {'B', u"Tr3エラー  :     "}, {'8', u"メカエラー :   "},
    {'7', u"ｼﾞｬﾑエラー :   "},   {'E', u"ﾊｰﾄﾞエラー :   "},   {'F', u"ﾊﾟﾝﾁエラー :   "},
};

}  // namespace

// The state of one run of the repeated test.
struct Bench::TestRun {
  int passes = 200;    // passes asked for
  int done = 0;        // passes done (three per round)
  int printLine = -1;  // next print line; -1: no printing
  int linesPerCard = 21;
  QString lineA, lineB;
  bool jisCycle = true;
  int jisLength = 69;
  int trackMask = 0;
  bool enabled[3] = {false, false, false};
  qint16 errors[3] = {0, 0, 0};
  qint16 irErrors = 0;
  int irPasses = 0;
  bool halfMarked = false;
  float waitTime = 0;  // seconds after each round
};

Bench::Bench(Module1& m, Exchange& exchange, BenchView& view) : m_(m), x_(exchange), view_(view) {}

QString Bench::pick(const char16_t* english, const char16_t* japaneseText) const {
  return QString::fromUtf16(japanese() ? japaneseText : english);
}

void Bench::send(const QString& command) {
  m_.commandText = command;
  x_.comu();
}

void Bench::acknowledgePowerUp() {
  if (powerUpReported(m_)) send(QStringLiteral("PA"));
}

bool Bench::confirmEepromChange() {
  return Dialogs::message(view_.dialogParent(),
                          pick(u"EEPROM data updata ?", u"EEPROM内容を変更しますか ?"),
                          MsgIcon::Question, MsgButtons::OkCancel) == MsgAnswer::Ok;
}

void Bench::resetNotice() {
  Dialogs::message(view_.dialogParent(),
                   pick(u"Please send RS command.", u"設定を有効にするにはC/Rを一旦ﾘｾｯﾄして下さい"),
                   MsgIcon::Information);
}

void Bench::Command1_Click(int index) {
  if (view_.checked(QStringLiteral("Check10"))) x_.poll();
  if (index == 0) return;  // "Poll": the poll alone

  if (const char* plain = plainCommand1(index)) {
    send(QLatin1String(plain));
    return;
  }
  switch (index) {
    case 4: {
      const QString params = withoutControls(view_.text(QStringLiteral("Text10")));
      view_.setText(QStringLiteral("Text10"), params);
      send(QStringLiteral("MS:") + params);
      return;
    }
    case 32:
    case 33:
    case 34: {
      const int track = index - 31;
      send(QStringLiteral("WD:%1/").arg(track) +
           view_.text(QStringLiteral("txtWd(%1)").arg(track)));
      return;
    }
    case 39:
      send(QStringLiteral("EP"));
      send(QStringLiteral("CO"));
      return;
    case 41:
    case 43: {
      const QString data = printable(view_.text(QStringLiteral("Text9")));
      view_.setText(QStringLiteral("Text9"), data);
      send((index == 41 ? QStringLiteral("DD:") : QStringLiteral("PD:")) + expandEscapes(data));
      return;
    }
    case 44:
      send(QStringLiteral("AS:") + view_.text(QStringLiteral("Text19")) + u'/' +
           view_.text(QStringLiteral("Text20")));
      return;
    case 45:
      send(QStringLiteral("PU:") + view_.text(QStringLiteral("Text18")));
      return;
    case 46: {
      QString command = QStringLiteral("LC:");
      for (char16_t c : {0x08, 0x01, 0x02, 0x0B, 0x0C, 0x0D, 0x06, 0x07}) command += QChar(c);
      command += QStringLiteral(
          "890123456789012345678901234567890123456789012345678901234567890123456789");
      send(command);
      return;
    }
    case 47: {
      // "NAK test": the device must send its answer to "VS" again when asked with a NAK, after
      // the wait set beside the button.
      send(QStringLiteral("VS"));
      m_.nakTestWait = static_cast<float>(valNumber(view_.text(QStringLiteral("NakWait"))));
      if (m_.nakTestWait > 0) x_.waitSeconds(m_.nakTestWait);
      m_.nakRequest = 1;
      return;
    }
    case 48:
      send(QStringLiteral("wr:") + view_.text(QStringLiteral("Text28")) + u'/' +
           view_.text(QStringLiteral("txtWd(1)")) + u'｡' + view_.text(QStringLiteral("txtWd(2)")) +
           u'｡' + view_.text(QStringLiteral("txtWd(3)")));
      return;
    default:
      return;
  }
}

void Bench::Command2_Click(int index) {
  if (view_.checked(QStringLiteral("Check10"))) x_.poll();
  if (m_.replyText.startsWith(u"R2")) send(QStringLiteral("PA"));

  auto text = [this](const char* name) { return view_.text(QLatin1String(name)); };
  auto confirmed = [this] { return confirmEepromChange(); };
  switch (index) {
    case 0:
      send(QStringLiteral("MS:V") + text("Text4"));
      return;
    case 1:
      send(QStringLiteral("eer:22/01"));
      view_.setText(QStringLiteral("Label42"), m_.replyText.mid(5, 4));
      return;
    case 2:
      if (!confirmed()) return;
      send(QStringLiteral("eew:22/01/") + text("Text6"));
      resetNotice();
      return;
    case 3:
      send(QStringLiteral("RE"));
      return;
    case 4:
      send(QStringLiteral("ET:") + text("Text1"));
      return;
    case 5:
      send(QStringLiteral("CK"));
      return;
    case 6: {
      const QDateTime now = QDateTime::currentDateTime();
      const int weekday = now.date().dayOfWeek() % 7;  // 0 Sunday .. 6 Saturday
      send(QStringLiteral("CK:") + now.toString(QStringLiteral("yyMMdd")) + u'0' +
           QString::number(weekday) + now.toString(QStringLiteral("hhmmss")));
      return;
    }
    case 7:
      if (!confirmed()) return;
      send(QStringLiteral("eew:20/01/") + text("Text21") + QStringLiteral("FF"));
      resetNotice();
      return;
    case 8:
      send(QStringLiteral("TH"));
      return;
    case 9:
      send(QStringLiteral("!!s"));
      return;
    case 10:
      send(QStringLiteral("!!l"));
      return;
    case 11:
      if (confirmed()) send(QStringLiteral("!!w"));
      return;
    case 12:
      if (confirmed()) send(QStringLiteral("eew:03/03/FFFFFFFFFFFF"));
      return;
    case 13:
    case 14:
      if (!confirmed()) return;
      send(index == 13 ? QStringLiteral("!!e") : QStringLiteral("!!c"));
      Command34_Click();
      return;
    case 15:
      if (confirmed()) send(QStringLiteral("eew:06/01/0000"));
      return;
    case 16:
      send(QStringLiteral("eer:06/01"));
      view_.setText(QStringLiteral("Label52"), m_.replyText.mid(5));
      return;
    case 17:
      send(QStringLiteral("eer:") + text("Text13"));
      return;
    case 18:
      send(QStringLiteral("eer:") + text("Text25") + u'/' + text("Text26"));
      view_.setText(QStringLiteral("Label56"), m_.replyText.mid(5));
      return;
    case 19:
      if (!confirmed()) return;
      send(QStringLiteral("eew:") + text("Text25") + u'/' + text("Text26") + u'/' + text("Text27"));
      resetNotice();
      return;
    case 20:
      send(QStringLiteral("dt:*") + text("Text24"));
      return;
    default:
      return;
  }
}

void Bench::Command3_Click() {
  x_.poll();
  acknowledgePowerUp();
  send(QStringLiteral("TH"));
  // The rank is the first data character of the answer (the temperature follows it).
  m_.tphRank = m_.replyText.mid(5, 1);
  send(QStringLiteral("VS"));
  m_.versionText = m_.replyText.mid(5, 8);
  send(QStringLiteral("PC"));
  const QStringList commands = printTestCommands(view_.selectedIndex(QStringLiteral("Combo1")),
                                                 m_.tphRank, m_.headTemperature, m_.versionText);
  for (const QString& command : commands) send(command);
}

void Bench::Command34_Click() {
  acknowledgePowerUp();
  QString shown;
  bool first = true;
  for (const auto& line : kCounterLines) {
    send(QStringLiteral("CT:") + QLatin1Char(line.code));
    const QString entry = QString::fromUtf16(line.title) + m_.replyText.mid(5, 8);
    shown = first ? entry : shown + kCR + entry;
    first = false;
    view_.setText(QStringLiteral("Label36"), shown);
  }
}

void Bench::Command35_Click() {
  view_.setText(QStringLiteral("Label28"), QStringLiteral("Tr1:0/0\rTr2:0/0\rTr3:0/0"));
  x_.poll();
  send(QStringLiteral("PA"));
  send(QStringLiteral("TH"));
  send(QStringLiteral("MS:V") + view_.text(QStringLiteral("Text4")));
  Command34_Click();
  send(QStringLiteral("VS"));
  appendLogRecord(false);
}

void Bench::Command72_Click() {
  appendLogRecord(true);
}

bool Bench::appendLogRecord(bool withLabel29) {
  LogRecordFields f;
  f.number = view_.text(QStringLiteral("Text16"));
  f.label28 = view_.text(QStringLiteral("Label28"));
  if (withLabel29) f.label29 = view_.text(QStringLiteral("Label29"));
  f.withLabel29 = withLabel29;
  f.label12 = view_.text(QStringLiteral("Label12"));
  f.label19 = view_.text(QStringLiteral("Label19"));
  f.label42 = view_.text(QStringLiteral("Label42"));
  f.label36 = view_.text(QStringLiteral("Label36"));
  f.comment = view_.text(QStringLiteral("Text11"));
  const QString line = logRecordLine(QDateTime::currentDateTime(), f);

  QString path, error;
  const bool written =
      logFilePath(m_.programFolder, view_.text(QStringLiteral("Text14")), &path, &error) &&
      appendLogLine(path, line, &error);
  if (!written) {
    Dialogs::message(
        view_.dialogParent(),
        pick(u"The log record could not be written: ", u"ログを書き込めません: ") + error,
        MsgIcon::Critical);
  }
  return written;
}

bool Bench::stopped() {
  return !x_.portOpen() || m_.stopRequest == 1;
}

void Bench::wrCheck(bool intoLabel29, QString* result, const bool enabled[3], qint16 errors[3],
                    int passes) {
  send(QStringLiteral("RC"));
  if (m_.replyCommand != u"RC") return;
  showTrackResults(intoLabel29, result, enabled, errors, passes, [this](int k) {
    const QString code = m_.replyText.mid(5 + 2 * k, 2);
    return code == u"92" || code == u"90";
  });
}

void Bench::showTrackResults(bool intoLabel29, QString* result, const bool enabled[3],
                             qint16 errors[3], int passes, const std::function<bool(int)>& good) {
  QString text;
  for (int k = 0; k < 3; ++k) {
    if (enabled[k]) {
      if (!good(k)) ++errors[k];
      text += QStringLiteral("Tr%1 :").arg(k + 1) + vbNumber(errors[k]) + u'/' + vbNumber(passes);
    }
    if (k < 2) text += kCR;
  }
  *result = text;
  view_.setText(intoLabel29 ? QStringLiteral("Label29") : QStringLiteral("Label28"), text);
}

void Bench::wrCheck2(bool intoLabel29, QString* result, const bool enabled[3], qint16 errors[3],
                     int passes) {
  const QString* expected[3] = {&m_.expectedTrack1, &m_.expectedTrack2, &m_.expectedTrack3};
  showTrackResults(intoLabel29, result, enabled, errors, passes, [&](int k) {
    // The data read back is taken from the answer here, since the repeated test runs with
    // answers undecoded ("Fast mode") and the box would keep what an earlier read left.
    send(QStringLiteral("DT:%1").arg(k + 1));
    const QString data = m_.replyText.size() < 7 ? m_.replyText : m_.replyText.mid(6);
    view_.setText(QStringLiteral("Text32(%1)").arg(k + 1), data);
    return data == *expected[k];
  });
}

void Bench::wrCheck3(qint16* irErrors, int irPasses) {
  send(QStringLiteral("RC"));
  if (m_.replyCommand != u"RC") return;
  if (m_.replyText.mid(11, 2) != u"90") ++*irErrors;
  view_.setText(QStringLiteral("Label49"), vbNumber(*irErrors) + u'/' + vbNumber(irPasses));
}

void Bench::Command47_Click() {
  lastTestFailed_ = false;
  TestRun run;

  // Before the passes: any stop ends the test at once.
  m_.stopRequest = 0;
  view_.setText(QStringLiteral("Label29"), {});
  view_.setChecked(QStringLiteral("Check10"), true);
  x_.poll();
  acknowledgePowerUp();
  x_.poll();
  if (stopped()) return;
  if (m_.replyType == u"B") {
    send(QStringLiteral("CL"));
    if (stopped()) return;
  }
  auto step = [this](const QString& command) {
    send(command);
    return !stopped();
  };
  if (!step(QStringLiteral("TH")) ||
      !step(QStringLiteral("MS:V") + view_.text(QStringLiteral("Text4"))))
    return;
  if (view_.checked(QStringLiteral("chkAutoSave"))) {
    Command34_Click();
    if (stopped()) return;
  }

  const double asked = valNumber(view_.text(QStringLiteral("Text2")));
  if (asked < 1) {
    run.passes = 200;
    view_.setText(QStringLiteral("Text2"), QStringLiteral("200"));
  } else {
    // The counts are 16-bit: a larger number runs the most there is room for.
    run.passes = asked > 32767 ? 32767 : static_cast<int>(asked);
    if (asked > 32767) view_.setText(QStringLiteral("Text2"), QStringLiteral("32767"));
  }
  run.printLine = view_.checked(QStringLiteral("Check3")) ? 0 : -1;

  if (!step(QStringLiteral("VS"))) return;
  run.linesPerCard = m_.versionText.startsWith(u'3') ? 17 : 21;
  if (view_.checked(QStringLiteral("chkEMC"))) {
    run.lineA = run.lineB = QStringLiteral("HHHHHHHHHHHHHHHHHHHH");
  } else {
    run.lineA = QStringLiteral(" A C E G 1 3 5 7 9 \\");
    run.lineB = QStringLiteral("\\ABCDEFG0123456789R\\");
  }
  run.waitTime = static_cast<float>(valNumber(view_.text(QStringLiteral("Text8"))));

  // The reader's modes for the test, then its track mask from "MR".
  auto readMask = [this, &run] {
    const qsizetype c = m_.replyText.indexOf(u'C');
    run.trackMask = static_cast<int>(valNumber(m_.replyText.mid(c < 0 ? 0 : c + 1, 1)));
    for (int k = 0; k < 3; ++k) run.enabled[k] = (run.trackMask >> k) & 1;
  };
  QStringList modes = {QStringLiteral("MS:R0W0"), QStringLiteral("MS:D7"), QStringLiteral("MS:Z0"),
                       QStringLiteral("MS:K0N4X4"), QStringLiteral("MS:S0")};
  if (view_.checked(QStringLiteral("chkIR"))) modes << QStringLiteral("MS:b7B1");
  if (view_.checked(QStringLiteral("chkPunch"))) modes << QStringLiteral("MS:P1");
  const QString extra = view_.text(QStringLiteral("Text17"));
  if (!extra.isEmpty()) modes << QStringLiteral("MS:") + extra;
  modes << QStringLiteral("MR");
  for (const QString& command : modes)
    if (!step(command)) return;
  readMask();

  // A card in the reader's path, at its place.
  x_.poll();
  if (stopped()) return;
  const QString position = m_.replyText.mid(2, 1);
  if (position == u"4" || position == u"5") {
    if (!step(QStringLiteral("CL"))) return;
  }
  x_.poll();
  if (stopped()) return;
  if (m_.replyText.mid(2, 1) == u"0") {
    do {
      if (!step(QStringLiteral("CI"))) return;
    } while (m_.replyStatus != u"40" && m_.replyStatus != u"90");
  }
  view_.setChecked(QStringLiteral("Check13"), true);

  // The passes, once per format.
  bool dataError = false;
  bool quit = false;
  if (!poolFilled_) {
    pool_.fill(m_.testPatterns);
    poolFilled_ = true;
  }
  for (int cycle = 0; cycle < 2 && !quit; ++cycle) {
    run.jisCycle = cycle == 0;
    if (!view_.checked(run.jisCycle ? QStringLiteral("chkJIS") : QStringLiteral("chkISO")))
      continue;
    if (!step(run.jisCycle ? QStringLiteral("MS:M0") : QStringLiteral("MS:M1")) ||
        !step(QStringLiteral("MR"))) {
      quit = true;
      break;
    }
    readMask();
    if (!run.jisCycle) pool_.fill(isoPatterns());
    if (view_.checked(QStringLiteral("chk09code"))) pool_.fill(numericPatterns());
    if (view_.checked(QStringLiteral("chkRmargin")) && !step(QStringLiteral("!!m1"))) {
      quit = true;
      break;
    }
    run.done = 0;
    run.halfMarked = false;
    while (run.done < run.passes) {
      if (!runPass(run, &dataError)) {
        quit = true;
        break;
      }
    }
  }

  // After the passes: the record, the verdict (not after a data error: there is none), the end.
  if (!dataError) {
    if (view_.checked(QStringLiteral("chkAutoSave"))) appendLogRecord(true);
    const bool failed = run.errors[0] || run.errors[1] || run.errors[2];
    lastTestFailed_ = failed;
    if (!failed) {
      Dialogs::message(view_.dialogParent(), pick(u"W/R test OK!!", u"連続Ｗ／Ｒ試験　ＯＫ"),
                       MsgIcon::Information);
    } else {
      QString text = pick(u"W/R test NG !!", u"連続Ｗ／Ｒ試験　ＮＧ");
      for (int k = 0; k < 3; ++k)
        text += kCR + QStringLiteral("   Tr%1= ").arg(k + 1) + vbNumber(run.errors[k]) + u'/' +
                vbNumber(run.done);
      Dialogs::message(view_.dialogParent(), text, MsgIcon::Exclamation);
    }
  } else {
    lastTestFailed_ = true;
  }
  view_.setChecked(QStringLiteral("Check13"), false);
  x_.poll();
  if (view_.checked(QStringLiteral("chkRmargin"))) send(QStringLiteral("!!m0"));
  send(QStringLiteral("CO"));
}

bool Bench::runPass(TestRun& run, bool* dataError) {
  auto step = [this](const QString& command) {
    send(command);
    return !stopped();
  };

  // The data of this pass, then the pool turned for the next one.
  TrackData data;
  if (run.jisCycle) {
    bool refill = false;
    run.jisLength = jisTrackLength(view_.text(QStringLiteral("Text12")), &refill);
    if (refill) view_.setText(QStringLiteral("Text12"), QStringLiteral("69"));
    data = pool_.nextJis(run.jisLength);
  } else {
    data = pool_.nextIso();
  }
  m_.expectedTrack1 = data.track1;
  m_.expectedTrack2 = data.track2;
  m_.expectedTrack3 = data.track3;
  const QString* tracks[3] = {&data.track1, &data.track2, &data.track3};
  for (int k = 0; k < 3; ++k) {
    if (!run.enabled[k]) continue;
    if (!step(QStringLiteral("WD:%1/").arg(k + 1) + *tracks[k])) return false;
    if (m_.replyStatus != u"90") {
      Dialogs::message(view_.dialogParent(), QString::fromUtf16(u"ﾃﾞｰﾀ設定ｴﾗｰです"),
                       MsgIcon::Critical);
      *dataError = true;
      return false;
    }
  }

  if (view_.checked(QStringLiteral("chkLCD"))) {
    QStringList lcd = {QStringLiteral("DP:M/0007"), QStringLiteral("DC"),
                       QStringLiteral("DD:0/0/0/") + run.lineA};
    for (int i = 0; i < 3; ++i) lcd << QStringLiteral("DD/") + run.lineA;
    lcd << QStringLiteral("DP");
    for (const QString& command : lcd)
      if (!step(command)) return false;
  }

  // Write and check: three passes a round.
  QString result;
  int checks = 0;
  auto check = [&](const QString& command, bool readBack) {
    if (!step(command)) return false;
    ++checks;
    // The JIS round's results show in Label28, the ISO round's in Label29.
    if (readBack)
      wrCheck2(!run.jisCycle, &result, run.enabled, run.errors, run.done + checks);
    else
      wrCheck(!run.jisCycle, &result, run.enabled, run.errors, run.done + checks);
    return !stopped();
  };
  bool going;
  if (view_.checked(QStringLiteral("chkRDDT"))) {
    going = check(QStringLiteral("WR"), false) && check(QStringLiteral("RD"), true) &&
            check(QStringLiteral("RD"), true);
  } else if (view_.checked(QStringLiteral("chk2750Oe3Tr"))) {
    going = step(QStringLiteral("MS:C5")) && check(QStringLiteral("WR"), false) &&
            step(QStringLiteral("MS:C2H7")) && check(QStringLiteral("WR"), false) &&
            check(QStringLiteral("VR"), false);
  } else {
    going = check(QStringLiteral("WR"), false) && check(QStringLiteral("VR"), false) &&
            check(QStringLiteral("VR"), false);
  }
  const int passStart = run.done;
  run.done += 3;
  if (!going) return false;

  if (view_.checked(QStringLiteral("chkIR"))) {
    for (int i = 0; i < 2; ++i) {
      if (!step(QStringLiteral("RD"))) return false;
      wrCheck3(&run.irErrors, ++run.irPasses);
      if (stopped()) return false;
    }
  }

  if (run.printLine >= 0) {
    const bool er = view_.checked(QStringLiteral("chkER"));
    if (!(er && m_.versionText.startsWith(u'3')) && !step(QStringLiteral("PC"))) return false;
    QString print;
    if (view_.checked(QStringLiteral("chkEMC"))) {
      QStringList lines;
      for (int i = 0; i < 18; ++i) lines << run.lineA;
      print = QStringLiteral("PD:0/0/0/") + lines.join(u'\n');
    } else {
      print = QStringLiteral("PD:0/0/") + QString::number(run.printLine * 27) + u'/' +
              (passStart + 1 <= 3 * run.linesPerCard ? run.lineB : run.lineA);
    }
    if (!step(print)) return false;
    if (!step(er || run.printLine == 0 ? QStringLiteral("PR") : QStringLiteral("PP"))) return false;
    if (++run.printLine == run.linesPerCard) run.printLine = 0;
  }

  if (view_.checked(QStringLiteral("chkPort2PR"))) {
    const bool com2 = view_.checked(QStringLiteral("chkCom2"));
    for (int i = 0; i < 4; ++i) {
      const QString command =
          com2 ? QStringLiteral("IF2:T/") + QString(40, u'H') + QStringLiteral("\r\n")
               : QStringLiteral("IF");
      if (!step(command)) return false;
    }
  }
  if (!step(QStringLiteral("TH"))) return false;
  if (run.waitTime > 0) x_.waitSeconds(run.waitTime);

  if (view_.checked(QStringLiteral("chkRmargin")) && !run.halfMarked &&
      run.done * 2 >= run.passes) {
    run.halfMarked = true;
    if (!step(QStringLiteral("!!m2"))) return false;
  }
  return !stopped();
}

void Bench::Command54_Click() {
  view_.labelInit();
}

void Bench::Command66_Click() {
  x_.poll();
  if (m_.replyType == u"B") send(QStringLiteral("CL"));
  x_.commClose();
}

void Bench::Command70_Click() {
  x_.poll();
  if (m_.replyText.startsWith(u"R2")) send(QStringLiteral("PA"));
  if (!confirmEepromChange()) return;
  for (const char* address : {"00", "10", "20", "30"}) {
    send(QStringLiteral("eew:") + QLatin1String(address) + QStringLiteral("/10/") +
         QString(64, u'F'));
    x_.waitSeconds(0.1f);
  }
}

void Bench::Command75_Click() {
  x_.poll();
  for (const char* command :
       {"CJ:0FFFFFFFFFFFFFFFF", "CJ:180000000000000FF", "CJ:200C00000000000F8",
        "CJ:30000CF000000002F", "CJ:4000000FF0000003F", "CJ:500000000FF00004F",
        "CJ:60000000000FF005F", "CJ:7000000000000FF6F"})
    send(QLatin1String(command));
}

void Bench::Check3_Click() {
  const bool print = view_.checked(QStringLiteral("Check3"));
  if (!print) view_.setChecked(QStringLiteral("chkER"), false);
  view_.setEnabled(QStringLiteral("chkER"), print);
}

void Bench::txtWd_Change(int track) {
  view_.setText(QStringLiteral("Label5(%1)").arg(track),
                QString::number(view_.text(QStringLiteral("txtWd(%1)").arg(track)).size()));
}

void Bench::enLarge() {
  if (view_.windowHeightTwips() != 7200) {
    view_.setWindowTwips(9600, 7200);
    view_.setShown(QStringLiteral("chkIR"), false);
    view_.setShown(QStringLiteral("chkPunch"), false);
    return;
  }
  const auto typed = Dialogs::input(view_.dialogParent(), QStringLiteral("Input password"));
  m_.passwordInput = typed.value_or(QString());
  const bool match = typed && *typed == m_.password;
  if (match) view_.setWindowTwips(9600 * 5 / 4, 8610);
  view_.setShown(QStringLiteral("chkIR"), match);
  view_.setShown(QStringLiteral("chkPunch"), match);
}

void Bench::eepControl() {
  const auto typed = Dialogs::input(view_.dialogParent(), QStringLiteral("Input password"));
  m_.passwordInput = typed.value_or(QString());
  if (typed && *typed == m_.password) openMenuWindow(Window::Eeprom);
}

void Bench::openMenuWindow(Window w) {
  if (openWindow && openWindow(w)) return;
  Dialogs::message(view_.dialogParent(),
                   pick(u"This window is not available in this version.",
                        u"このウィンドウはこの版にはありません。"),
                   MsgIcon::Information);
}

}  // namespace tavo
