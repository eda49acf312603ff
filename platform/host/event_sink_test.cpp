// The event sink: which interfaces it answers, what it says about type information, and how
// Invoke reaches the handler (and nothing once the handler is cleared).
#include "platform/host/event_sink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/connection_point.h"
#include "platform/host/value_format.h"

namespace winhost {
namespace {

using namespace win;

const IID DIID_TestEvents = GuidFromString("{6A1F0030-0000-4000-8000-00000000A030}");
const IID DIID_OtherEvents = GuidFromString("{6A1F0031-0000-4000-8000-00000000A031}");

HRESULT Call(IDispatch* sink, DISPID dispid, DISPPARAMS* params) {
  return sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr,
                      nullptr, nullptr);
}

TEST(HostEventSink, AnswersIDispatchAndItsEventsInterfaceButNoTypesOrNames) {
  auto sink = MakeObject<EventSink>(DIID_TestEvents, nullptr);
  ComPtr<IDispatch> byEvents, byDispatch;
  ASSERT_EQ(sink->QueryInterface(DIID_TestEvents, byEvents.ReceiveVoid()), S_OK);
  ASSERT_EQ(sink->QueryInterface(IID_IDispatch, byDispatch.ReceiveVoid()), S_OK);
  EXPECT_EQ(byEvents.get(), static_cast<IDispatch*>(sink.get()));
  EXPECT_EQ(byDispatch.get(), byEvents.get());
  ComPtr<IUnknown> other;
  EXPECT_EQ(sink->QueryInterface(DIID_OtherEvents, other.ReceiveVoid()), E_NOINTERFACE);
  EXPECT_EQ(sink->QueryInterface(IID_IPropertyNotifySink, other.ReceiveVoid()), E_NOINTERFACE);

  UINT count = 99;
  EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
  EXPECT_EQ(sink->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  std::u16string name = u"CommEvent";
  LPOLESTR names[] = {name.data()};
  DISPID id = 0;
  EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
}

TEST(HostEventSink, InvokeHandsTheDispidAndArgumentsToTheHandlerAndAnswersItsResult) {
  std::vector<std::string> seen;
  auto sink = MakeObject<EventSink>(DIID_TestEvents, [&](DISPID id, DISPPARAMS* p) -> HRESULT {
    std::string line = std::to_string(id) + ":";
    for (UINT i = 0; i < p->cArgs; ++i) line += " " + format_value(p->rgvarg[i]);
    seen.push_back(line);
    // Writes through a by-reference argument reach the caller.
    if (p->cArgs > 1 && p->rgvarg[1].vt == (VT_I4 | VT_BYREF)) *p->rgvarg[1].plVal = 99;
    return id == 2 ? E_FAIL : S_OK;
  });
  LONG value = 1;
  VARIANTARG args[2];
  args[0] = Variant::I4(10);  // plain scalars: nothing to free
  args[1].vt = VT_I4 | VT_BYREF;
  args[1].plVal = &value;
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(Call(sink.get(), 1, &params), S_OK);
  EXPECT_EQ(Call(sink.get(), 2, &params), E_FAIL);
  EXPECT_EQ(seen, (std::vector<std::string>{"1: 10 1", "2: 10 99"}));
  EXPECT_EQ(value, 99);
}

TEST(HostEventSink, AClearedOrAbsentHandlerIgnoresEvents) {
  int calls = 0;
  auto sink = MakeObject<EventSink>(DIID_TestEvents, [&](DISPID, DISPPARAMS*) -> HRESULT {
    ++calls;
    return E_FAIL;
  });
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(Call(sink.get(), 1, &none), E_FAIL);
  sink->set_handler({});
  EXPECT_EQ(Call(sink.get(), 1, &none), S_OK);
  EXPECT_EQ(calls, 1);
}

// Counts the live copies of a handler, so a test can see whether the running one still exists.
int liveGuards = 0;
struct Guard {
  Guard() { ++liveGuards; }
  Guard(const Guard&) { ++liveGuards; }
  ~Guard() { --liveGuards; }
};

TEST(HostEventSink, AHandlerMayClearItselfDuringItsCall) {
  auto sink = MakeObject<EventSink>(DIID_TestEvents, nullptr);
  static EventSink* self;
  static int guardsAfterClearing;
  self = sink.get();
  guardsAfterClearing = -1;
  {
    Guard guard;
    sink->set_handler([guard](DISPID, DISPPARAMS*) -> HRESULT {
      self->set_handler({});
      guardsAfterClearing = liveGuards;  // the running handler is still whole
      return S_FALSE;
    });
  }
  ASSERT_EQ(liveGuards, 1);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(Call(sink.get(), 1, &none), S_FALSE);
  EXPECT_EQ(guardsAfterClearing, 1);
  EXPECT_EQ(liveGuards, 0);
  EXPECT_EQ(Call(sink.get(), 1, &none), S_OK);
}

}  // namespace
}  // namespace winhost
