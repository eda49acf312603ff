// Tavotest end to end: the real binary, started as a child process, talks over a pseudo-terminal
// to a device that the test plays (or to the simulator). The test reads the frames the program
// puts on the line with a parser of its own, answers them, and reads the program's transcript
// (--run, --ui-script) line by line as it comes. Expected frames and texts are worked out here
// from the link protocol, not taken from the application's code.
#include "tests/tavotest_e2e.h"

namespace {

using namespace tavotest_e2e;

// ---- The link, frame by frame ------------------------------------------------------------------

using TavotestLink = TavotestE2E;

// "Send" polls first and sends the command only once the poll has its reply; "RS" goes out as
// 04 02 52 53 03 02 and its "R" reply ends the command.
TEST_F(TavotestLink, SendPollsAndWaitsForTheReplyBeforeTheCommand) {
  int polls = 0;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Poll && polls++ == 0) return {Reply("R2000"), 250};
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(RunFile(CommandFile({"L00001RS"}), device.path(), &out), 0) << stderr_;
  ASSERT_TRUE(device.WaitFrames(2));
  const auto frames = device.Frames();
  EXPECT_EQ(frames[0].bytes, Bytes("\x04\x05"));
  EXPECT_EQ(frames[1].bytes, Bytes("\x04\x02RS\x03\x02"));
  EXPECT_GE(frames[1].at, frames[0].answeredAt) << "the command went out before the poll's reply";
  ASSERT_GE(out.size(), 5u) << Joined(out);
  EXPECT_EQ(Lines(out.begin(), out.begin() + 4), (Lines{"Poll", "   R2000", "RS", "   R0000"}));
  EXPECT_EQ(out[4].rfind("=> R 00", 0), 0u) << out[4];
}

// Text on the line is code page 932; the escape names of the command entry become their bytes.
TEST_F(TavotestLink, CommandTextGoesOutInCodePage932WithEscapeNamesExpanded) {
  PtyDevice device;
  Lines out;
  const std::string file =
      CommandFile({"L00001PD:0/4/0/" + kTesutoSjis, "L00002PD:0/5/0/esc$Alf$bin$8Fsi$so$bin$41"});
  ASSERT_EQ(RunFile(file, device.path(), &out), 0) << stderr_;
  const auto commands = Commands(device.Frames());
  ASSERT_EQ(commands.size(), 2u) << Joined(Describe(device.Frames()));
  EXPECT_EQ(commands[0].bytes, Bytes("\x04\x02PD:0/4/0/\x83\x65\x83\x58\x83\x67\x03") +
                                   Bcc("PD:0/4/0/" + kTesutoSjis));
  EXPECT_EQ(commands[1].bytes, CommandFrame("PD:0/5/0/\x1b"
                                            "A\n\x8f\x0f\x0e"
                                            "A"));
  EXPECT_TRUE(Contains(out, "PD:0/4/0/テスト")) << Joined(out);
  EXPECT_EQ(std::count(out.begin(), out.end(), "=> APD 90 OK"), 2) << Joined(out);
}

// With Auto Poll the host polls after an ACK and after a "B" answer for its command, until the
// "A" answer comes.
TEST_F(TavotestLink, AutoPollFollowsAckAndBusyAnswers) {
  int pollsAfterCommand = -1;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command) {
      pollsAfterCommand = 0;
      return Bytes(1, ACK);
    }
    if (f.kind == HostFrame::Kind::Poll && pollsAfterCommand >= 0) {
      return ++pollsAfterCommand == 1 ? Reply("BPR00") : Reply("APR90");
    }
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(RunFile(CommandFile({"L00001PR"}), device.path(), &out), 0) << stderr_;
  EXPECT_EQ(Describe(device.Frames()), (Lines{"poll", "PR", "poll", "poll"}));
  EXPECT_EQ(out, (Lines{"Poll", "   R0000", "PR", "   ACK", "Poll", "   BPR00", "Poll", "   APR90",
                        "=> APR 90 OK"}));
}

// Auto Poll off: nothing follows the answer. Back on: a poll follows it.
TEST_F(TavotestLink, AutoPollOffSendsNothingAfterTheAnswer) {
  PtyDevice device;
  Lines out;
  const std::string script =
      "check Check10 off\n"
      "set Text5 VS\n"
      "press cmdKaishi\n"
      "wait 300\n"
      "print Label10\n"
      "check Check10 on\n"
      "press cmdKaishi\n"
      "wait 300\n"
      "print Label10\n"
      "quit\n";
  ASSERT_EQ(RunUiScript(script, device.path(), &out), 0) << Joined(out) << stderr_;
  EXPECT_EQ(out, (Lines{"Poll", "   R0000", "VS", "   AVS90", "Label10: AVS",      // off
                        "Poll", "   R0000", "VS", "   AVS90", "Poll", "   R0000",  // on
                        "Label10: R"}));
  device.WaitFrames(5, 2000);
  EXPECT_EQ(Describe(device.Frames()), (Lines{"poll", "VS", "poll", "VS", "poll"}));
}

// With "DSR Checkd" a device that goes away while the link is idle (a USB adapter pulled, here the
// pty's master closed) closes the link and says so at once, not at the next reply time-out.
TEST_F(TavotestLink, AVanishedDeviceClosesTheLinkAtOnceWithDsrChecked) {
  PtyDevice device([](const HostFrame& f) {
    Answer a = UsualAnswer(f);
    if (f.kind == HostFrame::Kind::Command) a.hangUpMs = 200;
    return a;
  });
  Lines out;
  const std::string script =
      "check Check10 off\n"
      "check Check1 on\n"
      "set Text5 VS\n"
      "press cmdKaishi\n"
      "print Label33\n"
      "wait 1500\n"
      "print Label33\n"
      "quit\n";
  ASSERT_EQ(RunUiScript(script, device.path(), &out, {"--lang", "en"}), 0)
      << Joined(out) << stderr_;
  EXPECT_EQ(Printed(out),
            (Lines{"Label33: True", "message: Terminal OFF -> ok", "Label33: False"}));
  EXPECT_EQ(Describe(device.Frames()), (Lines{"poll", "VS"}));
}

// A NAK from the device makes the host send the very same frame again, as often as it comes.
TEST_F(TavotestLink, DeviceNakMakesTheHostRepeatTheSameFrame) {
  int commands = 0;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command && ++commands <= 3) return Bytes(1, NAK);
    if (f.kind == HostFrame::Kind::Command) return Reply("AVS902.10");
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(RunFile(CommandFile({"L00001VS"}), device.path(), &out), 0) << stderr_;
  const auto sent = Commands(device.Frames());
  ASSERT_EQ(sent.size(), 4u) << Joined(Describe(device.Frames()));
  for (const auto& f : sent) EXPECT_EQ(f.bytes, CommandFrame("VS"));
  EXPECT_EQ(std::count(out.begin(), out.end(), "   NAK"), 3) << Joined(out);
  EXPECT_EQ(std::count(out.begin(), out.end(), "VS"), 4) << Joined(out);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back(), "=> AVS 90 OK");
}

// A reply with a wrong check byte is dropped without a NAK: the host polls again. Label39 names
// the echo of the last good answer.
TEST_F(TavotestLink, ReplyWithAWrongCheckByteIsDroppedWithoutANak) {
  enum { Start, VsBad, VsDone, PaDone } phase = Start;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command && f.text == "VS") {
      phase = VsBad;
      return ReplyWithBadBcc("AVS90");
    }
    if (f.kind == HostFrame::Kind::Command && f.text == "PA") {
      phase = PaDone;
      return Reply("APA90");
    }
    if (f.kind == HostFrame::Kind::Poll && phase == VsBad) {
      phase = VsDone;
      return Reply("AVS902.10");
    }
    // Every poll after "PA" is answered with a wrong check byte.
    if (f.kind == HostFrame::Kind::Poll && phase == PaDone) return ReplyWithBadBcc("R0000");
    return UsualAnswer(f);
  });
  Lines out;
  const std::string script =
      "set Text5 VS\n"
      "press cmdKaishi\n"
      "print Label10\n"
      "set Text5 PA\n"
      "press cmdKaishi\n"
      "wait 300\n"
      "print Label39\n"
      "print Label25\n"
      "quit\n";
  ASSERT_EQ(RunUiScript(script, device.path(), &out), 0) << Joined(out) << stderr_;
  Lines withoutPolls;
  for (const auto& l : out)
    if (l != "Poll") withoutPolls.push_back(l);
  EXPECT_EQ(withoutPolls, (Lines{"   R0000", "VS", "   AVS902.10", "Label10: AVS", "   R0000", "PA",
                                 "   APA90", "Label39: BCC error     PA", "Label25: "}));
  const auto frames = device.Frames();
  const Lines described = Describe(frames);
  ASSERT_GE(described.size(), 7u) << Joined(described);
  EXPECT_EQ(Lines(described.begin(), described.begin() + 6),
            (Lines{"poll", "VS", "poll", "poll", "PA", "poll"}));
  // After the first bad answer to a poll, the host keeps polling.
  EXPECT_EQ(described[6], "poll");
  EXPECT_TRUE(OfKind(frames, HostFrame::Kind::Nak).empty()) << Joined(described);
}

// A "B" answer for another command than the one sent: the host sends its command again at once.
// A "B" answer for its own command is followed by a poll.
TEST_F(TavotestLink, BusyAnswerWithAnotherEchoSendsTheCommandAgain) {
  int commands = 0, polls = 0;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command) {
      ++commands;
      if (f.text == "PR") return commands == 1 ? Reply("BCI00") : Reply("APR90");
      return Reply("BCO00");
    }
    if (f.kind == HostFrame::Kind::Poll && commands == 3 && polls++ == 0) return Reply("ACO90");
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(RunFile(CommandFile({"L00001PR", "L00002CO"}), device.path(), &out), 0) << stderr_;
  const Lines described = Describe(device.Frames());
  ASSERT_GE(described.size(), 6u) << Joined(described);
  EXPECT_EQ(described[0], "poll");
  EXPECT_EQ(described[1], "PR");
  EXPECT_EQ(described[2], "PR");
  EXPECT_EQ(Commands(device.Frames())[1].bytes, CommandFrame("PR"));
  // The CO exchange: its own "B" answer gets a poll, which brings the "A" answer.
  const auto co = std::find(described.begin(), described.end(), "CO");
  ASSERT_NE(co, described.end()) << Joined(described);
  ASSERT_NE(co + 1, described.end()) << Joined(described);
  EXPECT_EQ(*(co + 1), "poll");
  EXPECT_TRUE(Contains(out, "   BCI00")) << Joined(out);
  EXPECT_TRUE(Contains(out, "=> APR 90 OK")) << Joined(out);
  EXPECT_TRUE(Contains(out, "   BCO00")) << Joined(out);
  EXPECT_TRUE(Contains(out, "=> ACO 90 OK")) << Joined(out);
}

// "CT" and "!!" commands are shown and logged as "**", also when a NAK has them sent again; the
// line carries the real command every time.
TEST_F(TavotestLink, CounterCommandsAreMaskedAndRepeatedForRealAfterANak) {
  int counterCommands = 0;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command && f.text == "CT:0")
      return ++counterCommands == 1 ? Answer(Bytes(1, NAK)) : Answer(Reply("ACT9000000012"));
    if (f.kind == HostFrame::Kind::Command && f.text == "!!c") return Reply("A!!90");
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(RunFile(CommandFile({"L00001CT:0", "L00002!!c"}), device.path(), &out), 0) << stderr_;
  const auto commands = Commands(device.Frames());
  ASSERT_EQ(commands.size(), 3u) << Joined(Describe(device.Frames()));
  EXPECT_EQ(commands[0].bytes, CommandFrame("CT:0"));
  EXPECT_EQ(commands[1].bytes, CommandFrame("CT:0"));
  EXPECT_EQ(commands[2].bytes, CommandFrame("!!c"));
  for (const auto& line : out) {
    EXPECT_EQ(line.find("CT"), std::string::npos) << line;
    EXPECT_EQ(line.find("!!"), std::string::npos) << line;
  }
  EXPECT_EQ(std::count(out.begin(), out.end(), "**"), 3) << Joined(out);
  EXPECT_TRUE(Contains(out, "   NAK")) << Joined(out);
  EXPECT_TRUE(Contains(out, "   A**9000000012")) << Joined(out);
  EXPECT_EQ(std::count(out.begin(), out.end(), "=> A** 90 OK"), 2) << Joined(out);
}

// No reply: a NAK after the reply time, 1 s after "RS" and 3 s after another command; the answer
// the NAK brings ends the command.
TEST_F(TavotestLink, SilentDeviceGetsANakAfterTheReplyTime) {
  Bytes lastCommand;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command) {
      lastCommand = f.text;
      return {};  // lost
    }
    if (f.kind == HostFrame::Kind::Nak)
      return lastCommand == "RS" ? Reply("R0000") : Reply("A" + lastCommand + "90");
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(RunFile(CommandFile({"L00001RS", "L00002VS"}), device.path(), &out), 0) << stderr_;
  const auto frames = device.Frames();
  const Lines described = Describe(frames);
  const auto rs = std::find(described.begin(), described.end(), "RS") - described.begin();
  const auto vs = std::find(described.begin(), described.end(), "VS") - described.begin();
  ASSERT_LT(rs, vs) << Joined(described);
  ASSERT_LT(vs + 1, static_cast<long>(frames.size())) << Joined(described);
  ASSERT_EQ(described[rs + 1], "NAK") << Joined(described);
  ASSERT_EQ(described[vs + 1], "NAK") << Joined(described);
  const auto afterRs = Ms(frames[rs + 1].at - frames[rs].at);
  const auto afterVs = Ms(frames[vs + 1].at - frames[vs].at);
  EXPECT_GE(afterRs, 950);
  EXPECT_GE(afterVs, 2950);
  // 1 s against 3 s: far apart, whatever the load.
  EXPECT_LT(afterRs + 1000, afterVs) << "RS has the shorter reply time";
  EXPECT_EQ(OfKind(frames, HostFrame::Kind::Nak).size(), 2u) << Joined(described);
  EXPECT_TRUE(Contains(out, "NAK")) << Joined(out);
  EXPECT_TRUE(Contains(out, "=> AVS 90 OK")) << Joined(out);
}

// A device that stays silent: NAKs every 200 ms after the reply time, then the give-up closes the
// port with a message. The next Send reopens the port and the command goes through.
TEST_F(TavotestLink, SilentDeviceMakesTheHostGiveUpAndTheNextSendReconnects) {
  int commands = 0;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command && ++commands == 1) return {};
    if (f.kind == HostFrame::Kind::Nak) return {};
    return UsualAnswer(f);
  });
  Lines out;
  // The second Send finds the port closed: its poll opens it again, and its command goes through.
  const std::string script =
      "set Text5 PA\n"
      "press cmdKaishi\n"
      "print Label33\n"
      "press cmdKaishi\n"
      "print Label10\n"
      "print Label33\n"
      "quit\n";
  ASSERT_EQ(RunUiScript(script, device.path(), &out), 0) << Joined(out) << stderr_;
  EXPECT_EQ(Printed(out), (Lines{"message: 端末から1秒間応答がありません -> ok", "Label33: False",
                                 "Label10: APA", "Label33: True"}));
  EXPECT_GE(std::count(out.begin(), out.end(), "NAK"), 2) << Joined(out);

  const auto frames = device.Frames();
  const Lines described = Describe(frames);
  ASSERT_GE(described.size(), 4u) << Joined(described);
  EXPECT_EQ(Lines(described.begin(), described.begin() + 2), (Lines{"poll", "PA"}));
  const std::size_t pa = 1;
  // NAKs only, until the port is reopened with a poll.
  std::size_t reopen = pa + 1;
  while (reopen < frames.size() && frames[reopen].kind == HostFrame::Kind::Nak) ++reopen;
  const std::size_t naks = reopen - pa - 1;
  EXPECT_GE(naks, 2u) << Joined(described);
  // From 3 s to 10 s at one NAK every 200 ms: 36 at the most (a few spare).
  EXPECT_LE(naks, 40u) << Joined(described);
  ASSERT_LT(reopen, frames.size()) << Joined(described);
  EXPECT_EQ(described[reopen], "poll");
  EXPECT_GE(Ms(frames[pa + 1].at - frames[pa].at), 2950) << "reply time";
  EXPECT_GE(Ms(frames[reopen].at - frames[pa].at), 9950) << "give-up time";
  EXPECT_EQ(Describe(Commands(frames)), (Lines{"PA", "PA"})) << Joined(described);
}

// An unanswered poll gives up after 3 s; a command file run then ends with status 2. English
// messages with --lang en.
TEST_F(TavotestLink, UnansweredPollGivesUpAndEndsTheRun) {
  PtyDevice device([](const HostFrame&) { return Answer(); });
  Lines out;
  ASSERT_EQ(RunFile(CommandFile({"POLL", "L00002VS"}), device.path(), &out, {"--lang", "en"}), 2)
      << stderr_;
  EXPECT_TRUE(Contains(out, "message: No response 1sec.")) << Joined(out);
  const auto frames = device.Frames();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].kind, HostFrame::Kind::Poll);
  EXPECT_TRUE(Commands(frames).empty()) << Joined(Describe(frames));
}

// ---- Command-file runs and their exit statuses -------------------------------------------------

using TavotestRun = TavotestE2E;

// With --error-stop a status other than 0x or 9x ends the run with status 1 before the next
// line; without it the run goes on.
TEST_F(TavotestRun, ErrorStopEndsTheRunOnABadStatus) {
  const std::string file = CommandFile({"L00001PA", "L00002PD:0/4", "L00003VS"});
  auto device = [](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command && f.text == "PD:0/4") return Reply("APD14");
    return UsualAnswer(f);
  };
  {
    PtyDevice line(device);
    Lines out;
    EXPECT_EQ(RunFile(file, line.path(), &out, {"--error-stop"}), 1) << stderr_;
    EXPECT_EQ(Describe(Commands(line.Frames())), (Lines{"PA", "PD:0/4"}));
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back().rfind("=> APD 14", 0), 0u) << Joined(out);
  }
  {
    PtyDevice line(device);
    Lines out;
    EXPECT_EQ(RunFile(file, line.path(), &out), 0) << stderr_;
    EXPECT_EQ(Describe(Commands(line.Frames())), (Lines{"PA", "PD:0/4", "VS"}));
  }
}

// With --reconnect a device that goes away in the middle of a run (here COM1 is a link that the
// test points at a second device once the first has hung up) is opened again and the run goes on
// with its next line. Without it the run ends with status 2.
TEST_F(TavotestRun, ReconnectOpensTheDeviceAgainAndTheRunGoesOn) {
  const fs::path link = root_ / "com1";
  PtyDevice second;
  auto device = [&](const HostFrame& f) {
    Answer a = UsualAnswer(f);
    if (f.kind == HostFrame::Kind::Command && f.text == "VS") {
      a.hangUpMs = 100;
      const fs::path next = root_ / "com1.next";
      fs::create_symlink(second.path(), next);
      fs::rename(next, link);
    }
    return a;
  };
  const std::string file = CommandFile({"L00001VS", "WAIT", "0.5", "L00004MR"});
  {
    PtyDevice first(device);
    fs::create_symlink(first.path(), link);
    Lines out;
    EXPECT_EQ(RunFile(file, link.string(), &out, {"--reconnect", "5", "--lang", "en"}), 0)
        << Joined(out) << stderr_;
    EXPECT_EQ(Describe(Commands(first.Frames())), (Lines{"VS"}));
    EXPECT_TRUE(Contains(out, "message: Terminal OFF")) << Joined(out);
    EXPECT_TRUE(Contains(out, "reconnected")) << Joined(out);
    EXPECT_TRUE(Contains(out, "=> AMR 90 OK")) << Joined(out);
  }
  EXPECT_EQ(Describe(Commands(second.Frames())), (Lines{"MR"}));
  {
    fs::remove(link);
    PtyDevice first(device);
    fs::create_symlink(first.path(), link);
    Lines out;
    EXPECT_EQ(RunFile(file, link.string(), &out, {"--lang", "en"}), 2) << Joined(out);
    EXPECT_FALSE(Contains(out, "reconnected")) << Joined(out);
  }
  // A reconnect time that is no number of seconds, or without --run, is a bad option.
  for (const Lines& args : {Lines{"--run", "x", "--reconnect", "0"},
                            Lines{"--run", "x", "--reconnect", "5s"}, Lines{"--reconnect", "5"}}) {
    auto app = Start(args, link.string());
    EXPECT_EQ(app->Wait(60000), 4) << Joined(args);
    EXPECT_NE(app->Stderr().find("--reconnect"), std::string::npos) << app->Stderr();
  }
}

// A port that cannot be opened ends the run with status 2 and says why.
TEST_F(TavotestRun, PortThatCannotBeOpenedEndsWithStatus2) {
  Lines out;
  EXPECT_EQ(RunFile(CommandFile({"L00001VS"}), "/nonexistent/tavotest-port", &out), 2) << stderr_;
  ASSERT_FALSE(out.empty());
  // The control's reason, with the device the port number stands for.
  EXPECT_EQ(out.back().rfind("message: ", 0), 0u) << Joined(out);
  EXPECT_NE(out.back().find("(COM1 = /nonexistent/tavotest-port)"), std::string::npos)
      << Joined(out);
}

// A file that cannot be read, or a LOOP whose target is no line of the file: status 4.
TEST_F(TavotestRun, FileThatCannotBeRunEndsWithStatus4) {
  {
    auto app = Start({"--run", (root_ / "missing.txt").string()}, "/nonexistent/tavotest-port");
    EXPECT_EQ(app->Wait(60000), 4);
    const Lines out = app->OutputLines();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back().rfind("error: ", 0), 0u) << Joined(out);
  }
  {
    PtyDevice device;
    Lines out;
    EXPECT_EQ(RunFile(CommandFile({"L00001VS", "LOOP", "99", "2"}), device.path(), &out), 4)
        << stderr_;
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back().rfind("message: ", 0), 0u) << Joined(out);
    EXPECT_NE(out.back().find("99"), std::string::npos) << Joined(out);
    EXPECT_EQ(Describe(Commands(device.Frames())), (Lines{"VS"}));
  }
}

// The six-character label, comment lines, LOOP (target line, then pass count), WAIT and END.
TEST_F(TavotestRun, LoopWaitAndEndLines) {
  PtyDevice device;
  Lines out;
  const std::string file = CommandFile({
      "L00001VS",  // 1
      "note",      // 2: six characters or fewer, a comment
      "LOOP",      // 3
      "1",         // 4: back to line 1
      "3",         // 5: three passes in all
      "WAIT",      // 6
      "0.1",       // 7
      "abcdefPA",  // 8
      "END",       // 9
      "L00010RS",  // 10: after END
  });
  ASSERT_EQ(RunFile(file, device.path(), &out), 0) << stderr_;
  EXPECT_EQ(Describe(Commands(device.Frames())), (Lines{"VS", "VS", "VS", "PA"}));
  EXPECT_EQ(std::count(out.begin(), out.end(), "=> AVS 90 OK"), 3) << Joined(out);
  EXPECT_EQ(std::count(out.begin(), out.end(), "=> APA 90 OK"), 1) << Joined(out);
}

// ---- The settings file -------------------------------------------------------------------------

using TavotestSettings = TavotestE2E;

// No settings file: the defaults are written at start; shut-down adds the window position.
TEST_F(TavotestSettings, FirstStartWritesTheDefaults) {
  PtyDevice device;
  Lines out;
  ASSERT_EQ(RunUiScript("print Label1\nquit\n", device.path(), &out), 0) << stderr_;
  EXPECT_EQ(out, (Lines{"Label1: 9600,E,8,1"}));
  ASSERT_TRUE(fs::exists(Settings()));
  const Ini ini = ReadIni(ReadText(Settings()));
  const Ini expected = {
      {"Application", {{"App", "Tavo Emuletor Program 4"}}},
      {"Data", {{"Path", home_.string() + "/"}}},
      {"Comm",
       {{"Port", "1"},
        {"Boud", "9600"},
        {"Parity", "2"},
        {"DataBit", "8"},
        {"StopBit", "1"},
        {"Handshake", "0"},
        {"LineCheck", "True"}}},
      {"Timer", {{"Timer1", "5000"}, {"Timer2", "1000"}}},
  };
  for (const auto& [section, keys] : expected)
    for (const auto& [key, value] : keys)
      EXPECT_EQ(Value(ini, section, key), value) << "[" << section << "] " << key;
  EXPECT_NE(Value(ini, "Display", "Left"), "(missing)");
  EXPECT_NE(Value(ini, "Display", "Top"), "(missing)");
  // Nothing asked for the port.
  EXPECT_TRUE(device.Frames().empty());
}

// A file of this program: its values are read leniently and written back plainly; comments and
// keys the program does not know stay as they were, and no default is added.
TEST_F(TavotestSettings, OwnFileIsReadLenientlyAndForeignKeysStay) {
  WriteText(Settings(),
            "; bench 3, do not edit\r\n"
            "[Application]\r\n"
            "App=Tavo Emuletor Program 4\r\n"
            "[Comm]\r\n"
            "Port=1\r\n"
            "Boud=19200abc\r\n"
            "Parity=0\r\n"
            "DataBit=8\r\n"
            "StopBit=1\r\n"
            "Handshake=0\r\n"
            "Owner=lab\r\n"
            "[Data]\r\n"
            "Path=" +
                home_.string() +
                "/\r\n"
                "[Extra]\r\n"
                "Note=keep me\r\n");
  PtyDevice device;
  Lines out;
  const std::string script =
      "print Label1\n"
      "set Text5 VS\n"
      "press cmdKaishi\n"
      "print Label1\n"
      "quit\n";
  ASSERT_EQ(RunUiScript(script, device.path(), &out), 0) << stderr_;
  EXPECT_EQ(Printed(out), (Lines{"Label1: 19200,N,8,1", "Label1: 19200,N,8,1"}));
  const auto frames = device.Frames();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].speed, static_cast<speed_t>(B19200));

  const std::string text = ReadText(Settings());
  EXPECT_NE(text.find("; bench 3, do not edit"), std::string::npos) << text;
  const Ini ini = ReadIni(text);
  EXPECT_EQ(Value(ini, "Comm", "Boud"), "19200");
  EXPECT_EQ(Value(ini, "Comm", "Parity"), "0");
  EXPECT_EQ(Value(ini, "Comm", "Owner"), "lab");
  EXPECT_EQ(Value(ini, "Extra", "Note"), "keep me");
  EXPECT_EQ(Value(ini, "Comm", "LineCheck"), "(missing)") << text;
  EXPECT_EQ(ini.count("Timer"), 0u) << text;
  EXPECT_NE(Value(ini, "Display", "Left"), "(missing)") << text;
}

// A file of another program (wrong marker): the defaults are written over it; its other keys stay.
TEST_F(TavotestSettings, ForeignFileGetsTheDefaults) {
  WriteText(Settings(),
            "[Application]\r\n"
            "App=Other Program\r\n"
            "[Comm]\r\n"
            "Boud=4800\r\n"
            "Parity=1\r\n"
            "Owner=lab\r\n");
  Lines out;
  ASSERT_EQ(RunUiScript("print Label1\nquit\n", "/nonexistent/tavotest-port", &out), 0) << stderr_;
  EXPECT_EQ(out, (Lines{"Label1: 9600,E,8,1"}));
  const Ini ini = ReadIni(ReadText(Settings()));
  EXPECT_EQ(Value(ini, "Application", "App"), "Tavo Emuletor Program 4");
  EXPECT_EQ(Value(ini, "Comm", "Boud"), "9600");
  EXPECT_EQ(Value(ini, "Comm", "Parity"), "2");
  EXPECT_EQ(Value(ini, "Comm", "Owner"), "lab");
  EXPECT_EQ(Value(ini, "Timer", "Timer1"), "5000");
}

// "Comm Setting" closes the port and opens the port settings window; "Comm Set" stores the new
// speed, and the port is reopened with it.
TEST_F(TavotestSettings, CommSettingWindowChangesTheSpeed) {
  PtyDevice device;
  Lines out;
  const std::string script =
      "set Text5 VS\n"
      "press cmdKaishi\n"
      "print Label1\n"
      "menu TestComm\n"
      "print Combo1\n"
      "select Combo1 \" 19200bps\"\n"
      "press Command22\n"
      "wait 100\n"
      "print Label1\n"
      "print Label33\n"
      "set Text5 PA\n"
      "press cmdKaishi\n"
      "print Label10\n"
      "quit\n";
  ASSERT_EQ(RunUiScript(script, device.path(), &out), 0) << Joined(out) << stderr_;
  EXPECT_EQ(Printed(out), (Lines{"Label1: 9600,E,8,1", "Combo1:   9600bps", "Label1: 19200,E,8,1",
                                 "Label33: True", "Label10: APA"}));

  const auto frames = device.Frames();
  const auto vs =
      std::find_if(frames.begin(), frames.end(), [](const HostFrame& f) { return f.text == "VS"; });
  const auto pa =
      std::find_if(frames.begin(), frames.end(), [](const HostFrame& f) { return f.text == "PA"; });
  ASSERT_NE(vs, frames.end());
  ASSERT_NE(pa, frames.end());
  EXPECT_EQ(vs->speed, static_cast<speed_t>(B9600));
  EXPECT_EQ(pa->speed, static_cast<speed_t>(B19200));
  // The first transmission on the reopened port is a poll.
  const auto reopened =
      std::find_if(vs + 1, frames.end(), [](const HostFrame& f) { return f.speed == B19200; });
  ASSERT_NE(reopened, frames.end());
  EXPECT_EQ(reopened->kind, HostFrame::Kind::Poll);

  const Ini ini = ReadIni(ReadText(Settings()));
  EXPECT_EQ(Value(ini, "Comm", "Boud"), "19200");
  EXPECT_EQ(Value(ini, "Comm", "Parity"), "2");
}

using TavotestWithSimulator = TavotestE2E;

TEST_F(TavotestWithSimulator, CommandFileRun) {
  Simulator sim(root_, {"--insert-ms", "0"});
  ASSERT_TRUE(sim.ready());
  Lines out;
  const std::string file = CommandFile({"L00001PA", "L00002CI", "L00003PD:0/4/0/" + kTesutoSjis,
                                        "L00004CT:0", "L00005CO", "L00006RS", "END"});
  ASSERT_EQ(RunFile(file, sim.link(), &out), 0) << Joined(out) << stderr_;

  const auto frames = sim.HostFrames();
  EXPECT_EQ(WithPollRunsMerged(Describe(frames)),
            (Lines{"poll", "PA", "poll", "CI", "poll", "PD:0/4/0/" + kTesutoSjis, "poll", "CT:0",
                   "poll", "CO", "poll", "RS"}))
      << Joined(Describe(frames));
  const auto commands = Commands(frames);
  ASSERT_EQ(commands.size(), 6u);
  EXPECT_EQ(commands[0].bytes, Bytes("\x04\x02PA\x03\x12"));
  EXPECT_EQ(commands[2].bytes, CommandFrame("PD:0/4/0/" + kTesutoSjis));
  EXPECT_EQ(commands[5].bytes, Bytes("\x04\x02RS\x03\x02"));

  // The transcript: each command's log lines and its result line.
  Lines results;
  for (const auto& l : out)
    if (l.rfind("=> ", 0) == 0) results.push_back(l);
  ASSERT_EQ(results.size(), 6u) << Joined(out);
  EXPECT_EQ(results[0], "=> APA 90 OK");
  EXPECT_EQ(results[1], "=> ACI 90 OK");
  EXPECT_EQ(results[2], "=> APD 90 OK");
  EXPECT_EQ(results[3], "=> A** 90 OK");
  EXPECT_EQ(results[4], "=> ACO 90 OK");
  EXPECT_EQ(results[5].rfind("=> R 04", 0), 0u) << results[5];  // card at the exit
  const long ci = IndexOf(out, "CI");
  ASSERT_GE(ci, 0) << Joined(out);
  ASSERT_LE(ci + 5, static_cast<long>(out.size())) << Joined(out);
  EXPECT_EQ(Lines(out.begin() + ci, out.begin() + ci + 5),
            (Lines{"CI", "   ACK", "Poll", "   ACI90", "=> ACI 90 OK"}));
  EXPECT_TRUE(Contains(out, "PD:0/4/0/テスト")) << Joined(out);
  EXPECT_TRUE(Contains(out, "**")) << Joined(out);
  EXPECT_FALSE(Contains(out, "CT:0")) << Joined(out);
}

TEST_F(TavotestWithSimulator, UiScriptShowsTheReplyInBothLanguages) {
  Simulator sim(root_, {});
  ASSERT_TRUE(sim.ready());
  Lines out;
  const std::string script =
      "set Text5 PA\n"
      "press cmdKaishi\n"
      "set Text5 VS\n"
      "press cmdKaishi\n"
      "print Label10\n"
      "print Label25\n"
      "print Label40\n"
      "print Label32\n"
      "print Label33\n"
      "print Label1\n"
      "check JapaneesMessage off\n"
      "press cmdKaishi\n"
      "print Label40\n"
      "print Text5\n"
      "quit\n";
  ASSERT_EQ(RunUiScript(script, sim.link(), &out), 0) << Joined(out) << stderr_;
  EXPECT_EQ(Printed(out),
            (Lines{"Label10: AVS", "Label25: 90", "Label40: OK" + std::string(24, ' '),
                   "Label32:  16", "Label33: True", "Label1: 9600,E,8,1",
                   "Label40: OK" + std::string(28, ' '), "Text5: VS"}));
  const auto frames = sim.HostFrames();
  EXPECT_EQ(WithPollRunsMerged(Describe(frames)), (Lines{"poll", "PA", "poll", "VS", "poll", "VS"}))
      << Joined(Describe(frames));
}

}  // namespace
