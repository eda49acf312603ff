// The minimal host: sites, ambient properties, extender names and the container's enumeration.
#include "platform/com/client_site.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace win {
namespace {

// A control that records what its container tells it.
class FakeControl final : public Unknown<IOleObject, IOleControl> {
 public:
  HRESULT SetClientSite(IOleClientSite* site) override {
    calls.push_back(site ? "SetClientSite" : "SetClientSite(null)");
    site_ = ComPtr<IOleClientSite>(site);
    return S_OK;
  }
  HRESULT GetClientSite(IOleClientSite** out) override { return site_.CopyTo(out); }
  HRESULT Close(DWORD) override {
    calls.push_back("Close");
    return S_OK;
  }
  HRESULT DoVerb(LONG, IOleClientSite*) override { return E_NOTIMPL; }
  HRESULT GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT OnAmbientPropertyChange(DISPID id) override {
    calls.push_back("Ambient " + std::to_string(id));
    return S_OK;
  }
  HRESULT FreezeEvents(BOOL) override { return S_OK; }

  // What the Port control does to learn the names of its neighbours.
  std::vector<std::u16string> NamesOnForm() {
    std::vector<std::u16string> names;
    ComPtr<IOleContainer> container;
    if (!site_ || FAILED(site_->GetContainer(container.Receive()))) return names;
    ComPtr<IEnumUnknown> e;
    container->EnumObjects(OLECONTF_EMBEDDINGS, e.Receive());
    IUnknown* item = nullptr;
    while (e->Next(1, &item, nullptr) == S_OK) {
      ComPtr<IUnknown> object = ComPtr<IUnknown>::Attach(item);
      ComPtr<IOleObject> ole;
      ComPtr<IOleClientSite> site;
      ComPtr<IOleControlSite> controlSite;
      ComPtr<IDispatch> extender;
      Variant name;
      if (SUCCEEDED(object.As(IID_IOleObject, &ole)) &&
          SUCCEEDED(ole->GetClientSite(site.Receive())) &&
          SUCCEEDED(site.As(IID_IOleControlSite, &controlSite)) &&
          SUCCEEDED(controlSite->GetExtendedControl(extender.Receive())) &&
          SUCCEEDED(GetProperty(extender.get(), DISPID_NAME, &name)))
        names.emplace_back(BstrView(name.bstrVal));
    }
    return names;
  }

  std::vector<std::string> calls;
  ComPtr<IOleClientSite> site_;

 private:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualGUID(riid, IID_IOleObject)) return static_cast<IOleObject*>(this);
    if (IsEqualGUID(riid, IID_IOleControl)) return static_cast<IOleControl*>(this);
    return nullptr;
  }
};

TEST(ClientSiteTest, ControlsGetSitesWithAmbientPropertiesAndNames) {
  auto form = MakeObject<Form>();
  auto port = MakeObject<FakeControl>();
  auto modem = MakeObject<FakeControl>();
  ASSERT_EQ(form->AddControl(static_cast<IOleObject*>(port.get()), u"Port1"), S_OK);
  ASSERT_EQ(form->AddControl(static_cast<IOleObject*>(modem.get()), u"Quorvel1"), S_OK);
  EXPECT_EQ(form->AddControl(static_cast<IOleObject*>(modem.get()), u"Other"), E_INVALIDARG);
  ASSERT_TRUE(port->site_);

  Variant userMode, locale, unknown;
  ASSERT_EQ(GetAmbientProperty(port->site_.get(), DISPID_AMBIENT_USERMODE, &userMode), S_OK);
  EXPECT_EQ(userMode.vt, VT_BOOL);
  EXPECT_EQ(userMode.boolVal, VARIANT_TRUE);
  ASSERT_EQ(GetAmbientProperty(port->site_.get(), DISPID_AMBIENT_LOCALEID, &locale), S_OK);
  EXPECT_EQ(locale.vt, VT_I4);
  EXPECT_EQ(locale.lVal, 0x0411);
  EXPECT_EQ(GetAmbientProperty(port->site_.get(), -710, &unknown), DISP_E_MEMBERNOTFOUND);

  EXPECT_EQ(port->NamesOnForm(), (std::vector<std::u16string>{u"Port1", u"Quorvel1"}));

  form->SetUserMode(false);
  EXPECT_EQ(port->calls.back(), "Ambient -709");
  ASSERT_EQ(GetAmbientProperty(port->site_.get(), DISPID_AMBIENT_USERMODE, &userMode), S_OK);
  EXPECT_EQ(userMode.boolVal, VARIANT_FALSE);
  form->Close();
}

TEST(ClientSiteTest, RemovingAControlClosesItAndClearsItsSite) {
  auto form = MakeObject<Form>();
  auto port = MakeObject<FakeControl>();
  auto other = MakeObject<FakeControl>();
  form->AddControl(static_cast<IOleObject*>(port.get()), u"Port1");
  form->AddControl(static_cast<IOleObject*>(other.get()), u"Other");
  ComPtr<IOleClientSite> keptSite = port->site_;

  ASSERT_EQ(form->RemoveControl(static_cast<IOleObject*>(port.get())), S_OK);
  EXPECT_EQ(port->calls,
            (std::vector<std::string>{"SetClientSite", "Close", "SetClientSite(null)"}));
  EXPECT_FALSE(port->site_);
  EXPECT_EQ(other->NamesOnForm(), std::vector<std::u16string>{u"Other"});
  // A site kept past removal no longer reaches the form.
  ComPtr<IOleContainer> container;
  EXPECT_EQ(keptSite->GetContainer(container.Receive()), E_NOINTERFACE);
  EXPECT_EQ(form->RemoveControl(static_cast<IOleObject*>(port.get())), E_INVALIDARG);

  form.Reset();  // the last reference closes the form and its remaining controls
  EXPECT_EQ(other->calls.back(), "SetClientSite(null)");
}

}  // namespace
}  // namespace win
