// Small text and number helpers of the application, all pure: the operator's escape names for
// control characters, hexadecimal pairs, the lenient number reading and plain number writing of
// the settings file, the log box's cut, the line summary, and the conversion between text and
// the bytes of the ANSI code page that the device and the files use.
//
// Escape names: the operator writes "esc$", "si$", "so$", "lf$" and "bin$" + two hexadecimal
// digits inside command text; expandEscapes turns them into the characters, showEscapes turns
// ESC, SI, SO and LF back into names for display. A "bin$" byte that is no character of its own
// in the code page (a lone lead byte of a double-byte character, say) is kept as a raw-byte
// character (U+F700 + byte) that toAnsi turns back into exactly that byte, so "bin$81" puts 81h
// on the wire instead of a replacement character.
//
// Offers: expandEscapes, showEscapes, hexPairValue, hexValue, valNumber, roundToInt32,
// roundToInt16, plainNumber, vbNumber, logPrepend, lineSummary, toAnsi, fromAnsi, rawByteChar,
// waitSecondsWith, secondsSinceMidnight.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace tavo {

// "esc$" -> ESC, "bin$HH" (H = 0-9 or A-F) -> the character of code-page byte HH, "si$" -> SI,
// "so$" -> SO, "lf$" -> LF, tested in that order at each position, case-sensitively; anything
// else is copied.
QString expandEscapes(const QString& text);
// ESC -> "esc$", SI -> "si$", SO -> "so$", LF -> "lf$"; "bin$" forms are not regenerated.
QString showEscapes(const QString& text);

// count characters of a reply from its character pos (1-based, as reply layouts are counted);
// fewer, or none, past the end.
QString charsAt(const QString& text, qsizetype pos, qsizetype count);

// Digits of the first and the last character: code - 55 from code 64 up, else code - 48; the
// result is first * 16 + last ("1A" -> 26, "ff" -> 799). An empty text gives 0.
int hexPairValue(const QString& pair);
// The leading hexadecimal part of text as a number (either case; nothing hexadecimal: 0).
long hexValue(const QString& text);

// The lenient number reading of the settings file: leading blanks skipped, the longest numeric
// prefix (sign, digits, decimal point, exponent) taken; nothing numeric reads 0.
double valNumber(const QString& text);
// Round half to even into the range; a value outside it gives 0.
qint32 roundToInt32(double value);
qint16 roundToInt16(double value);

// Plain decimal: no leading blank, a decimal point only when there is a fraction
// (9600 -> "9600", 1.5 -> "1.5"). Single precision values keep 7 significant digits.
QString plainNumber(double value);
// A number as the window texts show it: a leading blank for values not below 0 (" 12", "-3").
QString vbNumber(long value);

// The log box's new text: line + CR LF + the current text cut to its first 13000 characters.
QString logPrepend(const QString& current, const QString& line);

// "9600,E,8,1": speed, parity letter (N, O, E for 0, 1, 2), data bits, stop bits. No value
// for another parity (the label then keeps its text).
std::optional<QString> lineSummary(qint32 baudRate, qint16 parity, qint16 dataBits, float stopBits);

// Text <-> bytes of the ANSI code page (932 unless RAVLIN_ACP says otherwise). Raw-byte
// characters become their byte; characters without a code become '?', and firstWithoutCode (when
// given) gets the position of the first such character, or -1 when every character had one.
QByteArray toAnsi(const QString& text, qsizetype* firstWithoutCode = nullptr);
QString fromAnsi(const QByteArray& bytes);
// The character that stands for byte b inside text: the code page's own character when the byte
// alone is one (and converts back to b), else the raw-byte character U+F700 + b.
QChar rawByteChar(unsigned char b);

// The waiting loop of waitSeconds with its clock and its yield given: note the clock (seconds
// since midnight) as the start; repeat { yield(remaining seconds, at most one) } until the clock
// has moved on by the given seconds, or abandon() says to stop waiting. A reading more than half
// a day below the one before means the clock passed midnight, so a wait across midnight, or
// across several, lasts its time; a small step back of the clock is not taken for midnight. A
// wait of zero, a negative or a non-number still yields once.
void waitSecondsWith(float seconds, const std::function<float()>& clock,
                     const std::function<void(float)>& yield,
                     const std::function<bool()>& abandon = {});

// Seconds since local midnight, with fractions, in single precision.
float secondsSinceMidnight();

}  // namespace tavo
