#include "app/tavotest/windows.h"

#include "app/bitmap/form_bmp.h"
#include "app/core/form1.h"
#include "app/eeprom/form_eep.h"
#include "app/files/form_emc.h"
#include "app/files/form_file.h"
#include "app/files/version_disp.h"

namespace tavo {
namespace {

// Made on first use; filled afresh when it was closed; brought to the front.
template <typename W, typename Make>
void show(W*& window, Make make) {
  if (!window) window = make();
  if (!window->isVisible()) {
    window->formLoad();
    window->show();
  }
  window->raise();
  window->activateWindow();
}

}  // namespace

Windows::Windows(Form1& main) : main_(main) {
  main_.bench().openWindow = [this](Window w) { return open(w); };
}

Windows::~Windows() {
  main_.bench().openWindow = nullptr;
}

bool Windows::open(Window window) {
  switch (window) {
    case Window::Eeprom:
      show(eeprom_, [this] { return new FormEEP(main_.shared(), main_.exchange(), &main_); });
      return true;
    case Window::CommandFile:
      show(commandFile_, [this] { return new FormFile(main_); });
      return true;
    case Window::Emc:
      show(emc_, [this] { return new FormEMC(&main_); });
      return true;
    case Window::Version:
      show(version_, [this] { return new VersionDisp(&main_); });
      return true;
    case Window::Bitmap:
      show(bitmap_, [this] { return new FormBMP(main_); });
      return true;
  }
  return false;
}

}  // namespace tavo
