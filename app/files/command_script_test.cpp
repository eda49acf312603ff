#include "app/files/command_script.h"

#include <gtest/gtest.h>

#include "app/core/qstring_printer.h"

#include <functional>

namespace tavo {
namespace {

// Records what a run does; the port closes or a stop comes when the test says.
class RecordingHost final : public RunHost {
 public:
  QStringList steps;
  QStringList reports;
  QString status = QStringLiteral("90");
  std::function<QString(const QString&)> statusFor;  // per command, when set
  bool open = true;
  bool stop = false;
  int maxSteps = 100000;

  std::function<void()> onYield;

  void yield() override {
    if (--maxSteps < 0) throw std::runtime_error("the run does not end");
    if (onYield) onYield();
  }
  void showLine(int) override {}
  void showLoop(int) override {}
  void showCommand(const QString&) override {}
  void showWait(const QString&) override {}
  void poll() override { steps << "POLL"; }
  void send(const QString& command) override {
    steps << command;
    if (statusFor) status = statusFor(command);
  }
  void waitSeconds(float s) override { steps << QString("wait %1").arg(s); }
  bool portOpen() override { return open; }
  bool stopRequested() override { return stop; }
  QString replyStatus() override { return status; }
  void report(const QString& text) override { reports << text; }
};

QStringList lines(const char* text) {
  return splitScriptLines(QString::fromUtf8(text));
}

TEST(CommandScript, OnlyLinesEndedByCrLfCount) {
  EXPECT_EQ(lines("COMANDPA\r\nCOMANDCL"), QStringList({"COMANDPA"}));
  EXPECT_EQ(lines("a\r\n\r\nb\nc\r\n"), QStringList({"a", "", "b\nc"}));
  QString many;
  for (int i = 1; i <= 301; ++i) many += QString("COMAND%1\r\n").arg(i);
  const QStringList split = splitScriptLines(many);
  ASSERT_EQ(split.size(), 300);
  EXPECT_EQ(split.last(), "COMAND300");
}

TEST(CommandScript, FileTextGetsCrLfAfterEveryLine) {
  EXPECT_EQ(scriptTextFromFile("a\r\nb\nc\rd"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(scriptTextFromFile("a\r\n"), "a\r\n");
  EXPECT_EQ(scriptTextFromFile(""), "");
  EXPECT_EQ(scriptTextFromFile("\r\n\r\n"), "\r\n\r\n");
  EXPECT_EQ(scriptTextFromFile("' \x83\x54\x83\x93\x83\x76\x83\x8B\r\n"),
            QString::fromUtf16(u"' サンプル\r\n"));
}

TEST(CommandScript, SampleRunsItsLoopBodyTheGivenNumberOfTimes) {
  const QString sample = QString::fromUtf16(
      u"' サンプル\r\nPOLL**\r\nPowAckPA\r\nCOMANDCL\r\nCOMANDCI\r\nPrint>PC\r\n"
      u"Print>PD:0/10/50/esc$e22VX-T8820LClf$esc$e11Sample Print\r\nCOMANDPO\r\nwait\r\n1\r\n"
      u"Loop\r\n4\r\n1000\r\nEND\r\n");
  EXPECT_EQ(sampleScript(), sample);
  QString three = sample;
  three.replace(QStringLiteral("\r\n1000\r\n"), QStringLiteral("\r\n3\r\n"));
  RecordingHost host;
  EXPECT_EQ(runScript(splitScriptLines(three), false, true, host), RunEnd::Finished);
  QStringList body = {"CL", "CI",    "PC", "PD:0/10/50/esc$e22VX-T8820LClf$esc$e11Sample Print",
                      "PO", "wait 1"};
  QStringList expected = {"POLL", "PA"};
  for (int i = 0; i < 3; ++i) expected += body;
  EXPECT_EQ(host.steps, expected);
}

TEST(CommandScript, LoopCounts) {
  // Pass count 3 with target 2: lines 2 up to the loop run three times.
  RecordingHost three;
  runScript(lines("COMANDA1\r\nCOMANDB2\r\nLOOP\r\n2\r\n3\r\nCOMANDC3\r\n"), false, true, three);
  EXPECT_EQ(three.steps, QStringList({"A1", "B2", "B2", "B2", "C3"}));
  // One pass, or none, runs the body once.
  for (const char* passes : {"1", "0", "-5", "x"}) {
    RecordingHost once;
    runScript(lines(QString("COMANDB2\r\nloop\r\n1\r\n%1\r\nCOMANDC3\r\n").arg(passes).toUtf8()),
              false, true, once);
    EXPECT_EQ(once.steps, QStringList({"B2", "C3"})) << passes;
  }
  // Loops one after the other share the counter and both count right.
  RecordingHost two;
  runScript(lines("COMANDA\r\nLOOP\r\n1\r\n2\r\nCOMANDB\r\nLOOP\r\n5\r\n2\r\n"), false, true, two);
  EXPECT_EQ(two.steps, QStringList({"A", "A", "B", "B"}));
}

TEST(CommandScript, LoopTargetOutsideTheScriptEndsTheRunWithAMessage) {
  for (const char* target : {"0", "-1", "99", "two", "1.5"}) {
    RecordingHost host;
    const RunEnd end = runScript(
        lines(QString("COMANDA\r\nLOOP\r\n%1\r\n3\r\n").arg(target).toUtf8()), false, false, host);
    EXPECT_EQ(end, RunEnd::BadLoop) << target;
    ASSERT_EQ(host.reports.size(), 1);
    EXPECT_TRUE(host.reports[0].startsWith("Line 2:")) << host.reports[0].toStdString();
  }
}

TEST(CommandScript, NestedLoopEndsTheRunInsteadOfRunningForever) {
  // The inner loop (line 2) would use up the outer loop's passes (line 5), so the outer one
  // would start again after every round.
  RecordingHost host;
  const RunEnd end = runScript(lines("COMANDA\r\nLOOP\r\n1\r\n2\r\nLOOP\r\n1\r\n3\r\nCOMANDZ\r\n"),
                               false, false, host);
  EXPECT_EQ(end, RunEnd::BadLoop);
  EXPECT_EQ(host.steps, QStringList({"A", "A", "A"}));
  ASSERT_EQ(host.reports.size(), 1);
  EXPECT_EQ(host.reports[0], "Line 2: a LOOP inside the loop of line 5; loops cannot be nested");
  // A loop that jumped forward keeps counting, and the next LOOP line is refused the same way.
  RecordingHost forward;
  EXPECT_EQ(runScript(lines("LOOP\r\n5\r\n3\r\nCOMANDA\r\nCOMANDB\r\nLOOP\r\n5\r\n2\r\n"), false,
                      true, forward),
            RunEnd::BadLoop);
  EXPECT_EQ(forward.steps, QStringList({"B"}));
  // A loop on its own line runs its empty body and goes on.
  RecordingHost self;
  EXPECT_EQ(runScript(lines("COMANDA\r\nLOOP\r\n2\r\n5\r\nCOMANDB\r\n"), false, true, self),
            RunEnd::Finished);
  EXPECT_EQ(self.steps, QStringList({"A", "B"}));
}

TEST(CommandScript, CommentsWaitsAndEnd) {
  RecordingHost host;
  runScript(lines("COMAND\r\n'note\r\nWait\r\n0.5\r\nCOMANDX\r\nend\r\nCOMANDY\r\n"), false, true,
            host);
  EXPECT_EQ(host.steps, QStringList({"wait 0.5", "X"}));
  RecordingHost huge;
  runScript(lines("WAIT\r\n1e300\r\nWAIT\r\n-1e300\r\n"), false, true, huge);
  EXPECT_EQ(huge.steps, QStringList({"wait 1e+09", "wait -1"}));
}

TEST(CommandScript, ErrorStopLooksAtTheStatusFirstCharacter) {
  auto run = [](const char* status) {
    RecordingHost host;
    host.status = status;
    const RunEnd end = runScript(lines("COMANDA\r\nCOMANDB\r\n"), true, true, host);
    return std::make_pair(end, host.steps.size());
  };
  EXPECT_EQ(run("90"), std::make_pair(RunEnd::Finished, qsizetype(2)));
  EXPECT_EQ(run("04"), std::make_pair(RunEnd::Finished, qsizetype(2)));
  EXPECT_EQ(run("14"), std::make_pair(RunEnd::ErrorStop, qsizetype(1)));
  EXPECT_EQ(run(""), std::make_pair(RunEnd::ErrorStop, qsizetype(1)));
  RecordingHost off;
  off.status = "14";
  EXPECT_EQ(runScript(lines("COMANDA\r\nCOMANDB\r\n"), false, true, off), RunEnd::Finished);
}

TEST(CommandScript, PortLossAndStopEndTheRunAfterTheStep) {
  RecordingHost closed;
  closed.statusFor = [&](const QString& c) {
    if (c == "B") closed.open = false;
    return QString("90");
  };
  EXPECT_EQ(runScript(lines("COMANDA\r\nCOMANDB\r\nCOMANDC\r\n"), false, true, closed),
            RunEnd::PortClosed);
  EXPECT_EQ(closed.steps, QStringList({"A", "B"}));
  RecordingHost stopped;
  stopped.statusFor = [&](const QString&) {
    stopped.stop = true;
    return QString("90");
  };
  EXPECT_EQ(runScript(lines("COMANDA\r\nLOOP\r\n1\r\n1000\r\n"), false, true, stopped),
            RunEnd::Stopped);
  EXPECT_EQ(stopped.steps.size(), 1);
  // A stop asked for while events run between two steps (an abort): no further step.
  RecordingHost between;
  int yields = 0;
  between.onYield = [&] { between.stop = ++yields == 2; };
  EXPECT_EQ(runScript(lines("COMANDA\r\nCOMANDB\r\n"), false, true, between), RunEnd::Stopped);
  EXPECT_EQ(between.steps, QStringList({"A"}));
}

}  // namespace
}  // namespace tavo
