// tavotest --download PICTURE: "BMP Transmit and Print" of the bitmap window without a screen,
// with a progress bar on standard error, then shut down as "Quit" does.
//
// The window is opened as the menu opens it (its settings and start values), then the options
// are set in its controls as a person would set them, the picture is loaded from the file and the
// button is pressed. The card question is answered OK (Cancel with --no-card, which ends the run
// once the data are in the device). A block that gets no answer within the block time-out ends
// the download with "Error". Standard output carries what --run prints (the log lines and
// messages) and a last line "result: STATUS".
//
// Exit status: 0 the card was printed ("Finish"; with --no-card, the data were set), 1 the
// download or the card ended with "Error" or "Stop", 2 the port could not be opened, 4 the
// picture cannot be read or an option is wrong.
//
// Offers: DownloadOptions, parseDownloadOption, runDownload.
#pragma once

#include <QString>
#include <array>
#include <optional>

namespace tavo {

class Form1;
class Windows;

struct DownloadOptions {
  QString picture;
  bool binary = false;                          // --mode ib (the window's start value is PI)
  bool allImage = true;                         // --all-image / --with-text
  int zoom = 100;                               // --zoom P: percent, 1..10000
  int brightness = 0;                           // --brightness B: -50..+50 in steps of 10
  bool silver = false;                          // --silver
  int track = 1;                                // --track 1|2
  std::array<std::optional<QString>, 5> lines;  // --line0..--line4: else the settings' texts
  bool noCard = false;                          // --no-card
  int blockTimeoutMs = 5000;                    // --block-timeout MS; 0 waits without limit
};

// One option of the download (name with its leading dashes, value when it takes one; *used says
// whether the value was taken). False, with a reason, for a bad value; an option that is not the
// download's leaves *known false.
bool parseDownloadOption(const QString& name, const QString* value, DownloadOptions* o, bool* known,
                         bool* used, QString* error);

int runDownload(Form1& form, Windows& windows, const DownloadOptions& options);

}  // namespace tavo
