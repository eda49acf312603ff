#include "app/core/pattern_pool.h"

namespace tavo {
namespace {

constexpr int kDefaultJisLength = 69;

// The shuffles, as the old slot number that each new slot 1-12 takes.
constexpr std::array<int, 12> kIsoShuffle = {2, 3, 4, 1, 10, 11, 12, 9, 6, 7, 8, 5};
constexpr std::array<int, 12> kJisShuffle = {6, 11, 4, 5, 10, 3, 8, 9, 2, 7, 12, 1};

// The first `length` characters; nothing below 1, everything above the text's length.
QString cut(const QString& text, int length) {
  if (length < 1) return {};
  return text.left(length);
}

}  // namespace

const std::array<QString, 12>& isoPatterns() {
  static const std::array<QString, 12> patterns = {
      QStringLiteral("0123456789:;<=>@ABCDEFGHIJKLMNO"),
      QStringLiteral("33333ABCDEABCDEFACDB01"),
      QStringLiteral("666:;@@@OLM66777771234567890"),
      QStringLiteral("1234==<>:;@5678KLM90ABCDEF0280"),
      QStringLiteral("0129873537<>====3456789:<=>"),
      QStringLiteral("98765432><:>>>0123456789:<=>"),
      QStringLiteral("<><<=:=637184==337743==34"),
      QStringLiteral("673141734676641309854321003335"),
      QStringLiteral("<=::<>890157643<>:18946==34"),
      QStringLiteral("87521046<>==:7381:73183==349"),
      QStringLiteral("<><098<=31==344<>637<3>4<>:::"),
      QStringLiteral("77087>2139495627834443333"),
  };
  return patterns;
}

const std::array<QString, 12>& numericPatterns() {
  static const std::array<QString, 12> patterns = {
      QStringLiteral("012345678974381560138478209321394956278344714894138949"),
      QStringLiteral("333333741065834103635618467017456198364087165164981"),
      QStringLiteral("6665913481566646463946701745619836408936489"),
      QStringLiteral("1234470174567863556376848670174561983640887843184750"),
      QStringLiteral("0129873537659467675675187820932139495627834480901209183"),
      QStringLiteral("987654320238469822109181129874698111112345678"),
      QStringLiteral("810366019372987469891111112987469811333455534"),
      QStringLiteral("67314173467664130985432107820932139495627834403335"),
      QStringLiteral("9015764389463490157298746986438946349015764"),
      QStringLiteral("87521046521046381521046731878209321394956278344352349"),
      QStringLiteral("078178439798307817129874698344607817373407817"),
      QStringLiteral("7708782093213949562783444333782093213949562783443"),
  };
  return patterns;
}

void PatternPool::fill(const std::array<QString, 12>& patterns) {
  slots_ = patterns;
}

TrackData PatternPool::nextIso() {
  TrackData data{cut(joined({1, 2, 3, 4}), 76), cut(joined({5, 6, 7, 8}), 37),
                 cut(joined({9, 10, 11, 12, 5, 6, 7, 8}), 104)};
  shuffle(kIsoShuffle);
  return data;
}

TrackData PatternPool::nextJis(int length) {
  TrackData data{cut(joined({1, 2, 3, 4}), length), cut(joined({5, 6, 7, 8}), length),
                 cut(joined({9, 10, 11, 12}), length)};
  shuffle(kJisShuffle);
  return data;
}

QString PatternPool::joined(std::initializer_list<int> slotNumbers) const {
  QString text;
  for (int n : slotNumbers) text += slots_[n - 1];
  return text;
}

void PatternPool::shuffle(const std::array<int, 12>& fromSlot) {
  const std::array<QString, 12> old = slots_;
  for (int i = 0; i < 12; ++i) slots_[i] = old[fromSlot[i] - 1];
}

int jisTrackLength(const QString& boxText, bool* refill) {
  bool whole = false;
  const int value = boxText.trimmed().toInt(&whole);
  const bool usable = whole && value >= 1;
  if (refill) *refill = !usable;
  return usable ? value : kDefaultJisLength;
}

}  // namespace tavo
