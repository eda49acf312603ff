// Connection points, enumerators and event firing.
#include "platform/com/connection_point.h"

#include <algorithm>

namespace win {

const IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnectionPoints = {
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnections = {
    0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IPropertyNotifySink = {
    0x9BFBBC02, 0xEFF1, 0x101A, {0x84, 0xED, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumUnknown = {0x00000100, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

// An enumerator over a snapshot. Item is an interface pointer (referenced for the enumerator's
// life) or CONNECTDATA (its pUnk referenced); Next hands out new references.
template <class Enum, class Item>
class Enumerator final : public Unknown<Enum> {
 public:
  Enumerator(const IID& iid, std::vector<Item> items) : iid_(iid), items_(std::move(items)) {
    for (Item& item : items_) Ref(item)->AddRef();
  }
  ~Enumerator() override {
    for (Item& item : items_) Ref(item)->Release();
  }

  HRESULT Next(ULONG celt, Item* rgelt, ULONG* fetched) override {
    if (!rgelt || (celt > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < celt && pos_ < items_.size()) {
      rgelt[n] = items_[pos_++];
      Ref(rgelt[n])->AddRef();
      ++n;
    }
    if (fetched) *fetched = n;
    return n == celt ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG celt) override {
    std::size_t left = items_.size() - pos_;
    pos_ += std::min<std::size_t>(celt, left);
    return celt <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(Enum** out) override {
    if (!out) return E_POINTER;
    auto copy = MakeObject<Enumerator>(iid_, items_);
    if (!copy) return E_OUTOFMEMORY;
    copy->pos_ = pos_;
    *out = copy.Detach();
    return S_OK;
  }

 private:
  static IUnknown* Ref(IUnknown* p) { return p; }
  static IUnknown* Ref(const CONNECTDATA& cd) { return cd.pUnk; }
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualGUID(riid, iid_) ? static_cast<Enum*>(this) : nullptr;
  }
  IID iid_;
  std::vector<Item> items_;
  std::size_t pos_ = 0;
};

template <class Enum, class Item>
HRESULT MakeEnumerator(const IID& iid, std::vector<Item> items, Enum** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto e = MakeObject<Enumerator<Enum, Item>>(iid, std::move(items));
  if (!e) return E_OUTOFMEMORY;
  *out = e.Detach();
  return S_OK;
}

}  // namespace

HRESULT CreateEnumUnknown(const std::vector<IUnknown*>& items, IEnumUnknown** ppenum) {
  return MakeEnumerator<IEnumUnknown, IUnknown*>(IID_IEnumUnknown, items, ppenum);
}

HRESULT CreateEnumConnectionPoints(const std::vector<IConnectionPoint*>& items,
                                   IEnumConnectionPoints** ppEnum) {
  return MakeEnumerator<IEnumConnectionPoints, IConnectionPoint*>(IID_IEnumConnectionPoints, items,
                                                                  ppEnum);
}

// ---- EventArgs ---------------------------------------------------------------------------------

EventArgs::~EventArgs() {
  for (VARIANT& v : reversed_) VariantClear(&v);
}

void EventArgs::PushFront(const VARIANT& v) {
  reversed_.insert(reversed_.begin(), v);
}

EventArgs& EventArgs::I4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  PushFront(v);
  return *this;
}

EventArgs& EventArgs::Str(BSTR value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  // On allocation failure the sinks see a null string rather than no argument.
  v.bstrVal =
      value ? SysAllocStringByteLen(reinterpret_cast<const char*>(value), SysStringByteLen(value))
            : nullptr;
  PushFront(v);
  return *this;
}

EventArgs& EventArgs::ArrayRef(SAFEARRAY** array, VARTYPE elementVt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = static_cast<VARTYPE>(VT_ARRAY | VT_BYREF | elementVt);
  v.pparray = array;
  PushFront(v);
  return *this;
}

EventArgs& EventArgs::Value(const VARIANT& value) {
  VARIANT v;
  VariantInit(&v);
  VariantCopy(&v, &value);
  PushFront(v);
  return *this;
}

// ---- ConnectionPoint ---------------------------------------------------------------------------

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, const IID& iid)
    : container_(container), iid_(iid) {}

ConnectionPoint::~ConnectionPoint() {
  UnadviseAll();
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IConnectionPoint)) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef() {
  return container_->AddRef();
}
ULONG ConnectionPoint::Release() {
  return container_->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
  if (!pIID) return E_POINTER;
  *pIID = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (!ppCPC) return E_POINTER;
  *ppCPC = container_;
  container_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (pdwCookie) *pdwCookie = 0;
  if (!pUnkSink || !pdwCookie) return E_POINTER;
  void* sink = nullptr;
  if (FAILED(pUnkSink->QueryInterface(iid_, &sink)) || !sink) return CONNECT_E_CANNOTCONNECT;
  std::lock_guard<std::mutex> lock(mu_);
  DWORD cookie = nextCookie_++;
  if (nextCookie_ == 0) nextCookie_ = 1;
  slots_.push_back({cookie, static_cast<IUnknown*>(sink)});
  *pdwCookie = cookie;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
  IUnknown* sink = nullptr;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (Slot& slot : slots_) {
      if (slot.cookie == dwCookie && slot.sink) {
        sink = slot.sink;
        slot.sink = nullptr;
        break;
      }
    }
    if (sink) CompactLocked();
  }
  if (!sink) return CONNECT_E_NOCONNECTION;
  sink->Release();  // outside the lock: the sink's destructor may call back
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::vector<CONNECTDATA> items;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (const Slot& slot : slots_)
      if (slot.sink) items.push_back({slot.sink, slot.cookie});
  }
  return MakeEnumerator<IEnumConnections, CONNECTDATA>(IID_IEnumConnections, std::move(items),
                                                       ppEnum);
}

std::size_t ConnectionPoint::SinkCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return static_cast<std::size_t>(
      std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.sink != nullptr; }));
}

void ConnectionPoint::UnadviseAll() {
  std::vector<IUnknown*> dropped;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (Slot& slot : slots_)
      if (slot.sink) dropped.push_back(std::exchange(slot.sink, nullptr));
    CompactLocked();
  }
  for (IUnknown* sink : dropped) sink->Release();
}

void ConnectionPoint::CompactLocked() {
  if (firing_ > 0) return;  // a firing loop indexes the array; compact when it is done
  slots_.erase(std::remove_if(slots_.begin(), slots_.end(), [](const Slot& s) { return !s.sink; }),
               slots_.end());
}

IUnknown* ConnectionPoint::TakeSink(std::size_t index) {
  std::lock_guard<std::mutex> lock(mu_);
  if (index >= slots_.size() || !slots_[index].sink) return nullptr;
  slots_[index].sink->AddRef();
  return slots_[index].sink;
}

void ConnectionPoint::ForEachSink(const std::function<void(IUnknown* sink)>& f) {
  std::size_t count;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++firing_;
    count = slots_.size();
  }
  for (std::size_t i = 0; i < count; ++i) {
    IUnknown* sink = TakeSink(i);
    if (!sink) continue;
    f(sink);
    sink->Release();
  }
  std::lock_guard<std::mutex> lock(mu_);
  --firing_;
  CompactLocked();
}

int ConnectionPoint::FireDispatch(DISPID dispid, EventArgs& args) {
  int called = 0;
  ForEachSink([&](IUnknown* sink) {
    auto* target = static_cast<IDispatch*>(sink);
    DISPPARAMS params{args.Reversed(), nullptr, args.Count(), 0};
    VARIANT result;
    VariantInit(&result);
    target->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                   nullptr, nullptr);
    VariantClear(&result);
    ++called;
  });
  return called;
}

void ConnectionPoint::FireOnChanged(DISPID dispid) {
  ForEachSink([&](IUnknown* sink) { static_cast<IPropertyNotifySink*>(sink)->OnChanged(dispid); });
}

HRESULT FindConnectionPointIn(std::initializer_list<ConnectionPoint*> points, REFIID riid,
                              IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  for (ConnectionPoint* cp : points) {
    if (cp && IsEqualGUID(cp->Iid(), riid)) {
      cp->AddRef();
      *ppCP = cp;
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EnumConnectionPointsOf(std::initializer_list<ConnectionPoint*> points,
                               IEnumConnectionPoints** ppEnum) {
  std::vector<IConnectionPoint*> items;
  for (ConnectionPoint* cp : points)
    if (cp) items.push_back(cp);
  return CreateEnumConnectionPoints(items, ppEnum);
}

}  // namespace win
