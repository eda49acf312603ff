// The windows the main window's menus open, made on first opening and kept for the program's
// life: each opening of a closed window empties it again (its formLoad), and choosing the menu
// while the window is open brings it to the front. A window not built yet is left to the main
// window, which says so.
//
// Offers: Windows.
#pragma once

#include "app/core/bench.h"

namespace tavo {

class Form1;
class FormBMP;
class FormEEP;
class FormEMC;
class FormFile;
class VersionDisp;

class Windows {
 public:
  // Connects to the main window's menus (its bench's openWindow).
  explicit Windows(Form1& main);
  ~Windows();
  Windows(const Windows&) = delete;
  Windows& operator=(const Windows&) = delete;

  // Opens a window; false for one this version does not have.
  bool open(Window window);
  // The bitmap window once it has been opened.
  FormBMP* bitmap() const { return bitmap_; }

 private:
  Form1& main_;
  // Owned by the main window, as its children.
  FormBMP* bitmap_ = nullptr;
  FormEEP* eeprom_ = nullptr;
  FormFile* commandFile_ = nullptr;
  FormEMC* emc_ = nullptr;
  VersionDisp* version_ = nullptr;
};

}  // namespace tavo
