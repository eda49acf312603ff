// The page objects' COM face (creation by class id, module lock, page info, the calls that need
// no dialog) and what the control does when the window library is not there.
#include "control/property_page.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "control/module.h"
#include "control/page_factory.h"
#include "control/page_test_support.h"
#include "control/port_test_support.h"
#include "control/ui_loader.h"
#include "platform/com/view_object.h"

namespace ravlin::testing {
namespace {

ComPtr<IPropertyPage> MakePage(const CLSID& clsid) {
  ComPtr<IPropertyPage> page;
  EXPECT_EQ(CreatePortPropertyPage(clsid, nullptr, IID_IPropertyPage, page.ReceiveVoid()), S_OK);
  return page;
}

TEST(PageFactory, MakesTheThreePagesAndNothingElse) {
  for (const CLSID& clsid : PortPropertyPages()) {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CreatePortPropertyPage(clsid, nullptr, IID_IUnknown, unknown.ReceiveVoid()), S_OK);
    ComPtr<IPropertyPage> page;
    EXPECT_EQ(unknown.As(IID_IPropertyPage, &page), S_OK);
  }
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreatePortPropertyPage(CLSID_Port19Ppg3, nullptr, IID_IUnknown, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CreatePortPropertyPage(CLSID_Port, nullptr, IID_IUnknown, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  out = reinterpret_cast<void*>(1);
  auto outer = MakeObject<FakePort>();
  EXPECT_EQ(CreatePortPropertyPage(CLSID_Port19Ppg1, outer.get(), IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CreatePortPropertyPage(CLSID_Port19Ppg2, nullptr, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CreatePortPropertyPage(CLSID_Port19Ppg4, nullptr, IID_IUnknown, nullptr), E_POINTER);
  ASSERT_EQ(PortPropertyPages().size(), 3u);
  EXPECT_EQ(PortPropertyPages()[0], CLSID_CPort19Ppg1);
  EXPECT_EQ(PortPropertyPages()[1], CLSID_CPort19Ppg2);
  EXPECT_EQ(PortPropertyPages()[2], CLSID_CPort19Ppg4);
}

TEST(PageFactory, ALivePageKeepsTheLibraryLoaded) {
  const LONG before = ModuleLockCount();
  {
    ComPtr<IPropertyPage> page = MakePage(CLSID_Port19Ppg2);
    EXPECT_EQ(ModuleLockCount(), before + 1);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(ModuleLockCount(), before);
}

TEST(PageObject, PageInfoGivesTitleDocStringHelpFileAndSize) {
  struct expected {
    const CLSID* clsid;
    std::u16string title, doc;
  };
  for (const expected& e : {expected{&CLSID_Port19Ppg1, u"全般", u"全般"},
                            expected{&CLSID_Port19Ppg2, u"送受信の設定", u"送信の設定"},
                            expected{&CLSID_Port19Ppg4, u"イベントの抑制", u"イベントの抑制"}}) {
    ComPtr<IPropertyPage> page = MakePage(*e.clsid);
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO));
    EXPECT_EQ(std::u16string(info.pszTitle), e.title);
    EXPECT_EQ(std::u16string(info.pszDocString), e.doc);
    EXPECT_EQ(std::u16string(info.pszHelpFile), u"Ravlin.hlp");
    EXPECT_EQ(info.dwHelpContext, 0u);
    // Without a window system to measure the font: 257 x 155 units of a 6 x 12 pixel font.
    EXPECT_EQ(info.size.cx, 386);
    EXPECT_EQ(info.size.cy, 233);
    FreePropPageInfo(&info);
    EXPECT_EQ(info.pszTitle, nullptr);
    EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);
  }
}

TEST(PageObject, CallsThatNeedNoDialog) {
  ComPtr<IPropertyPage> page = MakePage(CLSID_Port19Ppg1);
  EXPECT_EQ(page->SetObjects(1, nullptr), E_POINTER);
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);
  RECT r{0, 0, 10, 10};
  EXPECT_EQ(page->Move(&r), E_UNEXPECTED);
  EXPECT_EQ(page->Move(nullptr), E_POINTER);
  EXPECT_EQ(page->Help(nullptr), E_NOTIMPL);
  EXPECT_EQ(page->TranslateAccelerator(nullptr), S_FALSE);
  EXPECT_EQ(page->Deactivate(), S_OK);
  // Apply before the page was ever shown writes nothing and succeeds.
  auto fake = MakeObject<FakePort>();
  IUnknown* objects[] = {fake.get()};
  EXPECT_EQ(page->SetObjects(1, objects), S_OK);
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_TRUE(fake->writes.empty());
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
}

TEST(PageObject, ThePageHoldsItsSiteAndObjectsUntilToldToLetGo) {
  ComPtr<IPropertyPage> page = MakePage(CLSID_Port19Ppg4);
  auto fake = MakeObject<FakePort>();
  fake->AddRef();
  const ULONG alone = fake->Release();
  IUnknown* objects[] = {fake.get()};
  ASSERT_EQ(page->SetObjects(1, objects), S_OK);
  fake->AddRef();
  EXPECT_EQ(fake->Release(), alone + 1);
  ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
  fake->AddRef();
  EXPECT_EQ(fake->Release(), alone);
}

// ---- without the window library ----------------------------------------------------------------

class NoWindowLibrary : public ::testing::Test {
 protected:
  void SetUp() override { setenv("RAVLIN_UI_LIBRARY", "/nonexistent/libravlin_ui.so", 1); }
  void TearDown() override { unsetenv("RAVLIN_UI_LIBRARY"); }
};

TEST_F(NoWindowLibrary, ThePlacesLookedInFollowTheEnvironmentOrTheModule) {
  EXPECT_EQ(UiLibraryCandidates(), (std::vector<std::string>{"/nonexistent/libravlin_ui.so"}));
  unsetenv("RAVLIN_UI_LIBRARY");
  std::vector<std::string> places = UiLibraryCandidates();
  ASSERT_EQ(places.size(), 3u);
  // The control is linked into this test: the executable's folder, then ../lib beside it.
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  std::string exe(self, static_cast<std::size_t>(n));
  std::string folder = exe.substr(0, exe.rfind('/'));
  EXPECT_EQ(places[0], folder + "/libravlin_ui.so");
  EXPECT_EQ(places[1], folder + "/../lib/libravlin_ui.so");
  EXPECT_EQ(places[2], "libravlin_ui.so");
}

TEST_F(NoWindowLibrary, ConfigureAboutBoxTheVerbAndDrawingFailWithTheReason) {
  PortRig rig(NextPortNumber());
  const std::u16string reason =
      u"cannot load libravlin_ui.so: /nonexistent/libravlin_ui.so: no such file";
  Variant r;
  EXPECT_EQ(rig.Call(DISPID_Port_Configure, {}, &r), E_FAIL);
  EXPECT_EQ(TakeErrorDescription(), reason);
  EXPECT_EQ(rig.Call(DISPID_Port_AboutBox), E_FAIL);
  EXPECT_EQ(TakeErrorDescription(), reason);
  ComPtr<IOleObject> ole;
  ASSERT_EQ(rig.port.As(IID_IOleObject, &ole), S_OK);
  EXPECT_EQ(ole->DoVerb(0, nullptr), E_FAIL);
  EXPECT_EQ(TakeErrorDescription(), reason);
  EXPECT_EQ(ole->DoVerb(-1, nullptr), E_NOTIMPL);

  ComPtr<IViewObject> view;
  ASSERT_EQ(rig.port.As(IID_IViewObject, &view), S_OK);
  RECTL bounds{0, 0, 28, 28};
  int surface = 0;  // never drawn on
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &surface, &bounds, nullptr,
                       nullptr, 0),
            E_FAIL);
  EXPECT_EQ(TakeErrorDescription(), reason);
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr,
                       nullptr, 0),
            E_INVALIDARG);
  EXPECT_EQ(view->Draw(2, -1, nullptr, nullptr, nullptr, &surface, &bounds, nullptr, nullptr, 0),
            MakeHResult(0x8004006B));
  // The drawing part answers for the control.
  ComPtr<IDispatch> back;
  ASSERT_EQ(view.As(IID_IDispatch, &back), S_OK);
  EXPECT_EQ(back.get(), rig.port.get());

  ComPtr<IPropertyPage> page = MakePage(CLSID_Port19Ppg1);
  RECT rect{0, 0, 100, 100};
  EXPECT_EQ(page->Activate(nullptr, &rect, TRUE), E_FAIL);
  EXPECT_EQ(TakeErrorDescription(), reason);
}

TEST_F(NoWindowLibrary, ConfigureOnAnOpenPortAnswersFalseWithoutShowingAnything) {
  PortRig rig(NextPortNumber());
  ASSERT_TRUE(rig.Open());
  EXPECT_EQ(rig.Run(DISPID_Port_Configure), "false");
  EXPECT_EQ(rig.Call(DISPID_Port_Configure, {}, nullptr), S_OK);
  EXPECT_EQ(rig.impl->Configure(nullptr), E_POINTER);
  Variant r;
  EXPECT_EQ(rig.Call(DISPID_Port_Close, {}, &r), S_OK);
  EXPECT_EQ(rig.impl->Configure(nullptr), E_POINTER);
}

}  // namespace
}  // namespace ravlin::testing
