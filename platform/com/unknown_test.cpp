// Reference counting, QueryInterface identity and aggregation.
#include "platform/com/unknown.h"

#include <gtest/gtest.h>

#include "platform/com/dispatch.h"
#include "platform/com/errorinfo.h"

namespace win {
namespace {

const IID IID_IInner = GuidFromString("{6A1F0002-0000-4000-8000-00000000A002}");
const IID IID_IOuterOnly = GuidFromString("{6A1F0003-0000-4000-8000-00000000A003}");

struct IInner : IUnknown {
  virtual int Value() = 0;
};

int gInnerAlive = 0;

class Inner final : public Unknown<IInner, ISupportErrorInfo> {
 public:
  explicit Inner(IUnknown* outer) : Unknown(outer) { ++gInnerAlive; }
  ~Inner() override { --gInnerAlive; }
  int Value() override { return 42; }
  HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
  ULONG Own() const { return InnerRefCount(); }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualGUID(riid, IID_IInner)) return static_cast<IInner*>(this);
    if (IsEqualGUID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
  }
};

// An outer object that aggregates Inner and exposes IInner through it.
struct IOuterOnly : IUnknown {};
class Outer final : public Unknown<IOuterOnly> {
 public:
  Outer() {
    EXPECT_EQ(CreateAggregable<Inner>(static_cast<IOuterOnly*>(this), IID_IUnknown,
                                      reinterpret_cast<void**>(&inner_)),
              S_OK);
  }
  ~Outer() override {
    if (inner_) inner_->Release();
  }
  IUnknown* InnerObject() const { return inner_; }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualGUID(riid, IID_IOuterOnly)) return static_cast<IOuterOnly*>(this);
    if (IsEqualGUID(riid, IID_IInner)) {
      // Hand out the inner interface; the caller's AddRef lands on this (outer) object.
      IInner* p = nullptr;
      inner_->QueryInterface(IID_IInner, reinterpret_cast<void**>(&p));
      p->Release();
      return p;
    }
    return nullptr;
  }
  IUnknown* inner_ = nullptr;
};

TEST(UnknownTest, CountsReferencesAndDeletesAtZero) {
  {
    auto obj = MakeObject<Inner>(nullptr);
    ASSERT_TRUE(obj);
    EXPECT_EQ(gInnerAlive, 1);
    EXPECT_EQ(obj->Own(), 1u);
    ComPtr<IInner> again;
    ASSERT_EQ(obj.As(IID_IInner, &again), S_OK);
    EXPECT_EQ(obj->Own(), 2u);
    EXPECT_EQ(again->Value(), 42);
    ComPtr<IDispatch> none;
    EXPECT_EQ(obj.As(IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_FALSE(none);
  }
  EXPECT_EQ(gInnerAlive, 0);
}

TEST(UnknownTest, IdentityIsTheSameIUnknownFromEveryInterface) {
  auto obj = MakeObject<Inner>(nullptr);
  void* a = nullptr;
  void* b = nullptr;
  ComPtr<ISupportErrorInfo> sei;
  ASSERT_EQ(obj.As(IID_ISupportErrorInfo, &sei), S_OK);
  ASSERT_EQ(static_cast<IInner*>(obj.get())->QueryInterface(IID_IUnknown, &a), S_OK);
  ASSERT_EQ(sei->QueryInterface(IID_IUnknown, &b), S_OK);
  EXPECT_EQ(a, b);
  static_cast<IUnknown*>(a)->Release();
  static_cast<IUnknown*>(b)->Release();
}

TEST(UnknownTest, AggregatedObjectDelegatesToItsOuter) {
  auto outer = MakeObject<Outer>();
  ASSERT_TRUE(outer);
  ASSERT_EQ(gInnerAlive, 1);
  ComPtr<IInner> inner;
  ASSERT_EQ(outer.As(IID_IInner, &inner), S_OK);
  EXPECT_EQ(inner->Value(), 42);
  // QueryInterface on the inner's interface reaches the outer's interfaces and identity.
  ComPtr<IOuterOnly> back;
  EXPECT_EQ(inner.As(IID_IOuterOnly, &back), S_OK);
  void* id1 = nullptr;
  void* id2 = nullptr;
  inner->QueryInterface(IID_IUnknown, &id1);
  static_cast<IOuterOnly*>(outer.get())->QueryInterface(IID_IUnknown, &id2);
  EXPECT_EQ(id1, id2);
  EXPECT_NE(id1, outer->InnerObject());
  static_cast<IUnknown*>(id1)->Release();
  static_cast<IUnknown*>(id2)->Release();
  // References taken through the inner interface keep the whole aggregate alive.
  back.Reset();
  outer.Reset();
  EXPECT_EQ(gInnerAlive, 1);
  inner.Reset();
  EXPECT_EQ(gInnerAlive, 0);
}

TEST(UnknownTest, AggregationMayOnlyAskForIUnknown) {
  auto outer = MakeObject<Outer>();
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateAggregable<Inner>(static_cast<IOuterOnly*>(outer.get()), IID_IInner, &p),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
}

TEST(UnknownTest, ClassFactoryCreatesAndReportsServerLocks) {
  int locks = 0;
  auto factory = MakeObject<ClassFactory>(
      [](IUnknown* outer, REFIID riid, void** object) {
        return CreateAggregable<Inner>(outer, riid, object);
      },
      [&](int delta) { locks += delta; });
  ComPtr<IInner> made;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IInner, made.ReceiveVoid()), S_OK);
  EXPECT_EQ(made->Value(), 42);
  factory->LockServer(TRUE);
  EXPECT_EQ(locks, 1);
  factory->LockServer(FALSE);
  EXPECT_EQ(locks, 0);
}

}  // namespace
}  // namespace win
