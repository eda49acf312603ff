#include "control/ui/about_box.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <vector>

#include "control/ui/dialog_font.h"
#include "control/ui/hooks.h"
#include "control/ui/pictures.h"
#include "platform/com/registry.h"
#include "platform/text/convert.h"

namespace ravlin::ui {

QString ProductLine(const QString& description, const QString& fileVersion) {
  return description + QStringLiteral(" - (Build ") + fileVersion + QStringLiteral(")");
}

QString SystemInformationProgram() {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Shared Tools\\MSINFO", 0,
                         win::KEY_READ, &key) != win::ERROR_SUCCESS)
    return {};
  std::vector<win::BYTE> data(260);
  win::DWORD type = 0;
  win::DWORD size = static_cast<win::DWORD>(data.size());
  win::LONG status = win::RegQueryValueExA(key, "Path", nullptr, &type, data.data(), &size);
  if (status == win::ERROR_MORE_DATA) {
    data.resize(size);
    status = win::RegQueryValueExA(key, "Path", nullptr, &type, data.data(), &size);
  }
  win::RegCloseKey(key);
  if (status != win::ERROR_SUCCESS || type != win::REG_SZ) return {};
  std::string bytes(reinterpret_cast<const char*>(data.data()), size);
  if (auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  return QString::fromStdU16String(win::AnsiToWide(bytes));
}

QRect PlaceInside(QSize size, const QRect& over, const QRect& area) {
  QRect r(QPoint(0, 0), size);
  r.moveCenter(over.center());
  if (r.right() > area.right()) r.moveRight(area.right());
  if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
  if (r.left() < area.left()) r.moveLeft(area.left());
  if (r.top() < area.top()) r.moveTop(area.top());
  return r;
}

AboutBox::AboutBox(QWidget* owner, const QString& description, const QString& fileVersion)
    : QDialog(owner) {
  setObjectName(QStringLiteral("2000"));
  setWindowTitle(QStringLiteral("AboutBox"));
  setFont(DialogFont());
  setFixedSize(DialogUnitsToPixels({251, 181}, font()));
  const QFont f = font();
  auto place = [&f](QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(DuRect(x, y, width, height, f));
  };

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("2502"));
  icon->setPixmap(QPixmap::fromImage(AboutIcon()));
  place(icon, 10, 10, 22, 20);
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("207"));
  picture->setPixmap(QPixmap::fromImage(AboutPicture()));
  place(picture, 10, 40, 66, 44);

  const QString maker = QString::fromUtf16(kMakerName);
  struct text_item {
    const char* name;
    QString text;
    int y;
  };
  const text_item texts[] = {
      {"productLine", ProductLine(description, fileVersion), 12},
      {"contact", QStringLiteral("お問い合わせ先: ") + maker, 40},
      {"address", QStringLiteral("〒100-0000 東京都架空区見本町1-2-3"), 52},
      {"webAddress", QString::fromLatin1(kMakerUrl), 64},
  };
  for (const text_item& t : texts) {
    auto* label = new QLabel(t.text, this);
    label->setObjectName(QString::fromLatin1(t.name));
    place(label, 84, t.y, 160, 10);
  }
  auto* legal = new QLabel(
      QStringLiteral(
          "Copyright (C) 2024 Qen Works. All rights reserved.\n"
          "このソフトウェアは著作権法および国際条約により保護されています。"
          "このソフトウェアの全部または一部を無断で複製、配布することは禁じられています。"),
      this);
  legal->setObjectName(QStringLiteral("legal"));
  legal->setWordWrap(true);
  legal->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  place(legal, 10, 96, 231, 50);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  place(ok, 10, 158, 50, 14);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* info = new QPushButton(QStringLiteral("システム情報"), this);
  info->setObjectName(QStringLiteral("2500"));
  place(info, 70, 158, 70, 14);
  connect(info, &QPushButton::clicked, this, [this] { StartSystemInformation(); });
  auto* web = new QPushButton(maker + QStringLiteral(" ホームページ"), this);
  web->setObjectName(QStringLiteral("2506"));
  place(web, 150, 158, 91, 14);
  connect(web, &QPushButton::clicked, this,
          [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerUrl))); });
  ok->setFocus();
}

void AboutBox::showEvent(QShowEvent* event) {
  QWidget* owner = parentWidget();
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size());
  const QRect over = owner && owner->isVisible() ? owner->frameGeometry() : area;
  move(PlaceInside(frameGeometry().size(), over, area).topLeft());
  QDialog::showEvent(event);
}

void AboutBox::StartSystemInformation() {
  const QString program = SystemInformationProgram();
  if (!program.isEmpty()) QProcess::startDetached(program, {});
}

void ShowAboutBox(QWidget* owner, const QString& description, const QString& fileVersion) {
  if (!owner) owner = QApplication::activeWindow();
  AboutBox box(owner, description, fileVersion);
  RunModal(box);
}

}  // namespace ravlin::ui
