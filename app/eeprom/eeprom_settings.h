// The five settings the EEPROM window changes, and how a change is composed.
//
// How it works: each setting is one byte of a 16-bit EEPROM word holding the ASCII code of a
// digit (rank 5 is the byte 35h; an erased byte reads FFh). Two settings share word 20h (TPH rank
// in the first byte, print density in the second), two share word 22h (erase lot, erase rank),
// and the print position is the second byte of word 08h. A change reads its word with
// "eer:AA/01", whose answer carries the word as four hexadecimal digits from its 6th character
// ("Aee903532": first byte 35h, second 32h), and writes the word back with "eew:AA/01/" + four
// digits in which only its own byte is new: the other byte goes back exactly as it was read, an
// erased "FF" included.
//
// A write is composed only from an answer that carries a whole word: type "A", echo "ee", a
// status of the OK family and four hexadecimal digits. Anything else would put garbage into the
// other byte, so it yields no write and a text that says why.
//
// Offers: Setting, SettingSpec, settingSpec, WordRead, readWord, writeAccepted, answerProblem,
// currentShown, settingQuestion, settingWrite.
#pragma once

#include <QString>
#include <optional>

#include "app/core/messages.h"

namespace tavo {

enum class Setting { TphRank, PrintDensity, EraseRank, EraseLot, PrintPosition };

struct SettingSpec {
  const char* button;          // the window's button ("Command2")
  const char* list;            // the list of new values ("Combo1")
  const char* readCommand;     // "eer:20/01"
  const char* writeHead;       // "eew:20/01/"
  bool firstByte;              // the setting is the word's first byte (reply character 7)
  const char16_t* whenErased;  // shown for a current digit "F"; null: "F" as read
  const char16_t* heading;     // the question's first line
  const char16_t* label;       // put before the current value in the question
};

const SettingSpec& settingSpec(Setting setting);

// The word of a one-word read answer, as read.
struct WordRead {
  QString firstByte;   // two hexadecimal digits (reply characters 6-7)
  QString secondByte;  // reply characters 8-9
};

// The word an "eer:" answer carries; none when the answer is not an "A" answer to "ee" with a
// status of the OK family and four hexadecimal digits from its 6th character.
std::optional<WordRead> readWord(const QString& replyText);

// The answer to a write ("Aee" + a status of the OK family).
bool writeAccepted(const QString& replyText);

// What went wrong with a command's answer, for the operator: no answer, the status text of a
// failed command, or the unexpected reply quoted; the command names what was asked.
QString answerProblem(const MessageTables& tables, const QString& command, const QString& replyText,
                      bool japanese);

// The setting's current digit as the question shows it: the low digit of its byte, with "F" (an
// erased byte) replaced where the setting has a replacement.
QString currentShown(Setting setting, const WordRead& word);

// The question before a change: heading, CR LF, label, current value, " → ", new value.
QString settingQuestion(Setting setting, const WordRead& word, const QString& newDigit);

// The write of a new digit ("0".."9") into the setting's byte, the other byte as read; empty for
// anything but one decimal digit.
QString settingWrite(Setting setting, const WordRead& word, const QString& newDigit);

}  // namespace tavo
