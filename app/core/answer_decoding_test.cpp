#include "app/core/answer_decoding.h"

#include <gtest/gtest.h>

#include <QMap>

#include "app/core/qstring_printer.h"

namespace tavo {
namespace {

// Decodes one answer to a command and collects what the window would show.
class Decoding : public testing::Test {
 protected:
  void SetUp() override {
    m_.japaneseMode = 0;
    initMessages(m_);
  }
  QMap<QString, QString> Decode(const QString& command, const QString& reply,
                                const QString& masked = {}) {
    m_.commandText = command;
    m_.maskedCommand = masked;
    m_.replyText = reply;
    QMap<QString, QString> shown;
    decodeAnswer(m_, [&](const QString& name, const QString& text) { shown[name] = text; });
    return shown;
  }
  using Shown = QMap<QString, QString>;
  Module1 m_;
};

TEST_F(Decoding, DataFieldsTakeTheReplyFromPositionSixOrTheWholeShortReply) {
  EXPECT_EQ(Decode("ST", "AST90C0F"), (Shown{{"Label14", "C0F"}}));
  EXPECT_EQ(Decode("MR", "AMR90C7M0"), (Shown{{"Text31", "C7M0"}}));
  EXPECT_EQ(Decode("RE", "ARE9012"), (Shown{{"Label26", "12"}}));

  m_.versionText = "old";
  EXPECT_EQ(Decode("VS", "AVS90V4.00-01"), (Shown{{"Label12", "V4.00-01"}}));
  EXPECT_EQ(m_.versionText, "V4.00-01");
  // "A", echo and status alone: the label shows all five, the kept version stays.
  EXPECT_EQ(Decode("VS", "AVS90"), (Shown{{"Label12", "AVS90"}}));
  EXPECT_EQ(m_.versionText, "V4.00-01");
  // Commands without a field of their own show nothing.
  EXPECT_TRUE(Decode("PA", "APA90").isEmpty());
  EXPECT_TRUE(Decode("CO", "ACO90XYZ").isEmpty());
}

TEST_F(Decoding, TphRankBandAndTemperature) {
  EXPECT_EQ(
      Decode("TH", "ATH90525"),
      (Shown{{"Label9", "525"}, {"Label19", "TPH rank : 5\rResist :1333-1397ohm\rTemp  : 25deg"}}));
  EXPECT_EQ(m_.tphRank, "5");
  EXPECT_EQ(m_.headTemperature, "25");

  // Rank 9 has no band; a reply of 7 characters has no temperature (the kept one stays).
  EXPECT_EQ(Decode("TH", "ATH909X"),
            (Shown{{"Label9", "9X"}, {"Label19", "TPH rank : 9\rResist :ohm\r"}}));
  EXPECT_EQ(m_.headTemperature, "25");
  // A letter reads as rank 0, as the lenient number reading does.
  EXPECT_EQ(Decode("TH", "ATH90F25")["Label19"],
            "TPH rank : F\rResist :1008-1072ohm\rTemp  : 25deg");
  // Shorter than 6: the reply, nothing else.
  m_.tphRank = "7";
  EXPECT_EQ(Decode("TH", "ATH90"), (Shown{{"Label9", "ATH90"}}));
  EXPECT_EQ(m_.tphRank, "7");
}

TEST_F(Decoding, TrackResultsByReplyLength) {
  EXPECT_EQ(Decode("RC", "ARC909092469292"), (Shown{{"Label11", "90"},
                                                    {"Label13", "92"},
                                                    {"Label24", "46"},
                                                    {"Label47", "92"},
                                                    {"Label48", "92"}}));
  // 13 characters: four fields, Label48 untouched.
  EXPECT_EQ(Decode("RC", "ARC9090924692"),
            (Shown{{"Label11", "90"}, {"Label13", "92"}, {"Label24", "46"}, {"Label47", "92"}}));
  // 14: the fifth field is not complete either.
  EXPECT_FALSE(Decode("RC", "ARC90909246929").contains("Label48"));
  EXPECT_EQ(Decode("RC", "ARC90909246"), (Shown{{"Label11", "909246"}}));
  EXPECT_EQ(Decode("RC", "ARC14"), (Shown{{"Label11", "ARC14"}}));
}

TEST_F(Decoding, TrackDataGoesToTheBoxOfTheTrackAsked) {
  EXPECT_EQ(Decode("DT:2", "ADT902ABC"), (Shown{{"Text32(2)", "ABC"}}));
  EXPECT_EQ(Decode("DT:3", "ADT463"), (Shown{{"Text32(3)", "ADT463"}}));
  EXPECT_EQ(Decode("DT:1", "ADT901"), (Shown{{"Text32(1)", "ADT901"}}));
  EXPECT_EQ(Decode("DT:1", "ADT901X"), (Shown{{"Text32(1)", "X"}}));
  // Tracks without a box, and a command too short to name one.
  EXPECT_TRUE(Decode("DT:4", "ADT904XYZ").isEmpty());
  EXPECT_TRUE(Decode("DT:", "ADT904XYZ").isEmpty());
  EXPECT_TRUE(Decode("DT", "ADT14").isEmpty());
}

TEST_F(Decoding, ClockWithItsWeekday) {
  EXPECT_EQ(Decode("CK", "ACK902612090321530"),  // 18 characters: too short
            Shown{});
  EXPECT_EQ(Decode("CK", "ACK9026120903215301"),
            (Shown{{"Label37", QString::fromUtf16(u" 時計ﾃﾞｰﾀ : 26/12/09(水)21:53:01")}}));
  EXPECT_EQ(Decode("CK", "ACK9026120900215301")["Label37"],
            QString::fromUtf16(u" 時計ﾃﾞｰﾀ : 26/12/09(日)21:53:01"));
  // 7 is the blank after Saturday; beyond it there is no weekday.
  EXPECT_EQ(Decode("CK", "ACK9026120907215301")["Label37"],
            QString::fromUtf16(u" 時計ﾃﾞｰﾀ : 26/12/09(　)21:53:01"));
  EXPECT_EQ(Decode("CK", "ACK9026120909215301")["Label37"],
            QString::fromUtf16(u" 時計ﾃﾞｰﾀ : 26/12/09()21:53:01"));
}

TEST_F(Decoding, MaskedCounterAndSensorVoltages) {
  EXPECT_EQ(Decode("**", "A**900000012C", "CT:0"), (Shown{{"Label2", "0000012C"}}));
  EXPECT_EQ(Decode("**", "A**90000001", "CT:0"), (Shown{{"Label2", "A**90000001"}}));

  EXPECT_EQ(Decode("**", "A**90FF80331A00", "!!s"),
            (Shown{{"Label30", "5.00 2.51 1.00 0.51 0.00"}}));
  EXPECT_EQ(Decode("**", "A**90FF80331A00", "!!l"),
            (Shown{{"Label41", "5.00 2.51 1.00 0.51 0.00"}}));
  EXPECT_TRUE(Decode("**", "A**90FF80331A00", "!!w").isEmpty());
  EXPECT_TRUE(Decode("**", "A**90FF80331A0", "!!s").isEmpty());  // 14 characters
  // A field that is not hexadecimal reads as its leading hexadecimal part.
  EXPECT_EQ(Decode("**", "A**90FFG01X331A", "!!s")["Label30"], "5.00 0.00 0.02 1.00 0.51");
}

TEST(Lamp, StatusFirstThenReplyType) {
  EXPECT_EQ(lampFor("90", "A**"), Lamp::BrightGreen);
  EXPECT_EQ(lampFor("9012", "B"), Lamp::BrightGreen);
  EXPECT_EQ(lampFor("14", "AMS"), Lamp::BrightRed);
  EXPECT_EQ(lampFor("", "BWR"), Lamp::Yellow);
  EXPECT_EQ(lampFor("00", "R"), Lamp::BrightGreen);
  EXPECT_EQ(lampFor("", "ACK"), Lamp::BrightRed);  // "ACK" begins with "A"
  EXPECT_EQ(lampFor("", "NAK"), Lamp::ButtonFace);
  EXPECT_EQ(lampFor("9", ""), Lamp::ButtonFace);
  EXPECT_EQ(lampColour(Lamp::Yellow), QColor(255, 255, 0));
  EXPECT_EQ(lampColour(Lamp::BrightRed), QColor(255, 0, 0));
  EXPECT_FALSE(lampColour(Lamp::ButtonFace).isValid());
}

}  // namespace
}  // namespace tavo
