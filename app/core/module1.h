// Module1: the application's shared state. Every window reads and writes these variables on the
// window thread; there is one main window, one port control and one exchange with the device at
// a time, so one instance (module1()) holds it all.
//
// The link variables carry one exchange from request to reply: a window puts the command into
// commandText and raises sendRequest (through comu); the scheduler sends it and sets rxState 1;
// the receive path fills replyType, replyCommand, replyStatus, replyText. Flags are 16-bit
// integers used as 0/1 or 0/-1. The received bytes stay bytes of the ANSI code page (rxBuffer,
// rxText) until a reply is complete, because a reply's check byte is computed over the bytes.
//
// Offers: Module1 (the variables, with their start values), module1(), resetLinkState (the
// start-up routine's settings), initMessages (tables, control characters, intervals, password,
// test patterns in the current language).
#pragma once

#include <QByteArray>
#include <QString>
#include <array>

#include "app/core/messages.h"

namespace tavo {

struct Module1 : MessageTables {
  // Link state.
  QByteArray rxBuffer;  // bytes read from the port and not yet processed
  int rxByte = -1;      // the byte being handed to codeCheck; -1: none
  QByteArray txFrame;   // command text + ETX as code-page bytes (what the BCC covers)
  QByteArray rxText;    // the reply text being received, after STX, up to and with ETX
  QString commandText;
  QString maskedCommand;
  QString replyCommand;
  QString replyText;
  QString guideText;
  QString replyType;
  QString replyStatus;
  QString replyDetail;
  qint16 sendRequest = 0;
  qint16 pollRequest = 0;
  qint16 nakRequest = 0;
  qint16 rxState = 0;  // 0 idle, 1 reply awaited, 2 inside a reply text, 3 BCC byte expected
  qint16 commBusy = 0;
  qint16 stopRequest = 0;
  qint16 normalInterval = 0;  // set by initMessages
  qint16 busyInterval = 0;
  qint16 nakInterval = 0;
  float nakTestWait = 0;

  // Decoded values kept for the tests.
  QString versionText;
  QString tphRank;
  QString headTemperature;
  QString expectedTrack1;
  QString expectedTrack2;
  QString expectedTrack3;

  // Port settings.
  qint32 baudRate = 9600;
  qint16 parity = 2;
  qint16 dataBits = 8;
  float stopBits = 1.0f;
  qint16 handshaking = 2;
  qint32 portNumber = 1;
  qint32 timer1Setting = 0;
  qint32 timer2Setting = 0;

  // Files and access.
  QString programFolder;  // where the settings file and log records live
  QString iniFile;
  QString dataPath;
  QString password;
  QString passwordInput;
  qint16 japaneseMode = 1;

  // Control characters, one-character strings.
  QString SOH, STX, ETX, EOT, ENQ, ACK, NAK, SI, SO, ESC, LF;

  // The bitmap window's files and card texts, kept in the settings file: the folder of the
  // picture (with its separator, where the converted data files go), the picture's path, and the
  // top line (0) and the four message lines (1..4).
  QString bitmapFolder;
  QString bitmapFile;
  std::array<QString, 5> cardLines;

  // Track data for the repeated read/write test, in their order.
  std::array<QString, 12> testPatterns;

  // Our own: set when the application is ending, so that every waiting loop returns and the
  // handlers that run them unwind.
  bool appEnding = false;
  // Our own: counts the presses of "Test Quit", so a wait that has no other way out (the "RS"
  // wait for a device that never answers) can end on a press made while it waits.
  quint32 stopGeneration = 0;
};

// The one instance.
Module1& module1();

// The last reply says the reader has just powered up and waits for "PA": an "R" reply in state 2,
// or an "A" answer with status 10.
bool powerUpReported(const Module1& m);

// The start-up routine's first two steps: request flags, receive state and busy flag 0, the link
// strings and decoded values empty, the port settings to 9600 bit/s, even parity, 8 data bits,
// 1 stop bit, RTS/CTS, port 1, stopRequest 0.
void resetLinkState(Module1& m);

// The password, the control characters, the scheduler intervals (2, 10, 50 ms), the expected
// track data emptied, the twelve test patterns, then the message tables in the language of
// japaneseMode (1 Japanese), last the TPH bands.
void initMessages(Module1& m);

}  // namespace tavo
