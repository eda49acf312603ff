// The property-change sink: it answers IPropertyNotifySink only, passes OnChanged on, and never
// refuses an edit.
#include "platform/host/notify_sink.h"

#include <gtest/gtest.h>

#include <vector>

namespace winhost {
namespace {

using namespace win;

TEST(HostNotifySink, AnswersIPropertyNotifySinkOnlyAndIgnoresChangesWithoutACallback) {
  auto sink = MakeObject<NotifySink>();
  EXPECT_EQ(sink->OnChanged(1), S_OK);
  EXPECT_EQ(sink->OnRequestEdit(1), S_OK);
  ComPtr<IPropertyNotifySink> notify;
  ASSERT_EQ(sink->QueryInterface(IID_IPropertyNotifySink, notify.ReceiveVoid()), S_OK);
  EXPECT_EQ(notify.get(), static_cast<IPropertyNotifySink*>(sink.get()));
  ComPtr<IUnknown> other;
  EXPECT_EQ(sink->QueryInterface(IID_IDispatch, other.ReceiveVoid()), E_NOINTERFACE);
  EXPECT_EQ(other.get(), nullptr);
}

TEST(HostNotifySink, ChangesReachTheCallbackUntilItIsCleared) {
  std::vector<DISPID> changed;
  auto sink = MakeObject<NotifySink>([&](DISPID id) { changed.push_back(id); });
  EXPECT_EQ(sink->OnChanged(81), S_OK);
  EXPECT_EQ(sink->OnChanged(-3), S_OK);
  EXPECT_EQ(sink->OnRequestEdit(81), S_OK);
  sink->set_callback({});
  EXPECT_EQ(sink->OnChanged(82), S_OK);
  EXPECT_EQ(changed, (std::vector<DISPID>{81, -3}));
}

// Counts the live copies of a callback, so a test can see whether the running one still exists.
int liveGuards = 0;
struct Guard {
  Guard() { ++liveGuards; }
  Guard(const Guard&) { ++liveGuards; }
  ~Guard() { --liveGuards; }
};

TEST(HostNotifySink, ACallbackMayClearItselfDuringItsCall) {
  auto sink = MakeObject<NotifySink>();
  static NotifySink* self;
  static int guardsAfterClearing;
  self = sink.get();
  guardsAfterClearing = -1;
  {
    Guard guard;
    sink->set_callback([guard](DISPID) {
      self->set_callback({});
      guardsAfterClearing = liveGuards;  // the running callback is still whole
    });
  }
  ASSERT_EQ(liveGuards, 1);
  EXPECT_EQ(sink->OnChanged(1), S_OK);
  EXPECT_EQ(guardsAfterClearing, 1);
  EXPECT_EQ(liveGuards, 0);
}

}  // namespace
}  // namespace winhost
