// The command-file window end to end: the real program, driven by UI scripts, against the
// simulator (whose trace gives the commands on the wire) or a device the test plays. Scripts are
// opened from and saved into the program folder's "FileAccess"; the files' bytes, the run
// displays, message boxes and the commands on the wire are compared with values written here by
// hand. Also: the EMC and version windows as the menus open them.
#include "tests/tavotest_e2e.h"

namespace {

using namespace tavotest_e2e;

// "サンプル" in code page 932.
const std::string kSampleSjis = "\x83\x54\x83\x93\x83\x76\x83\x8B";
const std::string kOpenWindow = "menu \"File access\"\nwindow FormFile\n";
// The sample's print command as the device receives it: the escape names made ESC and LF.
const std::string kSamplePrint =
    "PD:0/10/50/\x1B"
    "e22VX-T8820LC\n\x1B"
    "e11Sample Print";

// The sample script with the given pass count, as a file in code page 932.
std::string SampleFile(const std::string& passes) {
  return CommandFile({"' " + kSampleSjis, "POLL**", "PowAckPA", "COMANDCL", "COMANDCI", "Print>PC",
                      "Print>PD:0/10/50/esc$e22VX-T8820LClf$esc$e11Sample Print", "COMANDPO",
                      "wait", "1", "Loop", "4", passes, "END"});
}

Lines WithPrefix(const Lines& lines, const std::string& prefix) {
  Lines out;
  for (const auto& l : lines)
    if (StartsWith(l, prefix)) out.push_back(l);
  return out;
}

class TavotestFiles : public TavotestE2E {
 protected:
  fs::path FileAccess() const { return home_ / "FileAccess"; }

  // Runs the UI script against a fresh simulator; commands_ gets what it received.
  int RunAgainstSimulator(const std::string& script, Lines* out, const std::string& name = "sim",
                          const std::string& insertMs = "0") {
    const fs::path dir = root_ / name;
    fs::create_directory(dir);
    Simulator sim(dir, {"--insert-ms", insertMs});
    EXPECT_TRUE(sim.ready());
    const int status = RunUiScript(script, sim.link(), out);
    frames_ = sim.HostFrames();
    commands_ = CommandTexts(frames_);
    EXPECT_EQ(sim.Stop(), 0);
    return status;
  }

  std::vector<HostFrame> frames_;
  Lines commands_;
};

// The window opens with the sample; a sample with three passes, opened from the file list and
// run, sends its loop body three times.
TEST_F(TavotestFiles, SampleWithThreePassesRunsItsBodyThreeTimes) {
  fs::create_directories(FileAccess());
  WriteText(FileAccess() / "Sample3.dat", SampleFile("3"));
  Lines out;
  const std::string script = kOpenWindow +
                             "print Text1\nprint Text2\nprint Label5\n"
                             "doubleclick File1 Sample3.dat\nprint Text1\n"
                             "press Command4\n"
                             "print Label5\nprint Label3\nprint Label2\nprint Label4\nquit\n";
  ASSERT_EQ(RunAgainstSimulator(script, &out), 0) << Joined(out) << stderr_;

  Lines expected = {"PA"};
  for (int pass = 0; pass < 3; ++pass)
    expected.insert(expected.end(), {"CL", "CI", "PC", kSamplePrint, "PO"});
  EXPECT_EQ(commands_, expected) << Joined(commands_);
  const Lines printed = Printed(out);
  const Lines want = {
      "Text1: Sample.dat",
      "Text2: ' サンプル\\nPOLL**\\nPowAckPA\\nCOMANDCL\\nCOMANDCI\\nPrint>PC\\n"
      "Print>PD:0/10/50/esc$e22VX-T8820LClf$esc$e11Sample Print\\nCOMANDPO\\nwait\\n1\\nLoop\\n"
      "4\\n1000\\nEND\\n",
      "Label5: ",
      "Text1: Sample3.dat",
      "Label5: 14",
      "Label3: 0",
      "Label2: end",
      "Label4: 1",
  };
  EXPECT_EQ(printed, want) << Joined(out);
}

// "中止" while the run waits 100 seconds: a poll and "CL" go out, the run ends at the wait and
// the next command is never sent (and the program ends long before the wait would have).
TEST_F(TavotestFiles, AbortDuringAWaitSendsClAndEndsTheRun) {
  Lines out;
  const std::string script =
      kOpenWindow +
      "set Text2 \"COMANDPA\\r\\nCOMANDCI\\r\\nwait\\r\\n100\\r\\nCOMANDPO\\r\\nEND\\r\\n\"\n"
      "after 2000 press Command5\n"
      "press Command4\n"
      "print Label5\nprint Label2\nprint Label4\nquit\n";
  ASSERT_EQ(RunAgainstSimulator(script, &out), 0) << Joined(out) << stderr_;
  EXPECT_EQ(commands_, (Lines{"PA", "CI", "CL"})) << Joined(commands_);
  EXPECT_EQ(Printed(out), (Lines{"Label5: 3", "Label2: wait", "Label4: 100"})) << Joined(out);
}

// "中止" while "CI" waits for a card that never comes: the run ends (it used to wait for the
// command's end inside the abort, which could not come), "CL" goes out, "PO" never does.
TEST_F(TavotestFiles, AbortWhileACardIsAwaitedEndsTheRun) {
  Lines out;
  const std::string script = kOpenWindow +
                             "set Text2 \"COMANDPA\\r\\nCOMANDCI\\r\\nCOMANDPO\\r\\nEND\\r\\n\"\n"
                             "after 1500 press Command5\n"
                             "press Command4\n"
                             "print Label5\nprint Label2\nquit\n";
  ASSERT_EQ(RunAgainstSimulator(script, &out, "sim", "-1"), 0) << Joined(out) << stderr_;
  ASSERT_GE(commands_.size(), 3u) << Joined(commands_);
  EXPECT_EQ(Lines(commands_.begin(), commands_.begin() + 2), (Lines{"PA", "CI"}));
  EXPECT_NE(std::find(commands_.begin(), commands_.end(), "CL"), commands_.end())
      << Joined(commands_);
  EXPECT_EQ(std::find(commands_.begin(), commands_.end(), "PO"), commands_.end());
  EXPECT_EQ(Printed(out), (Lines{"Label5: 2", "Label2: CI"})) << Joined(out);
}

// Save writes code page 932 with CR LF and one more CR LF; the file shows in the list; opening
// it gives the text back with that empty line.
TEST_F(TavotestFiles, SaveAndOpenKeepJapaneseText) {
  PtyDevice device;
  Lines out;
  const std::string script = kOpenWindow +
                             "set Text1 jp.dat\n"
                             "set Text2 \"' テスト\\r\\nCOMANDPD:0/4/0/テスト\\r\\nEND\"\n"
                             "press Command3\n"
                             "press Command1\nprint Text1\nprint Text2\n"
                             "doubleclick File1 jp.dat\nprint Text1\nprint Text2\nquit\n";
  ASSERT_EQ(RunUiScript(script, device.path(), &out), 0) << Joined(out) << stderr_;
  EXPECT_EQ(ReadText(FileAccess() / "jp.dat"),
            "' " + kTesutoSjis + "\r\nCOMANDPD:0/4/0/" + kTesutoSjis + "\r\nEND\r\n");
  EXPECT_EQ(Printed(out), (Lines{"Text1: ", "Text2: ", "Text1: jp.dat",
                                 "Text2: ' テスト\\nCOMANDPD:0/4/0/テスト\\nEND\\n"}))
      << Joined(out);

  // Saved again as it was opened: one more empty line at the end.
  ASSERT_EQ(RunUiScript(kOpenWindow + "doubleclick File1 jp.dat\npress Command3\nquit\n",
                        device.path(), &out),
            0)
      << Joined(out);
  EXPECT_EQ(ReadText(FileAccess() / "jp.dat"),
            "' " + kTesutoSjis + "\r\nCOMANDPD:0/4/0/" + kTesutoSjis + "\r\nEND\r\n\r\n");
}

// A file that cannot be read or written, a folder that cannot be shown, a missing name and a
// character the code page cannot hold: each is told, naming the path, and nothing is lost.
TEST_F(TavotestFiles, FileProblemsAreToldWithThePath) {
  PtyDevice device;
  fs::create_directories(FileAccess());
  WriteText(FileAccess() / "keep.dat", "COMANDPA\r\n");
  Lines out;
  const std::string missing = (root_ / "no-folder" / "x.dat").string();
  const std::string script = kOpenWindow + "set Text1 " + missing + "\npress Command3\n" +
                             "set Text1 absent.dat\npress Command2\n"
                             "set Text1 \"\"\npress Command3\n"
                             "set Text1 keep.dat\nset Text2 \"COMANDPD:0/4/0/\\xE9\"\n"
                             "press Command3\n"
                             "set Dir1Path /no/such/folder\nkey Dir1Path Enter\nprint Dir1Path\n"
                             "doubleclick Dir1 ..\nprint Dir1Path\n"
                             "doubleclick Dir1 FileAccess\nprint Dir1Path\nquit\n";
  ASSERT_EQ(RunUiScript(script, device.path(), &out, {"--lang", "en"}), 0)
      << Joined(out) << stderr_;
  const Lines messages = WithPrefix(out, "message: ");
  ASSERT_EQ(messages.size(), 5u) << Joined(out);
  EXPECT_TRUE(StartsWith(messages[0], "message: Cannot save \"" + missing + "\": ")) << messages[0];
  EXPECT_EQ(messages[1], "message: Cannot open \"" + (FileAccess() / "absent.dat").string() +
                             "\": no such file -> ok");
  EXPECT_EQ(messages[2], "message: Enter a file name. -> ok");
  EXPECT_EQ(messages[3], "message: Cannot save \"" + (FileAccess() / "keep.dat").string() +
                             "\": the character \"é\" (U+00E9) on line 1 cannot be written in "
                             "the file's code page -> ok");
  EXPECT_EQ(messages[4], "message: \"/no/such/folder\" is not a folder that can be opened. -> ok");
  EXPECT_EQ(ReadText(FileAccess() / "keep.dat"), "COMANDPA\r\n");
  EXPECT_EQ(WithPrefix(out, "Dir1Path: "),
            (Lines{"Dir1Path: " + FileAccess().string(), "Dir1Path: " + home_.string(),
                   "Dir1Path: " + FileAccess().string()}))
      << Joined(out);
}

// The same file run from the shell (--run) and from the window puts the same on the wire.
TEST_F(TavotestFiles, ShellAndWindowRunsSendTheSame) {
  const std::string file =
      CommandFile({"POLL", "COMANDPA", "COMANDCI", "Print>PD:0/4/0/" + kTesutoSjis, "wait", "0.1",
                   "LOOP", "3", "2", "'note", "COMANDPO", "END", "COMANDRS"});
  fs::create_directories(FileAccess());
  WriteText(FileAccess() / "same.dat", file);

  Lines out;
  ASSERT_EQ(RunAgainstSimulator(kOpenWindow + "doubleclick File1 same.dat\npress Command4\nquit\n",
                                &out, "window"),
            0)
      << Joined(out) << stderr_;
  Lines fromWindow = WithPollRunsMerged(Describe(frames_));

  fs::create_directories(root_ / "shell");
  Simulator sim(root_ / "shell", {"--insert-ms", "0"});
  ASSERT_TRUE(sim.ready());
  ASSERT_EQ(RunFile(file, sim.link(), &out), 0) << Joined(out) << stderr_;
  Lines fromShell = WithPollRunsMerged(Describe(sim.HostFrames()));
  EXPECT_EQ(sim.Stop(), 0);

  // Lines 3 to 6 run twice. The poll Auto Poll sends after the last command may or may not
  // go out before the program ends.
  const Lines expected = {"poll", "PA",
                          "poll", "CI",
                          "poll", "PD:0/4/0/" + kTesutoSjis,
                          "poll", "CI",
                          "poll", "PD:0/4/0/" + kTesutoSjis,
                          "poll", "PO"};
  auto withoutLastPoll = [](Lines l) {
    if (!l.empty() && l.back() == "poll") l.pop_back();
    return l;
  };
  fromWindow = withoutLastPoll(fromWindow);
  fromShell = withoutLastPoll(fromShell);
  EXPECT_EQ(fromWindow, expected) << Joined(fromWindow);
  EXPECT_EQ(fromShell, expected) << Joined(fromShell);
}

// The menus open the EMC window (its pattern) and the version window (its texts), and the
// version window's button hides it.
TEST_F(TavotestFiles, EmcAndVersionWindowsFromTheMenus) {
  PtyDevice device;
  Lines out;
  const std::string script =
      "menu \"EMC Test\"\nwindow FormEMC\nprint Text1\n"
      "window Form1\nmenu VerDSP\nwindow VersionDisp\nprint Text1\nprint Text2\n"
      "press Command1\nwindow VersionDisp\nquit\n";
  EXPECT_EQ(RunUiScript(script, device.path(), &out), 3) << Joined(out) << stderr_;
  EXPECT_EQ(out, (Lines{"Text1: " + std::string(2400, 'H'), "Text1: ｶｰﾄﾞﾘｰﾀﾞ ｺﾏﾝﾄﾞ ﾃｽﾄ ﾌﾟﾛｸﾞﾗﾑ",
                        "Text2: Tavotest　Version 4.0.0",
                        "error: window VersionDisp: no open window \"VersionDisp\""}));
  // The same texts from a shell.
  auto version = Start({"--version"}, device.path());
  EXPECT_EQ(version->Wait(), 0);
  const Lines printed = version->OutputLines();
  ASSERT_EQ(printed.size(), 4u) << Joined(printed);
  EXPECT_EQ(printed[0], "ｶｰﾄﾞﾘｰﾀﾞ ｺﾏﾝﾄﾞ ﾃｽﾄ ﾌﾟﾛｸﾞﾗﾑ");
  EXPECT_EQ(printed[1], "Tavotest　Version 4.0.0");
}

}  // namespace
