// Advise and Unadvise against a real connection point container: the host's sinks receive what
// the object fires until they are unadvised, and every way of failing answers cookie 0.
#include "platform/host/connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/event_sink.h"
#include "platform/host/notify_sink.h"
#include "platform/host/value_format.h"

namespace winhost {
namespace {

using namespace win;

const IID DIID_SourceEvents = GuidFromString("{6A1F0040-0000-4000-8000-00000000A040}");
const IID DIID_Unfired = GuidFromString("{6A1F0041-0000-4000-8000-00000000A041}");

// An object with an events point and a property-notify point, as a control has.
class Source final : public Unknown<IConnectionPointContainer> {
 public:
  Source() : events(this, DIID_SourceEvents), notify(this, IID_IPropertyNotifySink) {}
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
    return EnumConnectionPointsOf({&events, &notify}, ppEnum);
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
    return FindConnectionPointIn({&events, &notify}, riid, ppCP);
  }
  ConnectionPoint events;
  ConnectionPoint notify;

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return riid == IID_IConnectionPointContainer ? static_cast<IConnectionPointContainer*>(this)
                                                 : nullptr;
  }
};

class HostConnection : public ::testing::Test {
 protected:
  ComPtr<Source> source = MakeObject<Source>();
  std::vector<std::string> log;
  ComPtr<EventSink> events =
      MakeObject<EventSink>(DIID_SourceEvents, [this](DISPID id, DISPPARAMS* p) -> HRESULT {
        std::string line = "event " + std::to_string(id) + "(";
        for (UINT i = p->cArgs; i > 0; --i)
          line += format_value(p->rgvarg[i - 1]) + (i > 1 ? ", " : "");
        log.push_back(line + ")");
        return S_OK;
      });
  ComPtr<NotifySink> notes =
      MakeObject<NotifySink>([this](DISPID id) { log.push_back("changed " + std::to_string(id)); });
};

TEST_F(HostConnection, AdvisedSinksReceiveEventsAndChangesUntilUnadvised) {
  DWORD eventsCookie = Advise(source.get(), DIID_SourceEvents, events.get());
  DWORD notesCookie = Advise(source.get(), IID_IPropertyNotifySink, notes.get());
  ASSERT_NE(eventsCookie, 0u);
  ASSERT_NE(notesCookie, 0u);
  EXPECT_EQ(source->events.SinkCount(), 1u);
  EXPECT_EQ(source->notify.SinkCount(), 1u);

  EventArgs args;
  args.I4(513).Str(nullptr).I4(-1);
  EXPECT_EQ(source->events.FireDispatch(7, args), 1);
  source->notify.FireOnChanged(81);
  EXPECT_EQ(log, (std::vector<std::string>{"event 7(513, null, -1)", "changed 81"}));

  Unadvise(source.get(), DIID_SourceEvents, eventsCookie);
  Unadvise(source.get(), IID_IPropertyNotifySink, notesCookie);
  EXPECT_EQ(source->events.SinkCount(), 0u);
  EXPECT_EQ(source->notify.SinkCount(), 0u);
  log.clear();
  EXPECT_EQ(source->events.FireDispatch(7, args), 0);
  source->notify.FireOnChanged(81);
  EXPECT_TRUE(log.empty());
}

TEST_F(HostConnection, UnadviseEndsOnlyTheConnectionItNames) {
  auto second = MakeObject<EventSink>(DIID_SourceEvents, [this](DISPID, DISPPARAMS*) -> HRESULT {
    log.push_back("second");
    return S_OK;
  });
  DWORD first = Advise(source.get(), DIID_SourceEvents, events.get());
  DWORD other = Advise(source.get(), DIID_SourceEvents, second.get());
  ASSERT_NE(first, 0u);
  ASSERT_NE(other, 0u);
  EXPECT_NE(first, other);
  // A cookie of the wrong point, a 0 cookie, an unknown one and a null object change nothing.
  Unadvise(source.get(), IID_IPropertyNotifySink, first);
  Unadvise(source.get(), DIID_SourceEvents, 0);
  Unadvise(source.get(), DIID_SourceEvents, first + other + 100);
  Unadvise(nullptr, DIID_SourceEvents, first);
  EXPECT_EQ(source->events.SinkCount(), 2u);

  Unadvise(source.get(), DIID_SourceEvents, first);
  EventArgs none;
  EXPECT_EQ(source->events.FireDispatch(1, none), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"second"}));
}

TEST_F(HostConnection, EveryFailureAnswersCookieZeroAndAdvisesNothing) {
  // No point for the interface.
  EXPECT_EQ(Advise(source.get(), DIID_Unfired, events.get()), 0u);
  // The sink does not answer the point's interface.
  EXPECT_EQ(Advise(source.get(), IID_IPropertyNotifySink, events.get()), 0u);
  EXPECT_EQ(Advise(source.get(), DIID_SourceEvents, notes.get()), 0u);
  // Not a connection point container; null object or sink.
  EXPECT_EQ(Advise(notes.get(), DIID_SourceEvents, events.get()), 0u);
  EXPECT_EQ(Advise(nullptr, DIID_SourceEvents, events.get()), 0u);
  EXPECT_EQ(Advise(source.get(), DIID_SourceEvents, nullptr), 0u);
  EXPECT_EQ(source->events.SinkCount(), 0u);
  EXPECT_EQ(source->notify.SinkCount(), 0u);
}

}  // namespace
}  // namespace winhost
