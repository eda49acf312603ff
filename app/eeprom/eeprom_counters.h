// The device's usage and error counters as the EEPROM window reads and writes them.
//
// How it works: sixteen counters live in EEPROM words. The four usage counters (passes, writes,
// reads, prints) take two words each (eight hexadecimal digits), the others one word (four
// digits). "CT:x" reads counter x; its answer carries eight hexadecimal digits from the 6th
// character, and the counter display shows a slice of it per counter. The counter write puts a
// count into the counter's word(s) with "eew:AA/NN/" + the count in upper-case hexadecimal,
// padded with zeros to the counter's width.
//
// A count that is not a whole number from 0 to the counter's largest value would make a
// malformed or over-long write that spills into the next EEPROM word; it is refused with a text
// that says what is allowed, as is a write with no counter chosen.
//
// Offers: Counter, kCounters (in list and display order), counterLine, counterWrite.
#pragma once

#include <QString>
#include <array>

namespace tavo {

struct Counter {
  const char16_t* listText;  // the counter list's entry ("ﾊﾟｽ回数")
  int word;                  // EEPROM address of its (first) word
  int width;                 // hexadecimal digits: 8 (two words) or 4 (one word)
  char code;                 // the digit of its "CT:" command
  int sliceStart;            // what the counter display shows of the answer: 1-based start
  int sliceLength;           // and length
  const char16_t* caption;   // the counter display's caption
};

extern const std::array<Counter, 16> kCounters;

// The "CT:" command of a counter.
QString counterCommand(const Counter& counter);

// The counter display's line for a counter: its caption and the slice of the answer.
QString counterLine(const Counter& counter, const QString& replyText);

// The write of count (decimal, blanks around it allowed) into the counter at index (-1: none
// chosen). Empty, with the reason in *refusal, when no counter is chosen or the count is not a
// whole number from 0 to FFFFh (one word) or FFFFFFFFh (two words).
QString counterWrite(int index, const QString& count, bool japanese, QString* refusal);

}  // namespace tavo
