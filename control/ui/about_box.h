// The control's about box (dialog 2000, "AboutBox").
//
// How it works. A modal dialog of 251 x 181 dialog units in the pages' font, owned by the given
// window or, without one, by the application's active window. It opens centred over its owner
// (over the screen's available area when there is no visible owner) and is kept inside that
// area. It shows the pictures (icon 2502, bitmap 207), the product line built from the library's
// version block, the maker's contact lines and the legal notices; OK (the default, also Esc)
// closes it, "システム情報" starts the program the registry names under
// HKEY_LOCAL_MACHINE\Software\Microsoft\Shared Tools\MSINFO (value "Path"; nothing happens
// without it), and the maker's web-site button opens the maker's page in the default browser.
// Every item's objectName is its dialog id ("1", "2500", "2506", "2502", "207"); the texts are
// "productLine", "contact", "address", "webAddress" and "legal".
//
// Offers: kMakerName, kMakerUrl, ProductLine, SystemInformationProgram, AboutBox,
// PlaceInside, ShowAboutBox.
#pragma once

#include <QDialog>
#include <QString>

namespace ravlin::ui {

inline constexpr const char16_t* kMakerName = u"Qen Works";
inline constexpr const char* kMakerUrl = "https://qen-works.example/ravlin";

// "Port ActiveX Control - (Build 1.0.6.8)".
QString ProductLine(const QString& description, const QString& fileVersion);

// The program the system-information button starts; empty when the key or the value is missing.
QString SystemInformationProgram();

class AboutBox final : public QDialog {
 public:
  AboutBox(QWidget* owner, const QString& description, const QString& fileVersion);

 private:
  void showEvent(QShowEvent* event) override;
  void StartSystemInformation();
};

// Where a window of size goes: centred over over, moved as little as needed to lie inside area.
QRect PlaceInside(QSize size, const QRect& over, const QRect& area);

// Shows the box modally (owner null: the active window).
void ShowAboutBox(QWidget* owner, const QString& description, const QString& fileVersion);

}  // namespace ravlin::ui
