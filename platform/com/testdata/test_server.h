// A tiny in-process server for the activation tests: one class whose objects answer 42.
#pragma once

#include "platform/com/base.h"

namespace test_server {

// {C0B41A00-5E4F-4B8E-9A11-7D2E00000001}
constexpr win::GUID kClsidAnswer = {
    0xC0B41A00, 0x5E4F, 0x4B8E, {0x9A, 0x11, 0x7D, 0x2E, 0x00, 0x00, 0x00, 0x01}};
constexpr const char* kClsidAnswerText = "{C0B41A00-5E4F-4B8E-9A11-7D2E00000001}";
// {C0B41A00-5E4F-4B8E-9A11-7D2E000000A1}
constexpr win::GUID kIidAnswer = {
    0xC0B41A00, 0x5E4F, 0x4B8E, {0x9A, 0x11, 0x7D, 0x2E, 0x00, 0x00, 0x00, 0xA1}};
// {00000000-0000-0000-C000-000000000046}, {00000001-0000-0000-C000-000000000046}
constexpr win::GUID kIidUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr win::GUID kIidClassFactory = {1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IAnswer : win::IUnknown {
  virtual win::HRESULT Answer(win::LONG* value) = 0;
};

// Extra export: how often DllCanUnloadNow has been asked.
using UnloadAsksFn = int (*)();

}  // namespace test_server
