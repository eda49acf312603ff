// The Port control's connections to sibling controls on its form: the modem link (TapiCtl,
// ConnectTapiCtl, DisconnectTapiCtl, _SetComponent, _GetComponent, _TapiCtl, _TapiCtls), the
// refusals while a modem control or an occupier is attached, what an occupier hears around open
// and close, counting with and without the counting interface, and a modem control handing its
// dialled line over through _Open. Everything goes through Invoke, as a host or a sibling
// reaches the control; the siblings report what the control asks of them into the rig's lines.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>

#include <algorithm>
#include <cstring>

#include "control/container_lookup.h"
#include "control/port_messages.h"
#include "control/port_test_support.h"
#include "control/sibling_controls.h"
#include "control/string_list_handles.h"
#include "platform/comm/comm.h"
#include "platform/kernel/kernel.h"

namespace ravlin::testing {
namespace {

constexpr HRESULT kModemBusy = static_cast<HRESULT>(0x800400C8);    // 200
constexpr HRESULT kDesignTime = static_cast<HRESULT>(0x800400CD);   // 205
constexpr HRESULT kQueryFailed = static_cast<HRESULT>(0x800400D1);  // 209
constexpr HRESULT kOccupied = static_cast<HRESULT>(0x800400D3);     // 211
constexpr HRESULT kModemLinked = static_cast<HRESULT>(0x800400D4);  // 212
constexpr HRESULT kRunTime = static_cast<HRESULT>(0x800400D5);      // 213

std::string Failure(HRESULT hr) {
  return winhost::format_failure(hr, u"");
}

Variant Dispatch(SiblingControl* s) {
  return Variant::Dispatch(s ? s->dispatch() : nullptr);
}

class PortConnections : public ::testing::Test {
 protected:
  // A sibling of this kind on the rig's form under name, reporting into the rig's lines.
  ComPtr<SiblingControl> Place(sibling_kind kind, std::u16string_view name) {
    auto s =
        MakeObject<SiblingControl>(kind, [this](const std::string& l) { rig.lines.push_back(l); });
    EXPECT_EQ(rig.form->AddControl(s->unknown(), name), S_OK);
    return s;
  }
  std::u16string Component() {
    BSTR name = nullptr;
    EXPECT_EQ(rig.Call(DISPID_Port__GetComponent, {Variant::ByRef(VT_BSTR, &name)}), S_OK);
    std::u16string copy(BstrView(name));
    SysFreeString(name);
    return copy;
  }
  // Only what the siblings reported (the rig's lines are taken).
  std::vector<std::string> SiblingLines() {
    std::vector<std::string> out;
    for (auto& l : rig.Take())
      if (l.rfind("sibling ", 0) == 0) out.push_back(l);
    return out;
  }
  bool HasLine(const std::string& line) {
    return std::find(rig.lines.begin(), rig.lines.end(), line) != rig.lines.end();
  }

  PortRig rig{NextPortNumber()};
};

// ---- ConnectTapiCtl and DisconnectTapiCtl -------------------------------------------------------

TEST_F(PortConnections, ConnectTapiCtlLinksAModemAndRefusesAnythingElse) {
  auto plain = Place(sibling_kind::plain, u"P1");
  auto q1 = Place(sibling_kind::modem, u"Q1");
  auto q2 = Place(sibling_kind::modem, u"Q2");
  rig.Take();

  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(plain.get())}), Failure(E_INVALIDARG));
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Variant::Dispatch(rig.port.get())}),
            Failure(E_INVALIDARG));
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Variant::Dispatch(nullptr)}), Failure(E_POINTER));
  VARIANT_BOOL ignored;
  EXPECT_EQ(rig.impl->ConnectTapiCtl(q1->dispatch(), nullptr), E_POINTER);
  EXPECT_EQ(rig.impl->ConnectTapiCtl(nullptr, &ignored), E_POINTER);
  // A modem control that is on no form has no name: it cannot be linked.
  auto nameless = MakeObject<SiblingControl>(sibling_kind::modem, nullptr);
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(nameless.get())}), Failure(E_INVALIDARG));
  EXPECT_TRUE(nameless->calls().empty());
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtl), "false");
  EXPECT_TRUE(SiblingLines().empty());

  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "true");
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(Port1)"}));
  EXPECT_EQ(q1->port(), rig.port.get());
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtl), "true");
  EXPECT_EQ(Component(), u"Q1");

  // Linked: the same control is confirmed without a call, another one is not linked instead.
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "true");
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q2.get())}), "false");
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(plain.get())}), Failure(E_INVALIDARG));
  EXPECT_TRUE(SiblingLines().empty());
  EXPECT_TRUE(q2->calls().empty());
  EXPECT_EQ(Component(), u"Q1");
  // Run-time linking is no design-time change.
  EXPECT_FALSE(rig.impl->Dirty());
}

TEST_F(PortConnections, NothingIsLinkedOrUnlinkedWhileThePortIsOpen) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  ASSERT_TRUE(rig.Open());
  rig.Take();
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "false");
  EXPECT_TRUE(q1->calls().empty());
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtl), "false");
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");

  ASSERT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "true");
  VARIANT_BOOL dialled = VARIANT_FALSE;
  ASSERT_EQ(q1->Dial("\\\\.\\COM" + std::to_string(rig.portNumber_), &dialled), S_OK);
  ASSERT_EQ(dialled, VARIANT_TRUE);
  rig.Take();
  EXPECT_EQ(rig.Run(DISPID_Port_DisconnectTapiCtl), "false");
  EXPECT_TRUE(SiblingLines().empty());
  EXPECT_EQ(Component(), u"Q1");
  EXPECT_EQ(rig.Run(DISPID_Port__Close), "true");
  EXPECT_EQ(rig.Run(DISPID_Port_DisconnectTapiCtl), "true");
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(nothing)"}));
  q1->HangUp();
}

TEST_F(PortConnections, AModemInACallRefusesToLinkAndToUnlink) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  rig.Take();
  q1->set_refusing(true);
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "false");
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(Port1) refused"}));
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtl), "false");

  q1->set_refusing(false);
  ASSERT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "true");
  q1->set_refusing(true);
  rig.Take();
  EXPECT_EQ(rig.Run(DISPID_Port_DisconnectTapiCtl), Failure(kModemBusy));
  EXPECT_EQ(TakeErrorDescription(), portMessageText(200));
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(nothing) refused"}));
  EXPECT_EQ(Component(), u"Q1");  // the link stays
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "false");

  q1->set_refusing(false);
  EXPECT_EQ(rig.Run(DISPID_Port_DisconnectTapiCtl), "true");
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(nothing)"}));
  EXPECT_EQ(q1->port(), nullptr);
  EXPECT_EQ(Component(), u"");
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "true");                // the host has the port again
  EXPECT_EQ(rig.Run(DISPID_Port_DisconnectTapiCtl), "false");  // open now
}

TEST_F(PortConnections, ALinkedModemOwnsTheLineSettingsOpenAndClose) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  ASSERT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "true");
  rig.Take();
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "false");
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "false");
  EXPECT_FALSE(rig.device->IsOpen());
  const struct {
    DISPID id;
    Variant value;
  } settings[] = {
      {DISPID_Port_BaudRate, Variant::I4(4800)}, {DISPID_Port_DataBits, Variant::I2(7)},
      {DISPID_Port_StopBits, Variant::R4(2.0f)}, {DISPID_Port_Parity, Variant::I4(2)},
      {DISPID_Port_Handshaking, Variant::I4(0)}, {DISPID_Port_PortNumber, Variant::I4(7)},
  };
  for (const auto& s : settings) {
    EXPECT_EQ(rig.Put(s.id, s.value), kModemLinked) << s.id;
    EXPECT_EQ(TakeErrorDescription(), portMessageText(212));
  }
  EXPECT_EQ(rig.Show(DISPID_Port_BaudRate), "9600");
  EXPECT_TRUE(rig.Take().empty());  // refused before any notification
  // The modem control goes through the hidden setters.
  EXPECT_EQ(rig.Put(DISPID_Port__BaudRate, Variant::I4(4800)), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_BaudRate), "4800");
}

// ---- TapiCtl, _SetComponent and the name-only link ----------------------------------------------

TEST_F(PortConnections, TapiCtlIsSetInDesignModeOnlyAndNotifiesRealChanges) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  auto plain = Place(sibling_kind::plain, u"P1");
  rig.Take();
  EXPECT_EQ(rig.Put(DISPID_Port_TapiCtl, Dispatch(q1.get())), kRunTime);
  EXPECT_EQ(TakeErrorDescription(), portMessageText(213));
  EXPECT_TRUE(q1->calls().empty());

  rig.form->SetUserMode(false);
  EXPECT_EQ(rig.Put(DISPID_Port_TapiCtl, Dispatch(plain.get())), E_INVALIDARG);
  EXPECT_EQ(rig.Show(DISPID_Port_TapiCtl), "nothing");
  EXPECT_FALSE(rig.impl->Dirty());

  EXPECT_EQ(rig.Put(DISPID_Port_TapiCtl, Dispatch(q1.get())), S_OK);
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"sibling Q1: attach(Port1)", "changed 134"}));
  EXPECT_TRUE(rig.impl->Dirty());
  Variant linked = rig.Get(DISPID_Port_TapiCtl);
  ASSERT_EQ(linked.vt, VT_DISPATCH);
  EXPECT_EQ(linked.pdispVal, q1->dispatch());  // the modem interface, a new reference

  // The control already linked: no call, no notification, no change.
  rig.impl->ClearDirty();
  EXPECT_EQ(rig.Put(DISPID_Port_TapiCtl, Dispatch(q1.get())), S_OK);
  EXPECT_TRUE(rig.Take().empty());
  EXPECT_FALSE(rig.impl->Dirty());

  q1->set_refusing(true);
  EXPECT_EQ(rig.Put(DISPID_Port_TapiCtl, Variant::Dispatch(nullptr)), kModemBusy);
  EXPECT_EQ(TakeErrorDescription(), portMessageText(200));
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(nothing) refused"}));
  EXPECT_FALSE(rig.impl->Dirty());
  q1->set_refusing(false);
  EXPECT_EQ(rig.Put(DISPID_Port_TapiCtl, Variant::Dispatch(nullptr)), S_OK);
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"sibling Q1: attach(nothing)", "changed 134"}));
  EXPECT_TRUE(rig.impl->Dirty());
  EXPECT_EQ(rig.Show(DISPID_Port_TapiCtl), "nothing");
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtl), "false");
}

TEST_F(PortConnections, ANewModemReplacesTheOldOneOnlyWhenTheOldOneLetsGo) {
  rig.form->SetUserMode(false);
  auto q1 = Place(sibling_kind::modem, u"Q1");
  auto q2 = Place(sibling_kind::modem, u"Q2");
  ASSERT_EQ(rig.Put(DISPID_Port_TapiCtl, Dispatch(q1.get())), S_OK);
  rig.Take();
  q1->set_refusing(true);
  EXPECT_EQ(rig.Put(DISPID_Port_TapiCtl, Dispatch(q2.get())), kModemBusy);
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(nothing) refused"}));
  EXPECT_TRUE(q2->calls().empty());
  EXPECT_EQ(Component(), u"Q1");
  q1->set_refusing(false);
  EXPECT_EQ(rig.Put(DISPID_Port_TapiCtl, Dispatch(q2.get())), S_OK);
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"sibling Q1: attach(nothing)",
                                                  "sibling Q2: attach(Port1)", "changed 134"}));
  EXPECT_EQ(Component(), u"Q2");
}

TEST_F(PortConnections, SetComponentLinksByNameOnTheFormAndAnUnknownNameUnlinks) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  auto q2 = Place(sibling_kind::modem, u"Q2");
  rig.Take();
  EXPECT_EQ(rig.Run(DISPID_Port__SetComponent, {Variant::Str(u"Q1")}), Failure(kRunTime));
  rig.form->SetUserMode(false);
  EXPECT_EQ(rig.Run(DISPID_Port__SetComponent, {Variant::Str(u"q1")}), "empty");  // case counts
  EXPECT_EQ(Component(), u"");
  EXPECT_EQ(rig.Run(DISPID_Port__SetComponent, {Variant::Str(u"Q1")}), "empty");
  EXPECT_EQ(Component(), u"Q1");
  EXPECT_EQ(rig.Run(DISPID_Port__SetComponent, {Variant::Str(u"Q2")}), "empty");
  EXPECT_EQ(Component(), u"Q2");
  EXPECT_EQ(rig.Run(DISPID_Port__SetComponent, {Variant::Str(u"Port1")}), Failure(E_INVALIDARG));
  EXPECT_EQ(rig.Run(DISPID_Port__SetComponent, {Variant::Str(u"Nobody")}), "empty");
  EXPECT_EQ(Component(), u"");
  EXPECT_EQ(SiblingLines(),
            (std::vector<std::string>{"sibling Q1: attach(Port1)", "sibling Q1: attach(nothing)",
                                      "sibling Q2: attach(Port1)", "sibling Q2: attach(nothing)"}));
  EXPECT_EQ(rig.impl->_GetComponent(nullptr), E_POINTER);
  EXPECT_EQ(rig.impl->_TapiCtl(nullptr), E_INVALIDARG);
}

TEST_F(PortConnections, ANameWithoutAControlIsResolvedByTheFirstTapiCtlGet) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  rig.Take();
  rig.impl->RestoreModemName(u"Q1");
  // Linked by name: the host's refusals hold before anything was looked up.
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtl), "true");
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "false");
  EXPECT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(4800)), kModemLinked);
  EXPECT_TRUE(q1->calls().empty());

  Variant linked = rig.Get(DISPID_Port_TapiCtl);  // works in run mode too
  ASSERT_EQ(linked.vt, VT_DISPATCH);
  EXPECT_EQ(linked.pdispVal, q1->dispatch());
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"sibling Q1: attach(Port1)", "changed 134"}));
  EXPECT_EQ(q1->port(), rig.port.get());

  // A name nobody on the form has: the get forgets it.
  rig.impl->RestoreModemName(u"Gone");
  rig.impl->ClearDirty();
  EXPECT_EQ(rig.Show(DISPID_Port_TapiCtl), "nothing");
  EXPECT_EQ(Component(), u"");
  EXPECT_TRUE(rig.impl->Dirty());
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "true");
}

// A link restored by name: connecting the control of that name completes it, and disconnecting
// ends it even before any control was found (the host gets the port back either way).
TEST_F(PortConnections, ANameOnlyLinkIsCompletedByConnectAndEndedByDisconnect) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  auto q2 = Place(sibling_kind::modem, u"Q2");
  rig.Take();
  rig.impl->RestoreModemName(u"Q1");
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q2.get())}), "false");
  EXPECT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "true");
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(Port1)"}));

  rig.impl->RestoreModemName(u"Q1");
  EXPECT_EQ(rig.Run(DISPID_Port_DisconnectTapiCtl), "true");
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtl), "false");
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "true");
}

TEST_F(PortConnections, LosingTheSiteLetsTheModemGoButKeepsItsName) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  ASSERT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "true");
  rig.Take();
  ASSERT_EQ(rig.form->RemoveControl(rig.port.get()), S_OK);
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling Q1: attach(nothing)"}));
  EXPECT_EQ(q1->port(), nullptr);
  EXPECT_EQ(rig.impl->ModemName(), u"Q1");
}

// ---- _TapiCtls ----------------------------------------------------------------------------------

TEST_F(PortConnections, TapiCtlsListsTheModemControlsOfTheFormAfterAnEmptyEntry) {
  std::vector<std::u16string> list{u"stale"};
  string_list_registration combo(
      {[&] { list.clear(); }, [&](std::u16string_view s) { list.emplace_back(s); }});
  ASSERT_NE(combo.handle(), 0u);
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtls, {Variant::UI4(combo.handle())}), "empty");
  EXPECT_EQ(list, (std::vector<std::u16string>{u""}));

  auto q2 = Place(sibling_kind::modem, u"Q2");
  auto t1 = Place(sibling_kind::occupier, u"T1");
  auto q1 = Place(sibling_kind::modem, u"Q1");
  auto p1 = Place(sibling_kind::plain, u"P1");
  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtls, {Variant::UI4(combo.handle())}), "empty");
  EXPECT_EQ(list, (std::vector<std::u16string>{u"", u"Q2", u"Q1"}));  // in the form's order

  EXPECT_EQ(rig.Run(DISPID_Port__TapiCtls, {Variant::UI4(combo.handle() + 1000)}),
            Failure(E_INVALIDARG));
  EXPECT_EQ(list.size(), 3u);
  // Without a container there is nothing to enumerate.
  ComPtr<IDispatch> loose;
  ASSERT_EQ(CPort19::Create(nullptr, IID_IDispatch, loose.ReceiveVoid()), S_OK);
  Variant r;
  EXPECT_EQ(InvokeByDispid(loose.get(), DISPID_Port__TapiCtls, DISPATCH_METHOD,
                           {Variant::UI4(combo.handle())}, &r),
            E_FAIL);
  EXPECT_EQ(list.size(), 3u);
}

TEST(StringListHandles, HandlesAreDistinctAndForgottenWhenUnregistered) {
  int cleared = 0;
  string_list_sink sink{[&] { ++cleared; }, [](std::u16string_view) {}};
  UINT a = RegisterStringList(sink);
  UINT b = RegisterStringList(sink);
  EXPECT_NE(a, 0u);
  EXPECT_NE(b, 0u);
  EXPECT_NE(a, b);
  ASSERT_NE(StringListFor(a), nullptr);
  StringListFor(a)->clear();
  EXPECT_EQ(cleared, 1);
  UnregisterStringList(a);
  EXPECT_EQ(StringListFor(a), nullptr);
  EXPECT_NE(StringListFor(b), nullptr);
  UnregisterStringList(b);
  EXPECT_EQ(RegisterStringList({}), 0u);  // a sink that can do nothing is refused
}

// ---- extender names -----------------------------------------------------------------------------

// An automation object that is no OLE control but answers "Name" itself.
class NamedObject final : public Unknown<DispatchImpl<NamedObject, IDispatch>> {
 public:
  explicit NamedObject(std::u16string name) : name_(std::move(name)) {}
  static const TypeDescription& Description() {
    static const TypeDescription type(
        u"Named", IID_IDispatch,
        {{.name = u"Name",
          .dispid = 5,
          .kind = MemberKind::PropertyGet,
          .result = VT_BSTR,
          .handler = On<NamedObject>([](NamedObject& self, Invocation& c) {
            *c.ResultStr() = SysAllocString(self.name_);
            return S_OK;
          })}});
    return type;
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return riid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
  }
  std::u16string name_;
};

TEST_F(PortConnections, ExtenderNamesComeFromTheSiteOrFromTheObjectItself) {
  auto q1 = Place(sibling_kind::modem, u"Q1");
  EXPECT_EQ(ExtenderName(q1->unknown()), u"Q1");
  EXPECT_EQ(ExtenderName(rig.port.get()), u"Port1");
  auto named = MakeObject<NamedObject>(u"Loose");
  EXPECT_EQ(ExtenderName(named.get()), u"Loose");
  auto offForm = MakeObject<SiblingControl>(sibling_kind::modem, nullptr);
  EXPECT_EQ(ExtenderName(offForm->unknown()), u"");  // an OLE object without a site
  EXPECT_EQ(ExtenderName(nullptr), u"");
  ComPtr<IOleClientSite> site;
  ASSERT_EQ(rig.impl->GetClientSite(site.Receive()), S_OK);
  EXPECT_EQ(FindByExtenderName(site.get(), u"Q1").get(), q1->dispatch());
  EXPECT_EQ(FindByExtenderName(site.get(), u"q1").get(), nullptr);
  EXPECT_EQ(FindByExtenderName(site.get(), u"").get(), nullptr);
  std::vector<ComPtr<IUnknown>> objects;
  EXPECT_EQ(ContainerObjects(nullptr, &objects), E_POINTER);
}

// ---- occupiers ----------------------------------------------------------------------------------

TEST_F(PortConnections, AnOccupierIsReportedInRunModeAndAllowConnectionIsRefusedMeanwhile) {
  auto t1 = Place(sibling_kind::counting_occupier, u"T1");
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Dispatch(t1.get())), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_IsOccupied), "true");
  Variant who = rig.Get(DISPID_Port_OccupyingControl);
  ASSERT_EQ(who.vt, VT_DISPATCH);
  EXPECT_EQ(who.pdispVal, t1->dispatch());
  EXPECT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Bool(false)), kOccupied);
  EXPECT_EQ(rig.Show(DISPID_Port_AllowConnection), "true");
  EXPECT_FALSE(rig.impl->CountingSuppressed());  // this occupier counts

  rig.form->SetUserMode(false);
  HRESULT hr = S_OK;
  rig.Get(DISPID_Port_IsOccupied, &hr);
  EXPECT_EQ(hr, kDesignTime);
  rig.Get(DISPID_Port_OccupyingControl, &hr);
  EXPECT_EQ(hr, kDesignTime);
  rig.form->SetUserMode(true);

  // Free again, with connections refused: the control occupies itself.
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Variant::Dispatch(nullptr)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Bool(false)), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_IsOccupied), "true");
  Variant self = rig.Get(DISPID_Port_OccupyingControl);
  ASSERT_EQ(self.vt, VT_DISPATCH);
  EXPECT_EQ(self.pdispVal, rig.port.get());
  EXPECT_FALSE(rig.impl->CountingSuppressed());
  // _TermOrFile does not look at AllowConnection.
  EXPECT_EQ(rig.Put(DISPID_Port__TermOrFile, Dispatch(t1.get())), S_OK);
  EXPECT_EQ(rig.Show(DISPID_Port_IsOccupied), "true");
}

TEST_F(PortConnections, ACountingOccupierHearsEveryOpenAndCloseAndATerminalEveryClose) {
  auto t1 = Place(sibling_kind::counting_occupier, u"T1");
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Dispatch(t1.get())), S_OK);
  rig.Take();
  ASSERT_TRUE(rig.Open());
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"sibling T1: PortOpened()"}));
  EXPECT_EQ(rig.Run(DISPID_Port__Close), "true");
  EXPECT_EQ(rig.Take(),
            (std::vector<std::string>{"sibling T1: PortClosed()", "sibling T1: Notify()"}));
  // Closing a closed port is no close.
  EXPECT_EQ(rig.Run(DISPID_Port__Close), "true");
  EXPECT_TRUE(rig.Take().empty());
  // A failed open is no open.
  EXPECT_EQ(rig.Run(DISPID_Port__Open, {Variant::I4(0)}),
            Failure(static_cast<HRESULT>(0x800400CF)));
  EXPECT_TRUE(SiblingLines().empty());

  // A terminal that does not count hears only the closes.
  auto t2 = Place(sibling_kind::occupier, u"T2");
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Dispatch(t2.get())), S_OK);
  ASSERT_TRUE(rig.Open());
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");
  EXPECT_EQ(SiblingLines(), (std::vector<std::string>{"sibling T2: Notify()"}));
  // Free: nobody is told.
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Variant::Dispatch(nullptr)), S_OK);
  ASSERT_TRUE(rig.Open());
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");
  EXPECT_TRUE(SiblingLines().empty());
  EXPECT_EQ(t1->calls().size(), 3u);
}

TEST_F(PortConnections, AnOccupierWithoutCountingStopsTheCountsOfAutomaticInput) {
  auto t1 = Place(sibling_kind::occupier, u"T1");
  ASSERT_EQ(rig.Put(DISPID_Port_InputThreshold, Variant::I4(1)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Dispatch(t1.get())), S_OK);
  EXPECT_TRUE(rig.impl->CountingSuppressed());
  ASSERT_TRUE(rig.Open(0));  // automatic input
  rig.Take();
  rig.device->Feed("abc");
  ASSERT_TRUE(rig.PumpUntil([&] { return HasLine("event AutoInput(bytes:616263, 3)"); }));
  // The worker delivers in order: once the next bytes are in, the first ones were (not) counted.
  rig.device->Feed("d");
  ASSERT_TRUE(rig.PumpUntil([&] { return HasLine("event AutoInput(bytes:64, 1)"); }));
  EXPECT_EQ(rig.Show(DISPID_Port_InputByteCount), "0");
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{"event AutoInput(bytes:616263, 3)",
                                                  "event AutoInput(bytes:64, 1)"}));
}

TEST_F(PortConnections, AnOccupierThatCountsGetsUberAutoInputAndTheCountsGoOn) {
  auto t1 = Place(sibling_kind::counting_occupier, u"T1");
  ASSERT_EQ(rig.Put(DISPID_Port_InputThreshold, Variant::I4(1)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Dispatch(t1.get())), S_OK);
  EXPECT_FALSE(rig.impl->CountingSuppressed());
  ASSERT_TRUE(rig.Open(0));  // automatic input
  rig.Take();
  rig.device->Feed("ef");
  // The threshold events come after the count: once both are in, this delivery is over.
  ASSERT_TRUE(rig.PumpUntil([&] {
    return std::count(rig.lines.begin(), rig.lines.end(), "event CommIOState(512)") == 2;
  }));
  EXPECT_EQ(rig.Show(DISPID_Port_InputByteCount), "2");
  EXPECT_EQ(rig.Take(),
            (std::vector<std::string>{"event _UberAutoInput(bytes:6566, 2)",
                                      "event CommIOState(512)", "event CommIOState(512)"}));

  // Free again: AutoInput, counted.
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Variant::Dispatch(nullptr)), S_OK);
  rig.device->Feed("g");
  ASSERT_TRUE(rig.PumpUntil([&] { return HasLine("event CommIOState(512)"); }));
  EXPECT_EQ(rig.Show(DISPID_Port_InputByteCount), "3");
  EXPECT_EQ(rig.Take(),
            (std::vector<std::string>{"event AutoInput(bytes:67, 1)", "event CommIOState(512)"}));
}

TEST_F(PortConnections, BlockingReadsCountOnlyForAnOccupierThatCounts) {
  auto t1 = Place(sibling_kind::occupier, u"T1");
  auto t2 = Place(sibling_kind::counting_occupier, u"T2");
  ASSERT_EQ(rig.Put(DISPID_Port_InputThreshold, Variant::I4(1)), S_OK);
  ASSERT_TRUE(rig.Open(1));  // blocking
  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Dispatch(t1.get())), S_OK);
  rig.Take();
  rig.device->Feed("xyz");
  ArrayRef bytes;
  EXPECT_EQ(rig.Run(DISPID_Port_InputB, {bytes.Ref(), Variant::I4(3)}), "-2");  // the host: no
  EXPECT_EQ(rig.Run(DISPID_Port__InputB, {bytes.Ref(), Variant::I4(3)}), "3");
  EXPECT_EQ(rig.Show(DISPID_Port_InputByteCount), "0");
  EXPECT_TRUE(rig.Take().empty());

  ASSERT_EQ(rig.Put(DISPID_Port__TermOrFile, Dispatch(t2.get())), S_OK);
  rig.device->Feed("uv");
  EXPECT_EQ(rig.Run(DISPID_Port__InputB, {bytes.Ref(), Variant::I4(2)}), "2");
  EXPECT_EQ(rig.Show(DISPID_Port_InputByteCount), "2");
  EXPECT_EQ(rig.Take(),
            (std::vector<std::string>{"event CommIOState(512)", "event CommIOState(512)"}));
  EXPECT_EQ(rig.Run(DISPID_Port__Output, {Variant::Str(u"ab")}), "2");
  EXPECT_EQ(rig.Show(DISPID_Port_OutputByteCount), "2");
}

// ---- a modem control's line ---------------------------------------------------------------------

TEST_F(PortConnections, OpenTakesADcbOnlyFromALinkedModemAndOnlyAWholeOne) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 9600;
  dcb.ByteSize = 8;
  const std::string whole(reinterpret_cast<const char*>(&dcb), sizeof dcb);
  // No modem control: a DCB is no baud rate.
  EXPECT_EQ(rig.Run(DISPID_Port__Open, {Variant::I4(rig.portNumber_), ByteArray(whole)}),
            Failure(E_INVALIDARG));
  EXPECT_FALSE(rig.device->IsOpen());

  auto q1 = Place(sibling_kind::modem, u"Q1");
  ASSERT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Dispatch(q1.get())}), "true");
  // Linked: a baud rate, a short DCB or none at all is refused; so is a handle that is none.
  EXPECT_EQ(rig.Run(DISPID_Port__Open, {Variant::I4(rig.portNumber_), Variant::I4(9600)}),
            Failure(E_INVALIDARG));
  EXPECT_EQ(rig.Run(DISPID_Port__Open, {Variant::I4(rig.portNumber_), ByteArray(whole.substr(1))}),
            Failure(E_INVALIDARG));
  EXPECT_EQ(rig.Run(DISPID_Port__Open), Failure(E_INVALIDARG));
  EXPECT_EQ(rig.Run(DISPID_Port__Open, {Variant::I4(0x7FFF0000), ByteArray(whole)}),
            Failure(kQueryFailed));
  EXPECT_EQ(rig.Show(DISPID_Port_Opened), "false");

  // The modem control dials the device and hands it over; the Port control's close leaves the
  // modem control's handle, and with it the device, open.
  VARIANT_BOOL opened = VARIANT_FALSE;
  const std::string device = "\\\\.\\COM" + std::to_string(rig.portNumber_);
  ASSERT_EQ(q1->Dial(device, &opened), S_OK);
  EXPECT_EQ(opened, VARIANT_TRUE);
  EXPECT_EQ(rig.Show(DISPID_Port_Opened), "true");
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"at")}), "1");  // queued
  ASSERT_TRUE(rig.PumpUntil([&] { return HasLine("event NonblockOutput(1, 2)"); }));
  EXPECT_EQ(rig.device->TakeWritten(), "at");
  VARIANT_BOOL closed = VARIANT_FALSE;
  ASSERT_EQ(q1->ClosePort(&closed), S_OK);
  EXPECT_EQ(closed, VARIANT_TRUE);
  EXPECT_EQ(rig.Show(DISPID_Port_Opened), "false");
  EXPECT_TRUE(rig.device->IsOpen());
  EXPECT_EQ(q1->Send("ok"), S_OK);
  EXPECT_EQ(rig.device->TakeWritten(), "ok");
  q1->HangUp();
  EXPECT_FALSE(rig.device->IsOpen());
}

// The whole road over a pseudo-terminal: the modem control opens the line itself, the Port
// control adopts it with the line settings the modem control found, data crosses both ways, and
// the close gives the line back to the modem control, which can still use it.
TEST(PortModemLine, ADialledLineIsAdoptedUsedAndGivenBack) {
  PortRig rig(NextPortNumber());
  int master = -1, slave = -1;
  ASSERT_TRUE(OpenRawPty(&master, &slave));
  struct termios line;
  tcgetattr(slave, &line);
  cfmakeraw(&line);
  cfsetispeed(&line, B19200);
  cfsetospeed(&line, B19200);
  tcsetattr(slave, TCSANOW, &line);
  fcntl(master, F_SETFL, O_NONBLOCK);
  auto fromMaster = [&](std::size_t size) {
    std::string got;
    rig.PumpUntil([&] {
      char buf[64];
      ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
      return got.size() >= size;
    });
    return got;
  };

  auto q1 = MakeObject<SiblingControl>(sibling_kind::modem,
                                       [&](const std::string& l) { rig.lines.push_back(l); });
  ASSERT_EQ(rig.form->AddControl(q1->unknown(), u"Q1"), S_OK);
  ASSERT_EQ(rig.Run(DISPID_Port_ConnectTapiCtl, {Variant::Dispatch(q1->dispatch())}), "true");
  rig.Take();
  VARIANT_BOOL opened = VARIANT_FALSE;
  ASSERT_EQ(q1->Dial(ttyname(slave), &opened), S_OK);
  ASSERT_EQ(opened, VARIANT_TRUE);
  EXPECT_EQ(rig.Show(DISPID_Port_BaudRate), "19200");  // from the modem control's DCB
  const auto notes = rig.Take();
  EXPECT_NE(std::find(notes.begin(), notes.end(), "changed 81"), notes.end());
  EXPECT_EQ(rig.Run(DISPID_Port_Open), "false");

  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"hello")}), "1");
  EXPECT_EQ(fromMaster(5), "hello");
  ASSERT_EQ(write(master, "world", 5), 5);
  ASSERT_TRUE(rig.PumpUntil([&] {
    return std::find(rig.lines.begin(), rig.lines.end(), "event AutoInput(bytes:776F726C64, 5)") !=
           rig.lines.end();
  }));

  EXPECT_EQ(rig.Run(DISPID_Port_Close), "false");  // the modem control owns the line
  VARIANT_BOOL closed = VARIANT_FALSE;
  ASSERT_EQ(q1->ClosePort(&closed), S_OK);
  EXPECT_EQ(closed, VARIANT_TRUE);
  EXPECT_EQ(rig.Show(DISPID_Port_Opened), "false");
  // The line is still the modem control's: its handle writes, and its settings are untouched.
  EXPECT_EQ(q1->Send("bye"), S_OK);
  EXPECT_EQ(fromMaster(3), "bye");
  tcgetattr(slave, &line);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
  q1->HangUp();
  close(master);
  close(slave);
}

}  // namespace
}  // namespace ravlin::testing
