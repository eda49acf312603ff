#include "control/port_enums.h"

namespace ravlin {
namespace {

constexpr enum_constant kCommErrorId[] = {
    {"perFrame", perFrame, "フレームエラー"},
    {"perOverrun", perOverrun, "バッファオーバーラン"},
    {"perInputBufferOverflow", perInputBufferOverflow, "受信バッファオーバーフロー"},
    {"perParity", perParity, "パリティエラー"},
    {"perOutputBufferFull", perOutputBufferFull, "送信バッファフル"},
    {"perIncorrectEventMask", perIncorrectEventMask, "イベントマスク異常"},
};

constexpr enum_constant kCommIOStateId[] = {
    {"pioeInputThreshold", pioeInputThreshold, "指定バイト受信処理済み"},
    {"pioeInputTimeout", pioeInputTimeout, "受信タイムアウト（Inputメソッド）"},
    {"pioeInputBTimeout", pioeInputBTimeout, "受信タイムアウト（InputBメソッド）"},
    {"pioeInputWrapped", pioeInputWrapped, "受信カウントがカウント可能な最大値を超えた"},
    {"pioeOutputThreshold", pioeOutputThreshold, "指定バイト送信処理済み"},
    {"pioeOutputTimeout", pioeOutputTimeout, "送信タイムアウト（Outputメソッド）"},
    {"pioeOutputBTimeout", pioeOutputBTimeout, "送信タイムアウト（OutputBメソッド）"},
    {"pioeOutputWrapped", pioeOutputWrapped, "送信カウントがカウント可能な最大値を超えた"},
};

constexpr enum_constant kCommStateId[] = {
    {"peCts", peCts, "CTSラインの状態変化"},
    {"peDsr", peDsr, "DSRラインの状態変化"},
    {"peCd", peCd, "CDラインの状態変化"},
    {"peRing", peRing, "リング受信"},
    {"peBreak", peBreak, "Break信号受信"},
    {"peInputByte", peInputByte, "1バイト受信"},
    {"peEventByte", peEventByte, "指定バイトを受信"},
    {"peInputBuffer80Full", peInputBuffer80Full, "受信バッファ80%フル"},
    {"peOutputBufferEmpty", peOutputBufferEmpty, "送信バッファ空"},
    {"peDriverEvent1", peDriverEvent1, "ドライバ特有イベント１"},
    {"peDriverEvent2", peDriverEvent2, "ドライバ特有イベント２"},
    {"peEventMaskChanged", peEventMaskChanged, "EventMask変更"},
};

constexpr enum_constant kHandshaking[] = {
    {"hsNone", hsNone, "使用しない"},
    {"hsXonXoff", hsXonXoff, "Xon/Xoffフロー制御"},
    {"hsRtsCts", hsRtsCts, "RTS/CTSフロー制御"},
    {"hsBoth", hsBoth, "Xon/Xoff、RTS/CTSの両方"},
    {"hsDtrDsr", hsDtrDsr, "DTR/DSRフロー制御"},
};

constexpr enum_constant kParity[] = {
    {"parNone", parNone, "パリティなし"},       {"parOdd", parOdd, "奇数パリティ"},
    {"parEven", parEven, "偶数パリティ"},       {"parMark", parMark, "マークパリティ"},
    {"parSpace", parSpace, "スペースパリティ"},
};

constexpr enum_constant kIOMode[] = {
    {"iomAutoInput", iomAutoInput, "自動受信モード"},
    {"iomBlocking", iomBlocking, "ブロックモード"},
    {"iomNonBlocking", iomNonBlocking, "非ブロックモード"},
};

constexpr enum_constant kEventMaskId[] = {
    {"WIN_EV_RXCHAR", WIN_EV_RXCHAR, "文字を受信"},
    {"WIN_EV_RXFLAG", WIN_EV_RXFLAG, "EventByteのデータ受信"},
    {"WIN_EV_TXEMPTY", WIN_EV_TXEMPTY, "送信バッファ空"},
    {"WIN_EV_CTS", WIN_EV_CTS, "CTSラインの状態変化"},
    {"WIN_EV_DSR", WIN_EV_DSR, "DSRラインの状態変化"},
    {"WIN_EV_RLSD", WIN_EV_RLSD, "RLSDラインの状態変化"},
    {"WIN_EV_BREAK", WIN_EV_BREAK, "ブレーク信号を検出"},
    {"WIN_EV_ERR", WIN_EV_ERR, "CommErrorイベントの制御"},
    {"WIN_EV_RING", WIN_EV_RING, "リング検出"},
    {"WIN_EV_RX80FULL", WIN_EV_RX80FULL, "受信バッファの80％が満たされている"},
    {"WIN_EV_EVENT1", WIN_EV_EVENT1, "ドライバ特有のイベント # 1"},
    {"WIN_EV_EVENT2", WIN_EV_EVENT2, "ドライバ特有のイベント # 2"},
};

constexpr enum_description kEnums[] = {
    {"CommErrorIdEnum", "CommErrorイベントの定数。通信エラーの種別", kCommErrorId},
    {"CommIOStateIdEnum", "CommIOStateイベントの定数。イベントの種別", kCommIOStateId},
    {"CommStateIdEnum", "CommStateイベントの定数。通信の状態", kCommStateId},
    {"HandshakingEnum", "Handshakingプロパティの定数", kHandshaking},
    {"ParityEnum", "Parityプロパティの定数", kParity},
    {"IOModeEnum", "IOModeプロパティの定数", kIOMode},
    {"EventMaskIdEnum", "EventMaskプロパティの定数", kEventMaskId},
};

}  // namespace

std::span<const enum_description> portEnumerations() {
  return kEnums;
}

}  // namespace ravlin
