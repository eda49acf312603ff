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

TEST(PortModule, NamesResolveCaseInsensitivelyAndDispidsAreTheContract) {
  PortRig rig(NextPortNumber());
  DISPID id = 0;
  EXPECT_EQ(DispidOfName(rig.port.get(), u"baudrate", &id), S_OK);
  EXPECT_EQ(id, 81);
  EXPECT_EQ(DispidOfName(rig.port.get(), u"_FIRE_COMMSTATE", &id), S_OK);
  EXPECT_EQ(id, 374);
  EXPECT_EQ(DispidOfName(rig.port.get(), u"NoSuchMember", &id), DISP_E_UNKNOWNNAME);
  // DISPID 16 reaches DisconnectTapiCtl (not built yet), 10 reaches nothing.
  EXPECT_EQ(rig.Run(16), "!! 0x80004001");
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
  EXPECT_EQ(testcon::format_value(digits.Ref()), "bytes:313233343536373839");
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
