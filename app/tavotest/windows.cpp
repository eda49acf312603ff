#include "app/tavotest/windows.h"

#include "app/core/form1.h"
#include "app/eeprom/form_eep.h"

namespace tavo {

Windows::Windows(Form1& main) : main_(main) {
  main_.bench().openWindow = [this](Window w) { return open(w); };
}

Windows::~Windows() {
  main_.bench().openWindow = nullptr;
}

bool Windows::open(Window window) {
  if (window != Window::Eeprom) return false;
  if (!eeprom_) eeprom_ = new FormEEP(main_.shared(), main_.exchange(), &main_);
  if (!eeprom_->isVisible()) {
    eeprom_->formLoad();
    eeprom_->show();
  }
  eeprom_->raise();
  eeprom_->activateWindow();
  return true;
}

}  // namespace tavo
