// The track data of the main window's repeated read/write test. A pool of twelve slots holds the
// patterns; each pass builds the data of tracks 1-3 by joining four slots per track and cutting
// the result to the track's length, then shuffles the slots, so that every pass writes other
// data. The shuffle differs for the two track formats (ISO and JIS). The pool lives as long as
// the window: its order carries over from one test run to the next, and only fill() resets it.
//
// Slots are numbered 1-12 in the comments below; slotTexts() gives them as indexes 0-11 (the
// name "slots" is taken by Qt's keyword macro).
//
// Offers: isoPatterns, numericPatterns, TrackData, PatternPool, jisTrackLength.
#pragma once

#include <QString>
#include <array>
#include <initializer_list>

namespace tavo {

// The twelve patterns of the ISO cycle, and the twelve all-digit patterns used instead when the
// numeric ("0-9code") option is on. Fixed texts; the same array on every call.
const std::array<QString, 12>& isoPatterns();
const std::array<QString, 12>& numericPatterns();

struct TrackData {
  QString track1;
  QString track2;
  QString track3;
};

class PatternPool {
 public:
  // Slot n holds patterns[n - 1] afterwards.
  void fill(const std::array<QString, 12>& patterns);
  const std::array<QString, 12>& slotTexts() const { return slots_; }

  // One pass of the ISO cycle. Track 1 = slots 1-4 joined, its first 76 characters; track 2 =
  // slots 5-8 joined, first 37; track 3 = slots 9-12 then 5-8 joined, first 104 (a shorter join
  // is taken whole). Then the slots are shuffled: the new slots 1-12 are the old slots 2, 3, 4,
  // 1, 10, 11, 12, 9, 6, 7, 8, 5 (after four passes the pool is back in its order).
  TrackData nextIso();

  // One pass of the JIS cycle. Track 1 = slots 1-4, track 2 = slots 5-8, track 3 = slots 9-12,
  // each joined and cut to its first `length` characters (a longer length takes the whole join,
  // below 1 gives an empty track). Then the new slots 1-12 are the old slots 6, 11, 4, 5, 10, 3,
  // 8, 9, 2, 7, 12, 1 (one cycle through all twelve: the order returns after twelve passes).
  TrackData nextJis(int length);

 private:
  QString joined(std::initializer_list<int> slotNumbers) const;
  void shuffle(const std::array<int, 12>& fromSlot);

  std::array<QString, 12> slots_;
};

// The JIS track length from the text of its box. A whole number of at least 1 (blanks around it
// allowed) is returned as it is, and *refill becomes false; any other text (empty, not a number,
// a number with something after it, 0 or below, too large for an int) reads as the default 69,
// which the caller writes back into the box: *refill becomes true. refill may be null.
int jisTrackLength(const QString& boxText, bool* refill);

}  // namespace tavo
