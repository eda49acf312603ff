// The system's text for a status code, as the platform's FormatMessage gives it from the system
// message table: what a program shows when a failure carries no error information of its own.
//
// The texts are in the system's language: Japanese when the active ANSI code page is 932 (a
// Japanese system, the default), English otherwise. Codes the table does not know read as
// "Error 0x8xxxxxxx" ("エラー 0x8xxxxxxx"), so a caller always has something to show.
//
// Offers: SystemMessageText.
#pragma once

#include <string>

#include "platform/com/base.h"

namespace win {

// The message for hr; never empty. Both HRESULTs and FACILITY_WIN32 codes (0x8007xxxx) of the
// common Win32 errors are known.
std::u16string SystemMessageText(HRESULT hr);

}  // namespace win
