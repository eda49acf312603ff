// The property pages' behaviour without dialogs: tables, loading, dirty tracking, Apply with
// refusals, Reset, and the modem-link rule, against the real control and against fake objects.
#include "control/page_model.h"

#include <gtest/gtest.h>

#include "control/page_test_support.h"
#include "control/port_messages.h"
#include "control/port_test_support.h"
#include "platform/com/property_page.h"
#include "platform/com/system_message.h"

namespace ravlin::testing {
namespace {

std::vector<std::u16string> EntryTexts(const control_spec& c) {
  std::vector<std::u16string> texts;
  for (const auto& e : c.entries) texts.emplace_back(e.text);
  return texts;
}

const control_spec& ControlById(const page_spec& spec, int id) {
  for (const auto& c : spec.controls)
    if (c.id == id) return c;
  ADD_FAILURE() << "no control " << id;
  return spec.controls[0];
}

std::vector<std::u16string> Captions(const page_spec& spec) {
  std::vector<std::u16string> captions;
  for (const auto& p : spec.properties) captions.emplace_back(p.caption);
  return captions;
}

// A model over the given objects, recording warnings and site notifications.
struct Harness {
  explicit Harness(const page_spec& spec) : model(spec) {
    model.set_warn([this](std::u16string_view title, std::u16string_view text) {
      warnings.emplace_back(std::u16string(title), std::u16string(text));
    });
    model.set_changed([this](DWORD status) { statuses.push_back(status); });
    model.set_refresh([this](std::size_t control) { refreshed.push_back(control); });
  }
  void Objects(std::initializer_list<IUnknown*> objects) {
    std::vector<IUnknown*> list(objects);
    model.SetObjects(list);
  }
  std::size_t At(int id) const { return model.IndexOf(id); }
  const control_state& S(int id) const { return model.State(At(id)); }
  void Edit(int id, std::u16string_view text) { model.Edit(At(id), text); }
  void Select(int id, std::u16string_view entryText) {
    const control_spec& c = model.Spec().controls[At(id)];
    for (std::size_t e = 0; e < c.entries.size(); ++e)
      if (c.entries[e].text == entryText) return model.Select(At(id), static_cast<int>(e));
    ADD_FAILURE() << "no entry in control " << id;
  }
  std::u16string Selected(int id) const {
    const control_state& s = S(id);
    if (s.selection < 0) return u"(none)";
    return model.Spec().controls[At(id)].entries[s.selection].text;
  }

  PageModel model;
  std::vector<std::pair<std::u16string, std::u16string>> warnings;
  std::vector<DWORD> statuses;
  std::vector<std::size_t> refreshed;
};

LONG I4(PortRig& rig, DISPID id) {
  Variant v = rig.Get(id);
  EXPECT_EQ(v.ChangeType(VT_I4), S_OK);
  return v.lVal;
}

float R4(PortRig& rig, DISPID id) {
  Variant v = rig.Get(id);
  EXPECT_EQ(v.ChangeType(VT_R4), S_OK);
  return v.fltVal;
}

// ---- the tables --------------------------------------------------------------------------------

TEST(PageTables, ListsHoldTheDocumentedEntriesInOrderWithTheirValues) {
  const page_spec& p1 = Port19Page1Spec();
  EXPECT_EQ(EntryTexts(ControlById(p1, 204)),
            (std::vector<std::u16string>{u"300", u"600", u"1200", u"1800", u"2400", u"4800",
                                         u"7200", u"9600", u"14400", u"19200", u"38400", u"56000",
                                         u"57600", u"115200"}));
  EXPECT_EQ(EntryTexts(ControlById(p1, 217)),
            (std::vector<std::u16string>{u"Even", u"Mark", u"None", u"Odd", u"Space"}));
  std::vector<double> parityValues;
  for (const auto& e : ControlById(p1, 217).entries) parityValues.push_back(e.value);
  EXPECT_EQ(parityValues, (std::vector<double>{parEven, parMark, parNone, parOdd, parSpace}));
  EXPECT_EQ(EntryTexts(ControlById(p1, 218)),
            (std::vector<std::u16string>{u"5", u"6", u"7", u"8"}));
  EXPECT_EQ(EntryTexts(ControlById(p1, 219)),
            (std::vector<std::u16string>{u"1.0", u"1.5", u"2.0"}));
  EXPECT_EQ(ControlById(p1, 219).entries[1].value, 1.5);
  EXPECT_EQ(EntryTexts(ControlById(p1, 220)),
            (std::vector<std::u16string>{u"Both", u"DtrDsr", u"None", u"RtsCts", u"XonXoff"}));
  std::vector<double> hsValues;
  for (const auto& e : ControlById(p1, 220).entries) hsValues.push_back(e.value);
  EXPECT_EQ(hsValues, (std::vector<double>{hsBoth, hsDtrDsr, hsNone, hsRtsCts, hsXonXoff}));
  EXPECT_EQ(EntryTexts(ControlById(p1, 209)),
            (std::vector<std::u16string>{u"AutoInput", u"Blocking", u"NonBlocking"}));

  const page_spec& p2 = Port19Page2Spec();
  for (int id : {205, 207, 228, 208}) {
    const auto texts = EntryTexts(ControlById(p2, id));
    ASSERT_EQ(texts.size(), 128u) << id;
    EXPECT_EQ(texts.front(), u"0");
    EXPECT_EQ(texts[17], u"17");
    EXPECT_EQ(texts.back(), u"127");
    EXPECT_EQ(ControlById(p2, id).entries[100].value, 100);
  }
}

TEST(PageTables, PropertiesAreWrittenInTheDocumentedOrderUnderTheirCaptions) {
  EXPECT_EQ(
      Captions(Port19Page1Spec()),
      (std::vector<std::u16string>{u"PortNumber", u"BaudRate", u"Parity", u"DataBits", u"StopBits",
                                   u"Handshaking", u"IOMode", u"Tx Timeout", u"Rx Timeout", u"Rts",
                                   u"Dtr", u"Tx BufferSize", u"Rx BufferSize"}));
  EXPECT_EQ(Captions(Port19Page2Spec()),
            (std::vector<std::u16string>{u"On Threshold", u"Off Threshold", u"Xon Character",
                                         u"Xoff Character", u"Input Threshold", u"Output Threshold",
                                         u"Event Byte", u"ParityReplace Byte", u"NullDiscard",
                                         u"AllowConnection"}));
  EXPECT_EQ(Captions(Port19Page4Spec()), (std::vector<std::u16string>{u"EventMask"}));
  // Only the first six of page 1 step aside for a modem control.
  int lineSettings = 0;
  for (const auto& p : Port19Page1Spec().properties) lineSettings += p.lineSetting ? 1 : 0;
  EXPECT_EQ(lineSettings, 6);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(Port19Page1Spec().properties[i].lineSetting) << i;
  // The twelve event boxes cover twelve distinct bits.
  std::int32_t all = 0;
  for (const auto& c : Port19Page4Spec().controls) {
    EXPECT_EQ(c.kind, control_kind::mask_check);
    EXPECT_EQ(all & c.bit, 0) << c.id;
    all |= c.bit;
  }
  EXPECT_EQ(Port19Page4Spec().controls.size(), 12u);
  EXPECT_EQ(all, 1 | 2 | 4 | 8 | 16 | 32 | 64 | 128 | 256 | 1024 | 2048 | 4096);
}

TEST(PageNumbers, EditFieldsReadAsSignedDecimalAndShowAsPercentLd) {
  EXPECT_EQ(ParseSignedDecimal(u"9600"), 9600);
  EXPECT_EQ(ParseSignedDecimal(u"-1"), -1);
  EXPECT_EQ(ParseSignedDecimal(u"  +42abc"), 42);
  EXPECT_EQ(ParseSignedDecimal(u""), 0);
  EXPECT_EQ(ParseSignedDecimal(u"abc"), 0);
  EXPECT_EQ(ParseSignedDecimal(u"-"), 0);
  EXPECT_EQ(ParseSignedDecimal(u"2147483647"), 2147483647);
  EXPECT_EQ(ParseSignedDecimal(u"99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseSignedDecimal(u"-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseSignedDecimal(u"-99999999999"), -2147483647 - 1);
  EXPECT_EQ(FormatDecimal(-1), u"-1");
  EXPECT_EQ(FormatDecimal(115200), u"115200");
}

// ---- loading and dirty -------------------------------------------------------------------------

TEST(PageModelLoad, Page1ShowsTheControlsValuesAndIsClean) {
  PortRig rig(NextPortNumber());
  ASSERT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(4800)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_Parity, Variant::I4(parOdd)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_Rts, Variant::Bool(false)), S_OK);
  Harness h(Port19Page1Spec());
  h.Objects({rig.port.get()});
  EXPECT_EQ(h.model.ObjectCount(), 1u);
  h.model.Load();
  EXPECT_EQ(h.S(216).text, FormatDecimal(rig.portNumber_));
  EXPECT_EQ(h.S(204).text, u"4800");
  EXPECT_EQ(h.Selected(217), u"Odd");
  EXPECT_EQ(h.Selected(218), u"8");
  EXPECT_EQ(h.Selected(219), u"1.0");
  EXPECT_EQ(h.Selected(220), u"Both");
  EXPECT_EQ(h.Selected(209), u"AutoInput");
  EXPECT_EQ(h.S(221).text, u"2000");
  EXPECT_EQ(h.S(222).text, u"2000");
  EXPECT_EQ(h.S(212).text, u"4096");
  EXPECT_EQ(h.S(213).text, u"4096");
  EXPECT_FALSE(h.S(223).checked);  // Rts
  EXPECT_TRUE(h.S(224).checked);   // Dtr
  for (std::size_t i = 0; i < h.model.ControlCount(); ++i) EXPECT_TRUE(h.model.State(i).enabled);
  EXPECT_TRUE(h.model.Loaded());
  EXPECT_FALSE(h.model.Dirty());
  EXPECT_TRUE(h.statuses.empty());
  EXPECT_EQ(h.refreshed, (std::vector<std::size_t>{page_view::kAllControls}));
}

TEST(PageModelLoad, Pages2And4ShowTheControlsValues) {
  PortRig rig(NextPortNumber());
  ASSERT_EQ(rig.Put(DISPID_Port_EventMask, Variant::I4(1 | 64 | 4096)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_EventByte, Variant::UI1(13)), S_OK);
  Harness p2(Port19Page2Spec());
  p2.Objects({rig.port.get()});
  p2.model.Load();
  EXPECT_EQ(p2.S(203).text, u"25");
  EXPECT_EQ(p2.S(204).text, u"75");
  EXPECT_EQ(p2.Selected(205), u"17");
  EXPECT_EQ(p2.Selected(207), u"19");
  EXPECT_EQ(p2.S(210).text, u"20000");
  EXPECT_EQ(p2.Selected(228), u"13");
  EXPECT_EQ(p2.Selected(208), u"0");
  EXPECT_FALSE(p2.S(225).checked);
  EXPECT_TRUE(p2.S(231).checked);

  Harness p4(Port19Page4Spec());
  p4.Objects({rig.port.get()});
  p4.model.Load();
  for (const auto& c : Port19Page4Spec().controls)
    EXPECT_EQ(p4.S(c.id).checked, c.id == 220 || c.id == 215 || c.id == 225) << c.id;
}

TEST(PageModelLoad, WithSeveralObjectsTheLastOnesValuesRemainAndOthersAreLeftOut) {
  auto first = MakeObject<FakePort>();
  auto second = MakeObject<FakePort>();
  auto stranger = MakeObject<FakePort>(false);  // no IPort18
  first->values[DISPID_Port_BaudRate] = Variant::I4(1200);
  second->values[DISPID_Port_BaudRate] = Variant::I4(57600);
  first->values[DISPID_Port_Parity] = Variant::I4(parMark);
  second->values.erase(DISPID_Port_Parity);  // cannot say: the first one's value stays
  Harness h(Port19Page1Spec());
  h.Objects({first.get(), stranger.get(), second.get()});
  EXPECT_EQ(h.model.ObjectCount(), 2u);
  h.model.Load();
  EXPECT_EQ(h.S(204).text, u"57600");
  EXPECT_EQ(h.Selected(217), u"Mark");
  h.model.Apply();
  EXPECT_TRUE(stranger->writes.empty());
}

TEST(PageModelDirty, EveryKindOfChangeMarksDirtyAndTellsTheSite) {
  PortRig rig(NextPortNumber());
  Harness h(Port19Page1Spec());
  h.Objects({rig.port.get()});
  h.model.Load();
  const DWORD expected = PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE;
  h.Edit(216, u"3");
  EXPECT_TRUE(h.model.Dirty());
  h.model.Apply();
  EXPECT_FALSE(h.model.Dirty());
  h.Select(217, u"Even");
  EXPECT_TRUE(h.model.Dirty());
  h.model.Apply();
  h.model.Check(h.At(223), false);
  EXPECT_TRUE(h.model.Dirty());
  h.Edit(204, u"2400");  // typed into the baud-rate drop-down
  EXPECT_EQ(h.statuses, (std::vector<DWORD>{expected, expected, expected, expected}));
  // Nothing happens for a control or entry that does not exist.
  h.model.Apply();
  h.statuses.clear();
  h.model.Edit(99, u"1");
  h.model.Select(h.At(217), 5);
  h.model.Check(h.model.ControlCount(), true);
  EXPECT_FALSE(h.model.Dirty());
  EXPECT_TRUE(h.statuses.empty());
}

// ---- Apply -------------------------------------------------------------------------------------

TEST(PageModelApply, Page1WritesEveryFieldToTheControl) {
  PortRig rig(NextPortNumber());
  Harness h(Port19Page1Spec());
  h.Objects({rig.port.get()});
  h.model.Load();
  h.Edit(216, u"7");
  h.Edit(204, u"19200");
  h.Select(217, u"Odd");
  h.Select(218, u"7");
  h.Select(219, u"2.0");
  h.Select(220, u"RtsCts");
  h.Select(209, u"Blocking");
  h.Edit(221, u"-1");
  h.Edit(222, u"1500");
  h.Edit(212, u"2048");
  h.Edit(213, u"8192");
  h.model.Check(h.At(223), false);
  h.model.Check(h.At(224), false);
  h.model.Apply();
  EXPECT_FALSE(h.model.Dirty());
  EXPECT_TRUE(h.warnings.empty());
  EXPECT_EQ(I4(rig, DISPID_Port_PortNumber), 7);
  EXPECT_EQ(I4(rig, DISPID_Port_BaudRate), 19200);
  EXPECT_EQ(I4(rig, DISPID_Port_Parity), parOdd);
  EXPECT_EQ(I4(rig, DISPID_Port_DataBits), 7);
  EXPECT_EQ(R4(rig, DISPID_Port_StopBits), 2.0f);
  EXPECT_EQ(I4(rig, DISPID_Port_Handshaking), hsRtsCts);
  EXPECT_EQ(I4(rig, DISPID_Port_IOMode), iomBlocking);
  EXPECT_EQ(I4(rig, DISPID_Port_OutputTimeout), -1);
  EXPECT_EQ(I4(rig, DISPID_Port_InputTimeout), 1500);
  EXPECT_EQ(I4(rig, DISPID_Port_OutputBufferSize), 2048);
  EXPECT_EQ(I4(rig, DISPID_Port_InputBufferSize), 8192);
  EXPECT_EQ(I4(rig, DISPID_Port_Rts), 0);
  EXPECT_EQ(I4(rig, DISPID_Port_Dtr), 0);
}

TEST(PageModelApply, XonEqualToXoffIsReportedTheListGoesBackAndTheRestIsNotWritten) {
  PortRig rig(NextPortNumber());
  Harness h(Port19Page2Spec());
  h.Objects({rig.port.get()});
  h.model.Load();
  h.Edit(203, u"30");    // before Xon: written
  h.Select(205, u"19");  // Xoff is 19
  h.Edit(210, u"500");   // after Xon: not written
  h.Select(228, u"10");
  h.model.Check(h.At(225), true);
  h.refreshed.clear();
  h.model.Apply();
  ASSERT_EQ(h.warnings.size(), 1u);
  EXPECT_EQ(h.warnings[0].first, u"Xon Character");
  EXPECT_EQ(h.warnings[0].second, portMessageText(msgXonEqualsXoff));
  EXPECT_EQ(h.Selected(205), u"17");
  EXPECT_EQ(h.refreshed, (std::vector<std::size_t>{h.At(205)}));
  EXPECT_FALSE(h.model.Dirty());
  EXPECT_EQ(I4(rig, DISPID_Port_OnThreshold), 30);
  EXPECT_EQ(I4(rig, DISPID_Port_XonByte), 17);
  EXPECT_EQ(I4(rig, DISPID_Port_InputThreshold), 20000);
  EXPECT_EQ(I4(rig, DISPID_Port_EventByte), 0);
  EXPECT_EQ(I4(rig, DISPID_Port_NullDiscard), 0);
  // The fields the user changed after Xon still show the user's values.
  EXPECT_EQ(h.S(210).text, u"500");
}

TEST(PageModelApply, ARefusalWithoutErrorInfoShowsTheSystemMessageAndReloadsTheList) {
  PortRig rig(NextPortNumber());
  Harness h(Port19Page1Spec());
  h.Objects({rig.port.get()});
  h.model.Load();
  h.Select(219, u"1.5");  // 1.5 stop bits with 8 data bits: E_INVALIDARG, no error info
  h.Edit(222, u"1234");
  h.model.Apply();
  ASSERT_EQ(h.warnings.size(), 1u);
  EXPECT_EQ(h.warnings[0].first, u"StopBits");
  EXPECT_EQ(h.warnings[0].second, SystemMessageText(E_INVALIDARG));
  EXPECT_EQ(h.Selected(219), u"1.0");
  EXPECT_EQ(I4(rig, DISPID_Port_InputTimeout), 2000);
}

TEST(PageModelApply, AfterTheFirstObjectRefusesTheNextObjectIsStillWrittenInTableOrder) {
  auto first = MakeObject<FakePort>();
  auto second = MakeObject<FakePort>();
  first->refusals[DISPID_Port_OffThreshold] = {E_INVALIDARG, u"too high"};
  first->values[DISPID_Port_OffThreshold] = Variant::I4(60);
  Harness h(Port19Page2Spec());
  h.Objects({first.get(), second.get()});
  h.model.Load();
  h.Edit(204, u"90");
  h.model.Apply();
  ASSERT_EQ(h.warnings.size(), 1u);
  EXPECT_EQ(h.warnings[0],
            (std::pair<std::u16string, std::u16string>{u"Off Threshold", u"too high"}));
  // The field shows the refusing object's value again.
  EXPECT_EQ(h.S(204).text, u"60");
  EXPECT_EQ(first->WrittenIds(),
            (std::vector<DISPID>{DISPID_Port_OnThreshold, DISPID_Port_OffThreshold}));
  EXPECT_EQ(second->WrittenIds(),
            (std::vector<DISPID>{DISPID_Port_OnThreshold, DISPID_Port_OffThreshold,
                                 DISPID_Port_XonByte, DISPID_Port_XoffByte,
                                 DISPID_Port_InputThreshold, DISPID_Port_OutputThreshold,
                                 DISPID_Port_EventByte, DISPID_Port_ParityReplaceByte,
                                 DISPID_Port_NullDiscard, DISPID_Port_AllowConnection}));
  // Written as the types the control declares; the edit went in as a number, as entered.
  EXPECT_EQ(second->Written(DISPID_Port_OffThreshold).vt, VT_I4);
  EXPECT_EQ(second->Written(DISPID_Port_OffThreshold).lVal, 90);  // entered, not reloaded
  EXPECT_EQ(second->Written(DISPID_Port_XonByte).vt, VT_UI1);
  EXPECT_EQ(second->Written(DISPID_Port_AllowConnection).vt, VT_BOOL);
  EXPECT_EQ(second->Written(DISPID_Port_AllowConnection).boolVal, VARIANT_TRUE);
}

TEST(PageModelApply, NothingIsWrittenBeforeTheFieldsWereLoaded) {
  auto fake = MakeObject<FakePort>();
  Harness h(Port19Page1Spec());
  h.Objects({fake.get()});
  h.model.Apply();
  EXPECT_TRUE(fake->writes.empty());
  EXPECT_FALSE(h.model.Dirty());
}

TEST(PageModelApply, Page4WritesTheMaskOfTheTwelveBoxes) {
  PortRig rig(NextPortNumber());
  Harness h(Port19Page4Spec());
  h.Objects({rig.port.get()});
  h.model.Load();
  h.model.Check(h.At(220), true);   // RXCHAR
  h.model.Check(h.At(214), false);  // RING
  h.model.Apply();
  EXPECT_EQ(I4(rig, DISPID_Port_EventMask), 376 + 1 - 256);
}

// ---- modem link --------------------------------------------------------------------------------

TEST(PageModelModemLink, LineSettingsAreDisabledAndApplyLeavesThemAlone) {
  auto linked = MakeObject<FakePort>();
  linked->modemLink = true;
  Harness h(Port19Page1Spec());
  h.Objects({linked.get()});
  h.model.Load();
  for (int id : {216, 204, 217, 218, 219, 220}) EXPECT_FALSE(h.S(id).enabled) << id;
  for (int id : {209, 221, 222, 212, 213, 223, 224}) EXPECT_TRUE(h.S(id).enabled) << id;
  h.Edit(221, u"3000");
  h.model.Apply();
  EXPECT_EQ(linked->WrittenIds(),
            (std::vector<DISPID>{DISPID_Port_SetIOMode, DISPID_Port_OutputTimeout,
                                 DISPID_Port_InputTimeout, DISPID_Port_Rts, DISPID_Port_Dtr,
                                 DISPID_Port_OutputBufferSize, DISPID_Port_InputBufferSize}));
  EXPECT_EQ(linked->Written(DISPID_Port_OutputTimeout).lVal, 3000);
}

TEST(PageModelModemLink, AnObjectThatCannotAnswerHasNoLinkAndAnUnlinkedOneIsStillWritten) {
  auto silent = MakeObject<FakePort>();
  silent->tapiFails = true;
  auto linked = MakeObject<FakePort>();
  linked->modemLink = true;
  Harness alone(Port19Page1Spec());
  alone.Objects({silent.get()});
  alone.model.Load();
  EXPECT_TRUE(alone.S(216).enabled);

  Harness both(Port19Page1Spec());
  both.Objects({silent.get(), linked.get()});
  both.model.Load();
  EXPECT_FALSE(both.S(216).enabled);
  silent->writes.clear();
  both.model.Apply();
  EXPECT_EQ(silent->WrittenIds().size(), 13u);
  EXPECT_EQ(silent->WrittenIds().front(), DISPID_Port_PortNumber);
  EXPECT_EQ(linked->WrittenIds().size(), 7u);
}

// ---- Reset -------------------------------------------------------------------------------------

TEST(PageModelReset, Page1WritesTheDefaultsDropsDtrAndRtsAndLeavesThePageClean) {
  PortRig rig(NextPortNumber());
  ASSERT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::I4(38400)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_Handshaking, Variant::I4(hsNone)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_InputBufferSize, Variant::I4(100)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_InputTimeout, Variant::I4(50)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port__IOMode, Variant::I4(iomNonBlocking)), S_OK);
  // 5 data bits with 1.5 stop bits: 8 data bits are refused until the stop bits change.
  ASSERT_EQ(rig.Put(DISPID_Port_DataBits, Variant::I2(5)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_StopBits, Variant::R4(1.5f)), S_OK);
  Harness h(Port19Page1Spec());
  h.Objects({rig.port.get()});
  h.model.Load();
  h.Edit(204, u"1200");
  h.statuses.clear();
  h.model.Reset();
  EXPECT_FALSE(h.model.Dirty());
  EXPECT_EQ(h.statuses, (std::vector<DWORD>{PROPPAGESTATUS_CLEAN}));
  EXPECT_EQ(I4(rig, DISPID_Port_PortNumber), 1);
  EXPECT_EQ(I4(rig, DISPID_Port_IOMode), iomAutoInput);
  EXPECT_EQ(I4(rig, DISPID_Port_Dtr), 0);
  EXPECT_EQ(I4(rig, DISPID_Port_Rts), 0);
  EXPECT_EQ(I4(rig, DISPID_Port_InputBufferSize), 4096);
  EXPECT_EQ(I4(rig, DISPID_Port_OutputBufferSize), 4096);
  EXPECT_EQ(I4(rig, DISPID_Port_BaudRate), 9600);
  EXPECT_EQ(I4(rig, DISPID_Port_DataBits), 8);
  EXPECT_EQ(I4(rig, DISPID_Port_Parity), parNone);
  EXPECT_EQ(R4(rig, DISPID_Port_StopBits), 1.0f);
  EXPECT_EQ(I4(rig, DISPID_Port_Handshaking), hsBoth);
  EXPECT_EQ(I4(rig, DISPID_Port_InputTimeout), 2000);
  EXPECT_EQ(I4(rig, DISPID_Port_OutputTimeout), 2000);
  // The fields show the new values.
  EXPECT_EQ(h.S(204).text, u"9600");
  EXPECT_EQ(h.S(216).text, u"1");
  EXPECT_FALSE(h.S(223).checked);
  EXPECT_FALSE(h.S(224).checked);
  EXPECT_EQ(h.Selected(218), u"8");
}

TEST(PageModelReset, Page1UsesTheHiddenSettersSoALinkedControlResetsToo) {
  auto linked = MakeObject<FakePort>();
  linked->modemLink = true;
  linked->values[DISPID_Port_BaudRate] = Variant::I4(300);
  auto other = MakeObject<FakePort>();
  Harness h(Port19Page1Spec());
  h.Objects({linked.get(), other.get()});
  h.model.Load();
  h.model.Reset();
  const std::vector<DISPID> expected{
      DISPID_Port_PortNumber,    DISPID_Port__IOMode,         DISPID_Port_Dtr,
      DISPID_Port_Rts,           DISPID_Port_InputBufferSize, DISPID_Port_OutputBufferSize,
      DISPID_Port__BaudRate,     DISPID_Port__StopBits,       DISPID_Port__DataBits,
      DISPID_Port__Parity,       DISPID_Port__Handshaking,    DISPID_Port__InputTimeout,
      DISPID_Port__OutputTimeout};
  EXPECT_EQ(linked->WrittenIds(), expected);
  EXPECT_EQ(other->WrittenIds(), expected);
  EXPECT_EQ(linked->Written(DISPID_Port__BaudRate).lVal, 9600);
  EXPECT_EQ(linked->Written(DISPID_Port_Dtr).boolVal, VARIANT_FALSE);
  EXPECT_EQ(h.S(204).text, u"9600");
  EXPECT_TRUE(h.warnings.empty());  // refusals during a reset are not reported
}

TEST(PageModelReset, Page2RestoresSwappedXonXoffAndThresholdsThatBlockEachOther) {
  PortRig rig(NextPortNumber());
  // Xon and Xoff exactly swapped: neither default can be written while the other holds it.
  ASSERT_EQ(rig.Put(DISPID_Port_XoffByte, Variant::UI1(21)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_XonByte, Variant::UI1(19)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_XoffByte, Variant::UI1(17)), S_OK);
  // OnThreshold 25 is refused while OffThreshold is 20 (XoffLim 3276).
  ASSERT_EQ(rig.Put(DISPID_Port_OnThreshold, Variant::I4(10)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_OffThreshold, Variant::I4(20)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_AllowConnection, Variant::Bool(false)), S_OK);
  ASSERT_EQ(rig.Put(DISPID_Port_InputThreshold, Variant::I4(7)), S_OK);
  Harness h(Port19Page2Spec());
  h.Objects({rig.port.get()});
  h.model.Load();
  EXPECT_EQ(h.Selected(205), u"19");
  h.model.Reset();
  EXPECT_EQ(I4(rig, DISPID_Port_XonByte), 17);
  EXPECT_EQ(I4(rig, DISPID_Port_XoffByte), 19);
  EXPECT_EQ(I4(rig, DISPID_Port_OnThreshold), 25);
  EXPECT_EQ(I4(rig, DISPID_Port_OffThreshold), 75);
  EXPECT_EQ(I4(rig, DISPID_Port_AllowConnection), -1);
  EXPECT_EQ(I4(rig, DISPID_Port_InputThreshold), 20000);
  EXPECT_EQ(h.Selected(205), u"17");
  EXPECT_EQ(h.Selected(207), u"19");
  EXPECT_FALSE(h.model.Dirty());
}

TEST(PageModelReset, Page4WritesMask376) {
  PortRig rig(NextPortNumber());
  ASSERT_EQ(rig.Put(DISPID_Port_EventMask, Variant::I4(1)), S_OK);
  Harness h(Port19Page4Spec());
  h.Objects({rig.port.get()});
  h.model.Load();
  h.model.Reset();
  EXPECT_EQ(I4(rig, DISPID_Port_EventMask), 376);
  EXPECT_TRUE(h.S(214).checked);
  EXPECT_FALSE(h.S(220).checked);
}

}  // namespace
}  // namespace ravlin::testing
