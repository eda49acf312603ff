// Tavotest's main-window buttons end to end: the real program, driven by UI scripts and
// --press, against the simulator or a device the test plays. The commands the device receives
// and the texts the window shows are compared with lists written here by hand.
#include <iconv.h>

#include <ctime>
#include <regex>

#include "tests/tavotest_e2e.h"

namespace {

using namespace tavotest_e2e;

// Text converted between UTF-8 and code page 932 here, not by the program under test.
std::string Convert(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in = text;
  std::string out(in.size() * 3 + 8, '\0');
  char* src = in.data();
  char* dst = out.data();
  size_t left = in.size(), room = out.size();
  EXPECT_NE(iconv(cd, &src, &left, &dst, &room), static_cast<size_t>(-1));
  iconv_close(cd);
  out.resize(out.size() - room);
  return out;
}
// What the device receives for a text.
Bytes Sjis(const std::string& utf8) {
  return Convert(utf8, "CP932", "UTF-8");
}
std::string Utf8(const Bytes& sjis) {
  return Convert(sjis, "UTF-8", "CP932");
}

// What the script printed, without the message boxes.
Lines Shown(const Lines& out) {
  Lines shown;
  for (const auto& l : Printed(out))
    if (!StartsWith(l, "message: ")) shown.push_back(l);
  return shown;
}

// The twelve magnetic test patterns the repeated test starts from (JIS format).
const char* const kPatterns[12] = {
    "ABCDEABCDE222225788987CDEABCDE222225789",      "33333ABC;:<>?@DEABCDEFACDB0BC;:<>?@DEAB1",
    "abcdiergohijklmnopqrstuvwxwy[]\\ijklmnopqrs",  "!$%'&()*+<=<>!$#&P%'>/()*$%'&()!$#&P%'>/(",
    "12345678901234543298789012345432987890123",    "6789012345678907438789012345678907431",
    "goperyqhjfasdjfapoqeurfdafsdjfapoqeurfdada",   "FECDBADF09sdjfapDBADF09sdjoqeuDBADF09sdj5",
    "fefrioBADJFWIERUequr()%#&/*+@RUequr()%#&/*+@", "87521046DADEDBBFBA74521046DADEDBBFBA7",
    "0DEADFDD628apejufoup89DFA4BCC80DEADFDD62",     "FJAKfja2eurqai*+<>?.,#!$%&ja2e*+<>?.,#!$%&",
};

// Four patterns (1-based) joined and cut to the JIS track length of 69.
std::string Track(int a, int b, int c, int d) {
  return (std::string(kPatterns[a - 1]) + kPatterns[b - 1] + kPatterns[c - 1] + kPatterns[d - 1])
      .substr(0, 69);
}

using TavotestBench = TavotestE2E;

// "PrintData" sends TH, VS, PC and then the layout of the card type chosen in Combo1.
TEST_F(TavotestBench, PrintDataSendsTheLayoutOfEachCardType) {
  Simulator sim(root_, {});
  ASSERT_TRUE(sim.ready());
  Lines out;
  std::string script = "press Command3\n";  // the list starts at its blank entry
  for (int type = 1; type <= 5; ++type)
    script += "select Combo1 \"Type " + std::to_string(type) + "\"\npress Command3\n";
  ASSERT_EQ(RunUiScript(script + "quit\n", sim.link(), &out), 0) << Joined(out) << stderr_;

  // The commands of each press: from its "TH" to the next one.
  std::vector<Lines> runs;
  for (const auto& c : CommandTexts(sim.HostFrames())) {
    if (c == "TH") runs.emplace_back();
    if (!runs.empty()) runs.back().push_back(c);
  }
  ASSERT_EQ(runs.size(), 6u) << Joined(out);
  for (const auto& run : runs) {
    ASSERT_GE(run.size(), 3u);
    EXPECT_EQ(Lines(run.begin(), run.begin() + 3), (Lines{"TH", "VS", "PC"}));
  }
  EXPECT_EQ(runs[0].size(), 3u) << "the blank entry prints nothing";

  const std::string gj = "GJ:" + std::string(145, 'F');
  const Bytes esc = "\x1b", lf = "\n";
  const std::string version = "2.10-SIM";  // what the simulator answers to "VS"

  // Type 1: modes, the character download, one page of text ending in the cut-off "PRIN".
  ASSERT_EQ(runs[1].size(), 6u) << Joined(runs[1]);
  EXPECT_EQ(runs[1][3], "MS:F1X0Y0N0K0");
  EXPECT_EQ(runs[1][4], gj);
  EXPECT_TRUE(StartsWith(runs[1][5], "PD:0/4/0/*" + esc + "lF********************" + esc + "lF*" +
                                         lf + esc + Sjis("Y028磁気カード・リーダライタ")))
      << Utf8(runs[1][5]);
  EXPECT_NE(runs[1][5].find(esc + "Y056   " + version + lf), std::string::npos);
  EXPECT_TRUE(EndsWith(runs[1][5], esc + "Y436PRINT " + esc + "lF" + esc + "lF PRINT " + esc +
                                       "lF" + esc + "lF PRIN"));

  // Types 2 and 3: a mode command and one text command, whole.
  const std::string pointText =
      "ﾎﾟｲﾝﾄ 今回:99999P 累計:99999P\nﾎﾟｲﾝﾄ有効期限:99/99 ｶｰﾄﾞ発行日:"
      "99/99\nﾎﾟｲﾝﾄがご利用いただけます。";
  EXPECT_EQ(Lines(runs[2].begin() + 3, runs[2].end()),
            (Lines{"MS:K0N0X0F3Y4", Sjis("PD:1/216/2/TEST" + pointText)}));
  EXPECT_EQ(Lines(runs[3].begin() + 3, runs[3].end()),
            (Lines{"MS: K0N0X0F3Y7T0", Sjis("PD:1/227/2/TEST" + pointText)}));

  // Type 4: the frame, then the sample with the head's rank and temperature and the version.
  ASSERT_EQ(runs[4].size(), 7u) << Joined(runs[4]);
  EXPECT_EQ(runs[4][3], "MS:K0N0X0F1Y0E2");
  EXPECT_EQ(runs[4][4], gj);
  EXPECT_EQ(runs[4][5], "PD:0/000/0/" + esc + "lF" + lf + esc + "Y436" + esc + "lF" + lf + esc +
                            "X072" + esc + "Y436" + esc + "lF" + lf + esc + "X072" + esc + "Y0" +
                            esc + "lF");
  EXPECT_TRUE(StartsWith(runs[4][6], "PD:1/072/27/**********************************" + lf + " " +
                                         esc + "lF     Re-write Card R/W/P    " + esc + "lF"));
  // The simulator's head: rank 5, 25 degrees.
  EXPECT_TRUE(
      EndsWith(runs[4][6], esc + "X000" + esc + Sjis("Y051/◆ TPH=5 TMP=25 ROM=" + version + "▼")))
      << Utf8(runs[4][6]);

  // Type 5: the frame with the character chart, then the full-width chart and the version.
  ASSERT_EQ(runs[5].size(), 7u) << Joined(runs[5]);
  EXPECT_EQ(runs[5][3], "MS:K0N0X0F1Y3");
  EXPECT_EQ(runs[5][4], gj);
  EXPECT_TRUE(StartsWith(runs[5][5], "PD:0/0/0/" + esc + "lF" + esc + "X296" + esc + "lF" + esc +
                                         "X000" + esc + "Y560" + esc + "lF" + esc + "X296" + esc +
                                         "lF"));
  EXPECT_NE(runs[5][5].find(esc + "Y162ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
  EXPECT_TRUE(StartsWith(runs[5][6], Sjis("PD:0/4/321/０１２３４５６７８９！＃\n")));
  EXPECT_TRUE(EndsWith(runs[5][6], esc + "Y537******** " + version + " ********"));
}

// The counter read-out asks for twelve counters in its order and lists them in Label36.
TEST_F(TavotestBench, CounterReadOutFillsLabel36) {
  Simulator sim(root_, {"--insert-ms", "0"});
  ASSERT_TRUE(sim.ready());
  Lines out;
  // A card in, written without data (every track fails), then the counters.
  ASSERT_EQ(RunUiScript("press Command1(1)\npress Command1(3)\npress Command1(25)\n"
                        "press Command34\nprint Label36\nquit\n",
                        sim.link(), &out),
            0)
      << Joined(out) << stderr_;
  Lines counters;
  for (const auto& c : CommandTexts(sim.HostFrames()))
    if (StartsWith(c, "CT")) counters.push_back(c);
  EXPECT_EQ(counters, (Lines{"CT:0", "CT:1", "CT:2", "CT:3", "CT:4", "CT:9", "CT:A", "CT:B", "CT:8",
                             "CT:7", "CT:E", "CT:F"}));
  EXPECT_EQ(Printed(out),
            (Lines{"Label36: パス　回数 : 00000001\\rライト回数 : 00000001\\rリード回数 : "
                   "00000000\\r印字　回数 : 00000000\\r電断　回数 : 00000000\\rTr1エラー  :     "
                   "00000001\\rTr2エラー  :     00000001\\rTr3エラー  :     00000001\\rメカエラー "
                   ":   00000000\\rｼﾞｬﾑエラー :   00000000\\rﾊｰﾄﾞエラー :   00000000\\rﾊﾟﾝﾁエラー "
                   ":   00000000"}));
}

// "Loging" appends one record a press to the program folder's LOG000.dat, in code page 932 with
// CR LF; a log name that would leave the folder is refused with a message.
TEST_F(TavotestBench, LogingAppendsARecordEachTime) {
  Simulator sim(root_, {});
  ASSERT_TRUE(sim.ready());
  WriteText(home_ / "LOG000.dat", "kept\r\n");
  Lines out;
  ASSERT_EQ(RunUiScript("set Text11 unit 7\nset Text16 000042\npress Command35\npress Command35\n"
                        "set Text14 ../elsewhere\npress Command35\nquit\n",
                        sim.link(), &out, {"--lang", "en"}),
            0)
      << Joined(out) << stderr_;
  const std::string text = ReadText(home_ / "LOG000.dat");
  std::vector<std::string> records;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
    records.push_back(text.substr(from, at - from));
  EXPECT_EQ(from, text.size()) << "every record ends in CR LF";
  ASSERT_EQ(records.size(), 3u) << Utf8(text);
  EXPECT_EQ(records[0], "kept");
  const std::regex stamp("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d:");
  const std::string fields =
      "Number:000042:Tr1:0/0:Tr2:0/0:Tr3:0/0:2.10-SIM:TPH rank : 5:Resist :1333-1397ohm:Temp  "
      ": 25deg::パス　回数 : 00000000:ライト回数 : 00000000:リード回数 : 00000000:印字　回数 : "
      "00000000:電断　回数 : 00000000:Tr1エラー  :     00000000:Tr2エラー  :     00000000:Tr3エ"
      "ラー  :     00000000:メカエラー :   00000000:ｼﾞｬﾑエラー :   00000000:ﾊｰﾄﾞエラー :   "
      "00000000:ﾊﾟﾝﾁエラー :   00000000:unit 7";
  for (int i = 1; i <= 2; ++i) {
    const std::string record = Utf8(records[i]);
    EXPECT_TRUE(std::regex_search(record, stamp)) << record;
    EXPECT_TRUE(EndsWith(record, ":" + fields)) << record;
  }
  EXPECT_TRUE(Contains(out,
                       "message: The log record could not be written: \"../elsewhere\" is "
                       "not a file name -> ok"))
      << Joined(out);
}

// The repeated test with its defaults (print on, ER on, JIS) over two rounds of three passes:
// every command in order, polls between them merged.
TEST_F(TavotestBench, RepeatedTestWireTrafficForTwoRounds) {
  Simulator sim(root_, {"--insert-ms", "0"});
  ASSERT_TRUE(sim.ready());
  auto app = Start({"--press", "Command47", "--set", "Text2=6", "--lang", "en"}, sim.link());
  ASSERT_EQ(app->Wait(60000), 0) << Joined(app->OutputLines()) << app->Stderr();
  EXPECT_TRUE(Contains(app->OutputLines(), "message: W/R test OK!!")) << Joined(app->OutputLines());

  const Lines expected = {
      // Power-up is acknowledged, then the head, the language of the counters and the version.
      "poll", "PA", "poll", "TH", "poll", "MS:V4", "poll", "VS", "poll",
      // The reader's modes and its tracks.
      "MS:R0W0", "poll", "MS:D7", "poll", "MS:Z0", "poll", "MS:K0N4X4", "poll", "MS:S0", "poll",
      "MR", "poll",
      // No card: one is asked for.
      "CI", "poll",
      // JIS format, first round: patterns 1-4, 5-8, 9-12.
      "MS:M0", "poll", "MR", "poll", "WD:1/" + Track(1, 2, 3, 4), "poll",
      "WD:2/" + Track(5, 6, 7, 8), "poll", "WD:3/" + Track(9, 10, 11, 12), "poll", "WR", "poll",
      "RC", "poll", "VR", "poll", "RC", "poll", "VR", "poll", "RC", "poll", "PC", "poll",
      "PD:0/0/0/\\ABCDEFG0123456789R\\", "poll", "PR", "poll", "TH", "poll",
      // Second round: the pool turned (slots 6, 11, 4, 5 / 10, 3, 8, 9 / 2, 7, 12, 1), the next
      // print line 27 dots down, printed with "PR" again since "ER" is on.
      "WD:1/" + Track(6, 11, 4, 5), "poll", "WD:2/" + Track(10, 3, 8, 9), "poll",
      "WD:3/" + Track(2, 7, 12, 1), "poll", "WR", "poll", "RC", "poll", "VR", "poll", "RC", "poll",
      "VR", "poll", "RC", "poll", "PC", "poll", "PD:0/0/27/\\ABCDEFG0123456789R\\", "poll", "PR",
      "poll", "TH", "poll",
      // The end: the card goes out.
      "CO"};
  Lines sent = WithPollRunsMerged(Describe(sim.HostFrames()));
  if (!sent.empty() && sent.back() == "poll") sent.pop_back();  // the last answer's poll
  EXPECT_EQ(sent, expected) << Joined(sent);
}

// A device whose track 2 always fails: the test counts every check and ends with NG and the
// counts; --press exits 1.
TEST_F(TavotestBench, RepeatedTestReportsTheFailingTrack) {
  PtyDevice device([](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command) {
      if (f.text == "MR") return Reply("AMR90C7");
      if (f.text == "VS") return Reply("AVS902.10-T");
      if (f.text == "RC") return Reply("ARC909046909292");
    }
    return UsualAnswer(f);
  });
  auto app = Start({"--press", "Command47", "--set", "Text2=6", "--lang", "en"}, device.path());
  EXPECT_EQ(app->Wait(60000), 1) << Joined(app->OutputLines()) << app->Stderr();
  const Lines out = app->OutputLines();
  EXPECT_TRUE(
      Contains(out, "message: W/R test NG !!\\r   Tr1=  0/ 6\\r   Tr2=  6/ 6\\r   Tr3=  0/ 6"))
      << Joined(out);
  const Lines commands = CommandTexts(device.Frames());
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "RC"), 6);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "CO");
}

// "Test Quit" pressed while the card is being written: the test stops at its next check (no
// track check, no further pass) and still ejects the card.
TEST_F(TavotestBench, TestQuitDuringThePassesStopsAndStillEjects) {
  Simulator sim(root_, {"--insert-ms", "0"});
  ASSERT_TRUE(sim.ready());
  Lines out;
  ASSERT_EQ(RunUiScript("set Text2 30\nwhen WR press cmdTeishi\npress Command47\nprint Check13\n"
                        "quit\n",
                        sim.link(), &out, {"--lang", "en"}),
            0)
      << Joined(out) << stderr_;
  const Lines commands = CommandTexts(sim.HostFrames());
  const auto wr = std::find(commands.begin(), commands.end(), "WR");
  ASSERT_NE(wr, commands.end()) << Joined(commands);
  EXPECT_EQ(Lines(wr, commands.end()), (Lines{"WR", "CO"})) << Joined(commands);
  EXPECT_TRUE(Contains(Printed(out), "Check13: off")) << Joined(out);
}

// Decoded answers in the result fields, and "Fast mode" leaving them alone.
TEST_F(TavotestBench, AnswersAreDecodedIntoTheirFields) {
  Simulator sim(root_, {});
  ASSERT_TRUE(sim.ready());
  Lines out;
  ASSERT_EQ(
      RunUiScript("press Command1(1)\npress Command1(21)\nprint Label12\nprint Label53\n"
                  "press Command2(8)\nprint Label9\nprint Label19\npress Command2(9)\n"
                  "print Label30\npress Command2(10)\nprint Label41\npress Command1(19)\n"
                  "print Label2\ncheck Check13 on\npress Command1(20)\nprint Label14\n"
                  "set Text10 \"Q \"\npress Command1(4)\nprint Label25\nprint Label53\nquit\n",
                  sim.link(), &out),
      0)
      << Joined(out) << stderr_;
  // "CT" alone answers all sixteen counters.
  EXPECT_EQ(Shown(out),
            (Lines{"Label12: 2.10-SIM", "Label53:  [#00FF00]", "Label9: 525",
                   "Label19: TPH rank : 5\\rResist :1333-1397ohm\\rTemp  : 25deg",
                   "Label30: 3.18 2.63 2.49 1.20 3.00", "Label41: 2.51 2.51 2.51 2.51 3.14",
                   "Label2: " + std::string(128, '0'), "Label14: ", "Label25: 14",
                   "Label53:  [#00FF00]"}));
}

// Buttons with parameter boxes, the Enter key, and the EEPROM confirmation.
TEST_F(TavotestBench, ButtonsSendTheirParameters) {
  PtyDevice device;
  Lines out;
  ASSERT_EQ(RunUiScript("press Command1(0)\ncheck Check10 off\npress Command1(0)\n"
                        "press Command1(1)\n"
                        "set Text10 \"F1\\tX0\"\npress Command1(4)\nprint Text10\n"
                        "set txtWd(2) 1234\nprint Label5(2)\nkey txtWd(2) Enter\n"
                        "set Text6 5F\nanswer cancel\npress Command2(2)\n"
                        "answer ok\npress Command2(2)\nset Text19 3\nset Text20 77\n"
                        "press Command1(44)\nset Text9 \"0/0/0/esc$Xlf$\\x01\"\n"
                        "key Text9 Enter\nprint Text9\nquit\n",
                        device.path(), &out, {"--lang", "en"}),
            0)
      << Joined(out) << stderr_;
  EXPECT_EQ(CommandTexts(device.Frames()),
            (Lines{"PA", "MS:F1X0", "WD:2/1234", "eew:22/01/5F", "AS:3/77", "PD:0/0/0/\x1bX\n"}));
  EXPECT_EQ(Shown(out), (Lines{"Text10: F1X0", "Label5(2): 4", "Text9: 0/0/0/esc$Xlf$"}));
  EXPECT_TRUE(Contains(out, "message: EEPROM data updata ? -> cancel")) << Joined(out);
  EXPECT_TRUE(Contains(out, "message: Please send RS command. -> ok")) << Joined(out);
  // The first "Poll" (Auto Poll on) opens the port and polls; with "Auto Poll" off the buttons
  // do not poll, and "Poll" sends nothing.
  const auto frames = device.Frames();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].kind, HostFrame::Kind::Poll);
  EXPECT_EQ(OfKind(frames, HostFrame::Kind::Poll).size(), 1u) << Joined(Describe(frames));
}

// "NAK test": "VS", then after the wait beside the button a NAK, which the device answers by
// sending its answer again.
TEST_F(TavotestBench, NakTestAsksForTheAnswerAgainAfterItsWait) {
  std::string lastAnswer;
  PtyDevice device([&](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Nak) return Reply(lastAnswer);
    if (f.kind == HostFrame::Kind::Command && f.text == "VS") {
      lastAnswer = "AVS90N1";
      return Reply(lastAnswer);
    }
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(
      RunUiScript("set NakWait 0.5\npress Command1(47)\nwait 300\nquit\n", device.path(), &out), 0)
      << Joined(out) << stderr_;
  ASSERT_TRUE(device.WaitUntil(
      [](const auto& frames) { return !OfKind(frames, HostFrame::Kind::Nak).empty(); }));
  const auto frames = device.Frames();
  const auto vs =
      std::find_if(frames.begin(), frames.end(), [](const HostFrame& f) { return f.text == "VS"; });
  const auto nak = std::find_if(frames.begin(), frames.end(),
                                [](const HostFrame& f) { return f.kind == HostFrame::Kind::Nak; });
  ASSERT_NE(vs, frames.end());
  ASSERT_NE(nak, frames.end());
  EXPECT_LT(vs - frames.begin(), nak - frames.begin());
  EXPECT_GE(Ms(nak->at - vs->answeredAt), 450) << "the NAK came before the wait was over";
  EXPECT_EQ(OfKind(frames, HostFrame::Kind::Nak).size(), 1u);
  EXPECT_EQ(std::count(out.begin(), out.end(), "   AVS90N1"), 2) << Joined(out);
}

// "eew all" fills the EEPROM after its confirmation, "CJ" downloads the character table, the
// clock is set to the computer's time, and "Comm Close" closes the port.
TEST_F(TavotestBench, EepromFillTableDownloadClockAndClose) {
  PtyDevice device;
  Lines out;
  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(RunUiScript("answer cancel\npress Command70\nanswer ok\npress Command70\n"
                        "press Command75\npress Command2(6)\npress Command66\nprint Label33\n"
                        "quit\n",
                        device.path(), &out),
            0)
      << Joined(out) << stderr_;
  const std::time_t after = std::time(nullptr);
  const std::string fs(64, 'F');
  Lines expected = {"eew:00/10/" + fs,      "eew:10/10/" + fs,      "eew:20/10/" + fs,
                    "eew:30/10/" + fs,      "CJ:0FFFFFFFFFFFFFFFF", "CJ:180000000000000FF",
                    "CJ:200C00000000000F8", "CJ:30000CF000000002F", "CJ:4000000FF0000003F",
                    "CJ:500000000FF00004F", "CJ:60000000000FF005F", "CJ:7000000000000FF6F"};
  Lines sent = CommandTexts(device.Frames());
  ASSERT_EQ(sent.size(), expected.size() + 1) << Joined(sent);
  EXPECT_EQ(Lines(sent.begin(), sent.end() - 1), expected);
  // "CK:" yymmdd, "0" and the weekday (0 Sunday), hhmmss: the date of the moment it was sent.
  auto clockText = [](std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "CK:%y%m%d0%w", &tm);
    return std::string(buf);
  };
  const std::string ck = sent.back();
  ASSERT_EQ(ck.size(), 3u + 6 + 2 + 6) << ck;
  EXPECT_TRUE(ck.substr(0, 11) == clockText(before) || ck.substr(0, 11) == clockText(after)) << ck;
  EXPECT_TRUE(Contains(out, "message: EEPROM内容を変更しますか ? -> cancel")) << Joined(out);
  EXPECT_EQ(Shown(out), (Lines{"Label33: False"}));
}

}  // namespace
