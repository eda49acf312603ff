// Connection points: advise order, unadvise during firing, by-reference arrays, sink failures.
#include "platform/com/connection_point.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace win {
namespace {

const IID DIID_TestEvents = GuidFromString("{6A1F0010-0000-4000-8000-00000000A010}");

// The object that owns the connection points.
class Source final : public Unknown<IConnectionPointContainer> {
 public:
  Source() : events(this, DIID_TestEvents), notify(this, IID_IPropertyNotifySink) {}
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
    return IsEqualGUID(riid, IID_IConnectionPointContainer)
               ? static_cast<IConnectionPointContainer*>(this)
               : nullptr;
  }
};

// A host's event sink: records calls into a shared log and runs an optional action.
class Sink final : public Unknown<IDispatch, IPropertyNotifySink> {
 public:
  Sink(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}

  std::function<HRESULT(DISPPARAMS*)> onInvoke;
  ULONG Refs() const { return InnerRefCount(); }

  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    log_->push_back(name_ + ":" + std::to_string(id));
    return onInvoke ? onInvoke(dp) : S_OK;
  }
  HRESULT OnChanged(DISPID id) override {
    log_->push_back(name_ + " changed " + std::to_string(id));
    return S_OK;
  }
  HRESULT OnRequestEdit(DISPID) override { return S_OK; }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualGUID(riid, DIID_TestEvents) || IsEqualGUID(riid, IID_IDispatch))
      return static_cast<IDispatch*>(this);
    if (IsEqualGUID(riid, IID_IPropertyNotifySink)) return static_cast<IPropertyNotifySink*>(this);
    return nullptr;
  }
  std::string name_;
  std::vector<std::string>* log_;
};

class ConnectionPointTest : public ::testing::Test {
 protected:
  ComPtr<IConnectionPoint> Point(REFIID iid) {
    ComPtr<IConnectionPoint> cp;
    EXPECT_EQ(source->FindConnectionPoint(iid, cp.Receive()), S_OK);
    return cp;
  }
  ComPtr<Sink> NewSink(const std::string& name) { return MakeObject<Sink>(name, &log); }

  std::vector<std::string> log;
  ComPtr<Source> source = MakeObject<Source>();
};

TEST_F(ConnectionPointTest, SinksAreCalledInAdviseOrderWithFreshCookies) {
  auto cp = Point(DIID_TestEvents);
  auto a = NewSink("a"), b = NewSink("b"), c = NewSink("c");
  DWORD ca = 0, cb = 0, cc = 0;
  ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(a.get()), &ca), S_OK);
  ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(b.get()), &cb), S_OK);
  ASSERT_EQ(cp->Unadvise(ca), S_OK);
  ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(c.get()), &cc), S_OK);
  ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(a.get()), &ca), S_OK);  // a again, now last
  EXPECT_EQ(std::set<DWORD>({ca, cb, cc}).size(), 3u);

  EventArgs args;
  args.I4(1024);
  EXPECT_EQ(source->events.FireDispatch(513, args), 3);
  EXPECT_EQ(log, (std::vector<std::string>{"b:513", "c:513", "a:513"}));
  EXPECT_EQ(cp->Unadvise(12345), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionPointTest, SinkUnadvisingItselfDuringFiringIsSafeAndOthersStillRun) {
  auto cp = Point(DIID_TestEvents);
  auto a = NewSink("a"), b = NewSink("b"), c = NewSink("c");
  DWORD ca = 0, cb = 0, cc = 0;
  cp->Advise(static_cast<IDispatch*>(a.get()), &ca);
  cp->Advise(static_cast<IDispatch*>(b.get()), &cb);
  cp->Advise(static_cast<IDispatch*>(c.get()), &cc);
  ULONG before = b->Refs();
  b->onInvoke = [&](DISPPARAMS*) {
    EXPECT_EQ(cp->Unadvise(cb), S_OK);
    auto late = NewSink("late");  // advised during the firing: not called this time
    DWORD cl = 0;
    cp->Advise(static_cast<IDispatch*>(late.get()), &cl);
    return S_OK;
  };
  // The host drops its own reference: only the firing's reference keeps b alive in its call.
  Sink* raw = b.Detach();
  raw->Release();
  EXPECT_EQ(before, 2u);

  EventArgs args;
  source->events.FireDispatch(516, args);
  EXPECT_EQ(log, (std::vector<std::string>{"a:516", "b:516", "c:516"}));
  log.clear();
  source->events.FireDispatch(516, args);
  EXPECT_EQ(log, (std::vector<std::string>{"a:516", "c:516", "late:516"}));
  EXPECT_EQ(source->events.SinkCount(), 3u);
}

TEST_F(ConnectionPointTest, ByReferenceArrayChangedByOneSinkReachesTheNext) {
  auto cp = Point(DIID_TestEvents);
  auto a = NewSink("a"), b = NewSink("b");
  DWORD cookie = 0;
  cp->Advise(static_cast<IDispatch*>(a.get()), &cookie);
  cp->Advise(static_cast<IDispatch*>(b.get()), &cookie);
  std::vector<BYTE> seenByB;
  a->onInvoke = [](DISPPARAMS* dp) {
    // Arguments arrive reversed: rgvarg[1] is the first parameter (the array).
    EXPECT_EQ(dp->cArgs, 2u);
    EXPECT_EQ(dp->rgvarg[0].vt, VT_I4);
    EXPECT_EQ(dp->rgvarg[1].vt, VT_ARRAY | VT_UI1 | VT_BYREF);
    SAFEARRAY** ref = dp->rgvarg[1].pparray;
    SafeArrayDestroy(*ref);
    BYTE replaced[] = {'Z'};
    *ref = SafeArrayFromBytes(replaced, 1);
    return E_FAIL;  // a failing sink does not stop the others
  };
  b->onInvoke = [&](DISPPARAMS* dp) {
    SAFEARRAY* psa = *dp->rgvarg[1].pparray;
    BYTE* p = static_cast<BYTE*>(psa->pvData);
    seenByB.assign(p, p + psa->rgsabound[0].cElements);
    return S_OK;
  };
  BYTE data[] = {'a', 'b', 'c'};
  SAFEARRAY* bytes = SafeArrayFromBytes(data, 3);
  {
    EventArgs args;
    args.ArrayRef(&bytes).I4(3);
    EXPECT_EQ(source->events.FireDispatch(512, args), 2);
  }
  EXPECT_EQ(seenByB, std::vector<BYTE>{'Z'});
  EXPECT_EQ(bytes->rgsabound[0].cElements, 1u);  // the caller's pointer was changed
  SafeArrayDestroy(bytes);
}

TEST_F(ConnectionPointTest, StringArgumentsAreCopiedForTheFiring) {
  auto cp = Point(DIID_TestEvents);
  auto a = NewSink("a");
  DWORD cookie = 0;
  cp->Advise(static_cast<IDispatch*>(a.get()), &cookie);
  Bstr text(u"data");
  a->onInvoke = [&](DISPPARAMS* dp) {
    EXPECT_EQ(dp->cArgs, 3u);
    EXPECT_EQ(dp->rgvarg[2].lVal, 7);  // RequestId
    EXPECT_NE(dp->rgvarg[1].bstrVal, text.get());
    EXPECT_EQ(BstrView(dp->rgvarg[1].bstrVal), u"data");
    EXPECT_EQ(dp->rgvarg[0].lVal, 4);  // NumBytes
    return S_OK;
  };
  EventArgs args;
  args.I4(7).Str(text.get()).I4(4);
  source->events.FireDispatch(517, args);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(ConnectionPointTest, AdviseRequiresTheOutgoingInterface) {
  auto cp = Point(DIID_TestEvents);
  auto container = MakeObject<Source>();  // answers neither interface
  DWORD cookie = 99;
  EXPECT_EQ(cp->Advise(static_cast<IConnectionPointContainer*>(container.get()), &cookie),
            CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  ComPtr<IConnectionPoint> none;
  EXPECT_EQ(source->FindConnectionPoint(IID_IDispatch, none.Receive()), CONNECT_E_NOCONNECTION);
  IID iid;
  cp->GetConnectionInterface(&iid);
  EXPECT_TRUE(IsEqualGUID(iid, DIID_TestEvents));
}

TEST_F(ConnectionPointTest, PropertyNotificationsAndEnumeration) {
  auto cp = Point(IID_IPropertyNotifySink);
  auto a = NewSink("a"), b = NewSink("b");
  DWORD ca = 0, cb = 0;
  cp->Advise(static_cast<IDispatch*>(a.get()), &ca);
  cp->Advise(static_cast<IDispatch*>(b.get()), &cb);
  source->notify.FireOnChanged(81);
  EXPECT_EQ(log, (std::vector<std::string>{"a changed 81", "b changed 81"}));

  ComPtr<IEnumConnections> conns;
  ASSERT_EQ(cp->EnumConnections(conns.Receive()), S_OK);
  CONNECTDATA cd[3];
  ULONG fetched = 0;
  EXPECT_EQ(conns->Next(3, cd, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(cd[0].dwCookie, ca);
  EXPECT_EQ(cd[1].dwCookie, cb);
  cd[0].pUnk->Release();
  cd[1].pUnk->Release();

  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(source->EnumConnectionPoints(points.Receive()), S_OK);
  IConnectionPoint* p[2] = {};
  EXPECT_EQ(points->Next(2, p, &fetched), S_OK);
  EXPECT_EQ(p[1], cp.get());
  p[0]->Release();
  p[1]->Release();

  // The container's teardown drops its sinks.
  ULONG refs = a->Refs();
  source->notify.UnadviseAll();
  EXPECT_EQ(a->Refs(), refs - 1);
}

}  // namespace
}  // namespace win
