// FormBMP: the bitmap window ("BMP Down Load"), opened from the main window's "BMP data
// download" menu. An engineer loads a picture (file or clipboard), zooms and pans it, sees the
// card's 320-dot window dot for dot, and downloads it to the device as "PI" text lines or as
// "IB" 164-byte blocks, with the magnetic track text and, unless "All Image" is checked, the top
// line and four message lines; then a card is written and printed.
//
// How it works: a loaded picture is kept once in 24-bit colour; the preview (Picture1) shows the
// card window cut from it at the zoom and the scroll positions, and the conversion decides the
// dots from exactly that image (dot_image.h), yielding to the window after every line or block
// so "Stop" and the progress bars stay live. Every command goes through the main window's
// exchange (comu, poll); the fast download writes the blocks to the port itself and runs the
// main window's receive step until the device has answered each one. A block the device NAKs is
// sent again, at most three sends in all; a silent device holds the wait until "Stop", or until
// blockTimeoutMs when one is set (headless runs). While a sequence runs the other operations are
// disabled (setButtons) and only "Stop" is live; a sequence also refuses to start while another
// window's operation talks to the device. A sequence ends early, with status "Stop", when a stop
// was asked for, and with status "Error" when the port closed under it (the exchange has then
// told the operator why): a card is never printed from a download that did not reach the device.
//
// The window keeps its keys in the settings file (bitmap_settings.h): read on opening, written
// when it is closed and (files only) before "BMP Transmit and Print". The converted data are also
// written as "IRtemp.dat" (text mode) and, on request, "IMAGE.dat" (assembler data) in the
// picture's folder.
//
// Offers: FormBMP.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QSize>
#include <functional>
#include <optional>
#include <vector>

#include "app/bitmap/dot_image.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace tavo {

class CardPreview;
class Exchange;
class Form1;
struct Module1;

class FormBMP final : public QMainWindow {
  Q_OBJECT

 public:
  explicit FormBMP(Form1& main);

  // Opening: placed beside the main window, "All Image" checked, the option and list start
  // values, the settings read (the first run's written), the texts into their boxes, the picture
  // of the bitmap path loaded when it exists.
  void formLoad();

  // Picture loading.
  bool loadFromFile();       // "BMP File Disp": the file named in Text6; false when none
  bool loadFromClipboard();  // "Clip Bourd Disp": false when the clipboard holds no picture
  void Command1_Click();     // "File Read": choose a file, then load it
  // Loads a picture (as from a file or the clipboard): the whole of it, stretched by the zoom.
  void loadPicture(const QImage& picture);
  void Combo3_Change();  // zoom
  void Check2_Click();   // "All Image"
  void setScrollRange();
  void drawPreview();

  // Device sequences.
  void Command8_Click();     // "BMP Transmit and Print"
  void bmpDownload_Click();  // "BMP Fast DownLoad"
  void Command5_Click();     // "Card In Print (&P)"
  void cardPrint_Click();    // "Print"
  void Command10_Click();    // "Save to RAM"
  void Command11_Click();    // "Load Image and Print"
  void Command6_Click();     // "Stop"
  void Command9_Click();     // "File Save for H8Assembla": IMAGE.dat
  void Close_Click();        // "CommClose"
  void Quit_Click();         // "Quit"

  // The conversions; false when stopped (status "Stop") before the end.
  bool convertText();
  bool convertBinary();
  // The downloads with their card sequence; false when they ended early.
  bool sendImageText();
  bool sendImageBinary();
  // The card sequence; false when it ended early or was cancelled.
  bool cardSequence();

  void setButtons(bool on);
  // Writes the window's keys (CreateIni); false when the settings file could not be written.
  bool CreateIni();

  // What the window holds, for scripts, tests and the headless download.
  const CardGeometry& geometry() const { return geometry_; }
  const QImage& picture() const { return source_; }
  QSize stretched() const { return stretch_; }
  // The card window the preview shows.
  QImage cardImage() const;
  // The data the last conversion produced (lines in text mode, blocks in binary mode).
  const std::vector<QByteArray>& imageLines() const { return imageLines_; }
  QString status() const;
  bool running() const { return running_; }
  // The last sequence put its data into the device ("Data Set Finish" was reached).
  bool dataSet() const { return dataSet_; }
  // The last "BMP Transmit and Print" ran to its end (the card printed).
  bool lastSucceeded() const { return succeeded_; }

  // The longest wait for a block's answer in milliseconds; 0 waits until "Stop" (the window's
  // way). A wait that runs out ends the download with status "Error".
  int blockTimeoutMs = 0;
  // Told after each line or block sent: how many of how many, and the bytes written so far.
  std::function<void(int sent, int total, qint64 bytes)> onTransmitProgress;
  // When set, the answer "Please Insert a card" gets (true: OK), whatever else is queued for
  // the boxes of a scripted run.
  std::optional<bool> cardAnswer;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class Sequence;

  void buildWindow();
  void buildMenus();
  void connectControls();
  bool japanese() const;

  void setStatus(const QString& text, bool working);
  // The line or block counter (Label4), the data being sent (Label2, unless sent is null) and a
  // progress bar, at most every 40 ms unless forced: drawing them for every block cost far more
  // than the block itself.
  void showStep(QProgressBar* bar, int counter, int value, const QString& sent, bool force);
  void showSent(const QString& text);
  void messageLineChanged(int line);
  DotLevels levels() const;
  // The preview drawn, its dots decided, "Data Convert", the progress bars at 0, no stop asked.
  DotImage startConversion();
  int zoom() const;
  bool allImage() const;
  bool silver() const;
  QString trackText() const;
  QString dataFile(const char* name) const;
  void tell(const QString& text);

  // True when the exchange is free; otherwise the operator is told and false.
  bool begin();
  // One command through the exchange; false (status set) when the sequence must end: a stop was
  // asked for, or the port is closed.
  bool send(const QString& command);
  bool checkStop();
  // poll, then "PA" when the reader reports it has just powered up.
  bool preamble();
  // "PC", "MS:X0N0Y1K0F0", the magnetic track, and "RV" for silver: before the track
  // (reverseFirst, text lines) or after it (blocks).
  bool imageStart(bool reverseFirst);
  bool sendTextLines(bool blank);
  // After the image: "RV" for silver, the text lines unless "All Image", the card; false when
  // it ended early.
  bool finishDownload();
  // The block loop of the fast download.
  bool sendBlocks();
  // Sends one block and waits for its answer: 1 ACK (or a reply), 0 NAK, -1 the wait ended
  // otherwise (stop, port closed, time-out, failed write; status set).
  int sendBlock(const QByteArray& block, qint64* written);
  void setAutoPoll(bool on);
  void dataSetFinished();
  // After a sequence: a "CL" that "Stop" asked for while the link was held.
  void finishSequence();

  Form1& main_;
  Module1& m_;
  Exchange& x_;
  CardGeometry geometry_;
  QImage source_;
  QSize stretch_;
  std::vector<QByteArray> imageLines_;
  bool running_ = false;
  bool inBlockLoop_ = false;
  bool clPending_ = false;
  bool dataSet_ = false;
  bool succeeded_ = false;
  QElapsedTimer stepShown_;  // when showStep last drew

  CardPreview* preview_ = nullptr;     // Picture1
  QScrollBar* vScroll_ = nullptr;      // VScroll1
  QScrollBar* hScroll_ = nullptr;      // HScroll2
  QLineEdit* fileName_ = nullptr;      // Text6
  QLineEdit* topLine_ = nullptr;       // Text5
  QLineEdit* lines_[4] = {};           // Text1..Text4
  QLabel* lengths_[4] = {};            // Label5, Label7, Label8, Label21
  QComboBox* zoom_ = nullptr;          // Combo3
  QComboBox* brightness_ = nullptr;    // Combo4
  QComboBox* saveArea_ = nullptr;      // Combo5
  QComboBox* loadArea_ = nullptr;      // Combo6
  QCheckBox* allImage_ = nullptr;      // Check2
  QRadioButton* options_[6] = {};      // Option1..Option6
  QLabel* status_ = nullptr;           // Label3
  QProgressBar* progress1_ = nullptr;  // ProgressBar1
  QProgressBar* progress2_ = nullptr;  // ProgressBar2
  QWidget* textArea_[2] = {};          // the top line above, the message lines below
};

}  // namespace tavo
