// Late-bound call cost through the table-driven IDispatch: what a host pays per property read,
// per OutputB-sized block write (164 bytes by reference, as the bitmap download sends), and per
// event fired to two sinks.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace {

using namespace win;

const IID IID_IBench = GuidFromString("{6A1F0020-0000-4000-8000-00000000A020}");

class BenchObject final : public Unknown<DispatchImpl<BenchObject, IDispatch>> {
 public:
  static const TypeDescription& Description() {
    static const TypeDescription type = [] {
      std::vector<MemberDesc> members;
      // Filler members so lookups walk a table the size of the Port control's.
      for (int i = 0; i < 76; ++i)
        members.push_back({.name = u"Filler", .dispid = 1000 + i, .kind = MemberKind::Method});
      members.push_back({.name = u"BaudRate",
                         .dispid = 81,
                         .kind = MemberKind::PropertyGet,
                         .result = VT_I4,
                         .handler = On<BenchObject>([](BenchObject& o, Invocation& c) {
                           *c.ResultI4() = o.baud;
                           return S_OK;
                         })});
      members.push_back({.name = u"OutputB",
                         .dispid = 21,
                         .kind = MemberKind::Method,
                         .result = VT_I4,
                         .params = {{u"OutputBytes", VT_ARRAY | VT_UI1 | VT_BYREF}},
                         .handler = On<BenchObject>([](BenchObject&, Invocation& c) {
                           SAFEARRAY* psa = *c.ArrayRef(0);
                           *c.ResultI4() = static_cast<LONG>(psa->rgsabound[0].cElements);
                           return S_OK;
                         })});
      members.push_back({.name = u"Open",
                         .dispid = 19,
                         .kind = MemberKind::Method,
                         .result = VT_BOOL,
                         .params = {{u"PortNumber", VT_I4, true, DefaultI4(-1)},
                                    {u"BaudRate", VT_I4, true, DefaultI4(-1)},
                                    {u"DataBits", VT_I2, true, DefaultI4(-1)},
                                    {u"StopBits", VT_R4, true, DefaultR8(-1)}},
                         .handler = On<BenchObject>([](BenchObject&, Invocation& c) {
                           *c.ResultBool() = c.I4(0) > 0 ? VARIANT_TRUE : VARIANT_FALSE;
                           return S_OK;
                         })});
      return TypeDescription(u"IBench", IID_IBench, std::move(members));
    }();
    return type;
  }
  LONG baud = 9600;

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualGUID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
};

void BM_PropertyGet(benchmark::State& state) {
  auto obj = MakeObject<BenchObject>();
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  for (auto _ : state) {
    VARIANT result;
    VariantInit(&result);
    obj->Invoke(81, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.lVal);
  }
}
BENCHMARK(BM_PropertyGet);

void BM_OutputBBlock(benchmark::State& state) {
  auto obj = MakeObject<BenchObject>();
  std::vector<BYTE> block(164, 0x55);
  SAFEARRAY* psa = SafeArrayFromBytes(block.data(), block.size());
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
  arg.pparray = &psa;
  DISPPARAMS dp{&arg, nullptr, 1, 0};
  for (auto _ : state) {
    VARIANT result;
    VariantInit(&result);
    obj->Invoke(21, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.lVal);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 164);
  SafeArrayDestroy(psa);
}
BENCHMARK(BM_OutputBBlock);

void BM_OpenWithCoercedArgsAndDefaults(benchmark::State& state) {
  auto obj = MakeObject<BenchObject>();
  VARIANT args[2];  // reversed: BaudRate as a string, PortNumber as I2; the rest defaulted
  VariantInit(&args[0]);
  args[0].vt = VT_BSTR;
  args[0].bstrVal = SysAllocString(u"9600");
  VariantInit(&args[1]);
  args[1].vt = VT_I2;
  args[1].iVal = 1;
  DISPPARAMS dp{args, nullptr, 2, 0};
  for (auto _ : state) {
    VARIANT result;
    VariantInit(&result);
    obj->Invoke(19, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.boolVal);
  }
  VariantClear(&args[0]);
}
BENCHMARK(BM_OpenWithCoercedArgsAndDefaults);

// A sink that does nothing, to measure the firing path itself.
class NullSink final : public Unknown<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*, UINT*) override {
    benchmark::DoNotOptimize(dp->rgvarg);
    return S_OK;
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualGUID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
};

class Container final : public Unknown<IConnectionPointContainer> {
 public:
  Container() : events(this, IID_IDispatch) {}
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** e) override {
    return EnumConnectionPointsOf({&events}, e);
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override {
    return FindConnectionPointIn({&events}, riid, cp);
  }
  ConnectionPoint events;

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualGUID(riid, IID_IConnectionPointContainer)
               ? static_cast<IConnectionPointContainer*>(this)
               : nullptr;
  }
};

void BM_FireAutoInputToTwoSinks(benchmark::State& state) {
  auto container = MakeObject<Container>();
  auto a = MakeObject<NullSink>();
  auto b = MakeObject<NullSink>();
  DWORD cookie = 0;
  container->events.Advise(static_cast<IDispatch*>(a.get()), &cookie);
  container->events.Advise(static_cast<IDispatch*>(b.get()), &cookie);
  std::vector<BYTE> data(64, 1);
  SAFEARRAY* psa = SafeArrayFromBytes(data.data(), data.size());
  for (auto _ : state) {
    EventArgs args;
    args.ArrayRef(&psa).I4(64);
    benchmark::DoNotOptimize(container->events.FireDispatch(512, args));
  }
  SafeArrayDestroy(psa);
}
BENCHMARK(BM_FireAutoInputToTwoSinks);

}  // namespace

BENCHMARK_MAIN();
