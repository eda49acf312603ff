#include "control/ui/page_layouts.h"

namespace ravlin::ui {
namespace {

using K = layout_kind;

// Page 1: general settings. The group "ポートの設定" frames the first six fields.
constexpr layout_item kPage1[] = {
    {K::group, 0, u"ポートの設定", {5, 4, 124, 104}, "groupPortSettings"},
    {K::label, 216, u"ポート番号:", {12, 19, 52, 8}, ""},
    {K::control, 216, nullptr, {66, 17, 56, 12}, ""},
    {K::label, 204, u"ボーレート:", {12, 33, 52, 8}, ""},
    {K::control, 204, nullptr, {66, 31, 56, 12}, ""},
    {K::label, 217, u"パリティ:", {12, 47, 52, 8}, ""},
    {K::control, 217, nullptr, {66, 45, 56, 12}, ""},
    {K::label, 218, u"データビット:", {12, 61, 52, 8}, ""},
    {K::control, 218, nullptr, {66, 59, 56, 12}, ""},
    {K::label, 219, u"ストップビット:", {12, 75, 52, 8}, ""},
    {K::control, 219, nullptr, {66, 73, 56, 12}, ""},
    {K::label, 220, u"フロー制御:", {12, 89, 52, 8}, ""},
    {K::control, 220, nullptr, {66, 87, 56, 12}, ""},
    {K::label, 209, u"送受信モード:", {136, 8, 52, 8}, ""},
    {K::control, 209, nullptr, {190, 6, 62, 12}, ""},
    {K::group, 0, u"タイムアウト", {134, 24, 118, 42}, "groupTimeout"},
    {K::label, 221, u"送信:", {142, 37, 30, 8}, ""},
    {K::control, 221, nullptr, {176, 35, 68, 12}, ""},
    {K::label, 222, u"受信:", {142, 51, 30, 8}, ""},
    {K::control, 222, nullptr, {176, 49, 68, 12}, ""},
    {K::group, 0, u"バッファサイズ", {134, 70, 118, 42}, "groupBufferSize"},
    {K::label, 212, u"送信:", {142, 83, 30, 8}, ""},
    {K::control, 212, nullptr, {176, 81, 68, 12}, ""},
    {K::label, 213, u"受信:", {142, 97, 30, 8}, ""},
    {K::control, 213, nullptr, {176, 95, 68, 12}, ""},
    {K::group, 0, u"信号線状態", {5, 112, 124, 30}, "groupSignalLines"},
    {K::control, 223, u"RTS", {14, 125, 44, 10}, ""},
    {K::control, 224, u"DTR", {66, 125, 44, 10}, ""},
    {K::reset, 215, u"リセット", {202, 136, 50, 14}, ""},
};

// Page 2: flow control and events.
constexpr layout_item kPage2[] = {
    {K::group, 0, u"フロー制御", {5, 4, 124, 44}, "groupFlowControl"},
    {K::label, 203, u"干潮線:", {12, 17, 48, 8}, ""},
    {K::control, 203, nullptr, {62, 15, 60, 12}, ""},
    {K::label, 204, u"高潮線:", {12, 31, 48, 8}, ""},
    {K::control, 204, nullptr, {62, 29, 60, 12}, ""},
    {K::group, 0, u"Xon/Xoffキャラクタ", {134, 4, 118, 44}, "groupXonXoff"},
    {K::label, 205, u"Xon:", {142, 17, 36, 8}, ""},
    {K::control, 205, nullptr, {182, 15, 62, 12}, ""},
    {K::label, 207, u"Xoff:", {142, 31, 36, 8}, ""},
    {K::control, 207, nullptr, {182, 29, 62, 12}, ""},
    {K::group, 0, u"InputThreshold/OutputThreshold", {5, 52, 124, 44}, "groupThresholds"},
    {K::label, 210, u"Input:", {12, 65, 48, 8}, ""},
    {K::control, 210, nullptr, {62, 63, 60, 12}, ""},
    {K::label, 211, u"Output:", {12, 79, 48, 8}, ""},
    {K::control, 211, nullptr, {62, 77, 60, 12}, ""},
    {K::label, 228, u"EventByte:", {136, 58, 70, 8}, ""},
    {K::control, 228, nullptr, {206, 56, 46, 12}, ""},
    {K::label, 208, u"ParityReplaceByte:", {136, 76, 70, 8}, ""},
    {K::control, 208, nullptr, {206, 74, 46, 12}, ""},
    {K::control, 225, u"ヌル文字の破棄", {12, 104, 110, 10}, ""},
    {K::control, 231, u"AllowConnection", {12, 118, 110, 10}, ""},
    {K::reset, 230, u"リセット", {202, 136, 50, 14}, ""},
};

// Page 4: event mask.
constexpr layout_item kPage4[] = {
    {K::group, 0, u"イベントの抑制", {2, 4, 253, 124}, "groupEventMask"},
    {K::control, 214, u"リング検出(RING)", {7, 17, 128, 10}, ""},
    {K::control, 215, u"ブレーク検出(BREAK)", {7, 31, 128, 10}, ""},
    {K::control, 216, u"CTS信号状態変化(CTS)", {7, 45, 128, 10}, ""},
    {K::control, 217, u"DSR信号状態変化(DSR)", {7, 59, 128, 10}, ""},
    {K::control, 218, u"CD信号状態変化(RLSD)", {7, 73, 128, 10}, ""},
    {K::control, 219, u"受信バッファ80%超える(RX80FULL)", {7, 87, 128, 10}, ""},
    {K::control, 220, u"文字を受信(RXCHAR)", {136, 17, 117, 10}, ""},
    {K::control, 221, u"イベントバイトを受信(RXFLAG)", {136, 31, 117, 10}, ""},
    {K::control, 222, u"バッファが空なった(TXEMPTY)", {136, 45, 117, 10}, ""},
    {K::control, 223, u"ラインステータスエラー(ERR)", {136, 59, 117, 10}, ""},
    {K::control, 224, u"デバイス特有イベント(EVENT1)", {136, 73, 117, 10}, ""},
    {K::control, 225, u"デバイス特有イベント(EVENT2)", {136, 87, 117, 10}, ""},
    {K::note, 0, u"※チェックされたイベントだけが発生します。", {7, 108, 240, 10}, "note"},
    {K::reset, 226, u"リセット", {202, 136, 50, 14}, ""},
};

constexpr page_layout kLayouts[] = {
    {u"CPort19Ppg1", kPage1},
    {u"CPort19Ppg2", kPage2},
    {u"CPort19Ppg4", kPage4},
};

}  // namespace

const page_layout* LayoutFor(std::u16string_view className) {
  for (const auto& layout : kLayouts)
    if (layout.className == className) return &layout;
  return nullptr;
}

}  // namespace ravlin::ui
