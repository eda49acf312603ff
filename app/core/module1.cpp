#include "app/core/module1.h"

namespace tavo {

Module1& module1() {
  static Module1 instance;
  return instance;
}

void resetLinkState(Module1& m) {
  m.sendRequest = 0;
  m.pollRequest = 0;
  m.nakRequest = 0;
  m.rxState = 0;
  m.commBusy = 0;
  m.rxBuffer.clear();
  m.rxByte = -1;
  m.txFrame.clear();
  m.rxText.clear();
  m.commandText.clear();
  m.maskedCommand.clear();
  m.replyCommand.clear();
  m.replyText.clear();
  m.guideText.clear();
  m.replyType.clear();
  m.replyStatus.clear();
  m.replyDetail.clear();
  m.versionText.clear();
  m.tphRank.clear();
  m.headTemperature.clear();

  m.parity = 2;
  m.handshaking = 2;
  m.baudRate = 9600;
  m.dataBits = 8;
  m.stopBits = 1.0f;
  m.portNumber = 1;
  m.stopRequest = 0;
}

void initMessages(Module1& m) {
  m.password = QStringLiteral("48213");

  auto ch = [](char16_t c) { return QString(QChar(c)); };
  m.SOH = ch(0x01);
  m.STX = ch(0x02);
  m.ETX = ch(0x03);
  m.EOT = ch(0x04);
  m.ENQ = ch(0x05);
  m.ACK = ch(0x06);
  m.NAK = ch(0x15);
  m.SI = ch(0x0F);
  m.SO = ch(0x0E);
  m.ESC = ch(0x1B);
  m.LF = ch(0x0A);

  m.normalInterval = 2;
  m.busyInterval = 10;
  m.nakInterval = 50;

  m.expectedTrack1.clear();
  m.expectedTrack2.clear();
  m.expectedTrack3.clear();

  static const char* const kPatterns[12] = {
      "ABCDEABCDE222225788987CDEABCDE222225789",      "33333ABC;:<>?@DEABCDEFACDB0BC;:<>?@DEAB1",
      "abcdiergohijklmnopqrstuvwxwy[]\\ijklmnopqrs",  "!$%'&()*+<=<>!$#&P%'>/()*$%'&()!$#&P%'>/(",
      "12345678901234543298789012345432987890123",    "6789012345678907438789012345678907431",
      "goperyqhjfasdjfapoqeurfdafsdjfapoqeurfdada",   "FECDBADF09sdjfapDBADF09sdjoqeuDBADF09sdj5",
      "fefrioBADJFWIERUequr()%#&/*+@RUequr()%#&/*+@", "87521046DADEDBBFBA74521046DADEDBBFBA7",
      "0DEADFDD628apejufoup89DFA4BCC80DEADFDD62",     "FJAKfja2eurqai*+<>?.,#!$%&ja2e*+<>?.,#!$%&",
  };
  for (int i = 0; i < 12; ++i) m.testPatterns[i] = QString::fromLatin1(kPatterns[i]);

  fillMessageTables(m, m.japaneseMode == 1);
}

bool powerUpReported(const Module1& m) {
  return (m.replyType == u"R" && m.replyText.mid(1, 1) == u"2") ||
         (m.replyType == u"A" && m.replyStatus == u"10");
}

}  // namespace tavo
