// CPort19: persistence (the settings as one PortStateStream, directly or as the "Contents"
// stream of a storage) and the list of its property pages.
#include <cstring>

#include "control/page_factory.h"
#include "control/port.h"
#include "control/port_identity.h"
#include "control/port_state_stream.h"
#include "platform/com/bstr.h"

namespace ravlin {

using namespace win;

namespace {
constexpr char16_t kContentsStream[] = u"Contents";
}  // namespace

HRESULT CPort19::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = CLSID_Port;
  return S_OK;
}

HRESULT CPort19::IsDirty() {
  return dirty_ ? S_OK : S_FALSE;
}

HRESULT CPort19::GetSizeMax(ULARGE_INTEGER* pCbSize) {
  if (pCbSize) pCbSize->QuadPart = 0;
  return E_NOTIMPL;
}

HRESULT CPort19::InitNew() {
  return S_OK;  // a new control already holds its defaults
}

HRESULT CPort19::Save(IStream* pStm, BOOL fClearDirty) {
  if (!pStm) return E_POINTER;
  port_state s;
  s.portNumber = engine_->port_number();
  s.config = engine_->config();
  s.modemName = modemName_;
  s.portFree = portFree_.load() ? 1 : 0;
  s.allowConnection = allowConnection_ ? 1 : 0;
  s.portLastError = counters_.port_last_error();
  s.inputThreshold = counters_.input_threshold();
  s.outputThreshold = counters_.output_threshold();
  s.extentWidth = static_cast<std::uint32_t>(extent_.cx);
  s.extentHeight = static_cast<std::uint32_t>(extent_.cy);
  HRESULT hr = WritePortState(pStm, s);
  // A host that asks for it is told the control is clean once its settings are safely written.
  if (SUCCEEDED(hr) && fClearDirty) dirty_ = false;
  return hr;
}

HRESULT CPort19::Load(IStream* pStm) {
  if (!pStm) return E_POINTER;
  // The stored settings replace the block the open device was configured from; loading them
  // under an open port would leave the two disagreeing.
  if (engine_->opened()) return E_UNEXPECTED;
  port_state s;
  s.config = engine_->config();
  int read = 0;
  HRESULT hr = ReadPortState(pStm, &s, &read);
  // Whatever was read whole before a failure stays loaded, in stream order. Nothing is checked
  // here: an older host may have stored values the setters would refuse; the next Open applies
  // them and reports what the device does not take.
  if (read > kFieldPortNumber) engine_->put_port_number(s.portNumber);
  if (read > kFieldConfig) engine_->load_config(s.config);
  // The same name keeps a live link; another one is a link by name until TapiCtl resolves it.
  if (read > kFieldModemName && s.modemName != modemName_) RestoreModemName(s.modemName);
  // A live occupier keeps the port occupied whatever the stream says.
  if (read > kFieldPortFree) portFree_ = s.portFree != 0 && !occupier_;
  if (read > kFieldAllowConnection) allowConnection_ = s.allowConnection != 0;
  if (read > kFieldPortLastError) counters_.set_port_last_error(s.portLastError);
  if (read > kFieldOutputThreshold)
    counters_.restore_thresholds(s.inputThreshold, s.outputThreshold);
  else if (read > kFieldInputThreshold)
    counters_.restore_thresholds(s.inputThreshold, counters_.output_threshold());
  if (read > kFieldExtentHeight) {
    extent_.cx = static_cast<LONG>(s.extentWidth);
    extent_.cy = static_cast<LONG>(s.extentHeight);
  }
  if (SUCCEEDED(hr)) dirty_ = false;
  return hr;
}

// ---- IPersistStorage: the same bytes in the storage's "Contents" stream
// --------------------------

HRESULT CPort19::InitNew(IStorage* pStg) {
  return pStg ? S_OK : E_POINTER;
}

HRESULT CPort19::Load(IStorage* pStg) {
  if (!pStg) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = pStg->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                stream.Receive());
  if (FAILED(hr)) return hr;
  return Load(stream.get());
}

HRESULT CPort19::Save(IStorage* pStgSave, BOOL) {
  if (!pStgSave) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = pStgSave->CreateStream(
      kContentsStream, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Receive());
  if (FAILED(hr)) return hr;
  return Save(stream.get(), TRUE);
}

HRESULT CPort19::SaveCompleted(IStorage*) {
  return S_OK;
}

HRESULT CPort19::HandsOffStorage() {
  return S_OK;
}

// ---- ISpecifyPropertyPages ----------------------------------------------------------------------

HRESULT CPort19::GetPages(CAUUID* pPages) {
  if (!pPages) return E_POINTER;
  const std::span<const CLSID> pages = PortPropertyPages();
  pPages->cElems = 0;
  pPages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID) * pages.size()));
  if (!pPages->pElems) return E_OUTOFMEMORY;
  for (const CLSID& page : pages) pPages->pElems[pPages->cElems++] = page;
  return S_OK;
}

}  // namespace ravlin
