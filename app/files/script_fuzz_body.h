// One checked run of a command file made from arbitrary bytes: the body of the libFuzzer target
// (command_script_fuzz) and of the seeded random test that runs in every build.
//
// Input: the bytes before the first NUL byte are the file (read as scriptTextFromFile reads a
// file and split by splitScriptLines); the bytes after it tell the checking host what to do.
// Without a NUL byte the whole input is the file and the host uses its defaults (Error Stop off,
// English, the port stays open, no stop, every status "90"). Host bytes, each optional:
//   0      bit 0 Error Stop, bit 1 Japanese messages, bit 2 the stop comes while its step runs
//          (else just before it, while events run between two steps)
//   1, 2   the step (little endian, from 1; 0 never) at which the port closes
//   3, 4   the step (the same way) at which a stop is asked for
//   5 ...  the reply status after each command, in turn and over again (kReplyStatuses[b % n])
// Inputs longer than kFuzzMaxInputBytes are cut there.
//
// The host checks the run as it goes and when it ends: every step shows the loop counter and a
// line of the script, then does what its line asks (sends characters 7.. of a command line, polls
// on POLL, waits on WAIT with the next line's text); the run ends after the step during which
// the port closed or a stop was asked for, before the step a stop came just before, and after a
// command with a bad status under Error Stop; its end (RunEnd) agrees with what happened; a message
// is reported exactly when it ends with BadLoop, naming the LOOP line in the run's language. It
// also checks what makes every run end: the loop counter changes only on LOOP lines, a jump back
// counts down a pass of the one loop that counts, and no LOOP line starts counting twice. Before
// step stepBudget the host asks for a stop, so a legal long run (up to some ten million steps) ends
// early.
//
// Offers: kFuzzMaxInputBytes, kFuzzStepBudget, kReplyStatuses, ScriptRunner, CheckedRun,
// checkScriptRun.
#pragma once

#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/files/command_script.h"

namespace tavo {

inline constexpr size_t kFuzzMaxInputBytes = 64 * 1024;
inline constexpr int kFuzzStepBudget = 20000;

// Reply statuses the host gives after a command: good ones ("0..." and "9...") and bad ones.
inline constexpr const char* kReplyStatuses[] = {"90", "00", "04", "9",  "0",  "14",
                                                 "B0", "",   " 0", "R0", "99", "E1"};

using ScriptRunner =
    std::function<RunEnd(const QStringList& lines, bool errorStop, bool japanese, RunHost& host)>;

struct CheckedRun {
  std::string finding;  // empty when the run ended and every check held, else what went wrong
                        // (with the step and line where it did)
  bool ended = false;   // the run returned (end and steps are what it did)
  RunEnd end = RunEnd::Finished;
  int steps = 0;
};

// Runs the file the bytes make with the checking host.
CheckedRun checkScriptRun(const uint8_t* data, size_t size, int stepBudget = kFuzzStepBudget,
                          const ScriptRunner& run = runScript);

}  // namespace tavo
