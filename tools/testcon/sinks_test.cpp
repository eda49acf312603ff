// The test container's sinks: event lines named from the control's table, change lines, and
// both reaching the output through the host-support sinks.
#include "tools/testcon/sinks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/port_members.h"

namespace testcon {
namespace {

using namespace win;

TEST(TestconSinks, EventLinesNameTheEventAndListItsArgumentsInOrder) {
  VARIANTARG reversed[3];
  reversed[0] = Variant::I4(-1);
  reversed[1] = Variant::BstrCopy(nullptr);
  reversed[2] = Variant::I4(7);
  DISPPARAMS params{reversed, nullptr, 3, 0};
  EXPECT_EQ(event_line(ravlin::DISPID_PortEvent_NonblockInput, &params),
            "event NonblockInput(7, null, -1)");
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(event_line(ravlin::DISPID_PortEvent_DataDetected, &none), "event DataDetected()");
  EXPECT_EQ(event_line(999, nullptr), "event #999()");
}

TEST(TestconSinks, SinksWriteTheirLinesToTheOutput) {
  std::vector<std::string> out;
  auto events = make_event_sink([&](const std::string& l) { out.push_back(l); });
  auto notes = make_notify_sink([&](const std::string& l) { out.push_back(l); });
  VARIANTARG state = Variant::I4(513);
  DISPPARAMS params{&state, nullptr, 1, 0};
  EXPECT_EQ(events->Invoke(ravlin::DISPID_PortEvent_CommIOState, IID_NULL, LOCALE_USER_DEFAULT,
                           DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(notes->OnChanged(81), S_OK);
  EXPECT_EQ(out, (std::vector<std::string>{"event CommIOState(513)", "changed 81"}));
}

}  // namespace
}  // namespace testcon
