// The EEPROM window end to end: the real program, driven by UI scripts, against the simulator
// (whose EEPROM file is written before and read after) or a device the test plays. The displays,
// message boxes, commands on the wire and EEPROM words are compared with values written here by
// hand.
#include <ctime>

#include "tests/tavotest_e2e.h"

namespace {

using namespace tavotest_e2e;

using Words = std::vector<std::uint16_t>;

// The simulator's EEPROM file: 128 words, eight to a line, four hexadecimal digits each.
std::string EepromText(const Words& words) {
  std::string text;
  char word[8];
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::snprintf(word, sizeof word, "%04X", words[i]);
    text += word;
    text += (i % 8 == 7) ? "\n" : " ";
  }
  return text;
}
Words ReadEeprom(const fs::path& file) {
  Words words;
  std::istringstream in(ReadText(file));
  std::string token;
  while (in >> token) words.push_back(static_cast<std::uint16_t>(std::stoul(token, nullptr, 16)));
  return words;
}

// Settings and counters with values that tell them apart.
Words KnownEeprom() {
  Words w(128, 0xFFFF);
  w[0x08] = 0x3037;  // print position 7
  w[0x20] = 0x3631;  // TPH rank 6, print density 1
  w[0x22] = 0x3235;  // erase lot 2, erase rank 5
  w[0x0C] = 0x0003;  // power cuts
  w[0x0D] = 0x000C;  // receive errors
  w[0x0E] = 0x000D;  // send errors
  w[0x0F] = 0x000A;  // jams
  w[0x10] = 0x0009;  // mechanism errors
  w[0x11] = 0x0012;  // track 1 errors
  w[0x12] = 0x0034;
  w[0x13] = 0x0056;
  w[0x14] = 0x0078;
  w[0x15] = 0x000E;  // feed errors
  w[0x16] = 0x000B;  // hardware errors
  w[0x17] = 0x000F;  // punch errors
  w[0x18] = 0x0000;  // prints 7
  w[0x19] = 0x0007;
  w[0x1A] = 0x0000;  // reads 3000
  w[0x1B] = 0x0BB8;
  w[0x1C] = 0x0000;  // writes 258
  w[0x1D] = 0x0102;
  w[0x1E] = 0x0001;  // passes 100000
  w[0x1F] = 0x86A0;
  return w;
}

const char* const kOpen = "answer 48213\nmenu EEPcontrol\nwindow FormEEP\n";

Lines EepromCommands(const Lines& commands) {
  Lines out;
  for (const auto& c : commands)
    if (StartsWith(c, "ee") || StartsWith(c, "!!") || StartsWith(c, "CT") || c == "RS")
      out.push_back(c);
  return out;
}

class TavotestEeprom : public TavotestE2E {
 protected:
  // Runs the script against a simulator that starts from the words (and prints cards into
  // root_/cards); afterwards the simulator has ended and saved its EEPROM file.
  int RunAgainstSimulator(const std::string& script, const Words& words, Lines* out,
                          Lines extra = {}, const std::string& name = "sim") {
    const fs::path dir = root_ / name;
    fs::create_directory(dir);
    eeprom_ = dir / "eeprom.txt";
    WriteText(eeprom_, EepromText(words));
    Simulator sim(dir, {"--eeprom", eeprom_.string(), "--print-dir", (root_ / "cards").string(),
                        "--insert-ms", "0"});
    EXPECT_TRUE(sim.ready());
    const int status = RunUiScript(script, sim.link(), out, std::move(extra));
    commands_ = CommandTexts(sim.HostFrames());
    EXPECT_EQ(sim.Stop(), 0);
    return status;
  }

  fs::path eeprom_;
  Lines commands_;
};

TEST_F(TavotestEeprom, DisplaysShowWhatTheEepromHolds) {
  Lines out;
  const std::string script = std::string(kOpen) +
                             "press Command9\nprint Label1\nprint Label2\nprint Label15\n"
                             "print Label3\nprint Label4\nprint Label17\nprint Label5\n"
                             "print Label7\nprint Label6\nprint Label8\n"
                             // Closed and opened again, the window starts empty.
                             "press Command6\nwindow Form1\nanswer 48213\nmenu EEPcontrol\n"
                             "window FormEEP\nprint Label2\nprint Label1\nquit\n";
  ASSERT_EQ(RunAgainstSimulator(script, KnownEeprom(), &out), 0) << Joined(out) << stderr_;
  const Lines expected = {
      "message: Input password -> 48213",
      "Label1: パ ス 回数 : 000186A0\\rライト回数 : 00000102\\rリード回数 : 00000BB8\\r"
      "印字　回数 : 00000007\\r電断　回数 : 00000003\\rTr1エラー  :     0012\\r"
      "Tr2エラー　:     0034\\rTr3エラー　:     0056\\rTr4エラー  :     0078\\r"
      "メカエラー :   000009\\rｼﾞｬﾑエラー :   00000A\\rﾊｰﾄﾞエラー :   00000B\\r"
      "受信エラー :   00000C\\r送信エラー :   00000D\\rﾌｨｰﾄﾞエラー:   00000E\\r"
      "ﾊﾟﾝﾁエラー :   00000F",
      "Label2: 6",
      "Label15: 1",
      "Label3: 5",
      "Label4: 2",
      "Label17: 7",
      "Label5: 25",
      "Label7: 625 ",
      "Label6: 2.10-SIM ",
      "Label8:  ",
      "message: Input password -> 48213",
      "Label2: ",
      "Label1: ",
  };
  EXPECT_EQ(Printed(out), expected) << Joined(out);
  // Reading writes nothing.
  EXPECT_EQ(
      EepromCommands(commands_),
      (Lines{"CT:0", "CT:1", "CT:2", "CT:3", "CT:4", "CT:9", "CT:A", "CT:B", "CT:C", "CT:8", "CT:7",
             "CT:E", "CT:5", "CT:6", "CT:D", "CT:F", "eer:20/01", "eer:22/01", "eer:08/01"}));
  EXPECT_EQ(ReadEeprom(eeprom_), KnownEeprom());

  // Erased settings read as their defaults.
  Words erased = KnownEeprom();
  erased[0x08] = erased[0x20] = erased[0x22] = 0xFFFF;
  ASSERT_EQ(RunAgainstSimulator(std::string(kOpen) +
                                    "press Command8\nprint Label2\nprint Label15\nprint Label3\n"
                                    "print Label4\nprint Label17\nprint Label1\nquit\n",
                                erased, &out, {}, "erased"),
            0)
      << Joined(out) << stderr_;
  EXPECT_EQ(Printed(out), (Lines{"message: Input password -> 48213", "Label2: 0", "Label15: 2",
                                 "Label3: 4", "Label4: 未設定", "Label17: 4", "Label1: "}))
      << Joined(out);
}

TEST_F(TavotestEeprom, ChangesWriteOnlyTheirByteAndOnlyWhenAllowed) {
  // TPH rank 5 beside an erased print density: the erased byte goes back as it was.
  Words words = KnownEeprom();
  words[0x20] = 0x35FF;
  Lines out;
  const std::string script = std::string(kOpen) +
                             // An empty list reads its word and asks nothing.
                             "press Command14\n"
                             // Cancel in the question writes nothing.
                             "select Combo3 3\nanswer cancel\npress Command4\n"
                             // TPH rank 5 -> 7.
                             "select Combo1 7\nanswer ok\npress Command2\n"
                             // A count Tr1 cannot hold is refused before the password.
                             "select Combo4 Tr1ｴﾗｰ\nset Text1 65536\npress Command13\n"
                             "set Text1 1.5\npress Command13\n"
                             // A wrong password writes nothing and says nothing.
                             "set Text1 255\nanswer tilbor1\npress Command13\n"
                             // Enter in the count box writes.
                             "answer tilbor\nkey Text1 Enter\nprint Label1\nquit\n";
  ASSERT_EQ(RunAgainstSimulator(script, words, &out), 0) << Joined(out) << stderr_;

  Lines messages;
  for (const auto& l : Printed(out))
    if (StartsWith(l, "message: ")) messages.push_back(l);
  const Lines expected = {
      "message: Input password -> 48213",
      "message: 消去ロットを変更します ！\\r\\n    ELOT 2 → 3 -> cancel",
      "message: ＴＰＨランクを変更します ！\\r\\n    Rank 5 → 7 -> ok",
      "message: 設定を有効にするにはC/Rを一旦ﾘｾｯﾄして下さい -> ok",
      "message: Tr1ｴﾗｰ に書ける回数は 0 - 65535 (0 - FFFFh) の整数です。 -> ok",
      "message: Tr1ｴﾗｰ に書ける回数は 0 - 65535 (0 - FFFFh) の整数です。 -> ok",
      "message: パスワードを入力してください！ -> tilbor1",
      "message: パスワードを入力してください！ -> tilbor",
  };
  EXPECT_EQ(messages, expected) << Joined(out);

  Lines reads;
  for (const auto& c : EepromCommands(commands_))
    if (StartsWith(c, "ee")) reads.push_back(c);
  EXPECT_EQ(reads,
            (Lines{"eer:08/01", "eer:22/01", "eer:20/01", "eew:20/01/37FF", "eew:11/01/00FF"}));

  // Exactly the TPH rank byte of word 20h and the Tr1 counter changed.
  Words after = words;
  after[0x20] = 0x37FF;
  after[0x11] = 0x00FF;
  EXPECT_EQ(ReadEeprom(eeprom_), after);
  // The counter display after the write shows it.
  bool shown = false;
  for (const auto& l : Printed(out))
    shown = shown || (StartsWith(l, "Label1: ") && l.find("Tr1エラー  :     00FF") != l.npos);
  EXPECT_TRUE(shown) << Joined(out);
}

// A read that fails puts nothing on the wire; a write the device refuses is reported, not
// followed by the reset notice.
TEST_F(TavotestEeprom, FailedReadsAndWritesAreReported) {
  PtyDevice device([](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command) {
      if (f.text == "eer:20/01") return Reply("Aee14");
      if (f.text == "eer:22/01") return Reply("Aee9031");
      if (f.text == "eer:08/01") return Reply("Aee903034");
      if (StartsWith(f.text, "eew")) return Reply("Aee14");
    }
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(RunUiScript(std::string(kOpen) +
                            "select Combo1 7\npress Command2\nselect Combo2 3\npress Command3\n"
                            "select Combo8 2\nanswer ok\npress Command14\nquit\n",
                        device.path(), &out),
            0)
      << Joined(out) << stderr_;
  const Lines expected = {
      "message: Input password -> 48213",
      "message: \"eer:20/01\": パラメーターエラー            \\r\\n書き込みはしていません。 -> ok",
      "message: \"eer:22/01\" の応答 \"Aee9031\" が不正です。\\r\\n書き込みはしていません。 -> ok",
      "message: 印字位置を変更します ！\\r\\n    印字位置 4 → 2 -> ok",
      "message: \"eew:08/01/3032\": パラメーターエラー             -> ok",
  };
  EXPECT_EQ(Printed(out), expected) << Joined(out);
  Lines writes;
  for (const auto& c : CommandTexts(device.Frames()))
    if (StartsWith(c, "eew")) writes.push_back(c);
  EXPECT_EQ(writes, Lines{"eew:08/01/3032"});
}

TEST_F(TavotestEeprom, CountersClearOnlyAfterTheQuestion) {
  Lines out;
  const std::string script =
      std::string(kOpen) +
      // In English mode the error-only clear does nothing.
      "press Command5\n"
      // Cancel clears nothing; OK clears errors and passes.
      "answer cancel\npress Command7\nanswer ok\npress Command7\n"
      // Back in Japanese mode the error-only clear works.
      "window Form1\ncheck JapaneesMessage on\nwindow FormEEP\nanswer ok\npress Command5\n"
      "press Command10\nquit\n";
  ASSERT_EQ(RunAgainstSimulator(script, KnownEeprom(), &out, {"--lang", "en"}), 0)
      << Joined(out) << stderr_;
  Lines messages;
  for (const auto& l : Printed(out))
    if (StartsWith(l, "message: ")) messages.push_back(l);
  EXPECT_EQ(messages, (Lines{"message: Input password -> 48213",
                             "message: ｴﾗｰ＋ﾊﾟｽ回数が初期化されます ! -> cancel",
                             "message: ｴﾗｰ＋ﾊﾟｽ回数が初期化されます ! -> ok",
                             "message: エラー回数のみ初期化されます！ -> ok"}))
      << Joined(out);
  Lines special;
  for (const auto& c : EepromCommands(commands_))
    if (!StartsWith(c, "CT")) special.push_back(c);
  EXPECT_EQ(special, (Lines{"!!c", "!!e", "RS"}));

  // Errors and passes are zero; writes, reads, prints and power cuts stay.
  Words cleared = KnownEeprom();
  for (int w : {0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x1E, 0x1F})
    cleared[w] = 0;
  EXPECT_EQ(ReadEeprom(eeprom_), cleared);
}

// A press made while another operation waits for the device is told so and sends nothing.
TEST_F(TavotestEeprom, PressWhileBusyIsRefused) {
  Lines out;
  ASSERT_EQ(RunAgainstSimulator(
                std::string(kOpen) + "when ** press Command8\npress Command1\nprint Label1\nquit\n",
                KnownEeprom(), &out),
            0)
      << Joined(out) << stderr_;
  const Lines printed = Printed(out);
  ASSERT_EQ(printed.size(), 3u) << Joined(out);
  EXPECT_EQ(printed[1],
            "message: 他の操作が装置と通信中です。終わってから操作してください。 -> ok");
  EXPECT_TRUE(StartsWith(printed[2], "Label1: パ ス 回数 : 000186A0\\r")) << printed[2];
  EXPECT_TRUE(EndsWith(printed[2], "ﾊﾟﾝﾁエラー :   00000F")) << printed[2];
  for (const auto& c : commands_) EXPECT_FALSE(StartsWith(c, "eer") || c == "TH") << c;
}

// Without a card the data sheet prints nothing and gives the head's power back.
TEST_F(TavotestEeprom, DataSheetWithoutACardEnds) {
  PtyDevice device([](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Command && f.text == "CI") return Reply("ACI25");
    return UsualAnswer(f);
  });
  Lines out;
  ASSERT_EQ(RunUiScript(std::string(kOpen) + "answer ok\npress Command11\nquit\n", device.path(),
                        &out, {"--lang", "en"}),
            0)
      << Joined(out) << stderr_;
  EXPECT_TRUE(Contains(out, "message: \"CI\": No  card  error                   -> ok"))
      << Joined(out);
  const Lines commands = CommandTexts(device.Frames());
  const long ci = IndexOf(commands, "CI");
  ASSERT_GE(ci, 0) << Joined(commands);
  EXPECT_EQ(Lines(commands.begin() + ci - 1, commands.end()), (Lines{"PW:00DF", "CI", "PW:0000"}));
}

// The date the program prints, as the program's clock reads it.
std::string Today() {
  const std::time_t now = std::time(nullptr);
  char text[16];
  std::strftime(text, sizeof text, "%Y/%m/%d", std::localtime(&now));
  return text;
}

TEST_F(TavotestEeprom, DataSheetPrintsEveryValueOnACard) {
  const std::string before = Today();
  Lines out;
  ASSERT_EQ(RunAgainstSimulator(std::string(kOpen) +
                                    "set Text1 SN-0042\nanswer cancel\npress Command11\n"
                                    "answer ok\npress Command11\n"
                                    "check Check1 on\nanswer ok\npress Command11\nquit\n",
                                KnownEeprom(), &out),
            0)
      << Joined(out) << stderr_;
  const std::string after = Today();

  // Cancel sends nothing; each sheet has the head powered, a card in, and the card out with or
  // without erasure before the head's power goes back.
  Lines steps;
  for (const auto& c : commands_)
    if (c == "PW:00DF" || c == "CI" || c == "PP" || c == "CO" || c == "PO" || c == "PW:0000")
      steps.push_back(c);
  EXPECT_EQ(steps,
            (Lines{"PW:00DF", "CI", "PP", "CO", "PW:0000", "PW:00DF", "CI", "PO", "PW:0000"}));

  const std::string card = ReadText(root_ / "cards" / "card-0001.txt");
  std::string date = "font 0 x 0 y 29: データ取得日  = " + before + "\n";
  if (card.find(date) == std::string::npos)
    date = "font 0 x 0 y 29: データ取得日  = " + after + "\n";
  const std::string expected = "font 0 x 0 y 2: *** ＣＲデータ確認印字 ***\n" + date +
                               "font 0 x 0 y 56: ｼﾘｱﾙﾅﾝﾊﾞｰ     =  SN-0042\n"
                               "font 0 x 0 y 83: Ｒ Ｏ Ｍ      =  2.10-SIM\n"
                               "font 0 x 0 y 110: サーマルランク=  6\n"
                               "font 0 x 0 y 137: 消 去 ラ ン ク=  5\n"
                               "font 0 x 0 y 164: イレースロット=  2\n"
                               "font 0 x 0 y 191: 温　度　　　　=  25℃\n"
                               "font 0 x 0 y 218: パ ス 回 数   =  000186A0\n"
                               "font 0 x 0 y 245: 印 字 回 数   =  00000007\n"
                               "font 0 x 0 y 272: ラ イ ト 回 数=  00000102\n"
                               "font 0 x 0 y 299: リ ー ド 回 数=  00000BB8\n"
                               "font 0 x 0 y 326: Ｒ／Ｗエラー(1ch) =  0012\n"
                               "font 0 x 0 y 353:             (2ch) =  0034\n"
                               "font 0 x 0 y 380:             (3ch) =  0056\n"
                               "font 0 x 0 y 407: ｼﾞｬﾑｴﾗｰ　　   =  00000A\n"
                               "font 0 x 0 y 434: ﾒｶｴﾗ-         =  00000009\n"
                               "font 0 x 0 y 461: ﾊｰﾄﾞｴﾗｰ　　　 =  0000000B\n"
                               "font 0 x 0 y 488: 電源切断回数  =  00000003\n";
  EXPECT_EQ(card, expected);
  EXPECT_TRUE(fs::exists(root_ / "cards" / "card-0002.txt"));
}

}  // namespace
