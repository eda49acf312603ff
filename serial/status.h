// Results of the engine's operations: success, "nothing changed", or a small negative code that
// the control turns into its error (a message id with its text, or a plain HRESULT).
#pragma once

namespace serial {

enum rs232x_status : int {
  RS_OK = 0,
  RS_UNCHANGED = 1,  // success, the value equalled the current one: nothing stored, not dirty

  RS_INVALID_ARG = -1,       // E_INVALIDARG, no message
  RS_OUT_OF_MEMORY = -2,     // E_OUTOFMEMORY
  RS_NOT_OPEN = -3,          // 201
  RS_CLOSE_FAILED = -4,      // 203
  RS_SET_FAILED = -5,        // 204
  RS_ALREADY_OPEN = -6,      // 206
  RS_OPEN_FAILED = -7,       // 207
  RS_PORT_OPEN = -8,         // 208
  RS_QUERY_FAILED = -9,      // 209
  RS_INPUT_FAILED = -10,     // 210
  RS_OUTPUT_FAILED = -11,    // 215
  RS_XON_EQUALS_XOFF = -12,  // 217
};

inline bool rs_succeeded(int status) {
  return status >= 0;
}

// The control's message id for a status (201 ... 217), or 0 when the status has none
// (success, invalid argument, out of memory).
inline int rs232x_message_id(int status) {
  switch (status) {
    case RS_NOT_OPEN:
      return 201;
    case RS_CLOSE_FAILED:
      return 203;
    case RS_SET_FAILED:
      return 204;
    case RS_ALREADY_OPEN:
      return 206;
    case RS_OPEN_FAILED:
      return 207;
    case RS_PORT_OPEN:
      return 208;
    case RS_QUERY_FAILED:
      return 209;
    case RS_INPUT_FAILED:
      return 210;
    case RS_OUTPUT_FAILED:
      return 215;
    case RS_XON_EQUALS_XOFF:
      return 217;
    default:
      return 0;
  }
}

}  // namespace serial
