// The bitmap window in process, without a device: its start values, the picture, zoom, scroll
// and preview, the clipboard, the message line guard, the settings it reads and writes, and the
// conversions with their files and stop. The device sequences are tested end to end
// (tests/tavotest_bitmap_e2e_test.cpp).
#include "app/bitmap/form_bmp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "app/bitmap/bitmap_settings.h"
#include "app/bitmap/card_preview.h"
#include "app/core/dialogs.h"
#include "app/core/display_label.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "app/core/settings_file.h"
#include "app/core/test_application.h"

namespace tavo {
namespace {

class FormBmpTest : public testing::Test {
 protected:
  void SetUp() override {
    ensureTestApplication();
    Dialogs::setScripted(true);
    Dialogs::setObserver([this](const Dialogs::Shown& s) { messages_ << s.text; });
    QApplication::clipboard()->clear();
    Module1& m = module1();
    resetLinkState(m);
    initMessages(m);
    m.programFolder = home_.path();
    m.iniFile = settingsPath(m.programFolder);
    main_ = std::make_unique<Form1>(m);
  }
  void TearDown() override {
    window_ = nullptr;
    main_.reset();
    Dialogs::setObserver(nullptr);
    Dialogs::setScripted(false);
  }

  FormBMP& Open() {
    window_ = new FormBMP(*main_);
    window_->formLoad();
    return *window_;
  }
  template <typename T>
  T* Get(const char* name) {
    T* w = window_->findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString Label(const char* name) { return displayText(Get<QLabel>(name)); }
  QString Path(const QString& name) const { return QDir(home_.path()).filePath(name); }
  QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
  }

  QTemporaryDir home_;
  std::unique_ptr<Form1> main_;
  FormBMP* window_ = nullptr;  // a child of the main window
  QStringList messages_;
};

// A picture whose pixel (x, y) has a colour of its own, so any shift or resampling shows.
QImage Numbered(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 16));
  return image;
}

TEST_F(FormBmpTest, OpensWithItsStartValuesAndFirstRunTexts) {
  FormBMP& w = Open();
  EXPECT_EQ(w.windowTitle(), "BMP Down Load");
  EXPECT_TRUE(Get<QCheckBox>("Check2")->isChecked());
  EXPECT_EQ(w.geometry().imgHeight, 460);
  for (const char* on : {"Option1", "Option3", "Option6"})
    EXPECT_TRUE(Get<QRadioButton>(on)->isChecked()) << on;
  for (const char* off : {"Option2", "Option4", "Option5"})
    EXPECT_FALSE(Get<QRadioButton>(off)->isChecked()) << off;

  QStringList zooms, brightness, areas;
  for (int i = 0; i < Get<QComboBox>("Combo3")->count(); ++i)
    zooms << Get<QComboBox>("Combo3")->itemText(i);
  for (int i = 0; i < Get<QComboBox>("Combo4")->count(); ++i)
    brightness << Get<QComboBox>("Combo4")->itemText(i);
  for (int i = 0; i < Get<QComboBox>("Combo5")->count(); ++i)
    areas << Get<QComboBox>("Combo5")->itemText(i);
  EXPECT_EQ(zooms.join(','), "10,25,33,50,66,75,80,100,120,150,200,250,300,400");
  EXPECT_EQ(brightness.join(','), "-50,-40,-30,-20,-10,  0,+10,+20,+30,+40,+50");
  EXPECT_EQ(areas.join(""), "123456789:;<=>");
  EXPECT_EQ(Get<QComboBox>("Combo3")->currentText(), "100");
  EXPECT_EQ(Get<QComboBox>("Combo4")->currentText(), "  0");
  EXPECT_EQ(Get<QComboBox>("Combo6")->currentText(), "1");

  EXPECT_FALSE(Get<QPushButton>("Command6")->isEnabled());
  EXPECT_TRUE(Get<QPushButton>("Command8")->isEnabled());
  EXPECT_EQ(Get<QLineEdit>("Text5")->text(), "　割引乗車券");
  EXPECT_EQ(Get<QLineEdit>("Text4")->text(), "12.05.16発行　発売額420円");
  EXPECT_EQ(Label("Label21"), "18");
  EXPECT_EQ(Get<QLineEdit>("Text6")->text(), Path("ImagePic/BMPDownTest.bmp"));
  EXPECT_EQ(readProfile("BMP", "App", module1().iniFile), "Tavo-Test3");
  // The main window's marker is left alone.
  EXPECT_NE(readProfile("Application", "App", module1().iniFile), "Tavo-Test3");
}

TEST_F(FormBmpTest, SettingsOfAnEarlierVersionAreReadNotReplaced) {
  const QString& ini = module1().iniFile;
  ASSERT_TRUE(writeProfile("Application", "App", "Tavo-Test3", ini));
  ASSERT_TRUE(writeProfile("Text", "Line2", "kept", ini));
  ASSERT_TRUE(writeProfile("BMP", "FileName", "/nowhere/p.bmp", ini));
  Open();
  EXPECT_EQ(Get<QLineEdit>("Text2")->text(), "kept");
  EXPECT_EQ(Get<QLineEdit>("Text1")->text(), "");
  EXPECT_EQ(Get<QLineEdit>("Text6")->text(), "/nowhere/p.bmp");
}

TEST_F(FormBmpTest, ClosingWritesTheTextsAndAsksAnyRunToStop) {
  FormBMP& w = Open();
  Get<QLineEdit>("Text3")->setText("third");
  Get<QLineEdit>("Text5")->setText("top");
  module1().stopRequest = 0;
  w.close();
  EXPECT_EQ(module1().stopRequest, 1);
  EXPECT_EQ(readProfile("Text", "Line3", module1().iniFile), "third");
  EXPECT_EQ(readProfile("Text", "Line0", module1().iniFile), "top");
}

TEST_F(FormBmpTest, MessageLinesAreCutAt26AndShowTheirLength) {
  Open();
  Get<QLineEdit>("Text2")->setText("ABCDEFGHIJKLMNOPQRSTUVWXYZ!");
  EXPECT_EQ(Get<QLineEdit>("Text2")->text(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(Label("Label7"), "26");
  Get<QLineEdit>("Text3")->setText("全角の文字");
  EXPECT_EQ(Label("Label8"), "5");
  const QString longTop(40, u'x');
  Get<QLineEdit>("Text5")->setText(longTop);
  EXPECT_EQ(Get<QLineEdit>("Text5")->text(), longTop);
}

TEST_F(FormBmpTest, AllImageSwitchesTheGeometryTheTextsAndClearsTheTrack) {
  FormBMP& w = Open();
  w.show();
  EXPECT_FALSE(Get<QLineEdit>("Text1")->isVisible());
  Get<QCheckBox>("Check2")->click();
  EXPECT_EQ(w.geometry().imgHeight, 300);
  EXPECT_EQ(w.geometry().lineOffset, 60);
  EXPECT_TRUE(Get<QLineEdit>("Text1")->isVisible());
  EXPECT_TRUE(Get<QLineEdit>("Text5")->isVisible());
  EXPECT_FALSE(Get<QRadioButton>("Option3")->isChecked());
  EXPECT_FALSE(Get<QRadioButton>("Option4")->isChecked());
  EXPECT_EQ(Get<CardPreview>("Picture1")->height(), 304);
  Get<QCheckBox>("Check2")->click();
  EXPECT_EQ(w.geometry().imgHeight, 460);
  EXPECT_EQ(Get<CardPreview>("Picture1")->height(), 464);
}

TEST_F(FormBmpTest, PreviewShowsTheCentredCardWindowDotForDot) {
  FormBMP& w = Open();
  const QImage picture = Numbered(645, 925);
  w.loadPicture(picture);
  EXPECT_EQ(w.stretched(), QSize(645, 925));
  // Maxima 325 and 465; the centre rounds half to even: 162 and 232.
  const QImage expected = picture.copy(162, 232, 320, 460);
  EXPECT_EQ(w.cardImage(), expected);
  EXPECT_EQ(Get<CardPreview>("Picture1")->image(), expected);

  // Zoom 50: 322 x 462 (322.5 and 462.5, rounded to even); maxima 2, centred at 1.
  Get<QComboBox>("Combo3")->setCurrentIndex(Get<QComboBox>("Combo3")->findText("50"));
  EXPECT_EQ(w.stretched(), QSize(322, 462));
  const QImage half = w.cardImage();
  for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(5, 7), QPoint(319, 459)})
    EXPECT_EQ(half.pixel(p), picture.pixel((p.x() + 1) * 645 / 322, (p.y() + 1) * 925 / 462))
        << p.x();

  // A picture smaller than the window: at the top left, white around it.
  w.loadPicture(Numbered(10, 4));
  EXPECT_EQ(w.stretched(), QSize(5, 2));
  const QImage small = w.cardImage();
  EXPECT_EQ(small.pixel(4, 1), qRgb(8, 2, 0));
  EXPECT_EQ(small.pixel(5, 1), qRgb(255, 255, 255));
  EXPECT_EQ(small.pixel(0, 2), qRgb(255, 255, 255));
}

// "BMP File Disp" reads what Qt's image readers read; a file that is not a picture is named with
// the reason and the picture loaded before stays.
TEST_F(FormBmpTest, LoadsBmpPngJpegAndRefusesOtherFiles) {
  FormBMP& w = Open();
  int width = 30;
  for (const char* name : {"p.bmp", "p.png", "p.jpg"}) {
    ASSERT_TRUE(Numbered(++width, 20).save(Path(name))) << name;
    Get<QLineEdit>("Text6")->setText(Path(name));
    Get<QPushButton>("Command3")->click();
    EXPECT_EQ(w.picture().size(), QSize(width, 20)) << name;
  }
  QFile text(Path("notes.bmp"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a picture");
  text.close();
  Get<QLineEdit>("Text6")->setText(Path("notes.bmp"));
  EXPECT_FALSE(w.loadFromFile());
  EXPECT_EQ(w.picture().size(), QSize(width, 20));
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith(Path("notes.bmp") + ": "));
  Get<QLineEdit>("Text6")->setText(Path("absent.bmp"));
  EXPECT_FALSE(w.loadFromFile());
  EXPECT_EQ(messages_.size(), 1);
}

TEST_F(FormBmpTest, ClipboardPictureAndDoubleClick) {
  FormBMP& w = Open();
  EXPECT_FALSE(w.loadFromClipboard());  // nothing there: the preview keeps what it had
  QApplication::clipboard()->setImage(Numbered(320, 460));
  Get<QPushButton>("Command7")->click();
  EXPECT_EQ(w.picture().size(), QSize(320, 460));

  // The double-click takes the clipboard when it holds a picture, else the file.
  const QString file = Path("p.png");
  ASSERT_TRUE(Numbered(20, 30).save(file));
  Get<QLineEdit>("Text6")->setText(file);
  QApplication::clipboard()->setImage(Numbered(40, 50));
  CardPreview* preview = Get<CardPreview>("Picture1");
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(preview, &dbl);
  EXPECT_EQ(w.picture().size(), QSize(40, 50));
  QApplication::clipboard()->clear();
  QApplication::sendEvent(preview, &dbl);
  EXPECT_EQ(w.picture().size(), QSize(20, 30));
}

TEST_F(FormBmpTest, ButtonsOffLeaveOnlyStop) {
  FormBMP& w = Open();
  w.setButtons(false);
  for (const char* name :
       {"Command1", "Command3", "Command7", "Command8", "Command5", "Command10", "Command11"})
    EXPECT_FALSE(Get<QPushButton>(name)->isEnabled()) << name;
  for (const char* name : {"Command9", "bmpDisp", "bmpDownload", "cardPrint"})
    EXPECT_FALSE(Get<QAction>(name)->isEnabled()) << name;
  EXPECT_TRUE(Get<QPushButton>("Command6")->isEnabled());
  w.setButtons(true);
  EXPECT_TRUE(Get<QAction>("cardPrint")->isEnabled());
  EXPECT_FALSE(Get<QPushButton>("Command6")->isEnabled());
}

// A picture of 8 x 2: line 0 four black dots then white, line 1 grey (100) at x 4..7. The data
// files are written in the picture's folder, byte for byte as here.
TEST_F(FormBmpTest, ConversionFilesOfASmallPicture) {
  QImage picture(8, 2, QImage::Format_RGB32);
  picture.fill(Qt::white);
  for (int x = 0; x < 4; ++x) picture.setPixel(x, 0, qRgb(0, 0, 0));
  for (int x = 4; x < 8; ++x) picture.setPixel(x, 1, qRgb(100, 100, 100));
  FormBMP& w = Open();
  module1().bitmapFolder = home_.path() + "/";
  w.loadPicture(picture);

  ASSERT_TRUE(w.convertText());
  const QByteArray zeros78(78, '0');
  QByteArray irtemp = "PI:0/0/40/F0" + zeros78 + "\r\nPI:0/1/40/0F" + zeros78 + "\r\n";
  for (int y = 2; y < 460; ++y)
    irtemp += "PI:0/" + QByteArray::number(y) + "/40/00" + zeros78 + "\r\n";
  EXPECT_EQ(ReadFile(Path("IRtemp.dat")), irtemp);
  EXPECT_EQ(w.imageLines()[1], "PI:0/1/40/0F" + zeros78);

  ASSERT_TRUE(w.convertBinary());
  const QByteArray block0 = w.imageLines()[0];
  ASSERT_EQ(block0.size(), 164);
  EXPECT_EQ(block0.left(5), QByteArray("\x01\x00\xFF\xF0\x00", 5));
  EXPECT_EQ(static_cast<unsigned char>(block0[43]), 0x0F);   // line 1, byte 0
  EXPECT_EQ(static_cast<unsigned char>(block0[163]), 0xFF);  // 0xF0 + 0x0F

  Get<QAction>("Command9")->trigger();
  EXPECT_EQ(Label("Label3"), "Data Set Finish");
  const QByteArray rest = ",H'00" + QByteArray(",H'00").repeated(38);
  EXPECT_TRUE(ReadFile(Path("IMAGE.dat"))
                  .startsWith(" .DATA.B H'F0" + rest + "   ; 0\n;\r\n .DATA.B H'0F" + rest +
                              "   ; 1\n;\r\n .DATA.B H'00" + rest + "   ; 2\n;\r\n"));
}

// A stop asked for while a conversion runs ends it after the line or block under way, with
// status "Stop"; the partial file is kept.
TEST_F(FormBmpTest, StopEndsAConversionAfterTheCurrentLine) {
  FormBMP& w = Open();
  module1().bitmapFolder = home_.path() + "/";
  w.loadPicture(Numbered(320, 460));
  QTimer::singleShot(0, [] { module1().stopRequest = 1; });
  EXPECT_FALSE(w.convertText());
  EXPECT_EQ(Label("Label3"), "Stop");
  const QByteArray partial = ReadFile(Path("IRtemp.dat"));
  EXPECT_EQ(partial.count("\r\n"), 1) << partial.left(200).constData();
  EXPECT_TRUE(partial.startsWith("PI:0/0/40/"));

  QTimer::singleShot(0, [] { module1().stopRequest = 1; });
  EXPECT_FALSE(w.convertBinary());
  EXPECT_EQ(Label("Label4"), "0");
}

// The assembler export into a folder that cannot take the file says why and ends with "Error".
TEST_F(FormBmpTest, ExportIntoAMissingFolderIsAnError) {
  Open();
  module1().bitmapFolder = Path("missing/");
  Get<QAction>("Command9")->trigger();
  EXPECT_EQ(Label("Label3"), "Error");
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith(Path("missing/IMAGE.dat") + ": "))
      << messages_[0].toStdString();
  EXPECT_TRUE(Get<QPushButton>("Command8")->isEnabled());
}

}  // namespace
}  // namespace tavo
