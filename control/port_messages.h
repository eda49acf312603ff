// The Port control's message string table. Every error the control reports is the HRESULT
// 0x80040000 + message id, with an error-info object whose description is the message text
// (reportPortError, in the control). Ids with no text describe themselves as "Unknown Error".
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/com/base.h"

namespace ravlin {

enum port_message : std::int32_t {
  msgModemBusy = 200,  // the modem control is in a call
  msgPortNotOpen = 201,
  msgAlreadyClosed = 202,  // in the table, reported by no member
  msgCloseFailed = 203,
  msgSetupFailed = 204,
  msgDesignTime = 205,
  msgAlreadyOpen = 206,
  msgOpenFailed = 207,
  msgPortNotClosed = 208,
  msgQueryFailed = 209,
  msgInputFailed = 210,
  msgOccupied = 211,
  msgModemLinked = 212,
  msgRunTime = 213,
  msgOutputFailed = 215,
  msgOutputUrgentFailed = 216,  // in the table, reported by no member
  msgXonEqualsXoff = 217,
};

inline constexpr std::u16string_view kUnknownErrorText = u"Unknown Error";

// The text of a message id; empty when the table has none.
std::u16string_view portMessageText(std::int32_t id);

// The text a reported error carries: the message text, or "Unknown Error".
inline std::u16string_view portErrorDescription(std::int32_t id) {
  std::u16string_view text = portMessageText(id);
  return text.empty() ? kUnknownErrorText : text;
}

constexpr win::HRESULT portErrorHResult(std::int32_t id) {
  return win::MakeItfHResult(static_cast<std::uint32_t>(id));
}

}  // namespace ravlin
