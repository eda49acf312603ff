#include "control/port_members.h"

namespace ravlin {
namespace {

using K = member_kind;

constexpr default_value kNone{};
constexpr default_value dI4(std::int32_t v) {
  return {default_value::i4, v, 0, nullptr};
}
constexpr default_value dI2(std::int32_t v) {
  return {default_value::i2, v, 0, nullptr};
}
constexpr default_value dR4(float v) {
  return {default_value::r4, 0, v, nullptr};
}
constexpr default_value dStr(const char16_t* s) {
  return {default_value::bstr, 0, 0, s};
}

constexpr std::uint8_t IN = pf_in;
constexpr std::uint8_t OUT = pf_out;
constexpr std::uint8_t OPT = pf_optional;

// ---- parameter lists -------------------------------------------------------------------------

constexpr param_spec pQuorvel[] = {{"Quorvel", vt::dispatch, IN, nullptr, kNone}};
constexpr param_spec pCheckBytes[] = {{"CheckBytes", vt::bytes | vt::byref, IN, nullptr, kNone}};
constexpr param_spec pInput[] = {
    {"InputString", vt::bstr | vt::byref, OUT | OPT, nullptr, dStr(u"0")},
    {"NumBytes", vt::i4, IN | OPT, nullptr, dI4(-1)},
};
constexpr param_spec pInputB[] = {
    {"InputBytes", vt::bytes | vt::byref, OUT, nullptr, kNone},
    {"NumBytes", vt::i4, IN | OPT, nullptr, dI4(-1)},
};
constexpr param_spec pOpen[] = {
    {"PortNumber", vt::i4, IN | OPT, nullptr, dI4(-1)},
    {"BaudRate", vt::i4, IN | OPT, nullptr, dI4(-1)},
    {"DataBits", vt::i2, IN | OPT, nullptr, dI2(-1)},
    {"StopBits", vt::r4, IN | OPT, nullptr, dR4(-1.0f)},
    {"Handshaking", vt::i4, IN | OPT, "HandshakingEnum", dI4(-1)},
    {"Parity", vt::i4, IN | OPT, "ParityEnum", dI4(-1)},
    {"InputTimeout", vt::i4, IN | OPT, nullptr, dI4(-1)},
    {"OutputTimeout", vt::i4, IN | OPT, nullptr, dI4(-1)},
    {"IOMode", vt::i4, IN | OPT, "IOModeEnum", dI4(-1)},
};
constexpr param_spec pOutputString[] = {{"OutputString", vt::bstr, IN, nullptr, kNone}};
constexpr param_spec pOutputBytes[] = {{"OutputBytes", vt::bytes | vt::byref, IN, nullptr, kNone}};
constexpr param_spec pUrgentByte[] = {{"UrgentByte", vt::ui1, IN, nullptr, kNone}};
constexpr param_spec pIOMode[] = {{"IOMode", vt::i4, IN, "IOModeEnum", kNone}};

// Property puts take their value as one parameter.
constexpr param_spec vBool[] = {{"pVal", vt::boolean, IN, nullptr, kNone}};
constexpr param_spec vI4[] = {{"pVal", vt::i4, IN, nullptr, kNone}};
constexpr param_spec vI2[] = {{"pVal", vt::i2, IN, nullptr, kNone}};
constexpr param_spec vR4[] = {{"pVal", vt::r4, IN, nullptr, kNone}};
constexpr param_spec vUI1[] = {{"pVal", vt::ui1, IN, nullptr, kNone}};
constexpr param_spec vDispatch[] = {{"pVal", vt::dispatch, IN, nullptr, kNone}};
constexpr param_spec vVariant[] = {{"pVal", vt::variant, IN, nullptr, kNone}};
constexpr param_spec vHandshaking[] = {{"pVal", vt::i4, IN, "HandshakingEnum", kNone}};
constexpr param_spec vParity[] = {{"pVal", vt::i4, IN, "ParityEnum", kNone}};
constexpr param_spec vIOMode[] = {{"pVal", vt::i4, IN, "IOModeEnum", kNone}};
constexpr param_spec vCommError[] = {{"pVal", vt::i4, IN, "CommErrorIdEnum", kNone}};

constexpr param_spec pGetComponent[] = {{"ps", vt::bstr | vt::byref, OUT, nullptr, kNone}};
constexpr param_spec pRunMode[] = {{"no_op", vt::i4, IN, "EventMaskIdEnum", kNone}};
constexpr param_spec pSetComponent[] = {{"s", vt::bstr, IN, nullptr, kNone}};
constexpr param_spec pTapiCtls[] = {{"gizmo", vt::uint, IN, nullptr, kNone}};

// Event parameter lists (also those of the _Fire_ members).
constexpr param_spec eBytesCount[] = {
    {"InputBytes", vt::bytes | vt::byref, IN, nullptr, kNone},
    {"NumBytes", vt::i4, IN, nullptr, kNone},
};
constexpr param_spec eCommError[] = {{"CommErrorId", vt::i4, IN, "CommErrorIdEnum", kNone}};
constexpr param_spec eCommIOState[] = {{"CommIOStateId", vt::i4, IN, "CommIOStateIdEnum", kNone}};
constexpr param_spec eCommState[] = {{"CommStateId", vt::i4, IN, "CommStateIdEnum", kNone}};
constexpr param_spec eNonblockInput[] = {
    {"RequestId", vt::i4, IN, nullptr, kNone},
    {"InputString", vt::bstr, IN, nullptr, kNone},
    {"NumBytes", vt::i4, IN, nullptr, kNone},
};
constexpr param_spec eNonblockInputB[] = {
    {"RequestId", vt::i4, IN, nullptr, kNone},
    {"InputBytes", vt::bytes | vt::byref, IN, nullptr, kNone},
    {"NumBytes", vt::i4, IN, nullptr, kNone},
};
constexpr param_spec eNonblockOutput[] = {
    {"RequestId", vt::i4, IN, nullptr, kNone},
    {"NumBytes", vt::i4, IN, nullptr, kNone},
};

constexpr std::span<const param_spec> kNoParams{};
constexpr std::uint8_t H = mf_hidden;
constexpr std::uint8_t NB = mf_nonbrowsable;

// A read-write property: get and put rows.
#define PROP(id, name, type, en, put, help)               \
  {id, name, K::propget, type, en, kNoParams, 0, help}, { \
    id, name, K::propput, 0, nullptr, put, 0, help        \
  }
#define PROP_F(id, name, type, en, put, flags, help)          \
  {id, name, K::propget, type, en, kNoParams, flags, help}, { \
    id, name, K::propput, 0, nullptr, put, flags, help        \
  }
#define PROP_RO(id, name, type, help) \
  { id, name, K::propget, type, nullptr, kNoParams, 0, help }
#define PUT_H(id, name, put) \
  { id, name, K::propput, 0, nullptr, put, H, nullptr }

constexpr member_spec kMembers[] = {
    // Methods.
    {-552, "AboutBox", K::method, vt::empty, nullptr, kNoParams, 0,
     "コントロールに関する情報を表示"},
    {1, "CancelPendingInputs", K::method, vt::boolean, nullptr, kNoParams, 0,
     "実行中の受信処理をキャンセル"},
    {2, "CancelPendingOutputs", K::method, vt::boolean, nullptr, kNoParams, 0,
     "実行中の送信処理をキャンセル"},
    {3, "ClearInputBuffer", K::method, vt::boolean, nullptr, kNoParams, 0,
     "受信バッファのデータをクリア"},
    {4, "ClearOutputBuffer", K::method, vt::boolean, nullptr, kNoParams, 0,
     "送信バッファのデータをクリア"},
    {5, "Close", K::method, vt::boolean, nullptr, kNoParams, 0, "シリアルポートをクローズ"},
    {6, "Configure", K::method, vt::boolean, nullptr, kNoParams, 0,
     "実行時にプロパティページを表示"},
    {7, "ConnectTapiCtl", K::method, vt::boolean, nullptr, pQuorvel, 0,
     "Quorvelコントロールと連結"},
    {8, "Crc16", K::method, vt::variant, nullptr, pCheckBytes, 0, "CRC16の算出"},
    {9, "Crc32", K::method, vt::variant, nullptr, pCheckBytes, 0, "CRC32の算出"},
    {16, "DisconnectTapiCtl", K::method, vt::boolean, nullptr, kNoParams, 0,
     "Quorvelコントロールとの連結を解除"},
    {17, "Input", K::method, vt::i4, nullptr, pInput, 0, "受信バッファに受信した文字列を取得"},
    {18, "InputB", K::method, vt::i4, nullptr, pInputB, 0,
     "受信バッファに受信したバイナリデータを取得"},
    {19, "Open", K::method, vt::boolean, nullptr, pOpen, 0, "シリアルポートをオープン"},
    {20, "Output", K::method, vt::i4, nullptr, pOutputString, 0, "文字列データを送信"},
    {21, "OutputB", K::method, vt::i4, nullptr, pOutputBytes, 0, "バイナリデータを送信"},
    {22, "OutputUrgent", K::method, vt::boolean, nullptr, pUrgentByte, 0,
     "1バイトのデータを優先して送信"},
    {23, "SetIOMode", K::method, vt::boolean, nullptr, pIOMode, 0, "送受信モードを変更"},

    // Properties.
    PROP(80, "AllowConnection", vt::boolean, nullptr, vBool,
         "他のコントロールの連結を許可するかどうかを設定"),
    PROP(81, "BaudRate", vt::i4, nullptr, vI4, "データ転送速度（ボーレート）を設定"),
    PROP(82, "Break", vt::boolean, nullptr, vBool, "ブレーク信号を送信"),
    PROP_RO(83, "Cd", vt::boolean, "キャリア（CDライン）の検出状態を参照"),
    PROP_RO(84, "Cts", vt::boolean, "CTSラインの状態を参照"),
    PROP(85, "DataBits", vt::i2, nullptr, vI2, "データビット数を設定"),
    PROP_RO(86, "Dsr", vt::boolean, "DSRラインの状態を参照"),
    PROP(87, "Dtr", vt::boolean, nullptr, vBool, "DTRラインの状態を設定"),
    PROP(88, "EventByte", vt::ui1, nullptr, vUI1, "イベントを発生させる１バイトのデータを設定"),
    PROP(89, "EventMask", vt::i4, nullptr, vI4, "発生させるイベントの種類を設定"),
    PROP_RO(96, "Handle", vt::i4, "シリアルポートのWindowsハンドルを参照"),
    PROP(97, "Handshaking", vt::i4, "HandshakingEnum", vHandshaking, "フロー制御の種類を設定"),
    PROP_RO(98, "InputBufferByteCount", vt::i4, "受信バッファにあるデータのバイト数を参照"),
    PROP(99, "InputBufferSize", vt::i4, nullptr, vI4, "受信バッファのサイズを設定"),
    PROP_RO(100, "InputByteCount", vt::i4, "オープンしてから受信処理したバイト数を参照"),
    PROP(101, "InputThreshold", vt::i4, nullptr, vI4, "イベントを発生させる受信バイト数を設定"),
    PROP(102, "InputTimeout", vt::i4, nullptr, vI4,
         "データを受信バッファから読み込む際の待機時間を設定"),
    PROP(103, "IOMode", vt::i4, "IOModeEnum", vIOMode, "送受信モードを設定"),
    PROP_RO(104, "IsOccupied", vt::boolean, "Portコントロールが使用中かどうかを参照"),
    PROP(105, "NullDiscard", vt::boolean, nullptr, vBool, "Nullを破棄するかどうかを設定"),
    PROP_RO(112, "OccupyingControl", vt::dispatch,
            "Portコントロールと連結しているコントロールを参照"),
    PROP(113, "OffThreshold", vt::i4, nullptr, vI4, "フロー制御の高潮線を設定"),
    PROP(114, "OnThreshold", vt::i4, nullptr, vI4, "フロー制御の干潮線を設定"),
    PROP_RO(115, "Opened", vt::boolean, "シリアルポートがオープンされているかどうかを参照"),
    PROP_RO(116, "OutputBufferByteCount", vt::i4, "送信バッファにあるデータのバイト数を参照"),
    PROP(117, "OutputBufferSize", vt::i4, nullptr, vI4, "送信バッファのサイズを設定"),
    PROP_RO(118, "OutputByteCount", vt::i4, "オープンしてから実際に送信したバイト数を参照"),
    PROP(119, "OutputThreshold", vt::i4, nullptr, vI4, "イベントを発生させる送信バイト数を設定"),
    PROP(120, "OutputTimeout", vt::i4, nullptr, vI4, "送信する際の待機時間を設定"),
    PROP(121, "Parity", vt::i4, "ParityEnum", vParity, "パリティチェックの種類を設定"),
    PROP(128, "ParityReplaceByte", vt::ui1, nullptr, vUI1,
         "パリティエラー発生時に置き換えるキャラクタを設定"),
    PROP_F(129, "PortLastError", vt::i4, "CommErrorIdEnum", vCommError, NB,
           "最後に発生したエラーを参照"),
    PROP(130, "PortNumber", vt::i4, nullptr, vI4, "使用するシリアルポートの番号を指定"),
    PROP_RO(131, "Ri", vt::boolean, "RIラインの検出状態を参照"),
    PROP(132, "Rts", vt::boolean, nullptr, vBool, "RTSラインの状態を設定"),
    PROP(133, "StopBits", vt::r4, nullptr, vR4, "ストップビット数を設定"),
    PROP(134, "TapiCtl", vt::dispatch, nullptr, vDispatch, "連結するQuorvelコントロールを設定"),
    PROP_F(135, "WaitForData", vt::variant, nullptr, vVariant, NB,
           "受信処理を行ったデータから指定データを検索"),
    PROP(136, "XoffByte", vt::ui1, nullptr, vUI1, "Xoffキャラクタを設定"),
    PROP(137, "XonByte", vt::ui1, nullptr, vUI1, "Xonキャラクタを設定"),

    // Hidden members.
    {337, "_Close", K::method, vt::boolean, nullptr, kNoParams, H, nullptr},
    {338, "_Input", K::method, vt::i4, nullptr, pInput, H, nullptr},
    {339, "_InputB", K::method, vt::i4, nullptr, pInputB, H, nullptr},
    {340, "_Open", K::method, vt::boolean, nullptr, pOpen, H, nullptr},
    {341, "_Output", K::method, vt::i4, nullptr, pOutputString, H, nullptr},
    {342, "_OutputB", K::method, vt::i4, nullptr, pOutputBytes, H, nullptr},
    {343, "_SetIOMode", K::method, vt::boolean, nullptr, pIOMode, H, nullptr},
    PUT_H(344, "_BaudRate", vI4),
    PUT_H(345, "_Handshaking", vHandshaking),
    PUT_H(352, "_DataBits", vI2),
    PUT_H(353, "_InputTimeout", vI4),
    PUT_H(354, "_IOMode", vIOMode),
    PUT_H(355, "_OutputTimeout", vI4),
    PUT_H(356, "_Parity", vParity),
    PUT_H(357, "_StopBits", vR4),
    PUT_H(358, "_TermOrFile", vDispatch),
    {359, "_GetComponent", K::method, vt::empty, nullptr, pGetComponent, H, nullptr},
    {360, "_RunMode", K::method, vt::boolean, nullptr, pRunMode, H, nullptr},
    {361, "_SaneContainer", K::method, vt::boolean, nullptr, kNoParams, H, nullptr},
    {368, "_SetComponent", K::method, vt::empty, nullptr, pSetComponent, H, nullptr},
    {369, "_TapiCtl", K::method, vt::boolean, nullptr, kNoParams, H, nullptr},
    {370, "_TapiCtls", K::method, vt::empty, nullptr, pTapiCtls, H, nullptr},
    {371, "_Fire_AutoInput", K::method, vt::empty, nullptr, eBytesCount, H, nullptr},
    {372, "_Fire_CommError", K::method, vt::empty, nullptr, eCommError, H, nullptr},
    {373, "_Fire_CommIOState", K::method, vt::empty, nullptr, eCommIOState, H, nullptr},
    {374, "_Fire_CommState", K::method, vt::empty, nullptr, eCommState, H, nullptr},
    {375, "_Fire_DataDetected", K::method, vt::empty, nullptr, kNoParams, H, nullptr},
    {376, "_Fire_NonblockInput", K::method, vt::empty, nullptr, eNonblockInput, H, nullptr},
    {377, "_Fire_NonblockInputB", K::method, vt::empty, nullptr, eNonblockInputB, H, nullptr},
    {384, "_Fire_NonblockOutput", K::method, vt::empty, nullptr, eNonblockOutput, H, nullptr},
    {385, "_Fire__UberAutoInput", K::method, vt::empty, nullptr, eBytesCount, H, nullptr},
};

#undef PROP
#undef PROP_F
#undef PROP_RO
#undef PUT_H

constexpr member_spec kEvents[] = {
    {512, "AutoInput", K::method, vt::empty, nullptr, eBytesCount, 0,
     "自動受信モードでデータを受信すると発生"},
    {513, "CommError", K::method, vt::empty, nullptr, eCommError, 0,
     "データの送受信中に通信エラーが起きると発生"},
    {514, "CommIOState", K::method, vt::empty, nullptr, eCommIOState, 0,
     "データ送受信関連のイベントが起きると発生"},
    {515, "CommState", K::method, vt::empty, nullptr, eCommState, 0, "通信状態が変化すると発生"},
    {516, "DataDetected", K::method, vt::empty, nullptr, kNoParams, 0,
     "指定データを発見したときに発生"},
    {517, "NonblockInput", K::method, vt::empty, nullptr, eNonblockInput, 0,
     "非ブロックモードでInputメソッドの受信処理が完了したときに発生"},
    {518, "NonblockInputB", K::method, vt::empty, nullptr, eNonblockInputB, 0,
     "非ブロックモードでInputBメソッドの受信処理が完了したときに発生"},
    {519, "NonblockOutput", K::method, vt::empty, nullptr, eNonblockOutput, 0,
     "非ブロックモードでOutput、OutputBの各メソッドの送信処理が完了したときに発生"},
    {520, "_UberAutoInput", K::method, vt::empty, nullptr, eBytesCount, H | NB, nullptr},
};

}  // namespace

std::span<const member_spec> iport18Members() {
  return kMembers;
}
std::span<const member_spec> iport18EventMembers() {
  return kEvents;
}

const member_spec* findPortMember(std::int32_t dispid, member_kind kind) {
  for (const member_spec& m : kMembers)
    if (m.dispid == dispid && m.kind == kind) return &m;
  return nullptr;
}

}  // namespace ravlin
