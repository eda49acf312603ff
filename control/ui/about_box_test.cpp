// The about box: its texts and items, where it opens, and what its buttons start.
#include "control/ui/about_box.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdlib>

#include "control/port_test_support.h"
#include "control/ui/dialog_font.h"
#include "control/ui/ui_test_support.h"
#include "platform/com/registry.h"

namespace ravlin::ui::testing {
namespace {

using ravlin::testing::NextPortNumber;
using ravlin::testing::PortRig;

// Receives the URLs QDesktopServices is asked to open.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

// A registry of the test's own, in a temporary folder.
class PrivateRegistry {
 public:
  PrivateRegistry() {
    path_ = dir_.filePath(QStringLiteral("registry.reg")).toStdString();
    setenv("RAVLIN_REGISTRY", path_.c_str(), 1);
  }
  ~PrivateRegistry() { unsetenv("RAVLIN_REGISTRY"); }
  void SetMsinfoPath(const std::string& program) {
    win::HKEY key = nullptr;
    ASSERT_EQ(
        win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Shared Tools\\MSINFO",
                             0, nullptr, 0, win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
        win::ERROR_SUCCESS);
    ASSERT_EQ(win::RegSetValueExA(key, "Path", 0, win::REG_SZ,
                                  reinterpret_cast<const win::BYTE*>(program.c_str()),
                                  static_cast<win::DWORD>(program.size() + 1)),
              win::ERROR_SUCCESS);
    win::RegCloseKey(key);
  }
  QString Folder() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  std::string path_;
};

class About : public UiTest {};

TEST_F(About, AboutBoxShowsTheProductLineContactsAndButtons) {
  PortRig rig(NextPortNumber());
  int shown = 0;
  SetDialogHook([&](QDialog& box) {
    ++shown;
    EXPECT_EQ(box.objectName(), QStringLiteral("2000"));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("AboutBox"));
    EXPECT_TRUE(box.isModal());
    EXPECT_EQ(box.size(), DialogUnitsToPixels({251, 181}, box.font()));
    EXPECT_EQ(Find<QLabel>(&box, "productLine")->text(),
              QStringLiteral("Port ActiveX Control - (Build 1.0.6.8)"));
    EXPECT_EQ(Find<QLabel>(&box, "contact")->text(), QStringLiteral("お問い合わせ先: Qen Works"));
    EXPECT_FALSE(Find<QLabel>(&box, "address")->text().isEmpty());
    EXPECT_EQ(Find<QLabel>(&box, "webAddress")->text(), QString::fromLatin1(kMakerUrl));
    EXPECT_FALSE(Find<QLabel>(&box, "legal")->text().isEmpty());
    EXPECT_FALSE(Find<QLabel>(&box, "2502")->pixmap().isNull());
    EXPECT_FALSE(Find<QLabel>(&box, "207")->pixmap().isNull());
    EXPECT_EQ(Find<QPushButton>(&box, "2500")->text(), QStringLiteral("システム情報"));
    EXPECT_EQ(Find<QPushButton>(&box, "2506")->text(), QStringLiteral("Qen Works ホームページ"));
    auto* ok = Find<QPushButton>(&box, "1");
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    ok->click();
  });
  EXPECT_EQ(rig.Call(DISPID_Port_AboutBox), win::S_OK);
  EXPECT_EQ(shown, 1);
}

TEST_F(About, EscapeClosesTheBox) {
  bool closed = false;
  SetDialogHook([&](QDialog& box) {
    QObject::connect(&box, &QDialog::finished, [&] { closed = true; });
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&box, &escape);
  });
  ShowAboutBox(nullptr, QStringLiteral("Port ActiveX Control"), QStringLiteral("1.0.6.8"));
  EXPECT_TRUE(closed);
}

TEST_F(About, TheBoxOpensCentredOverItsOwnerAndStaysOnTheScreen) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  QWidget owner;
  owner.setGeometry(area.left() + 100, area.top() + 80, 600, 420);
  owner.show();
  QRect placed;
  SetDialogHook([&](QDialog& box) {
    placed = box.frameGeometry();
    box.accept();
  });
  ShowAboutBox(&owner, "Port ActiveX Control", "1.0.6.8");
  EXPECT_LE(std::abs(placed.center().x() - owner.frameGeometry().center().x()), 1);
  EXPECT_LE(std::abs(placed.center().y() - owner.frameGeometry().center().y()), 1);

  // An owner near the corner: the box moves back onto the screen.
  owner.setGeometry(area.right() - 60, area.bottom() - 40, 50, 30);
  ShowAboutBox(&owner, "Port ActiveX Control", "1.0.6.8");
  EXPECT_TRUE(area.contains(placed)) << placed.x() << "," << placed.y();
  EXPECT_EQ(placed.right(), area.right());
  EXPECT_EQ(placed.bottom(), area.bottom());

  // No visible owner: centred on the screen.
  owner.hide();
  ShowAboutBox(&owner, "Port ActiveX Control", "1.0.6.8");
  EXPECT_LE(std::abs(placed.center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(placed.center().y() - area.center().y()), 1);
}

TEST_F(About, PlacementArithmetic) {
  const QRect area(0, 0, 800, 600);
  EXPECT_EQ(PlaceInside({200, 100}, QRect(100, 100, 400, 300), area), QRect(200, 200, 200, 100));
  EXPECT_EQ(PlaceInside({200, 100}, QRect(-300, -300, 100, 100), area), QRect(0, 0, 200, 100));
  // Larger than the area: its top-left corner stays visible.
  EXPECT_EQ(PlaceInside({1000, 700}, QRect(0, 0, 800, 600), area).topLeft(), QPoint(0, 0));
}

TEST_F(About, SystemInformationStartsTheRegisteredProgramAndNothingWithoutIt) {
  PrivateRegistry registry;
  EXPECT_TRUE(SystemInformationProgram().isEmpty());
  // Without the value the button does nothing (and the box stays usable).
  SetDialogHook([&](QDialog& box) {
    Find<QPushButton>(&box, "2500")->click();
    box.accept();
  });
  ShowAboutBox(nullptr, "Port ActiveX Control", "1.0.6.8");

  const QString marker = QDir(registry.Folder()).filePath(QStringLiteral("msinfo-started"));
  const QString script = QDir(registry.Folder()).filePath(QStringLiteral("msinfo.sh"));
  {
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
  }
  QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  registry.SetMsinfoPath(script.toStdString());
  EXPECT_EQ(SystemInformationProgram(), script);
  SetDialogHook([&](QDialog& box) {
    Find<QPushButton>(&box, "2500")->click();
    box.accept();
  });
  ShowAboutBox(nullptr, "Port ActiveX Control", "1.0.6.8");
  EXPECT_TRUE(PumpUntil([&] { return QFile::exists(marker); }, 20000));
}

TEST_F(About, TheWebSiteButtonOpensTheMakersPage) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
  SetDialogHook([&](QDialog& box) {
    Find<QPushButton>(&box, "2506")->click();
    box.accept();
  });
  ShowAboutBox(nullptr, "Port ActiveX Control", "1.0.6.8");
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls[0], QUrl(QString::fromLatin1(kMakerUrl)));
}

}  // namespace
}  // namespace ravlin::ui::testing

#include "about_box_test.moc"
