// Finding sibling controls on the Port control's form, and their names.
//
// How it works. A control's name on its form belongs to the container, not to the control: the
// container wraps each control in an extender object whose "Name" property it answers. The name
// is read from the control's IOleObject, its client site, the site's IOleControlSite::
// GetExtendedControl, then "Name" through IDispatch (GetIDsOfNames, then property get). An
// object that is not an OLE object is asked for "Name" on its own IDispatch. The controls of a
// form are reached from a client site: IOleClientSite::GetContainer, then
// IOleContainer::EnumObjects(OLECONTF_EMBEDDINGS | OLECONTF_OTHERS), in the enumerator's order.
// Everything here runs on the form's thread and holds no state.
//
// Offers: ExtenderName, ContainerObjects, FindByExtenderName.
#pragma once

#include <string>
#include <vector>

#include "platform/com/ole.h"
#include "platform/com/unknown.h"

namespace ravlin {

// The control's name on its form. Any failure on the way (no site, no extender, no "Name", a
// name that is no string) gives an empty name.
std::u16string ExtenderName(win::IUnknown* control);

// The objects of the form that holds site, in the container's order. E_POINTER for a null site
// or out; the failure of GetContainer or EnumObjects when there is no container to enumerate
// (out is then empty).
win::HRESULT ContainerObjects(win::IOleClientSite* site,
                              std::vector<win::ComPtr<win::IUnknown>>* out);

// The first object of the form whose extender name equals name exactly (case-sensitive), as
// IDispatch (objects without IDispatch are passed over). Null when there is none, when the name
// is empty (an empty name is what a failed lookup gives, so it names no control), or when there
// is no container.
win::ComPtr<win::IDispatch> FindByExtenderName(win::IOleClientSite* site, std::u16string_view name);

}  // namespace ravlin
