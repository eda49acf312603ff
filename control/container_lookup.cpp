// Sibling controls on the form and their extender names.
#include "control/container_lookup.h"

namespace ravlin {

using namespace win;

namespace {

// The "Name" property of an IDispatch as a string; empty on any failure.
std::u16string NameProperty(IDispatch* object) {
  if (!object) return {};
  std::u16string name = u"Name";
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return {};
  Variant value;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                            nullptr, nullptr)))
    return {};
  if (value.vt != VT_BSTR && FAILED(value.ChangeType(VT_BSTR))) return {};
  return std::u16string(BstrView(value.bstrVal));
}

}  // namespace

std::u16string ExtenderName(IUnknown* control) {
  if (!control) return {};
  ComPtr<IOleObject> ole;
  if (FAILED(control->QueryInterface(IID_IOleObject, ole.ReceiveVoid())) || !ole) {
    ComPtr<IDispatch> own;
    if (FAILED(control->QueryInterface(IID_IDispatch, own.ReceiveVoid())) || !own) return {};
    return NameProperty(own.get());
  }
  ComPtr<IOleClientSite> site;
  if (FAILED(ole->GetClientSite(site.Receive())) || !site) return {};
  ComPtr<IOleControlSite> controlSite;
  if (FAILED(site->QueryInterface(IID_IOleControlSite, controlSite.ReceiveVoid())) || !controlSite)
    return {};
  ComPtr<IDispatch> extender;
  if (FAILED(controlSite->GetExtendedControl(extender.Receive())) || !extender) return {};
  return NameProperty(extender.get());
}

HRESULT ContainerObjects(IOleClientSite* site, std::vector<ComPtr<IUnknown>>* out) {
  if (!out) return E_POINTER;
  out->clear();
  if (!site) return E_POINTER;
  ComPtr<IOleContainer> container;
  HRESULT hr = site->GetContainer(container.Receive());
  if (FAILED(hr)) return hr;
  if (!container) return E_FAIL;
  ComPtr<IEnumUnknown> objects;
  hr = container->EnumObjects(OLECONTF_EMBEDDINGS | OLECONTF_OTHERS, objects.Receive());
  if (FAILED(hr)) return hr;
  if (!objects) return E_FAIL;
  while (true) {
    IUnknown* next = nullptr;
    ULONG fetched = 0;
    if (objects->Next(1, &next, &fetched) != S_OK || fetched != 1 || !next) break;
    out->push_back(ComPtr<IUnknown>::Attach(next));
  }
  return S_OK;
}

ComPtr<IDispatch> FindByExtenderName(IOleClientSite* site, std::u16string_view name) {
  if (name.empty()) return {};
  std::vector<ComPtr<IUnknown>> objects;
  if (FAILED(ContainerObjects(site, &objects))) return {};
  for (const auto& object : objects) {
    if (ExtenderName(object.get()) != name) continue;
    ComPtr<IDispatch> found;
    if (SUCCEEDED(object->QueryInterface(IID_IDispatch, found.ReceiveVoid())) && found)
      return found;
  }
  return {};
}

}  // namespace ravlin
