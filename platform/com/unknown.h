// Object identity and lifetime: reference counting, QueryInterface and aggregation.
//
// An object class derives from Unknown<I1, I2, ...> (its interfaces) and answers FindInterface
// with the interface pointer for an IID (or null); IUnknown itself is answered here. The count
// starts at 1, owned by whoever created the object (use MakeObject / CreateAggregable), and the
// object deletes itself when it reaches 0. An object created with an outer unknown is aggregated:
// its interfaces' IUnknown methods delegate to the outer object, and the outer holds the inner
// (non-delegating) unknown, InnerUnknown(). ComPtr holds one reference.
#pragma once

#include <atomic>
#include <functional>
#include <new>
#include <utility>

#include "platform/com/base.h"

namespace win {

// ---- ComPtr ------------------------------------------------------------------------------------

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT
  // Takes a new reference.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Adopts a reference the caller already holds.
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For [out] T** parameters: drops the current reference first.
  T** Receive() {
    Reset();
    return &p_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  // Hands a new reference to an [out] parameter.
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out->ReceiveVoid());
  }

 private:
  T* p_ = nullptr;
};

// ---- Unknown -----------------------------------------------------------------------------------

template <class First, class... Rest>
class Unknown : public First, public Rest... {
 public:
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;

  // The IUnknown of every interface of this object: delegates to the controlling unknown.
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return outer_->QueryInterface(riid, object);
  }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  // The non-delegating unknown (what an aggregating outer object keeps).
  IUnknown* InnerUnknown() { return &inner_; }
  // The object's identity as others see it: the outer object when aggregated.
  IUnknown* ControllingUnknown() { return outer_; }
  bool IsAggregated() const { return outer_ != &inner_; }

 protected:
  explicit Unknown(IUnknown* outer = nullptr) : inner_(this), outer_(outer ? outer : &inner_) {}
  virtual ~Unknown() = default;

  // The interface pointer for riid (static_cast<I*>(this)), or null. IUnknown is answered before
  // this is asked.
  virtual IUnknown* FindInterface(REFIID riid) = 0;

  // The object's own count (for diagnostics and tests).
  ULONG InnerRefCount() const { return inner_.refs.load(); }

 private:
  struct NonDelegating final : IUnknown {
    explicit NonDelegating(Unknown* o) : owner(o) {}
    HRESULT QueryInterface(REFIID riid, void** object) override {
      if (!object) return E_POINTER;
      *object = nullptr;
      IUnknown* found = IsEqualGUID(riid, IID_IUnknown) ? this : owner->FindInterface(riid);
      if (!found) return E_NOINTERFACE;
      found->AddRef();
      *object = found;
      return S_OK;
    }
    ULONG AddRef() override { return refs.fetch_add(1) + 1; }
    ULONG Release() override {
      ULONG left = refs.fetch_sub(1) - 1;
      if (left == 0) delete owner;
      return left;
    }
    Unknown* owner;
    std::atomic<ULONG> refs{1};
  };
  NonDelegating inner_;
  IUnknown* outer_;
};

// Creates a non-aggregated object; the returned pointer holds the creation reference.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  return ComPtr<T>::Attach(new (std::nothrow) T(std::forward<Args>(args)...));
}

// IClassFactory::CreateInstance for a class whose constructor takes the outer unknown first.
// An outer object may only ask for IUnknown (CLASS_E_NOAGGREGATION otherwise).
template <class T, class... Args>
HRESULT CreateAggregable(IUnknown* outer, REFIID riid, void** object, Args&&... args) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && !IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  T* created = new (std::nothrow) T(outer, std::forward<Args>(args)...);
  if (!created) return E_OUTOFMEMORY;
  IUnknown* inner = created->InnerUnknown();
  HRESULT hr = inner->QueryInterface(riid, object);
  inner->Release();
  return hr;
}

// A class object that creates instances through a function. LockServer and the life of the
// factory are reported to lockChanged (+1 / -1) so a module can keep its lock count.
class ClassFactory final : public Unknown<IClassFactory> {
 public:
  using Creator = std::function<HRESULT(IUnknown* outer, REFIID riid, void** object)>;
  using LockHook = std::function<void(int delta)>;

  explicit ClassFactory(Creator create, LockHook lockChanged = {})
      : create_(std::move(create)), lock_(std::move(lockChanged)) {}

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    return create_(outer, riid, object);
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock_) lock_(lock ? +1 : -1);
    return S_OK;
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualGUID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
  }
  Creator create_;
  LockHook lock_;
};

}  // namespace win
