// The data sheet: every counter and setting of the device printed on a card.
//
// How it works: the EEPROM window reads a fixed series of values from the device (dataSheetReads:
// counters with "CT:", the thermal rank with "TH", erase rank and lot with "eer:22/01"), keeping
// a slice of each answer in a DataSheet, adds the date, the serial number the operator typed, the
// version and the head temperature of the last settings read-out, and then sends the print
// commands of dataSheetPrint: the print mode, a cleared buffer, a title line and one labelled line
// per value, then the card out with erasure ("PO") or without ("PP", "CO"), and the head power
// back to 0.
//
// Offers: DataSheet, SheetRead, kSheetReads, takeSheetRead, dataSheetPrint.
#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace tavo {

struct DataSheet {
  QString date, serial, version, thermalRank, eraseRank, eraseLot, temperature;
  QString passes, prints, writes, reads, tr1, tr2, tr3, jam, mechanism, hardware, powerCuts;
};

// One read of the series and what is kept of its answer (1-based start, length); the second
// take is used by the read that carries two values.
struct SheetRead {
  struct Take {
    QString DataSheet::*field;
    int start;
    int length;
  };
  const char* command;
  Take takes[2];
};

extern const std::array<SheetRead, 13> kSheetReads;

// Keeps what a read's answer carries in the sheet.
void takeSheetRead(const SheetRead& read, const QString& replyText, DataSheet* sheet);

// The print commands, from the print mode to "PW:0000"; erasePrint ends with "PO", else with
// "PP" and "CO".
QStringList dataSheetPrint(const DataSheet& sheet, bool erasePrint);

}  // namespace tavo
