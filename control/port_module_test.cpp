// The control as a component: exports, identity, the checksum methods and bad input through
// Invoke.
#include "control/module.h"
#include "control/port_test_support.h"

namespace ravlin::testing {
namespace {

TEST(PortModule, ClassObjectsAndUnloading) {
  void* object = nullptr;
  EXPECT_EQ(DllGetClassObject(CLSID_Port, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(DllGetClassObject(CLSID_CPort19Ppg3, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_Port, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  {
    ComPtr<IDispatch> port;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, port.ReceiveVoid()), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    // Aggregation: only IUnknown may be asked for.
    ComPtr<IUnknown> inner;
    EXPECT_EQ(factory->CreateInstance(port.get(), IID_IDispatch, inner.ReceiveVoid()),
              CLASS_E_NOAGGREGATION);
  }
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  factory->LockServer(TRUE);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(PortModule, IdentityInterfaces) {
  PortRig rig(NextPortNumber());
  ComPtr<IUnknown> unk;
  for (const IID* iid : {&IID_IPort18, &IID_IConnectionPointContainer, &IID_IProvideClassInfo2,
                         &IID_ISupportErrorInfo, &IID_IOleObject, &IID_IOleControl})
    EXPECT_EQ(rig.port->QueryInterface(*iid, unk.ReceiveVoid()), S_OK);
  ComPtr<IProvideClassInfo2> pci;
  ASSERT_EQ(rig.port->QueryInterface(IID_IProvideClassInfo2, pci.ReceiveVoid()), S_OK);
  GUID g{};
  ASSERT_EQ(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &g), S_OK);
  EXPECT_EQ(g, DIID__IPort18Events);
  ComPtr<ISupportErrorInfo> sei;
  ASSERT_EQ(rig.port->QueryInterface(IID_ISupportErrorInfo, sei.ReceiveVoid()), S_OK);
  EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IPort18), S_OK);
  EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  ComPtr<IOleObject> ole;
  ASSERT_EQ(rig.port->QueryInterface(IID_IOleObject, ole.ReceiveVoid()), S_OK);
  DWORD misc = 0;
  ASSERT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
  EXPECT_EQ(misc, 132497u);
}

TEST(PortModule, TheDispatchTableIsConsistentAndEveryMemberHasAHandler) {
  EXPECT_EQ(CPort19::Description().Check(), "");
  EXPECT_EQ(CPort19::Description().Members().size(), iport18Members().size());
  EXPECT_EQ(CPort19::EventDescription().Members().size(), 9u);
}

TEST(PortModule, NamesResolveCaseInsensitivelyAndDispidsAreTheContract) {
  PortRig rig(NextPortNumber());
  DISPID id = 0;
  EXPECT_EQ(DispidOfName(rig.port.get(), u"baudrate", &id), S_OK);
  EXPECT_EQ(id, 81);
  EXPECT_EQ(DispidOfName(rig.port.get(), u"_FIRE_COMMSTATE", &id), S_OK);
  EXPECT_EQ(id, 374);
  EXPECT_EQ(DispidOfName(rig.port.get(), u"NoSuchMember", &id), DISP_E_UNKNOWNNAME);
  // DISPID 16 reaches DisconnectTapiCtl (nothing linked: TRUE), 10 reaches nothing.
  EXPECT_EQ(rig.Run(16), "true");
  EXPECT_EQ(rig.Run(10), "!! 0x80020003");
}

TEST(PortCrc, CheckValuesBigEndianAndTheEmptyArray) {
  PortRig rig(NextPortNumber());
  ArrayRef digits("123456789"), abc("abc"), empty("");
  EXPECT_EQ(rig.Run(DISPID_Port_Crc16, {digits.Ref()}), "bytes:31C3");
  EXPECT_EQ(rig.Run(DISPID_Port_Crc32, {digits.Ref()}), "bytes:340BC6D9");
  EXPECT_EQ(rig.Run(DISPID_Port_Crc16, {abc.Ref()}), "bytes:9DD6");
  EXPECT_EQ(rig.Run(DISPID_Port_Crc32, {abc.Ref()}), "bytes:CADBBE3D");
  Variant r;
  ASSERT_EQ(rig.Call(DISPID_Port_Crc32, {empty.Ref()}, &r), S_OK);
  EXPECT_EQ(r.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(r.parray, nullptr);
  // The array is left as it was.
  EXPECT_EQ(winhost::format_value(digits.Ref()), "bytes:313233343536373839");
  // Works in design mode and with the port closed; null pointers are refused.
  rig.form->SetUserMode(false);
  EXPECT_EQ(rig.Run(DISPID_Port_Crc16, {abc.Ref()}), "bytes:9DD6");
  EXPECT_EQ(rig.impl->Crc16(nullptr, &r), E_POINTER);
  EXPECT_EQ(rig.impl->Crc32(&abc.sa, nullptr), E_POINTER);
  // A two-dimensional array is not a byte array to check.
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  SAFEARRAY* square = SafeArrayCreate(VT_UI1, 2, bounds);
  EXPECT_EQ(rig.impl->Crc16(&square, &r), E_INVALIDARG);
  SafeArrayDestroy(square);
}

TEST(PortBadInput, WrongTypesCountsAndNullResultsGiveDocumentedHResults) {
  PortRig rig(NextPortNumber());
  // Too many arguments, a missing required one, types that do not coerce.
  EXPECT_EQ(rig.Run(DISPID_Port_Close, {Variant::I4(1)}), "!! 0x8002000E");
  EXPECT_EQ(rig.Run(DISPID_Port_Output), "!! 0x8002000E");
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Missing()}), "!! 0x8002000F");
  EXPECT_EQ(rig.Put(DISPID_Port_BaudRate, Variant::Str(u"fast")), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(rig.Put(DISPID_Port_EventByte, Variant::I4(300)), DISP_E_OVERFLOW);
  EXPECT_EQ(rig.Put(DISPID_Port_Opened, Variant::Bool(true)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(rig.Run(DISPID_Port_Open, {Variant::Str(u"x")}), "!! 0x80020005");
  EXPECT_EQ(rig.Run(DISPID_Port_Crc16, {Variant::I4(5)}), "!! 0x80020005");
  // Each member refuses a null result pointer.
  CPort19& p = *rig.impl;
  EXPECT_EQ(p.get_BaudRate(nullptr), E_POINTER);
  EXPECT_EQ(p.get_Opened(nullptr), E_POINTER);
  EXPECT_EQ(p.Close(static_cast<VARIANT_BOOL*>(nullptr)), E_POINTER);
  EXPECT_EQ(p._Open({}, nullptr), E_POINTER);
  EXPECT_EQ(p.Input(nullptr, -1, nullptr), E_POINTER);
  EXPECT_EQ(p.OutputUrgent(1, nullptr), E_POINTER);
  EXPECT_EQ(p.CancelPendingInputs(nullptr), E_POINTER);
  EXPECT_EQ(p._RunMode(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(p._SaneContainer(nullptr), E_INVALIDARG);
  EXPECT_EQ(p.get_WaitForData(nullptr, false), E_POINTER);
}

}  // namespace
}  // namespace ravlin::testing

namespace ravlin::testing {
namespace {

bool Documented(HRESULT hr) {
  const auto code = static_cast<std::uint32_t>(hr);
  if (SUCCEEDED(hr)) return true;
  if ((code & 0xFFFF0000u) == 0x80020000u) return true;         // DISP_E_*
  if (code >= 0x800400C8u && code <= 0x800400D9u) return true;  // the control's messages
  return hr == E_INVALIDARG || hr == E_POINTER || hr == E_NOTIMPL || hr == E_FAIL ||
         hr == E_OUTOFMEMORY;
}

TEST(PortBadInput, EveryMemberSurvivesEveryShapeOfArgument) {
  PortRig rig(NextPortNumber());
  SAFEARRAY* noArray = nullptr;
  BSTR noText = nullptr;
  const std::vector<std::vector<Variant>> shapes = {
      {},
      {Variant::I4(-1)},
      {Variant::I4(2147483647)},
      {Variant::Str(u"x")},
      {Variant::Null()},
      {Variant::Dispatch(nullptr)},
      {Variant::R8(1e300)},
      {Variant::Missing()},
      {Variant::ByRef(VT_ARRAY | VT_UI1, &noArray)},
      {Variant::ByRef(VT_BSTR, &noText)},
      {ByteArray("abc")},
      std::vector<Variant>(12, Variant::I4(0)),
  };
  int calls = 0;
  for (const member_spec& m : iport18Members()) {
    if (m.dispid == DISPID_Port__TermOrFile) continue;  // would hand the port to an occupier
    const WORD flags = m.kind == member_kind::method    ? DISPATCH_METHOD
                       : m.kind == member_kind::propget ? DISPATCH_PROPERTYGET
                                                        : DISPATCH_PROPERTYPUT;
    for (const auto& shape : shapes) {
      std::vector<VARIANT> reversed(shape.rbegin(), shape.rend());
      DISPID named = DISPID_PROPERTYPUT;
      DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                        static_cast<UINT>(reversed.size()), 0};
      if (flags == DISPATCH_PROPERTYPUT && !reversed.empty()) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
      }
      Variant result;
      EXCEPINFO excep{};
      UINT argErr = 0;
      HRESULT hr =
          rig.port->Invoke(m.dispid, IID_NULL, 0, flags, &params, &result, &excep, &argErr);
      if (hr == DISP_E_EXCEPTION) hr = excep.scode;
      ClearExcepInfo(&excep);
      if (m.dispid == DISPID_Port_Handle && hr == S_OK)  // the caller owns the duplicate
        CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(result.lVal)));
      EXPECT_TRUE(Documented(hr)) << m.name << " with " << shape.size() << " arguments: 0x"
                                  << std::hex << static_cast<std::uint32_t>(hr);
      ++calls;
      if (noArray) {
        SafeArrayDestroy(noArray);
        noArray = nullptr;
      }
      SysFreeString(noText);
      noText = nullptr;
    }
  }
  EXPECT_GT(calls, 1000);
  // The control is still usable afterwards.
  Variant closed;
  EXPECT_EQ(rig.Call(DISPID_Port_Close, {}, &closed), S_OK);
  EXPECT_EQ(rig.Run(DISPID_Port_Open, {Variant::I4(rig.portNumber_)}), "true");
}

TEST(PortEvents, TheHiddenFiringMembersReachTheSinksWithTheirArguments) {
  PortRig rig(NextPortNumber());
  ArrayRef data("\x01\x02");
  EXPECT_EQ(rig.Call(DISPID_Port__Fire_CommState, {Variant::I4(4)}), S_OK);
  EXPECT_EQ(rig.Call(DISPID_Port__Fire_AutoInput, {data.Ref(), Variant::I4(2)}), S_OK);
  EXPECT_EQ(rig.Call(DISPID_Port__Fire_NonblockInput,
                     {Variant::I4(7), Variant::Str(u"s"), Variant::I4(1)}),
            S_OK);
  EXPECT_EQ(rig.Call(DISPID_Port__Fire_NonblockOutput, {Variant::I4(8), Variant::I4(0)}), S_OK);
  EXPECT_EQ(rig.Call(DISPID_Port__Fire_DataDetected), S_OK);
  EXPECT_EQ(rig.Call(DISPID_Port__Fire__UberAutoInput, {data.Ref(), Variant::I4(2)}), S_OK);
  EXPECT_EQ(rig.Take(), (std::vector<std::string>{
                            "event CommState(4)", "event AutoInput(bytes:0102, 2)",
                            "event NonblockInput(7, \"s\", 1)", "event NonblockOutput(8, 0)",
                            "event DataDetected()", "event _UberAutoInput(bytes:0102, 2)"}));
}

TEST(PortEvents, CountersRestartAtEveryOpenAndLosingTheSiteClosesThePort) {
  PortRig rig(NextPortNumber());
  ASSERT_TRUE(rig.Open(1));
  EXPECT_EQ(rig.Run(DISPID_Port_Output, {Variant::Str(u"abc")}), "3");
  EXPECT_EQ(rig.Show(DISPID_Port_OutputByteCount), "3");
  EXPECT_EQ(rig.Run(DISPID_Port_Close), "true");
  EXPECT_EQ(rig.Show(DISPID_Port_OutputByteCount), "3");
  ASSERT_TRUE(rig.Open());
  EXPECT_EQ(rig.Show(DISPID_Port_OutputByteCount), "0");
  // The container's release of the control closes the port and stops the workers.
  EXPECT_EQ(rig.form->RemoveControl(rig.port.get()), S_OK);
  EXPECT_FALSE(rig.device->IsOpen());
  EXPECT_FALSE(rig.impl->Engine().threads_bound());
  rig.Take();
  rig.device->Feed("x");
  WaitWithDispatch(0, nullptr, 50);
  EXPECT_TRUE(rig.Take().empty());
}

TEST(PortEmbedding, EverySiteCallClosesThePortAndTheSecondStopsTheWorkers) {
  const int number = NextPortNumber();
  auto device = MemoryDevice::Create("embedding" + std::to_string(getpid()));
  setenv(("RAVLIN_COM" + std::to_string(number)).c_str(), device->Path().c_str(), 1);
  ComPtr<IDispatch> port;
  ASSERT_EQ(CPort19::Create(nullptr, IID_IDispatch, port.ReceiveVoid()), S_OK);
  auto* impl = static_cast<CPort19*>(port.get());
  impl->Engine().set_close_settle_for_testing(0);
  ASSERT_EQ(PutProperty(port.get(), DISPID_Port_PortNumber, Variant::I4(number)), S_OK);
  auto open = [&] {
    Variant r;
    return InvokeByDispid(port.get(), DISPID_Port_Open, DISPATCH_METHOD, {}, &r) == S_OK &&
           r.boolVal == VARIANT_TRUE;
  };
  ComPtr<IOleObject> ole;
  ASSERT_EQ(port->QueryInterface(IID_IOleObject, ole.ReceiveVoid()), S_OK);

  ASSERT_TRUE(open());
  ASSERT_TRUE(impl->Engine().threads_bound());
  EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);  // the first call: the container places it
  EXPECT_FALSE(device->IsOpen());
  EXPECT_TRUE(impl->Engine().threads_bound()) << "the workers stay for the next open";
  ASSERT_TRUE(open());
  EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);  // the second: the container lets it go
  EXPECT_FALSE(device->IsOpen());
  EXPECT_FALSE(impl->Engine().threads_bound());
  ASSERT_TRUE(open()) << "an open binds the workers again";
  EXPECT_TRUE(impl->Engine().threads_bound());
  Variant r;
  EXPECT_EQ(InvokeByDispid(port.get(), DISPID_Port_Close, DISPATCH_METHOD, {}, &r), S_OK);
}

}  // namespace
}  // namespace ravlin::testing
