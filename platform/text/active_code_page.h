// How the active ANSI code page is chosen (internal to platform/text; GetACP is the public face).
#pragma once

#include "platform/wintypes.h"

namespace win::text_detail {

bool IsSupportedCodePage(UINT codePage);  // 932, 1252, 65001

// The code page that a RAVLIN_ACP value selects: the decimal number of a supported code page,
// blanks around it allowed. Null or empty selects 932 silently; anything else selects 932 and
// clears *valid.
UINT CodePageFromSetting(const char* value, bool* valid);

}  // namespace win::text_detail
