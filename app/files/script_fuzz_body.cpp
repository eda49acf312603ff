#include "app/files/script_fuzz_body.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <iterator>
#include <vector>

namespace tavo {
namespace {

// A broken check. It is thrown from inside the run, so a run that goes on where it should have
// ended stops at the first step too many.
struct Finding {
  std::string what;
};

enum class Kind { End, Loop, Poll, Wait, Send, Comment };

Kind kindOf(const QString& line) {
  const QString key = line.left(6).toUpper();
  if (key.startsWith(u"END")) return Kind::End;
  if (key.startsWith(u"LOOP")) return Kind::Loop;
  if (key.startsWith(u"POLL")) return Kind::Poll;
  if (key.startsWith(u"WAIT")) return Kind::Wait;
  return line.size() > 6 ? Kind::Send : Kind::Comment;
}

bool showsCommand(Kind kind) {
  return kind != Kind::Loop && kind != Kind::Comment;
}

// What showCommand shows for a line of each kind; null for kinds that show nothing.
QString shownCommand(Kind kind, const QString& line) {
  switch (kind) {
    case Kind::End:
      return QStringLiteral("end");
    case Kind::Poll:
      return QStringLiteral("POLL");
    case Kind::Wait:
      return QStringLiteral("wait");
    case Kind::Send:
      return line.mid(6);
    case Kind::Loop:
    case Kind::Comment:
      break;
  }
  return QString();
}

const char* endName(RunEnd end) {
  switch (end) {
    case RunEnd::Finished:
      return "Finished";
    case RunEnd::ErrorStop:
      return "ErrorStop";
    case RunEnd::PortClosed:
      return "PortClosed";
    case RunEnd::Stopped:
      return "Stopped";
    case RunEnd::BadLoop:
      return "BadLoop";
  }
  return "(not a RunEnd)";
}

bool goodStatus(const QString& status) {
  return status.startsWith(u'0') || status.startsWith(u'9');
}

struct HostSettings {
  bool errorStop = false;
  bool japanese = false;
  int closeAt = 0;  // step number; 0 never
  int stopAt = 0;
  bool stopInStep = false;  // the stop comes while the step runs, not before it
  QByteArray statuses;
};

HostSettings settingsFrom(const QByteArray& bytes) {
  auto byte = [&](qsizetype k) { return k < bytes.size() ? static_cast<uint8_t>(bytes[k]) : 0; };
  HostSettings s;
  s.errorStop = (byte(0) & 1) != 0;
  s.japanese = (byte(0) & 2) != 0;
  s.stopInStep = (byte(0) & 4) != 0;
  s.closeAt = byte(1) | byte(2) << 8;
  s.stopAt = byte(3) | byte(4) << 8;
  if (bytes.size() > 5) s.statuses = bytes.mid(5);
  return s;
}

// What one step did, as the host saw it.
struct Step {
  int loop = -1;  // the loop counter shown; -1 before showLoop
  int line = 0;   // the line shown; 0 before showLine
  Kind kind = Kind::Comment;
  int showCommands = 0;
  int showWaits = 0;
  int polls = 0;
  int sends = 0;
  int waits = 0;
  int reports = 0;
  QString status;  // the reply status after this step's command
};

class CheckingHost final : public RunHost {
 public:
  CheckingHost(const QStringList& lines, const HostSettings& settings, int stepBudget)
      : lines_(lines),
        count_(static_cast<int>(lines.size())),
        s_(settings),
        budget_(stepBudget),
        started_(static_cast<size_t>(count_) + 1, false) {
    kinds_.reserve(lines.size());
    for (const QString& line : lines) kinds_.push_back(kindOf(line));
  }

  void yield() override {
    if (step_ > 0) endOfStep(true);
    ++step_;
    prev_ = cur_;
    cur_ = Step{};
    if (step_ == s_.closeAt && open_) {
      open_ = false;
      closedAt_ = step_;
    }
    // The budget's stop, like an operator's, comes while events run between two steps.
    if (step_ == budget_ || (step_ == s_.stopAt && !s_.stopInStep)) askStop(true);
  }

  void showLoop(int loopRemaining) override {
    if (step_ == 0) fail("showLoop before the first step");
    requireNoStopBefore();
    if (cur_.loop >= 0) fail("showLoop twice in one step");
    if (loopRemaining < 0 || loopRemaining > 32766)
      fail("loop counter " + std::to_string(loopRemaining) + " outside 0..32766");
    cur_.loop = loopRemaining;
    if (cur_.line > 0) stepShown();
  }

  void showLine(int line) override {
    if (step_ == 0) fail("showLine before the first step");
    requireNoStopBefore();
    if (cur_.line > 0) fail("showLine twice in one step");
    if (line < 1 || line > count_)
      fail("showLine(" + std::to_string(line) + ") in a file of " + std::to_string(count_) +
           " lines");
    cur_.line = line;
    cur_.kind = kinds_[static_cast<size_t>(line - 1)];
    if (cur_.loop >= 0) stepShown();
    if (step_ == s_.stopAt && s_.stopInStep) askStop(false);
  }

  void showCommand(const QString& text) override {
    requireShown("showCommand");
    if (!showsCommand(cur_.kind)) fail("showCommand(\"" + text.toStdString() + "\") on this line");
    const QString& line = lines_[cur_.line - 1];
    if (cur_.kind == Kind::Send ? text != QStringView(line).mid(6)
                                : text != shownCommand(cur_.kind, line)) {
      fail("showCommand(\"" + text.toStdString() + "\"), not \"" +
           shownCommand(cur_.kind, line).toStdString() + "\"");
    }
    if (++cur_.showCommands > 1) fail("showCommand twice in one step");
  }

  void showWait(const QString& text) override {
    requireShown("showWait");
    if (cur_.kind != Kind::Wait) fail("showWait on a line that is not WAIT");
    if (text != lineText(cur_.line + 1))
      fail("showWait(\"" + text.toStdString() + "\"), not the next line's text");
    if (++cur_.showWaits > 1) fail("showWait twice in one step");
  }

  void poll() override {
    requireShown("poll");
    if (cur_.kind != Kind::Poll) fail("poll on a line that is not POLL");
    if (++cur_.polls > 1) fail("poll twice in one step");
  }

  void send(const QString& command) override {
    requireShown("send");
    if (command.isEmpty()) fail("send of an empty command");
    if (lineText(cur_.line).size() <= 6) fail("send from a line of six characters or fewer");
    if (cur_.kind != Kind::Send) fail("send(\"" + command.toStdString() + "\") on a key line");
    if (command != QStringView(lines_[cur_.line - 1]).mid(6))
      fail("send(\"" + command.toStdString() + "\"), not characters 7.. of the line");
    if (++cur_.sends > 1) fail("send twice in one step");
    cur_.status =
        s_.statuses.isEmpty()
            ? QStringLiteral("90")
            : QString::fromLatin1(kReplyStatuses[static_cast<uint8_t>(
                                                     s_.statuses[sendCount_ % s_.statuses.size()]) %
                                                 std::size(kReplyStatuses)]);
    ++sendCount_;
  }

  void waitSeconds(float) override {
    requireShown("waitSeconds");
    if (cur_.kind != Kind::Wait) fail("waitSeconds on a line that is not WAIT");
    if (++cur_.waits > 1) fail("waitSeconds twice in one step");
  }

  bool portOpen() override { return open_; }
  bool stopRequested() override { return stop_; }

  QString replyStatus() override {
    if (step_ == 0 || cur_.sends == 0) fail("replyStatus asked without a command in the step");
    return cur_.status;
  }

  void report(const QString& text) override {
    requireShown("report");
    if (cur_.kind != Kind::Loop) fail("report(\"" + text.toStdString() + "\") on a line not LOOP");
    if (++reports_ > 1) fail("a second report(\"" + text.toStdString() + "\")");
    ++cur_.reports;
    const QString prefix = s_.japanese ? QString::fromUtf16(u"%1行目:").arg(cur_.line)
                                       : QStringLiteral("Line %1:").arg(cur_.line);
    if (!text.startsWith(prefix))
      fail("report(\"" + text.toStdString() + "\") does not begin with \"" + prefix.toStdString() +
           "\"");
  }

  int steps() const { return step_; }

  // The run has returned end.
  void finish(RunEnd end) {
    const std::string ended = std::string("ended with ") + endName(end);
    if (step_ == 0) {
      if (count_ != 0) fail(ended + " before the first step of " + std::to_string(count_));
      if (end != RunEnd::Finished) fail(ended + " with no lines to run");
      return;
    }
    endOfStep(false);
    if (stopBeforeThisStep()) {
      if (end != RunEnd::Stopped && !(end == RunEnd::PortClosed && !open_))
        fail(ended + " on a stop before the step");
      return;
    }
    const Step& s = cur_;
    const bool badStatus = s_.errorStop && s.kind == Kind::Send && !goodStatus(s.status);
    const bool nested = s.kind == Kind::Loop && s.loop > 0 && s.line != countingLine_;
    if (reports_ > 0 && end != RunEnd::BadLoop) fail(ended + " after a report");
    if (s.kind == Kind::End && end != RunEnd::Finished) fail(ended + " on an END line");
    if (nested && end != RunEnd::BadLoop) fail(ended + " on a LOOP inside another loop");
    switch (end) {
      case RunEnd::Finished:
        if (s.kind == Kind::End) break;
        if (s.kind == Kind::Loop && s.loop > 1) fail(ended + " in the middle of a loop");
        if (!open_) fail(ended + " although the port closed at step " + std::to_string(closedAt_));
        if (stop_) fail(ended + " although a stop came at step " + std::to_string(stoppedAt_));
        if (badStatus) fail(ended + " after status \"" + s.status.toStdString() + "\"");
        if (nextLine(s) <= count_)
          fail(ended + " with line " + std::to_string(nextLine(s)) + " of " +
               std::to_string(count_) + " still to run");
        break;
      case RunEnd::ErrorStop:
        if (!badStatus) fail(ended + " without a bad status under Error Stop");
        break;
      case RunEnd::PortClosed:
        if (open_) fail(ended + " with the port open");
        break;
      case RunEnd::Stopped:
        if (!stop_) fail(ended + " without a stop asked for");
        break;
      case RunEnd::BadLoop:
        if (s.kind != Kind::Loop) fail(ended + " on a line that is not LOOP");
        if (s.reports != 1) fail(ended + " without a report");
        break;
      default:
        fail(ended);
    }
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    std::string where = "step " + std::to_string(step_);
    if (step_ > 0 && cur_.line > 0) {
      where += ", line " + std::to_string(cur_.line) + " \"" +
               lineText(cur_.line).left(40).toStdString() + "\"";
    }
    where += " (file of " + std::to_string(count_) + " lines";
    if (s_.errorStop) where += ", Error Stop";
    if (closedAt_ > 0) where += ", port closed at step " + std::to_string(closedAt_);
    if (stoppedAt_ > 0) {
      where += ", stop at step " + std::to_string(stoppedAt_) +
               (stopBefore_ ? " before it ran" : " while it ran");
    }
    throw Finding{where + "): " + what};
  }

  QString lineText(int line) const {
    return line >= 1 && line <= count_ ? lines_[line - 1] : QString();
  }

  void askStop(bool beforeStep) {
    if (stop_) return;
    stop_ = true;
    stoppedAt_ = step_;
    stopBefore_ = beforeStep;
  }

  bool stopBeforeThisStep() const { return stop_ && stopBefore_ && stoppedAt_ == step_; }

  // A stop that came before a step ends the run before it.
  void requireNoStopBefore() const {
    if (stopBeforeThisStep())
      fail("the run went on after a stop at step " + std::to_string(stoppedAt_) +
           ", asked for before the step");
  }

  void requireShown(const char* call) const {
    if (step_ == 0 || cur_.loop < 0 || cur_.line == 0)
      fail(std::string(call) + " before the step showed its loop counter and line");
  }

  // The line the run goes to after step s when it does not jump.
  static int nextLine(const Step& s) {
    switch (s.kind) {
      case Kind::Wait:
        return s.line + 2;
      case Kind::Loop:
        return s.line + 3;
      default:
        return s.line + 1;
    }
  }

  // Checks what the step just over did; goesOn: another step is starting.
  void endOfStep(bool goesOn) {
    const Step& s = cur_;
    if (stopBeforeThisStep() && s.loop < 0 && s.line == 0) {
      if (goesOn) requireNoStopBefore();
      return;
    }
    if (s.loop < 0 || s.line == 0) fail("a step without its loop counter and line shown");
    if (showsCommand(s.kind) && s.showCommands != 1) fail("no showCommand in the step");
    if (s.kind == Kind::Poll && s.polls != 1) fail("no poll on a POLL line");
    if (s.kind == Kind::Wait && (s.waits != 1 || s.showWaits != 1))
      fail("no waitSeconds and showWait on a WAIT line");
    if (s.kind == Kind::Send && s.sends != 1) fail("no send on a command line");
    if (!goesOn) return;
    auto wentOnAfter = [&](const std::string& what) { fail("the run went on after " + what); };
    if (s.kind == Kind::End) wentOnAfter("an END line");
    if (!open_) wentOnAfter("the port closed at step " + std::to_string(closedAt_));
    if (stop_) wentOnAfter("a stop at step " + std::to_string(stoppedAt_));
    if (s.reports > 0) wentOnAfter("a report");
    if (s_.errorStop && s.kind == Kind::Send && !goodStatus(s.status))
      wentOnAfter("status \"" + s.status.toStdString() + "\" under Error Stop");
  }

  // Both the loop counter and the line of the new step are known: checks the move from the
  // step before. These are what make every run end: the counter changes only on LOOP lines, a
  // jump counts down the loop that counts, and no LOOP line starts counting twice.
  void stepShown() {
    const Step& s = cur_;
    if (step_ == 1) {
      if (s.line != 1 || s.loop != 0) fail("the first step is not line 1 with counter 0");
      return;
    }
    const Step& p = prev_;
    auto move = [&] {
      return "from line " + std::to_string(p.line) + " (counter " + std::to_string(p.loop) +
             ") to line " + std::to_string(s.line) + " (counter " + std::to_string(s.loop) + ")";
    };
    if (p.kind != Kind::Loop) {
      if (s.loop != p.loop) fail("the counter changed off a LOOP line, " + move());
      if (s.line != nextLine(p)) fail("a jump off a LOOP line, " + move());
      return;
    }
    if (p.loop > 0 && p.line != countingLine_)
      fail("the run went on past a LOOP inside the loop of line " + std::to_string(countingLine_) +
           ", " + move());
    if (s.loop == 0) {
      if (p.loop > 1) fail("the counter dropped by more than one, " + move());
      if (s.line != nextLine(p)) fail("a finished loop jumped, " + move());
      countingLine_ = 0;
      return;
    }
    if (p.loop == 0) {
      if (started_[static_cast<size_t>(p.line)])
        fail("the loop of line " + std::to_string(p.line) + " started a second time, " + move());
      started_[static_cast<size_t>(p.line)] = true;
      countingLine_ = p.line;
    } else if (s.loop != p.loop - 1) {
      fail("the counter did not count down by one, " + move());
    }
  }

  const QStringList& lines_;
  const int count_;
  const HostSettings s_;
  const int budget_;
  int step_ = 0;
  Step cur_;
  Step prev_;
  bool open_ = true;
  bool stop_ = false;
  bool stopBefore_ = false;  // the stop came before its step, not while it ran
  int closedAt_ = 0;
  int stoppedAt_ = 0;
  int sendCount_ = 0;
  int reports_ = 0;
  int countingLine_ = 0;  // the LOOP line whose passes the counter counts; 0 none
  std::vector<bool> started_;
  std::vector<Kind> kinds_;  // of each line
};

// What splitScriptLines and scriptTextFromFile promise about any file.
void checkLines(const QString& text, const QStringList& lines) {
  auto fail = [](const std::string& what) { throw Finding{"reading the file: " + what}; };
  if (!text.isEmpty() && !text.endsWith(QStringLiteral("\r\n"))) fail("text without a last CR LF");
  if (lines.size() > kMaxScriptLines) fail(std::to_string(lines.size()) + " lines");
  if (!text.isEmpty() && lines.isEmpty()) fail("no lines from a non-empty file");
  for (const QString& line : lines) {
    if (line.contains(u'\r') || line.contains(u'\n')) fail("a line with a CR or LF in it");
  }
  const QString joined = lines.isEmpty() ? QString() : lines.join(QStringLiteral("\r\n")) + "\r\n";
  if (!text.startsWith(joined)) fail("the lines are not the start of the text");
  if (lines.size() < kMaxScriptLines && joined.size() != text.size())
    fail("fewer than 300 lines and text left over");
}

}  // namespace

CheckedRun checkScriptRun(const uint8_t* data, size_t size, int stepBudget,
                          const ScriptRunner& run) {
  const QByteArray bytes(reinterpret_cast<const char*>(data),
                         static_cast<qsizetype>(std::min(size, kFuzzMaxInputBytes)));
  const qsizetype nul = bytes.indexOf('\0');
  const QByteArray file = nul < 0 ? bytes : bytes.left(nul);
  const HostSettings settings = nul < 0 ? HostSettings{} : settingsFrom(bytes.mid(nul + 1));
  CheckedRun result;
  try {
    const QString text = scriptTextFromFile(file);
    const QStringList lines = splitScriptLines(text);
    checkLines(text, lines);
    CheckingHost host(lines, settings, stepBudget);
    result.end = run(lines, settings.errorStop, settings.japanese, host);
    result.ended = true;
    result.steps = host.steps();
    host.finish(result.end);
  } catch (const Finding& finding) {
    result.finding = finding.what;
  }
  return result;
}

}  // namespace tavo
