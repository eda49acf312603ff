// The bitmap window end to end: the real program, driven by UI scripts and by --download, against
// the simulator (whose printed cards are read back as pictures) or a device the test plays. The
// pictures are made here from colours whose dot decision is worked out by hand; the printed
// dots, the commands and blocks on the wire, the data files and the displays are compared with
// that.
#include <QColor>
#include <QImage>

#include "tests/tavotest_e2e.h"

namespace {

using namespace tavotest_e2e;

// Colours and whether each prints at brightness 0 (levels 192, 128, 64): a dot when any channel
// is 64 or less, or all are 128 or less.
struct Ink {
  QRgb rgb;
  bool prints;
};
const Ink kInks[] = {
    {qRgb(0, 0, 0), true},        {qRgb(255, 255, 255), false}, {qRgb(100, 100, 100), true},
    {qRgb(200, 200, 60), true},   {qRgb(150, 150, 150), false}, {qRgb(128, 128, 129), false},
    {qRgb(128, 128, 128), true},  {qRgb(65, 200, 200), false},  {qRgb(64, 200, 200), true},
    {qRgb(192, 192, 192), false},
};
constexpr int kInkCount = sizeof kInks / sizeof kInks[0];

// A picture of width x height whose pixel (x, y) has ink InkAt(x, y): runs of different lengths
// in both directions, so a shifted, mirrored or resampled image does not match.
int InkAt(int x, int y) {
  return ((x / 3) * 7 + (y / 2) * 3 + (x * y) % 5) % kInkCount;
}
QImage Picture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, kInks[InkAt(x, y)].rgb);
  return image;
}

// The printed card's dots: the simulator writes them as a 1-bit PNG, black where a dot printed.
std::vector<std::vector<bool>> PrintedDots(const fs::path& png) {
  const QImage card(QString::fromStdString(png.string()));
  std::vector<std::vector<bool>> dots(460, std::vector<bool>(320, false));
  if (card.width() != 320 || card.height() != 460) {
    ADD_FAILURE() << png << " is not a 320 x 460 picture";
    return dots;
  }
  for (int y = 0; y < 460; ++y)
    for (int x = 0; x < 320; ++x) dots[y][x] = qGray(card.pixel(x, y)) < 128;
  return dots;
}

// The hexadecimal digits of line y of a picture that fills the card (320 dots): four dots a
// digit, leftmost dot in the highest bit.
std::string HexLine(int y) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (int x = 0; x < 320; x += 4) {
    int v = 0;
    for (int k = 0; k < 4; ++k)
      if (kInks[InkAt(x + k, y)].prints) v |= 8 >> k;
    out += kDigits[v];
  }
  return out;
}

int Count(const Lines& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

class TavotestBitmap : public TavotestE2E {
 protected:
  fs::path SavePicture(const QImage& image, const std::string& name) {
    const fs::path path = root_ / name;
    EXPECT_TRUE(image.save(QString::fromStdString(path.string())));
    return path;
  }

  // tavotest --download against a fresh simulator printing into <dir>/print.
  int Download(const fs::path& picture, Lines options, const std::string& dir, Lines* out) {
    const fs::path d = root_ / dir;
    fs::create_directories(d / "print");
    Simulator sim(d, {"--insert-ms", "0", "--print-dir", (d / "print").string()});
    EXPECT_TRUE(sim.ready());
    options.insert(options.begin(), {"--download", picture.string()});
    auto app = Start(options, sim.link());
    const int status = app->Wait(60000);
    *out = app->OutputLines();
    stderr_ = app->Stderr();
    frames_ = sim.HostFrames();
    EXPECT_EQ(sim.Stop(), 0);
    return status;
  }

  int RunUiScriptOnSimulator(const std::string& script, const std::string& dir, Lines* out) {
    const fs::path d = root_ / dir;
    fs::create_directories(d / "print");
    Simulator sim(d, {"--insert-ms", "0", "--print-dir", (d / "print").string()});
    EXPECT_TRUE(sim.ready());
    const int status = RunUiScript(script, sim.link(), out, {"--lang", "en"});
    frames_ = sim.HostFrames();
    EXPECT_EQ(sim.Stop(), 0);
    return status;
  }

  std::vector<HostFrame> frames_;
};

// The whole card downloaded as blocks and as text lines prints exactly the picture's dots, and
// the wire carries 115 blocks numbered 0..114 or 460 lines numbered 0..459.
TEST_F(TavotestBitmap, WholeImageInBothModesPrintsThePicturesDots) {
  const fs::path picture = SavePicture(Picture(320, 460), "card.png");
  for (const std::string mode : {"ib", "pi"}) {
    SCOPED_TRACE(mode);
    Lines out;
    ASSERT_EQ(Download(picture, {"--mode", mode}, mode, &out), 0) << Joined(out) << stderr_;
    EXPECT_TRUE(Contains(out, "result: Finish")) << Joined(out);

    const auto dots = PrintedDots(root_ / mode / "print" / "card-0001.png");
    int wrong = 0;
    for (int y = 0; y < 460; ++y)
      for (int x = 0; x < 320; ++x)
        if (dots[y][x] != kInks[InkAt(x, y)].prints && wrong++ < 5)
          ADD_FAILURE() << "dot " << x << "," << y << " printed " << dots[y][x];
    EXPECT_EQ(wrong, 0);

    const Lines commands = CommandTexts(frames_);
    const Lines start = {"PC", "MS:X0N0Y1K0F0", "MS:C0H0", "MS:C1H1"};
    EXPECT_TRUE(std::search(commands.begin(), commands.end(), start.begin(), start.end()) !=
                commands.end())
        << Joined(commands);
    const Lines card = {"CI", "WR", "PR", "CO"};
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(Lines(commands.end() - 4, commands.end()), card);
    for (const auto& c : commands) EXPECT_FALSE(StartsWith(c, "PD:")) << c;

    if (mode == "ib") {
      const auto blocks = OfKind(frames_, HostFrame::Kind::Block);
      ASSERT_EQ(blocks.size(), 115u);
      for (int n = 0; n < 115; ++n) {
        const Bytes& b = blocks[n].text;
        EXPECT_EQ(static_cast<unsigned char>(b[1]), n);
        EXPECT_EQ(static_cast<unsigned char>(b[2]), 255 - n);
        unsigned sum = 0;
        for (int i = 3; i < 163; ++i) sum += static_cast<unsigned char>(b[i]);
        EXPECT_EQ(static_cast<unsigned char>(b[163]), sum % 256) << "block " << n;
      }
      EXPECT_EQ(Count(commands, "IB"), 1);
    } else {
      int lines = 0;
      for (const auto& c : commands) {
        if (!StartsWith(c, "PI:0/")) continue;
        EXPECT_EQ(c, "PI:0/" + std::to_string(lines) + "/40/" + HexLine(lines));
        ++lines;
      }
      EXPECT_EQ(lines, 460);
      // The same lines, CR LF ended, in IRtemp.dat beside the picture.
      std::string irtemp;
      for (int y = 0; y < 460; ++y)
        irtemp += "PI:0/" + std::to_string(y) + "/40/" + HexLine(y) + "\r\n";
      EXPECT_EQ(ReadText(root_ / "IRtemp.dat"), irtemp);
    }
  }
}

// With the text layout the window sends 300 lines for device lines 60..359 (the middle of a
// taller picture), then the top line and the four message lines; the track gets the first 69
// characters of the joined message lines, and a line of 27 characters is cut to 26.
TEST_F(TavotestBitmap, TextLayoutSendsThreeHundredLinesThenTheTwoTextCommands) {
  const fs::path picture = SavePicture(Picture(320, 500), "tall.bmp");
  const std::string line27 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ!";
  const std::string script =
      "menu \"BMP data download\"\nwindow FormBMP\n"
      "print Check2\nprint Option6\nprint Combo3\nprint Combo4\n"
      "check Check2 off\n"
      "set Text6 " +
      picture.string() +
      "\npress Command3\n"
      "set Text5 Top\n"
      "set Text1 " +
      line27 +
      "\nprint Text1\nprint Label5\n"
      "set Text2 abcdefghijklmnopqrstuvwxyz\n"
      "set Text3 0123456789012345678901234\nset Text4 end\n"
      "check Option3 on\n"
      "answer ok\npress Command8\nprint Label3\nquit\n";
  Lines out;
  ASSERT_EQ(RunUiScriptOnSimulator(script, "text", &out), 0) << Joined(out) << stderr_;
  const Lines printed = Printed(out);
  EXPECT_TRUE(Contains(printed, "Check2: on")) << Joined(printed);
  EXPECT_TRUE(Contains(printed, "Option6: on"));
  EXPECT_TRUE(Contains(printed, "Combo3: 100"));
  EXPECT_TRUE(Contains(printed, "Combo4:   0"));
  EXPECT_TRUE(Contains(printed, "Text1: ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  EXPECT_TRUE(Contains(printed, "Label5: 26"));
  EXPECT_TRUE(Contains(printed, "message: Please Insert a card -> ok"));
  EXPECT_TRUE(Contains(printed, "Label3:  [#00FFFF]")) << Joined(printed);

  const Lines commands = CommandTexts(frames_);
  Lines pi;
  for (const auto& c : commands)
    if (StartsWith(c, "PI:0/")) pi.push_back(c);
  ASSERT_EQ(pi.size(), 300u);
  // The vertical scroll bar centres the card window, (500 - 300) / 2 = 100: device line 60 + y
  // shows picture line 100 + y.
  for (int y = 0; y < 300; ++y) {
    EXPECT_EQ(pi[y], "PI:0/" + std::to_string(60 + y) + "/40/" + HexLine(100 + y)) << y;
  }
  const std::string track = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz01234567890123456";
  ASSERT_EQ(track.size(), 69u);
  const auto at = [&](const std::string& c) {
    return std::find(commands.begin(), commands.end(), c) - commands.begin();
  };
  const auto lastPi = std::find(commands.begin(), commands.end(), pi.back()) - commands.begin();
  EXPECT_LT(at("WD:1/" + track), at(pi.front()));
  EXPECT_EQ(at("PD:0/0/32/\x1B"
               "e22Top"),
            lastPi + 1)
      << Joined(commands);
  EXPECT_EQ(at("PD:0/0/361/ABCDEFGHIJKLMNOPQRSTUVWXYZ\nabcdefghijklmnopqrstuvwxyz\n"
               "0123456789012345678901234\nend"),
            lastPi + 2);
  const Lines card = {"CI", "WR", "PR", "CO"};
  EXPECT_EQ(Lines(commands.end() - 4, commands.end()), card);
}

// A device that NAKs one block once still gets (and prints) the whole image: that block is sent
// again. One that NAKs a block every time gets it three times, and the download ends with
// "Error", no card.
TEST_F(TavotestBitmap, NakedBlockIsSentAgainAtMostThreeTimes) {
  const fs::path picture = SavePicture(Picture(320, 460), "card.bmp");
  for (const bool always : {false, true}) {
    SCOPED_TRACE(always ? "always" : "once");
    int naks = 0;
    PtyDevice device([&](const HostFrame& f) -> Answer {
      if (f.kind == HostFrame::Kind::Block) {
        if (static_cast<unsigned char>(f.text[1]) == 40 && (always || naks == 0)) {
          ++naks;
          return Bytes(1, NAK);
        }
        return Bytes(1, ACK);
      }
      return UsualAnswer(f);
    });
    auto app = Start({"--download", picture.string(), "--mode", "ib"}, device.path());
    const int status = app->Wait(60000);
    const Lines out = app->OutputLines();
    Lines described = Describe(device.Frames());
    Lines blocks;
    for (const auto& d : described)
      if (StartsWith(d, "block ")) blocks.push_back(d);
    if (!always) {
      EXPECT_EQ(status, 0) << Joined(out) << app->Stderr();
      ASSERT_EQ(blocks.size(), 116u);
      EXPECT_EQ(blocks[40], "block 40");
      EXPECT_EQ(blocks[41], "block 40");
      EXPECT_EQ(blocks[42], "block 41");
      EXPECT_EQ(blocks.back(), "block 114");
      EXPECT_TRUE(Contains(described, "CO"));
    } else {
      EXPECT_EQ(status, 1) << Joined(out);
      EXPECT_TRUE(Contains(out, "result: Error")) << Joined(out);
      ASSERT_EQ(blocks.size(), 43u);
      EXPECT_EQ(Count(blocks, "block 40"), 3);
      EXPECT_FALSE(Contains(described, "CI"));
    }
  }
}

// "Stop" while a block waits for its answer ends the loop after that wait: no further block,
// status "Stop" on cyan, "CL" sent, and the main window's "Auto Poll" checked again. The device
// never answers block 20, so the press comes while that block waits however slow the machine.
TEST_F(TavotestBitmap, StopDuringTheBlockLoopSendsClAndLeavesAutoPollChecked) {
  const fs::path picture = SavePicture(Picture(320, 460), "card.bmp");
  PtyDevice device([](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Block)
      return static_cast<unsigned char>(f.text[1]) == 20 ? Answer{} : Answer{Bytes(1, ACK)};
    return UsualAnswer(f);
  });
  const std::string script =
      "menu \"BMP data download\"\nwindow FormBMP\n"
      "set Text6 " +
      picture.string() +
      "\npress Command3\n"
      "check Option5 on\n"
      "after 5000 press Command6\n"
      "press Command8\nprint Label3\nprint Label4\n"
      "window Form1\nprint Check10\nquit\n";
  Lines out;
  ASSERT_EQ(RunUiScript(script, device.path(), &out, {"--lang", "en"}), 0)
      << Joined(out) << stderr_;
  const Lines printed = Printed(out);
  EXPECT_TRUE(Contains(printed, "Label3: Stop [#00FFFF]")) << Joined(printed);
  EXPECT_TRUE(Contains(printed, "Label4: 80")) << Joined(printed);
  EXPECT_TRUE(Contains(printed, "Check10: on")) << Joined(printed);
  ASSERT_TRUE(device.WaitUntil([](const auto& f) { return !f.empty() && f.back().text == "CL"; }))
      << Joined(Describe(device.Frames()));
  const Lines described = Describe(device.Frames());
  EXPECT_EQ(Count(described, "block 20"), 1);
  EXPECT_EQ(Count(described, "block 21"), 0);
  EXPECT_FALSE(Contains(described, "CI"));
}

// Cancel in "Please Insert a card" sends no card command, and the status line is emptied.
TEST_F(TavotestBitmap, CancelInInsertACardSendsNoCardCommand) {
  const std::string script =
      "menu \"BMP data download\"\nwindow FormBMP\n"
      "answer cancel\npress Command5\nprint Label3\n"
      "answer ok\nmenu Print\nprint Label3\nquit\n";
  Lines out;
  ASSERT_EQ(RunUiScriptOnSimulator(script, "cancel", &out), 0) << Joined(out) << stderr_;
  const Lines printed = Printed(out);
  EXPECT_TRUE(Contains(printed, "message: Please Insert a card -> cancel")) << Joined(printed);
  EXPECT_TRUE(Contains(printed, "Label3:  [#00FFFF]")) << Joined(printed);
  EXPECT_TRUE(Contains(printed, "Label3: Finish [#00FFFF]")) << Joined(printed);
  const Lines commands = CommandTexts(frames_);
  // The first press sent nothing but the preamble; the menu's "Print" then ran the card.
  EXPECT_EQ(Count(commands, "CI"), 1) << Joined(commands);
  EXPECT_EQ(Count(commands, "CO"), 1);
}

// The assembler data of a picture smaller than the card window: its dots at the top left, the
// rest of the window white, byte for byte as the lines are written here.
TEST_F(TavotestBitmap, AssemblerExportWritesImageDat) {
  // 16 x 2: line 0 black then white, line 1 alternating dark and light pixels.
  QImage small(16, 2, QImage::Format_RGB32);
  small.fill(Qt::white);
  for (int x = 0; x < 8; ++x) small.setPixel(x, 0, qRgb(0, 0, 0));
  for (int x = 0; x < 16; x += 2) small.setPixel(x, 1, qRgb(100, 100, 100));
  const fs::path picture = SavePicture(small, "small.png");
  const std::string script =
      "menu \"BMP data download\"\nwindow FormBMP\n"
      "set Text6 " +
      picture.string() +
      "\npress Command3\n"
      "menu \"File Save for H8Assembla\"\nprint Label3\n"
      "quit\n";
  Lines out;
  ASSERT_EQ(RunUiScriptOnSimulator(script, "asm", &out), 0) << Joined(out) << stderr_;
  EXPECT_TRUE(Contains(Printed(out), "Label3: Data Set Finish [#00FFFF]")) << Joined(out);

  std::string zeros38;
  for (int i = 0; i < 38; ++i) zeros38 += ",H'00";
  std::string expected = " .DATA.B H'FF,H'00" + zeros38 + "   ; 0\n;\r\n" + " .DATA.B H'AA,H'AA" +
                         zeros38 + "   ; 1\n;\r\n";
  for (int y = 2; y < 460; ++y)
    expected += " .DATA.B H'00,H'00" + zeros38 + "   ; " + std::to_string(y) + "\n;\r\n";
  // The data file goes to the bitmap folder: on the first run, the program folder.
  EXPECT_EQ(ReadText(home_ / "IMAGE.dat"), expected);
}

// The first opening writes the window's keys with their first-run values into the settings
// file beside the main window's, which stay as they were.
TEST_F(TavotestBitmap, SettingsKeepTheMainWindowsKeysAndTheTexts) {
  const std::string script1 =
      "menu \"BMP data download\"\nwindow FormBMP\n"
      "print Text1\nprint Text5\nquit\n";
  PtyDevice device;
  WriteText(Settings(),
            "[Application]\r\nApp=Tavo Emuletor Program 4\r\n[Comm]\r\nPort=1\r\n"
            "Boud=19200\r\nParity=2\r\nDataBit=8\r\nStopBit=1\r\nHandshake=0\r\n");
  Lines out;
  ASSERT_EQ(RunUiScript(script1, device.path(), &out, {"--lang", "en"}), 0)
      << Joined(out) << stderr_;
  Ini ini = ReadIni(ReadText(Settings()));
  EXPECT_EQ(Value(ini, "Application", "App"), "Tavo Emuletor Program 4");
  EXPECT_EQ(Value(ini, "Comm", "Boud"), "19200");
  EXPECT_EQ(Value(ini, "BMP", "App"), "Tavo-Test3");
  EXPECT_EQ(Value(ini, "BMP", "FileName"), home_.string() + "/ImagePic/BMPDownTest.bmp");
  EXPECT_EQ(Value(ini, "BMP", "FileDir"), home_.string() + "/");
  // "　地下鉄・バス" in code page 932.
  EXPECT_EQ(Value(ini, "Text", "Line1"),
            "\x81\x40\x92\x6E\x89\xBA\x93\x53\x81\x45\x83\x6F\x83\x58");
  const Lines printed = Printed(out);
  EXPECT_TRUE(Contains(printed, "Text1: 　地下鉄・バス")) << Joined(printed);
  EXPECT_TRUE(Contains(printed, "Text5: 　割引乗車券"));
}

// "Silver" turns the back colour with "RV" around the image: text lines before the track is
// written, blocks after it (just before "IB"); and once more after the image in both.
TEST_F(TavotestBitmap, SilverSendsRvAroundTheImage) {
  const fs::path picture = SavePicture(Picture(320, 460), "card.bmp");
  for (const std::string mode : {"pi", "ib"}) {
    SCOPED_TRACE(mode);
    PtyDevice device([](const HostFrame& f) -> Answer {
      if (f.kind == HostFrame::Kind::Block) return Bytes(1, ACK);
      return UsualAnswer(f);
    });
    auto app = Start(
        {"--download", picture.string(), "--mode", mode, "--silver", "--no-card", "--line1", "L1"},
        device.path());
    ASSERT_EQ(app->Wait(60000), 0) << Joined(app->OutputLines()) << app->Stderr();
    Lines shown;
    for (const auto& d : Describe(device.Frames()))
      if (d != "poll" && !StartsWith(d, "PI:0/") && !StartsWith(d, "block ") &&
          (shown.empty() || shown.back() != d))
        shown.push_back(d);
    Lines expected = mode == "pi" ? Lines{"PC", "MS:X0N0Y1K0F0", "RV", "MS:C0H0", "MS:C1H1"}
                                  : Lines{"PC", "MS:X0N0Y1K0F0", "MS:C0H0", "MS:C1H1"};
    const Lines tail = mode == "pi" ? Lines{"RV"} : Lines{"RV", "IB", "RV"};
    ASSERT_EQ(shown.size(), expected.size() + 1 + tail.size()) << Joined(shown);
    EXPECT_EQ(Lines(shown.begin(), shown.begin() + expected.size()), expected) << Joined(shown);
    EXPECT_TRUE(StartsWith(shown[expected.size()], "WD:1/L1")) << Joined(shown);
    EXPECT_EQ(Lines(shown.begin() + expected.size() + 1, shown.end()), tail) << Joined(shown);
  }
}

// The RAM areas: "Save to RAM" copies the image buffer to the area chosen, "Load Image and Print"
// brings one back and, with the text layout, blanks the text areas and writes the texts anew
// before the card.
TEST_F(TavotestBitmap, RamAreasSaveAndLoadWithTheTextLayout) {
  const std::string script =
      "menu \"BMP data download\"\nwindow FormBMP\n"
      "select Combo5 ;\npress Command10\nprint Label3\n"
      "check Check2 off\nset Text5 T\nset Text1 a\nset Text2 b\n"
      "set Text3 c\nset Text4 d\n"
      "select Combo6 >\nanswer ok\npress Command11\nprint Label3\nquit\n";
  Lines out;
  ASSERT_EQ(RunUiScriptOnSimulator(script, "ram", &out), 0) << Joined(out) << stderr_;
  const std::string spaces(26, ' ');
  const Lines expected = {"PA",
                          "IC:0;",
                          "IC:>0",
                          "MS:X0N0Y1K0F0",
                          "PD:0/0/32/\x1B"
                          "e22" +
                              std::string(13, ' '),
                          "PD:0/0/361/" + spaces + "\n" + spaces + "\n" + spaces + "\n" + spaces,
                          "PD:0/0/32/\x1B"
                          "e22T",
                          "PD:0/0/361/a\nb\nc\nd",
                          "CI",
                          "WR",
                          "PR",
                          "CO"};
  EXPECT_EQ(CommandTexts(frames_), expected) << Joined(CommandTexts(frames_));
  const Lines printed = Printed(out);
  EXPECT_TRUE(Contains(printed, "Label3: Data set [#FFFF00]")) << Joined(printed);
  EXPECT_TRUE(Contains(printed, "Label3:  [#00FFFF]")) << Joined(printed);
}

// At zoom 50 a 320 x 460 picture becomes 160 x 230: it sits at the card window's top left (no
// room to scroll), each dot from every second pixel, and the rest of the card stays blank.
TEST_F(TavotestBitmap, ZoomHalvesThePictureAndTheRestStaysBlank) {
  const fs::path picture = SavePicture(Picture(320, 460), "card.png");
  Lines out;
  ASSERT_EQ(Download(picture, {"--zoom", "50", "--no-card", "--mode", "ib"}, "zoom", &out), 0)
      << Joined(out) << stderr_;
  EXPECT_TRUE(Contains(out, "result: Data Set Finish")) << Joined(out);
  const auto blocks = OfKind(frames_, HostFrame::Kind::Block);
  ASSERT_EQ(blocks.size(), 115u);
  for (int y = 0; y < 460; ++y) {
    for (int byte = 0; byte < 40; ++byte) {
      int expected = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const int x = byte * 8 + bit;
        if (x < 160 && y < 230 && kInks[InkAt(2 * x, 2 * y)].prints) expected |= 0x80 >> bit;
      }
      const int sent = static_cast<unsigned char>(blocks[y / 4].text[3 + (y % 4) * 40 + byte]);
      ASSERT_EQ(sent, expected) << "line " << y << " byte " << byte;
    }
  }
  for (const auto& c : CommandTexts(frames_)) EXPECT_NE(c, "CI");
}

// Headless: a port that cannot be opened is exit status 2; a bad option or picture is 4; a
// device that does not answer a block ends the download within the block time-out (exit 1).
TEST_F(TavotestBitmap, DownloadExitStatuses) {
  const fs::path picture = SavePicture(Picture(320, 460), "card.bmp");
  auto run = [&](Lines args, const std::string& com1, Lines* out) {
    auto app = Start(args, com1);
    const int status = app->Wait(60000);
    *out = app->OutputLines();
    stderr_ = app->Stderr();
    return status;
  };
  Lines out;
  EXPECT_EQ(run({"--download", picture.string()}, (root_ / "none").string(), &out), 2);
  EXPECT_EQ(run({"--download", picture.string(), "--brightness", "15"}, "x", &out), 4);
  EXPECT_NE(stderr_.find("--brightness"), std::string::npos) << stderr_;
  EXPECT_EQ(run({"--download", (root_ / "missing.bmp").string()}, "x", &out), 4);
  WriteText(root_ / "not-a-picture.bmp", "hello");
  EXPECT_EQ(run({"--download", (root_ / "not-a-picture.bmp").string()}, "x", &out), 4);

  PtyDevice silent([](const HostFrame& f) -> Answer {
    if (f.kind == HostFrame::Kind::Block)
      return static_cast<unsigned char>(f.text[1]) == 3 ? Answer{} : Answer{Bytes(1, ACK)};
    return UsualAnswer(f);
  });
  const auto started = Clock::now();
  EXPECT_EQ(run({"--download", picture.string(), "--mode", "ib", "--block-timeout", "300"},
                silent.path(), &out),
            1);
  EXPECT_LT(Ms(Clock::now() - started), 20000);
  EXPECT_TRUE(Contains(out, "result: Error")) << Joined(out);
  EXPECT_NE(stderr_.find("3/115 blocks"), std::string::npos) << stderr_;
  EXPECT_FALSE(Contains(Describe(silent.Frames()), "CI"));
}

}  // namespace
