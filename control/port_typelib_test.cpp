#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "control/port_enums.h"
#include "control/port_members.h"
#include "control/port_messages.h"

namespace ravlin {
namespace {

TEST(PortTypeLibrary, EveryDocumentedDispidIsPresentAndNothingElse) {
  const std::set<int> methods = {-552, 1,   2,   3,   4,   5,   6,   7,   8,   9,
                                 16,   17,  18,  19,  20,  21,  22,  23,  337, 338,
                                 339,  340, 341, 342, 343, 359, 360, 361, 368, 369,
                                 370,  371, 372, 373, 374, 375, 376, 377, 384, 385};
  const std::set<int> getters = {80,  81,  82,  83,  84,  85,  86,  87,  88,  89,
                                 96,  97,  98,  99,  100, 101, 102, 103, 104, 105,
                                 112, 113, 114, 115, 116, 117, 118, 119, 120, 121,
                                 128, 129, 130, 131, 132, 133, 134, 135, 136, 137};
  const std::set<int> readOnly = {83, 84, 86, 96, 98, 100, 104, 112, 115, 116, 118, 131};
  std::set<int> foundMethods, foundGets, foundPuts;
  for (const member_spec& m : iport18Members()) {
    auto& set = m.kind == member_kind::method    ? foundMethods
                : m.kind == member_kind::propget ? foundGets
                                                 : foundPuts;
    EXPECT_TRUE(set.insert(m.dispid).second) << "duplicate " << m.name;
  }
  EXPECT_EQ(foundMethods, methods);
  EXPECT_EQ(foundGets, getters);
  std::set<int> puts;
  for (int id : getters)
    if (!readOnly.count(id)) puts.insert(id);
  for (int id : {344, 345, 352, 353, 354, 355, 356, 357, 358}) puts.insert(id);
  EXPECT_EQ(foundPuts, puts);
  // Late binding by DISPID 16 reaches DisconnectTapiCtl; 10 reaches nothing.
  ASSERT_NE(findPortMember(16, member_kind::method), nullptr);
  EXPECT_STREQ(findPortMember(16, member_kind::method)->name, "DisconnectTapiCtl");
  EXPECT_EQ(findPortMember(10, member_kind::method), nullptr);
}

TEST(PortTypeLibrary, HiddenMembersAreExactlyTheUnderscoredOnesAndOthersHaveHelp) {
  for (const member_spec& m : iport18Members()) {
    bool underscored = m.name[0] == '_';
    EXPECT_EQ((m.flags & mf_hidden) != 0, underscored) << m.name;
    if (!underscored) {
      EXPECT_NE(m.help, nullptr) << m.name;
    }
  }
  EXPECT_TRUE(findPortMember(129, member_kind::propget)->flags & mf_nonbrowsable);
  EXPECT_TRUE(findPortMember(135, member_kind::propput)->flags & mf_nonbrowsable);
  EXPECT_STREQ(findPortMember(19, member_kind::method)->help, "シリアルポートをオープン");
}

TEST(PortTypeLibrary, OptionalArgumentsCarryTheirDefaults) {
  const member_spec* open = findPortMember(DISPID_Port_Open, member_kind::method);
  ASSERT_EQ(open->params.size(), 9u);
  for (const param_spec& p : open->params) {
    EXPECT_TRUE(p.flags & pf_optional) << p.name;
    if (p.type == vt::r4) {
      EXPECT_EQ(p.def.kind, default_value::r4);
      EXPECT_EQ(p.def.f, -1.0f);
    } else {
      EXPECT_EQ(p.def.i, -1) << p.name;
    }
  }
  EXPECT_EQ(open->params[2].type, vt::i2);  // DataBits as the 16-bit -1
  EXPECT_EQ(open->params[2].def.kind, default_value::i2);
  const member_spec* input = findPortMember(DISPID_Port__Input, member_kind::method);
  ASSERT_EQ(input->params.size(), 2u);
  EXPECT_EQ(input->params[0].flags, pf_out | pf_optional);
  EXPECT_EQ(std::u16string(input->params[0].def.s), u"0");
  EXPECT_EQ(input->params[1].def.i, -1);
  const member_spec* inputB = findPortMember(DISPID_Port_InputB, member_kind::method);
  EXPECT_FALSE(inputB->params[0].flags & pf_optional);
  EXPECT_EQ(inputB->params[0].type, vt::bytes | vt::byref);
}

TEST(PortTypeLibrary, EventsInOrderWithTheirArguments) {
  auto events = iport18EventMembers();
  ASSERT_EQ(events.size(), 9u);
  for (std::size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i].dispid, 512 + int(i));
  EXPECT_STREQ(events[5].name, "NonblockInput");
  EXPECT_EQ(events[6].params[1].type, vt::bytes | vt::byref);
  EXPECT_TRUE(events[8].flags & mf_hidden);
  // Each _Fire_ member mirrors its event's parameters.
  for (const member_spec& e : events) {
    std::string fire = std::string("_Fire_") + e.name;
    bool found = false;
    for (const member_spec& m : iport18Members())
      if (fire == m.name) {
        found = true;
        ASSERT_EQ(m.params.size(), e.params.size()) << fire;
        for (std::size_t i = 0; i < e.params.size(); ++i)
          EXPECT_EQ(m.params[i].type, e.params[i].type) << fire;
      }
    EXPECT_TRUE(found) << fire;
  }
}

TEST(PortTypeLibrary, EnumerationsAndMessages) {
  auto enums = portEnumerations();
  ASSERT_EQ(enums.size(), 7u);
  std::map<std::string, std::size_t> sizes;
  for (const auto& e : enums) sizes[e.name] = e.constants.size();
  EXPECT_EQ(sizes["CommErrorIdEnum"], 6u);
  EXPECT_EQ(sizes["CommIOStateIdEnum"], 8u);
  EXPECT_EQ(sizes["CommStateIdEnum"], 12u);
  EXPECT_EQ(sizes["HandshakingEnum"], 5u);
  EXPECT_EQ(sizes["ParityEnum"], 5u);
  EXPECT_EQ(sizes["IOModeEnum"], 3u);
  EXPECT_EQ(sizes["EventMaskIdEnum"], 12u);

  EXPECT_EQ(portErrorHResult(207), static_cast<win::HRESULT>(0x800400CF));
  EXPECT_EQ(portMessageText(201), u"この操作は、シリアルポートがオープンのときにのみ有効です。");
  EXPECT_EQ(portErrorDescription(214), u"Unknown Error");
  EXPECT_EQ(portErrorDescription(0), u"Unknown Error");
  int withText = 0;
  for (int id = 190; id < 230; ++id) withText += !portMessageText(id).empty();
  EXPECT_EQ(withText, 17);
}

}  // namespace
}  // namespace ravlin
