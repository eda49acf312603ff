// The in-memory device: the test's end (MemoryDevice) and the program's end (MemoryLine).
#include "platform/comm/memory_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <utility>

#include "platform/comm/line.h"

namespace win {
namespace {

std::mutex registryMutex;
std::map<std::string, std::weak_ptr<MemoryDevice>>& Registry() {
  static std::map<std::string, std::weak_ptr<MemoryDevice>> devices;
  return devices;
}

}  // namespace

struct MemoryDevice::Access {
  static void Notify(MemoryDevice& d) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(d.notifyFd_, &one, sizeof one);
  }
};

std::shared_ptr<MemoryDevice> MemoryDevice::Create(const std::string& name) {
  std::shared_ptr<MemoryDevice> device(new MemoryDevice(name));
  std::lock_guard lock(registryMutex);
  Registry()[name] = device;
  return device;
}

MemoryDevice::MemoryDevice(std::string name) : name_(std::move(name)) {
  notifyFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

MemoryDevice::~MemoryDevice() {
  {
    std::lock_guard lock(registryMutex);
    auto it = Registry().find(name_);
    if (it != Registry().end() && it->second.expired()) Registry().erase(it);
  }
  ::close(notifyFd_);
}

void MemoryDevice::Feed(std::string_view bytes) {
  std::lock_guard lock(mutex_);
  input_.append(bytes);
  Access::Notify(*this);
}

std::string MemoryDevice::TakeWritten() {
  std::lock_guard lock(mutex_);
  return std::exchange(output_, {});
}

bool MemoryDevice::WaitWritten(std::size_t size, int timeoutMs) {
  std::unique_lock lock(mutex_);
  return written_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return output_.size() >= size; });
}

void MemoryDevice::HoldWrites(bool hold) {
  std::lock_guard lock(mutex_);
  hold_ = hold;
  Access::Notify(*this);
}

void MemoryDevice::SetModemLines(DWORD modemStatus) {
  std::lock_guard lock(mutex_);
  modem_ = modemStatus & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
  Access::Notify(*this);
}

void MemoryDevice::RaiseErrors(DWORD errors) {
  std::lock_guard lock(mutex_);
  if (errors & CE_FRAME) ++counts_[0];
  if (errors & CE_OVERRUN) ++counts_[1];
  if (errors & CE_RXPARITY) ++counts_[2];
  if (errors & CE_BREAK) ++counts_[3];
  if (errors & CE_RXOVER) ++counts_[4];
  Access::Notify(*this);
}

void MemoryDevice::FailCall(CommCall call, DWORD error) {
  std::lock_guard lock(mutex_);
  failures_[static_cast<int>(call)] = error;
}

void MemoryDevice::Disconnect() {
  std::lock_guard lock(mutex_);
  disconnected_ = true;
  Access::Notify(*this);
}

void MemoryDevice::Reconnect() {
  std::lock_guard lock(mutex_);
  if (!disconnected_) return;
  disconnected_ = false;
  ++generation_;
}

bool MemoryDevice::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}
int MemoryDevice::OpenCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}
DCB MemoryDevice::AppliedState() const {
  std::lock_guard lock(mutex_);
  return applied_;
}
bool MemoryDevice::Dtr() const {
  std::lock_guard lock(mutex_);
  return dtr_;
}
bool MemoryDevice::Rts() const {
  std::lock_guard lock(mutex_);
  return rts_;
}
bool MemoryDevice::Break() const {
  std::lock_guard lock(mutex_);
  return break_;
}
bool MemoryDevice::OutputStopped() const {
  std::lock_guard lock(mutex_);
  return stopped_;
}

namespace detail {

class MemoryLine final : public Line {
 public:
  MemoryLine(std::shared_ptr<MemoryDevice> device, int generation)
      : device_(std::move(device)), generation_(generation) {}

  int Descriptor() const override { return Fd(); }
  short PollEvents(bool, bool) const override { return POLLIN; }
  void Acknowledge() override {
    std::uint64_t value;
    [[maybe_unused]] ssize_t n = ::read(Fd(), &value, sizeof value);
  }
  bool NeedsPolling() const override { return false; }

  long Receive(BYTE* buffer, std::size_t size) override {
    std::lock_guard lock(d().mutex_);
    if (Gone()) return -static_cast<long>(ERROR_DEVICE_NOT_CONNECTED);
    const std::size_t n = std::min(size, d().input_.size());
    std::memcpy(buffer, d().input_.data(), n);
    d().input_.erase(0, n);
    return static_cast<long>(n);
  }

  long Transmit(const BYTE* data, std::size_t size) override {
    std::lock_guard lock(d().mutex_);
    if (Gone()) return -static_cast<long>(ERROR_DEVICE_NOT_CONNECTED);
    if (d().hold_ || d().stopped_ || d().break_) return 0;
    d().output_.append(reinterpret_cast<const char*>(data), size);
    d().written_.notify_all();
    return static_cast<long>(size);
  }

  DWORD DriverInput(DWORD* count) override {
    std::lock_guard lock(d().mutex_);
    *count = static_cast<DWORD>(d().input_.size());
    return ERROR_SUCCESS;
  }
  DWORD DriverOutput(DWORD* count) override {
    *count = 0;  // accepted bytes are on the wire at once
    return ERROR_SUCCESS;
  }

  DWORD Apply(const DCB& dcb) override {
    std::lock_guard lock(d().mutex_);
    d().applied_ = dcb;
    return ERROR_SUCCESS;
  }

  DWORD ModemStatus(DWORD* status) override {
    std::lock_guard lock(d().mutex_);
    *status = d().modem_;
    return ERROR_SUCCESS;
  }

  DWORD Escape(DWORD function) override {
    std::lock_guard lock(d().mutex_);
    switch (function) {
      case SETDTR:
        d().dtr_ = true;
        break;
      case CLRDTR:
        d().dtr_ = false;
        break;
      case SETRTS:
        d().rts_ = true;
        break;
      case CLRRTS:
        d().rts_ = false;
        break;
      case SETBREAK:
        d().break_ = true;
        break;
      case CLRBREAK:
        d().break_ = false;
        break;
      case SETXOFF:
        d().stopped_ = true;
        break;
      case SETXON:
        d().stopped_ = false;
        break;
      default:
        return ERROR_INVALID_PARAMETER;
    }
    MemoryDevice::Access::Notify(d());
    return ERROR_SUCCESS;
  }

  DWORD Counts(LineCounts* counts) override {
    std::lock_guard lock(d().mutex_);
    counts->frame = d().counts_[0];
    counts->overrun = d().counts_[1];
    counts->parity = d().counts_[2];
    counts->brk = d().counts_[3];
    counts->bufferOverrun = d().counts_[4];
    return ERROR_SUCCESS;
  }

  DWORD Flush(bool input, bool) override {
    std::lock_guard lock(d().mutex_);
    if (input) d().input_.clear();
    return ERROR_SUCCESS;
  }

  DWORD Injected(CommCall call) override {
    std::lock_guard lock(d().mutex_);
    return d().failures_[static_cast<int>(call)];
  }

  DCB InitialState() override {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
  }

  void Close() override {
    std::lock_guard lock(d().mutex_);
    d().open_ = false;
    d().dtr_ = d().rts_ = d().break_ = d().stopped_ = false;
  }

  static DWORD Open(const std::string& name, std::unique_ptr<Line>* line);

 private:
  MemoryDevice& d() const { return *device_; }
  int Fd() const { return device_->notifyFd_; }
  // With the device's lock held.
  bool Gone() const { return d().disconnected_ || d().generation_ != generation_; }
  std::shared_ptr<MemoryDevice> device_;
  const int generation_;
};

DWORD MemoryLine::Open(const std::string& name, std::unique_ptr<Line>* line) {
  std::shared_ptr<MemoryDevice> device;
  int generation = 0;
  {
    std::lock_guard lock(registryMutex);
    auto it = Registry().find(name);
    if (it != Registry().end()) device = it->second.lock();
  }
  if (!device) return ERROR_FILE_NOT_FOUND;
  {
    std::lock_guard lock(device->mutex_);
    if (DWORD failure = device->failures_[static_cast<int>(CommCall::CreateFile)]) return failure;
    if (device->disconnected_) return ERROR_FILE_NOT_FOUND;
    if (device->open_) return ERROR_ACCESS_DENIED;
    device->open_ = true;
    ++device->openCount_;
    // Opening a port raises DTR and RTS, as a terminal driver does.
    device->dtr_ = device->rts_ = true;
    generation = device->generation_;
  }
  *line = std::make_unique<MemoryLine>(device, generation);
  return ERROR_SUCCESS;
}

DWORD OpenMemoryLine(const std::string& name, std::unique_ptr<Line>* line, std::string* reason) {
  const DWORD error = MemoryLine::Open(name, line);
  if (error != ERROR_SUCCESS && reason) {
    *reason = error == ERROR_FILE_NOT_FOUND ? "no such in-memory device, or it is unplugged"
                                            : "the in-memory device refused to open";
  }
  return error;
}

}  // namespace detail
}  // namespace win
