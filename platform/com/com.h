// The component-object runtime: the platform's object model, as much of it as the Port control,
// its property pages and its hosts use, in namespace win with the platform's names.
//
// Principle of operation: objects are C++ classes implementing abstract interfaces; callers hold
// interface pointers, count references (AddRef/Release) and ask for other interfaces
// (QueryInterface). Automation objects describe each interface once as a table (TypeDescription)
// and get IDispatch from it, so a late-binding caller and the C++ methods agree by construction.
// Values cross interfaces as VARIANTs, strings as BSTRs, byte data as one-dimensional SAFEARRAYs.
// Failures are HRESULTs; detail travels in the calling thread's error object. Objects report
// events to sinks through connection points; they persist themselves to streams and storages.
// Objects live in the apartment of the thread that made them; other threads reach them through
// apartment calls. Classes are found by CLSID through the registry store.
//
// What lives where:
//   base.h              HRESULTs, GUID (parse/format/compare), IUnknown, IClassFactory, task memory
//   unknown.h           ComPtr, Unknown<...> (ref counting, QueryInterface, aggregation),
//                       MakeObject, CreateAggregable, ClassFactory
//   bstr.h              BSTR and the Sys* functions, Bstr
//   safearray.h         SAFEARRAY and the SafeArray* functions
//   variant.h           VARIANT, VariantInit/Clear/Copy/CopyInd/ChangeType(Ex), Variant
//   errorinfo.h         IErrorInfo, ICreateErrorInfo, ISupportErrorInfo, Set/GetErrorInfo
//   dispatch.h          IDispatch, DISPPARAMS, EXCEPINFO, type descriptions, table-driven Invoke
//   connection_point.h  connection points, IPropertyNotifySink, IEnumUnknown, event firing
//   stream.h            IStream (memory, file), IStorage (flat, file-backed), IPersist*
//   ole.h               IOleObject, IOleControl, IOleClientSite, IOleControlSite, IOleContainer
//   client_site.h       Form and ClientSite: a minimal host for controls
//   apartment.h         per-thread call queues, CoInitializeEx, waits with dispatch
//   registry.h          the registry store
//   registrar.h         registry scripts run in register and remove modes
//   activation.h        CoCreateInstance by CLSID from in-process server libraries
#pragma once

#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/base.h"
#include "platform/com/bstr.h"
#include "platform/com/client_site.h"
#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/errorinfo.h"
#include "platform/com/ole.h"
#include "platform/com/registrar.h"
#include "platform/com/registry.h"
#include "platform/com/safearray.h"
#include "platform/com/stream.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"
#include "platform/com/vartype.h"
