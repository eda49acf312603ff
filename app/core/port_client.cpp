#include "app/core/port_client.h"

#include <QSocketNotifier>
#include <vector>

#include "app/core/port_contract.h"
#include "app/core/text_utils.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/client_site.h"
#include "platform/comm/device_name.h"
#include "platform/host/connection.h"
#include "platform/host/dispatch_call.h"
#include "platform/host/event_sink.h"

namespace tavo {

using namespace win;

struct PortClient::Control {
  ComPtr<IDispatch> port;
  ComPtr<Form> form;
  ComPtr<winhost::EventSink> sink;
  DWORD cookie = 0;
  std::unique_ptr<QSocketNotifier> apartment;
  bool comInitialized = false;
};

namespace {

QString toQString(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

LONG asLong(const VARIANT& v, LONG otherwise) {
  Variant copy(v);
  return SUCCEEDED(copy.ChangeType(VT_I4)) ? copy.lVal : otherwise;
}

bool asBool(const VARIANT& v) {
  Variant copy(v);
  return SUCCEEDED(copy.ChangeType(VT_BOOL)) && copy.boolVal != VARIANT_FALSE;
}

}  // namespace

PortClient::PortClient() : c_(std::make_unique<Control>()) {}

PortClient::~PortClient() {
  destroy();
}

bool PortClient::created() const {
  return c_->port.get() != nullptr;
}

bool PortClient::create(QString* error) {
  if (created()) return true;
  if (!c_->comInitialized) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    c_->comInitialized = true;
  }
  const HRESULT hr = CoCreateInstance(CLSID_Port, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                      c_->port.ReceiveVoid());
  if (FAILED(hr)) {
    if (error)
      *error = QStringLiteral("the Port control cannot be created (0x%1)")
                   .arg(static_cast<quint32>(hr), 8, 16, QLatin1Char('0'));
    c_->port.Reset();
    return false;
  }

  // Events reach this thread through its apartment; the Qt loop serves it.
  ApartmentPtr apartment = CurrentApartment();
  c_->apartment = std::make_unique<QSocketNotifier>(apartment->Descriptor(), QSocketNotifier::Read);
  QObject::connect(c_->apartment.get(), &QSocketNotifier::activated,
                   [apartment] { apartment->Service(); });

  c_->form = ComPtr<Form>::Attach(new Form);
  c_->form->SetUserMode(true);
  c_->form->AddControl(c_->port.get(), u"Port1");

  c_->sink = ComPtr<winhost::EventSink>::Attach(
      new winhost::EventSink(DIID__IPort18Events, [this](DISPID id, DISPPARAMS* params) {
        const LONG value = params && params->cArgs >= 1 ? asLong(params->rgvarg[0], 0) : 0;
        if (id == dispid::CommError && onCommError) onCommError(value);
        if (id == dispid::CommState && onCommState) onCommState(value);
        return S_OK;
      }));
  c_->cookie = winhost::Advise(c_->port.get(), DIID__IPort18Events, c_->sink.get());

  // The settings the main window keeps with its control.
  IDispatch* p = c_->port.get();
  winhost::CallMethod(p, dispid::SetIOMode, {Variant::I4(iomBlocking)}, nullptr, nullptr);
  winhost::PutProperty(p, dispid::Dtr, Variant::Bool(true), nullptr);
  winhost::PutProperty(p, dispid::Rts, Variant::Bool(true), nullptr);
  winhost::PutProperty(p, dispid::InputBufferSize, Variant::I4(4096), nullptr);
  winhost::PutProperty(p, dispid::OutputBufferSize, Variant::I4(4096), nullptr);
  winhost::PutProperty(p, dispid::BaudRate, Variant::I4(9600), nullptr);
  winhost::PutProperty(p, dispid::DataBits, Variant::I2(8), nullptr);
  winhost::PutProperty(p, dispid::Parity, Variant::I4(0), nullptr);
  winhost::PutProperty(p, dispid::StopBits, Variant::R4(1.0f), nullptr);
  winhost::PutProperty(p, dispid::InputTimeout, Variant::I4(2000), nullptr);
  winhost::PutProperty(p, dispid::OutputTimeout, Variant::I4(2000), nullptr);
  winhost::PutProperty(p, dispid::EventMask, Variant::I4(376), nullptr);
  winhost::PutProperty(p, dispid::OnThreshold, Variant::I4(25), nullptr);
  winhost::PutProperty(p, dispid::OffThreshold, Variant::I4(75), nullptr);
  winhost::PutProperty(p, dispid::InputThreshold, Variant::I4(20000), nullptr);
  winhost::PutProperty(p, dispid::OutputThreshold, Variant::I4(20000), nullptr);
  return true;
}

void PortClient::destroy() {
  if (c_->port) {
    if (c_->sink) c_->sink->set_handler({});
    if (c_->cookie) winhost::Unadvise(c_->port.get(), DIID__IPort18Events, c_->cookie);
    c_->cookie = 0;
    if (c_->form) c_->form->Close();
    c_->form.Reset();
    c_->sink.Reset();
    c_->port.Reset();
  }
  c_->apartment.reset();
  if (c_->comInitialized) {
    CoUninitialize();
    c_->comInitialized = false;
  }
}

bool PortClient::opened() {
  if (!c_->port) return false;
  Variant v;
  return SUCCEEDED(winhost::GetProperty(c_->port.get(), dispid::Opened, &v, nullptr)) && asBool(v);
}

void PortClient::applySettings(const LineSettings& s) {
  if (!c_->port) return;
  IDispatch* p = c_->port.get();
  winhost::PutProperty(p, dispid::BaudRate, Variant::I4(s.baudRate), nullptr);
  winhost::PutProperty(p, dispid::Parity, Variant::I4(s.parity), nullptr);
  winhost::PutProperty(p, dispid::DataBits, Variant::I2(s.dataBits), nullptr);
  winhost::PutProperty(p, dispid::StopBits, Variant::R4(s.stopBits), nullptr);
  winhost::PutProperty(p, dispid::Handshaking, Variant::I4(s.handshaking), nullptr);
  winhost::PutProperty(p, dispid::PortNumber, Variant::I4(s.portNumber), nullptr);
  winhost::PutProperty(p, dispid::InputThreshold, Variant::I4(1), nullptr);
  winhost::PutProperty(p, dispid::InputTimeout, Variant::I4(1000), nullptr);
  winhost::PutProperty(p, dispid::EventMask, Variant::I4(184), nullptr);
}

bool PortClient::open(QString* error) {
  if (!c_->port) {
    if (error) *error = QStringLiteral("the Port control is not available");
    return false;
  }
  Variant result;
  std::u16string description;
  const HRESULT hr = winhost::CallMethod(c_->port.get(), dispid::Open, {}, &result, &description);
  if (FAILED(hr) || !asBool(result)) {
    // The control names the failure; the device the port number stands for tells the operator
    // where to look (a missing adapter, a wrong mapping, no permission).
    const int number = portNumber();
    const QString device =
        QString::fromStdString(win::detail::ResolveDevicePath("COM" + std::to_string(number)));
    lastError_ = (FAILED(hr) ? toQString(description) : QString()) +
                 QStringLiteral(" (COM%1 = %2)").arg(number).arg(device);
    if (error) *error = lastError_.trimmed();
    return false;
  }
  return true;
}

void PortClient::close() {
  if (c_->port) winhost::CallMethod(c_->port.get(), dispid::Close, {}, nullptr, nullptr);
}

void PortClient::clearInputBuffer() {
  if (c_->port) winhost::CallMethod(c_->port.get(), dispid::ClearInputBuffer, {}, nullptr, nullptr);
}

void PortClient::clearOutputBuffer() {
  if (c_->port)
    winhost::CallMethod(c_->port.get(), dispid::ClearOutputBuffer, {}, nullptr, nullptr);
}

int PortClient::outputBytes(const QByteArray& bytes) {
  if (!c_->port) return -1;
  SAFEARRAY* array = SafeArrayFromBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  if (!array) return -1;
  Variant result;
  std::u16string description;
  const HRESULT hr =
      winhost::CallMethod(c_->port.get(), dispid::OutputB,
                          {Variant::ByRef(VT_ARRAY | VT_UI1, &array)}, &result, &description);
  SafeArrayDestroy(array);
  if (FAILED(hr)) {
    lastError_ = toQString(description);
    return -1;
  }
  return asLong(result, -1);
}

int PortClient::outputText(const QString& text) {
  if (!c_->port) return -1;
  Variant result;
  std::u16string description;
  const std::u16string wide(reinterpret_cast<const char16_t*>(text.utf16()),
                            static_cast<std::size_t>(text.size()));
  const HRESULT hr = winhost::CallMethod(c_->port.get(), dispid::Output, {Variant::Str(wide)},
                                         &result, &description);
  if (FAILED(hr)) {
    lastError_ = toQString(description);
    return -1;
  }
  return asLong(result, -1);
}

int PortClient::inputBufferByteCount() {
  if (!c_->port) return 0;
  Variant v;
  if (FAILED(winhost::GetProperty(c_->port.get(), dispid::InputBufferByteCount, &v, nullptr)))
    return 0;
  return asLong(v, 0);
}

QByteArray PortClient::inputBytes() {
  if (!c_->port) return {};
  // Bytes, not a string: a reply's check byte can be any value, and a lone lead byte of the
  // code page would not survive a trip through text.
  SAFEARRAY* array = nullptr;
  Variant result;
  const HRESULT hr =
      winhost::CallMethod(c_->port.get(), dispid::InputB,
                          {Variant::ByRef(VT_ARRAY | VT_UI1, &array)}, &result, nullptr);
  QByteArray bytes;
  if (SUCCEEDED(hr) && array && asLong(result, 0) > 0) {
    LONG lower = 0, upper = -1;
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayGetLBound(array, 1, &lower)) &&
        SUCCEEDED(SafeArrayGetUBound(array, 1, &upper)) && upper >= lower &&
        SUCCEEDED(SafeArrayAccessData(array, &data))) {
      bytes = QByteArray(static_cast<const char*>(data), upper - lower + 1);
      SafeArrayUnaccessData(array);
    }
  }
  if (array) SafeArrayDestroy(array);
  return bytes;
}

int PortClient::portNumber() {
  if (!c_->port) return 0;
  Variant v;
  if (FAILED(winhost::GetProperty(c_->port.get(), dispid::PortNumber, &v, nullptr))) return 0;
  return asLong(v, 0);
}

bool PortClient::dsr() {
  if (!c_->port) return false;
  Variant v;
  return SUCCEEDED(winhost::GetProperty(c_->port.get(), dispid::Dsr, &v, nullptr)) && asBool(v);
}

}  // namespace tavo
