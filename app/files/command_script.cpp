#include "app/files/command_script.h"

#include <algorithm>
#include <cmath>

#include "app/core/text_utils.h"

namespace tavo {

QString sampleScript() {
  return QString::fromUtf16(
      u"' サンプル\r\n"
      u"POLL**\r\n"
      u"PowAckPA\r\n"
      u"COMANDCL\r\n"
      u"COMANDCI\r\n"
      u"Print>PC\r\n"
      u"Print>PD:0/10/50/esc$e22VX-T8820LClf$esc$e11Sample Print\r\n"
      u"COMANDPO\r\n"
      u"wait\r\n"
      u"1\r\n"
      u"Loop\r\n"
      u"4\r\n"
      u"1000\r\n"
      u"END\r\n");
}

QStringList splitScriptLines(const QString& scriptText) {
  QStringList lines;
  qsizetype from = 0;
  while (lines.size() < kMaxScriptLines) {
    const qsizetype end = scriptText.indexOf(QStringLiteral("\r\n"), from);
    if (end < 0) break;
    lines << scriptText.mid(from, end - from);
    from = end + 2;
  }
  return lines;
}

QString scriptTextFromFile(const QByteArray& bytes) {
  const QString text = fromAnsi(bytes);
  QString out;
  out.reserve(text.size() + text.size() / 16);
  qsizetype from = 0;
  while (from < text.size()) {
    qsizetype end = from;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    out += QStringView(text).mid(from, end - from);
    out += QStringLiteral("\r\n");
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n')
      ++end;
    from = end + 1;
  }
  return out;
}

RunEnd runScript(const QStringList& lines, bool errorStop, bool japanese, RunHost& host) {
  const int count = static_cast<int>(lines.size());
  auto lineAt = [&](int k) { return k >= 1 && k <= count ? lines[k - 1] : QString(); };
  // The line number a LOOP line names, or 0 when it names no line of the script.
  auto target = [&](int loopLine) {
    const double value = valNumber(lineAt(loopLine + 1));
    return value >= 1 && value <= count && value == std::floor(value) ? static_cast<int>(value) : 0;
  };
  auto badLoop = [&](int loopLine) {
    host.report(japanese ? QString::fromUtf16(u"%1行目: LOOP の行き先「%2」はこのファイルの行では"
                                              u"ありません")
                               .arg(loopLine)
                               .arg(lineAt(loopLine + 1))
                         : QStringLiteral("Line %1: the LOOP target \"%2\" is not a line of this "
                                          "file")
                               .arg(loopLine)
                               .arg(lineAt(loopLine + 1)));
    return RunEnd::BadLoop;
  };
  // There is one loop counter: a second LOOP line met while it counts for another would take
  // the other loop's passes and, nested, run forever.
  auto nestedLoop = [&](int loopLine, int counting) {
    host.report(japanese ? QString::fromUtf16(u"%1行目: %2行目のループの中に LOOP があります。"
                                              u"ループは入れ子にできません")
                               .arg(loopLine)
                               .arg(counting)
                         : QStringLiteral("Line %1: a LOOP inside the loop of line %2; loops "
                                          "cannot be nested")
                               .arg(loopLine)
                               .arg(counting));
    return RunEnd::BadLoop;
  };

  int i = 1;
  int loopRemaining = 0;
  int loopLine = 0;  // the LOOP line whose passes loopRemaining counts
  while (i <= count) {
    host.yield();
    // An abort made while events ran (it has sent its "CL") stops the run before the next step:
    // no command of the script goes out after it.
    if (host.stopRequested()) return RunEnd::Stopped;
    host.showLoop(loopRemaining);
    host.showLine(i);
    const QString& line = lines[i - 1];
    const QString key = line.left(6).toUpper();

    if (key.startsWith(u"END")) {
      host.showCommand(QStringLiteral("end"));
      return RunEnd::Finished;
    }
    if (key.startsWith(u"LOOP")) {
      if (loopRemaining != 0 && loopLine != i) return nestedLoop(i, loopLine);
      if (loopRemaining == 0) {
        const double passes = valNumber(lineAt(i + 2));
        loopRemaining = static_cast<int>(std::nearbyint(std::clamp(passes, -32768.0, 32767.0))) - 1;
        if (loopRemaining < 1) {
          loopRemaining = 0;  // one pass or none asked: the body has run once
          i += 3;
        } else {
          const int to = target(i);
          if (to == 0) return badLoop(i);
          loopLine = i;
          i = to;
        }
      } else if (loopRemaining == 1) {
        loopRemaining = 0;
        i += 3;
      } else {
        --loopRemaining;
        const int to = target(i);
        if (to == 0) return badLoop(i);
        i = to;
      }
    } else if (key.startsWith(u"POLL")) {
      host.showCommand(QStringLiteral("POLL"));
      host.poll();
      ++i;
    } else if (key.startsWith(u"WAIT")) {
      host.showCommand(QStringLiteral("wait"));
      host.showWait(lineAt(i + 1));
      // A number beyond what a float holds waits "for ever" (until a stop), not undefined.
      host.waitSeconds(static_cast<float>(std::clamp(valNumber(lineAt(i + 1)), -1.0, 1.0e9)));
      i += 2;
    } else if (line.size() > 6) {
      const QString command = line.mid(6);
      host.showCommand(command);
      host.send(command);
      if (errorStop) {
        const QString first = host.replyStatus().left(1);
        if (first != u"0" && first != u"9") return RunEnd::ErrorStop;
      }
      ++i;
    } else {
      ++i;
    }

    if (!host.portOpen()) return RunEnd::PortClosed;
    if (host.stopRequested()) return RunEnd::Stopped;
  }
  return RunEnd::Finished;
}

}  // namespace tavo
