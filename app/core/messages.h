// The message tables: device status codes, poll-reply states and card positions, and the
// thermal head's resistance bands, in English and Japanese.
//
// Each table is a fixed array indexed as the device reports: errorMessages by the two-character
// status read as a hexadecimal number (status "90" is entry 0x90 = 144), stateMessages and
// cardMessages by the digits of a poll reply, tphRanks by the TPH rank digit. fillMessageTables
// writes the texts of one language into the tables; an entry only the other language defines
// keeps what it held (the Japanese card positions 8-19 stay after a switch to English).
//
// Offers: MessageTables, fillMessageTables, statusMessage.
#pragma once

#include <QString>
#include <array>

namespace tavo {

struct MessageTables {
  std::array<QString, 161> errorMessages;  // index: status pair read as hexadecimal, 0x00-0xA0
  std::array<QString, 21> stateMessages;   // index: state digit of an "R" reply
  std::array<QString, 21> cardMessages;    // index: card-position digit of an "R" reply
  std::array<QString, 11> tphRanks;        // index: TPH rank digit; entries 0-8 filled
};

// Writes the texts of the chosen language (japanese true: Japanese) and the TPH bands.
void fillMessageTables(MessageTables& tables, bool japanese);

// The text for an "A" status pair: errorMessages of the pair read as hexadecimal (the leading
// hexadecimal part of the pair; nothing hexadecimal reads 0). A value past the table (above A0h)
// has no entry: the text then names the status as unknown, in the chosen language.
QString statusMessage(const MessageTables& tables, const QString& pair, bool japanese);

// The statuses of a command that was carried out: "90", "92", "93", "94", "96".
bool isOkStatus(const QString& pair);

}  // namespace tavo
