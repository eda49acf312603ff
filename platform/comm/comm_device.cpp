#include "platform/comm/comm_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/comm/error_detail.h"
#include "platform/comm/wire_trace.h"

namespace win::detail {
namespace {

constexpr DWORD kMaxDword = 0xFFFFFFFF;
constexpr DWORD kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD kErrorEvents = EV_ERR | EV_BREAK;
constexpr DWORD kAllEvents = 0x1FFF;  // EV_RXCHAR ... EV_EVENT2, the bits the platform accepts

void Drain(int fd) {
  std::uint64_t value;
  [[maybe_unused]] ssize_t n = ::read(fd, &value, sizeof value);
}

}  // namespace

DWORD CommDevice::Create(std::unique_ptr<Line> line, const std::string& path,
                         std::shared_ptr<CommDevice>* device) {
  const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    line->Close();
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  std::shared_ptr<CommDevice> created(new CommDevice(std::move(line), path, wakeFd));
  {
    std::lock_guard lock(created->mutex_);
    created->dcb_ = created->line_->InitialState();
    created->input_.SetRules(created->dcb_.fNull, created->dcb_.EvtChar);
    // Raw mode from the start, keeping the line settings the device had.
    if (DWORD error = created->line_->Apply(created->dcb_)) {
      created->closed_ = true;
      created->line_->Close();
      return error;
    }
    created->line_->ModemStatus(&created->lastModem_);
    // The line counts errors for ever; those of an earlier open are not this handle's.
    created->line_->Counts(&created->errorBase_);
    created->eventBase_ = created->errorBase_;
  }
  created->service_ = std::thread([raw = created.get()] { raw->Run(); });
  *device = std::move(created);
  return ERROR_SUCCESS;
}

CommDevice::CommDevice(std::unique_ptr<Line> line, const std::string& path, int wakeFd)
    : line_(std::move(line)), path_(path), wakeFd_(wakeFd) {}

CommDevice::~CommDevice() {
  Shutdown();
  ::close(wakeFd_);
}

void CommDevice::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
    FailAll(ERROR_OPERATION_ABORTED);
    stop_ = true;
  }
  Wake();
  if (service_.joinable()) service_.join();
  std::unique_lock lock(mutex_);
  // Input waits may be polling the line's descriptor: it is closed only once they are gone.
  waiters_.SignalAll();
  waiters_.WaitUntilGone(lock);
  line_->Close();
}

void CommDevice::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void CommDevice::WaitCompletion(OVERLAPPED* overlapped) {
  std::unique_lock lock(mutex_);
  completions_.WaitFor(lock, overlapped);
}

// ---- Service thread ---------------------------------------------------------------------

void CommDevice::Run() {
  // A wake-up for output room alone need not look for input (a read that finds none).
  bool pull = true;
  for (;;) {
    std::unique_lock lock(mutex_);
    if (stop_) return;
    ++serviceRounds_;
    serviceIdle_ = false;
    const Clock::time_point now = Clock::now();
    if (pull) PullInput();
    ServeReads(now);
    PushOutput(now);
    WatchLine();

    int timeout = -1;
    auto consider = [&](Clock::time_point when) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
      const int ms = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
      timeout = timeout < 0 ? ms : std::min(timeout, ms);
    };
    if (!reads_.Empty()) {
      if (auto due = reads_.Front().Due()) consider(*due);
    }
    if (!writes_.empty() && writes_.front().hasDeadline) consider(writes_.front().deadline);
    // Modem lines, error counters and the driver's draining output give no descriptor event.
    const bool look = lost_ == ERROR_SUCCESS && line_->NeedsPolling() && ModemWatched();
    if (look || (txArmed_ && writes_.empty())) consider(now + std::chrono::milliseconds(10));

    const bool room = !input_.Full();
    // Threads in WaitCommInput poll the line themselves: two readers of a pty only slow each
    // other down.
    const bool deaf = InputLeftToWaiters(now);
    if (deaf && waiters_.Empty()) consider(waiters_.LingerUntil());
    waiters_.SetServiceDeaf(deaf);
    const bool wantInput = room && !deaf;
    const bool wantOutput = !writes_.empty() || priorityPending_;
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
    if (lost_ == ERROR_SUCCESS) {
      fds[1] = {line_->Descriptor(), line_->PollEvents(wantInput, wantOutput), 0};
    }
    serviceIdle_ = timeout < 0;
    lock.unlock();

    const int ready = ::poll(fds, 2, timeout);
    pull = true;
    if (ready <= 0) continue;
    if (fds[0].revents & POLLIN) Drain(wakeFd_);
    pull = (fds[0].revents & POLLIN) || (fds[1].revents & ~POLLOUT);
    if (fds[1].revents) {
      lock.lock();
      if (lost_ == ERROR_SUCCESS && !stop_) {
        line_->Acknowledge();
        // A hang-up (the far end of a pty closed) would poll ready for ever: the line is gone,
        // once the bytes it left behind are taken.
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
          PullInput();
          if (lost_ == ERROR_SUCCESS) {
            ServeReads(Clock::now());
            LoseLine(ERROR_DEVICE_NOT_CONNECTED);
          }
        }
      }
    }
  }
}

bool CommDevice::ModemWatched() const {
  return (events_.Mask() & (kLineEvents | kErrorEvents)) != 0 || dcb_.fOutxDsrFlow ||
         dcb_.fDsrSensitivity || dcb_.fAbortOnError ||
         (dcb_.fOutxCtsFlow && !line_->CtsFlowInDriver());
}

// Output flow control that termios has no flag for: DSR always, CTS where the driver lacks it.
bool CommDevice::OutputHeld() {
  const bool cts = dcb_.fOutxCtsFlow && !line_->CtsFlowInDriver();
  if (!cts && !dcb_.fOutxDsrFlow) return false;
  DWORD status = 0;
  if (line_->ModemStatus(&status) != ERROR_SUCCESS) return false;
  return (cts && !(status & MS_CTS_ON)) || (dcb_.fOutxDsrFlow && !(status & MS_DSR_ON));
}

// AbortOnError: a line error that ClearCommError has not yet reported stops all transfers.
bool CommDevice::ErrorsUnacknowledged() {
  if (!dcb_.fAbortOnError) return false;
  LineCounts counts;
  if (line_->Counts(&counts) != ERROR_SUCCESS) return false;
  return counts.frame != errorBase_.frame || counts.overrun != errorBase_.overrun ||
         counts.parity != errorBase_.parity || counts.brk != errorBase_.brk ||
         counts.bufferOverrun != errorBase_.bufferOverrun;
}

// True while input waits take the line's bytes as they arrive, and nothing else needs the
// service thread to: no pending read, no event wait for received bytes.
bool CommDevice::InputLeftToWaiters(Clock::time_point now) const {
  constexpr DWORD kInputEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL;
  return waiters_.Holding(now) && line_->InputDescriptor() >= 0 && reads_.Empty() &&
         !events_.PendingFor(kInputEvents) && !dcb_.fDsrSensitivity;
}

// DsrSensitivity: bytes that arrive while DSR is off are dropped.
bool CommDevice::InputIgnored() {
  if (!dcb_.fDsrSensitivity) return false;
  DWORD status = 0;
  return line_->ModemStatus(&status) == ERROR_SUCCESS && !(status & MS_DSR_ON);
}

long CommDevice::Receive(BYTE* buffer, std::size_t size) {
  const long n = line_->Receive(buffer, size);
  if (n > 0 && WireTraceOn()) TraceWire(path_, WireSide::kDevice, buffer, n);
  return n;
}

long CommDevice::Transmit(const BYTE* data, std::size_t size) {
  const long n = line_->Transmit(data, size);
  if (n > 0 && WireTraceOn()) TraceWire(path_, WireSide::kHost, data, n);
  return n;
}

void CommDevice::PullInput() {
  if (lost_ != ERROR_SUCCESS || closed_) return;
  if (chunk_.empty()) chunk_.resize(64 * 1024);
  const std::size_t heldBefore = input_.Held();
  // A short read does not mean the line is idle: on a terminal the next read waits for the
  // driver's pending transfer into its buffer, which is cheaper than sleeping in poll() and
  // being woken for it. A few short reads in a row at most, so the lock is not held for long.
  constexpr int kMaxShortReads = 8;
  int shortReads = 0;
  while (!input_.Full()) {
    // With nothing queued, bytes go straight into the oldest waiting read, as they would
    // have gone through the queue into it: one copy fewer, and no limit of the queue's size.
    PendingRead* direct = reads_.DirectTarget(input_);
    BYTE* begin = direct ? direct->buffer + direct->done : chunk_.data();
    const std::size_t want =
        direct ? direct->size - direct->done : std::min(chunk_.size(), input_.Room());
    const long n = Receive(begin, want);
    if (n < 0) {
      // What came before the line went is still delivered to the reads waiting for it.
      ServeReads(Clock::now());
      LoseLine(static_cast<DWORD>(-n));
      return;
    }
    if (n == 0) break;
    if (InputIgnored()) continue;
    DWORD events;
    if (direct) {
      std::size_t kept = 0;
      events = input_.ArriveInPlace(begin, static_cast<std::size_t>(n), &kept);
      direct->Took(static_cast<DWORD>(kept), Clock::now());
    } else {
      events = input_.Arrive(begin, static_cast<std::size_t>(n));
    }
    events_.Record(events);
    if (static_cast<std::size_t>(n) < want && ++shortReads == kMaxShortReads) break;
  }
  if (!waiters_.Empty() && input_.Held() > heldBefore) waiters_.Signal(input_);
}

void CommDevice::PushOutput(Clock::time_point now) {
  if (lost_ != ERROR_SUCCESS) return;
  if (priorityPending_) {
    const long n = Transmit(&priority_, 1);
    if (n < 0) return LoseLine(static_cast<DWORD>(-n));
    if (n == 0) return;
    priorityPending_ = false;
    if (events_.Mask() & EV_TXEMPTY) txArmed_ = true;
  }
  const bool held = !writes_.empty() && OutputHeld();
  while (!writes_.empty()) {
    PendingWrite& w = writes_.front();
    if (w.done < w.size && !held) {
      const long n = Transmit(w.data + w.done, w.size - w.done);
      if (n < 0) return LoseLine(static_cast<DWORD>(-n));
      w.done += static_cast<DWORD>(n);
      if (n > 0 && (events_.Mask() & EV_TXEMPTY)) txArmed_ = true;
    }
    // A write that times out completes with the bytes the line took, as the platform does.
    if (w.done == w.size || (w.hasDeadline && now >= w.deadline)) {
      completions_.Complete(w.overlapped, ERROR_SUCCESS, w.done);
      writes_.pop_front();
      continue;
    }
    return;
  }
}

bool CommDevice::EndWrites(DWORD status, const OVERLAPPED* only) {
  bool found = false;
  for (auto it = writes_.begin(); it != writes_.end();) {
    if (only == nullptr || it->overlapped == only) {
      completions_.Complete(it->overlapped, status, it->done);
      it = writes_.erase(it);
      found = true;
    } else {
      ++it;
    }
  }
  return found;
}

void CommDevice::WatchLine() {
  if (lost_ != ERROR_SUCCESS) return;
  if ((!reads_.Empty() || !writes_.empty()) && ErrorsUnacknowledged()) {
    reads_.End(ERROR_OPERATION_ABORTED);
    EndWrites(ERROR_OPERATION_ABORTED);
  }
  const DWORD mask = events_.Mask();
  DWORD events = 0;
  if (mask & kLineEvents) {
    DWORD status = 0;
    if (line_->ModemStatus(&status) == ERROR_SUCCESS) {
      const DWORD changed = status ^ lastModem_;
      if (changed & MS_CTS_ON) events |= EV_CTS;
      if (changed & MS_DSR_ON) events |= EV_DSR;
      if (changed & MS_RLSD_ON) events |= EV_RLSD;
      if (changed & MS_RING_ON) events |= EV_RING;
      lastModem_ = status;
    }
  }
  if (mask & kErrorEvents) {
    LineCounts counts;
    if (line_->Counts(&counts) == ERROR_SUCCESS) {
      // EV_ERR covers the line-status errors only; an input overflow is not one.
      if (counts.frame != eventBase_.frame || counts.overrun != eventBase_.overrun ||
          counts.parity != eventBase_.parity) {
        events |= EV_ERR;
      }
      if (counts.brk != eventBase_.brk) events |= EV_BREAK;
      eventBase_ = counts;
    }
  }
  if (txArmed_ && writes_.empty() && !priorityPending_) {
    DWORD queued = 0;
    if (line_->DriverOutput(&queued) == ERROR_SUCCESS && queued == 0) {
      txArmed_ = false;
      events |= EV_TXEMPTY;
    }
  }
  events_.Record(events);
}

// A device that went away reads as a pulled cable: every modem line that was on is off now,
// and an event wait asking for those lines ends with them (or the next wait does, once), so
// that a program watching the lines sees the loss at once. Everything else fails from now on.
void CommDevice::LoseLine(DWORD error) {
  lost_ = error;
  DWORD events = 0;
  if (lastModem_ & MS_CTS_ON) events |= EV_CTS;
  if (lastModem_ & MS_DSR_ON) events |= EV_DSR;
  if (lastModem_ & MS_RLSD_ON) events |= EV_RLSD;
  if (lastModem_ & MS_RING_ON) events |= EV_RING;
  lastModem_ = 0;
  events_.KeepOnly(kLineEvents);  // only the line changes outlive the device
  events_.Record(events);
  FailAll(error);
  waiters_.SignalAll();
}

void CommDevice::FailAll(DWORD status) {
  reads_.End(status);
  EndWrites(status);
  priorityPending_ = false;
  events_.End(status);
}

InputLook CommDevice::LookForInput(DWORD count, bool pull, Clock::time_point now) {
  InputLook look;
  if (closed_) {
    look.error = ERROR_INVALID_HANDLE;
    return look;
  }
  if (lost_ != ERROR_SUCCESS) {
    look.error = lost_;
    return look;
  }
  look.lineFd = line_->InputDescriptor();
  if (pull || look.lineFd < 0) {
    const std::size_t before = reads_.Size();
    PullInput();
    if (lost_ != ERROR_SUCCESS) {
      look.error = lost_;
      return look;
    }
    ServeReads(now);
    // A pending read that took bytes here may now run on an interval the service thread has
    // not seen.
    if (!reads_.Empty() && (reads_.Size() != before || reads_.Front().done > 0)) Wake();
  }
  const std::size_t held = input_.Held();
  const std::size_t capacity = input_.Capacity();
  look.full = held >= capacity;
  look.enough = held >= count;
  if (!look.enough && (look.full || count > capacity)) {
    DWORD driverIn = 0;
    line_->DriverInput(&driverIn);
    look.enough = held + driverIn >= count;
  }
  look.lookEveryMs = look.full || (count > capacity && look.lineFd < 0);
  return look;
}

// ---- Calls ------------------------------------------------------------------------------

#define COMM_OPEN_OR_FAIL() \
  if (closed_) return ERROR_INVALID_HANDLE

DWORD CommDevice::Injected(CommCall call) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  return line_->Injected(call);
}

DWORD CommDevice::Setup(DWORD inQueue, DWORD outQueue) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  input_.SetSize(inQueue);
  outQueue_ = outQueue;
  Wake();  // the input queue may take more now
  return ERROR_SUCCESS;
}

DWORD CommDevice::GetState(DCB* dcb) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  *dcb = dcb_;
  return ERROR_SUCCESS;
}

namespace {

// What makes a DCB one no line can take, in words; "" when there is nothing.
std::string DcbRefusal(const DCB& dcb) {
  if (dcb.BaudRate == 0) return "a baud rate of 0";
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8)
    return std::to_string(static_cast<int>(dcb.ByteSize)) + " data bits";
  if (dcb.Parity > SPACEPARITY)
    return "parity code " + std::to_string(static_cast<int>(dcb.Parity));
  if (dcb.StopBits > TWOSTOPBITS)
    return "stop-bit code " + std::to_string(static_cast<int>(dcb.StopBits));
  // The pairs the platform refuses: 5 data bits with 2 stop bits, 6 to 8 with 1.5.
  if (dcb.ByteSize == 5 && dcb.StopBits == TWOSTOPBITS) return "5 data bits with 2 stop bits";
  if (dcb.ByteSize > 5 && dcb.StopBits == ONE5STOPBITS)
    return std::to_string(static_cast<int>(dcb.ByteSize)) + " data bits with 1.5 stop bits";
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar)
    return "Xon/Xoff flow control with the same Xon and Xoff character";
  return "";
}

}  // namespace

DWORD CommDevice::SetState(const DCB& dcb) {
  if (const std::string refusal = DcbRefusal(dcb); !refusal.empty()) {
    detail::SetLastErrorDetail(path_ + ": settings no line can take (" + refusal + ")");
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (DWORD error = line_->Apply(dcb)) {
    line_->Apply(dcb_);  // leave the line as it was
    detail::SetLastErrorDetail(path_ + ": the driver refused the settings (" +
                               std::to_string(dcb.BaudRate) + " baud, " +
                               std::to_string(static_cast<int>(dcb.ByteSize)) + " data bits)");
    return error;
  }
  // DTR and RTS follow the DCB only when their control mode changes, so a line the program
  // dropped with EscapeCommFunction stays dropped across later settings.
  if (dcb.fDtrControl != dcb_.fDtrControl) {
    line_->Escape(dcb.fDtrControl == DTR_CONTROL_DISABLE ? CLRDTR : SETDTR);
  }
  if (dcb.fRtsControl != dcb_.fRtsControl) {
    line_->Escape(dcb.fRtsControl == RTS_CONTROL_DISABLE ? CLRRTS : SETRTS);
  }
  dcb_ = dcb;
  input_.SetRules(dcb_.fNull, dcb_.EvtChar);
  Wake();  // NUL discarding and the event character act on input from now on
  return ERROR_SUCCESS;
}

DWORD CommDevice::GetTimeouts(COMMTIMEOUTS* timeouts) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  *timeouts = timeouts_;
  return ERROR_SUCCESS;
}

DWORD CommDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  if (timeouts.ReadIntervalTimeout == kMaxDword &&
      timeouts.ReadTotalTimeoutMultiplier == kMaxDword &&
      timeouts.ReadTotalTimeoutConstant == kMaxDword) {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  timeouts_ = timeouts;
  return ERROR_SUCCESS;
}

DWORD CommDevice::GetMask(DWORD* mask) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  *mask = events_.Mask();
  return ERROR_SUCCESS;
}

DWORD CommDevice::SetMask(DWORD mask) {
  if (mask & ~kAllEvents) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (!(mask & EV_TXEMPTY)) txArmed_ = false;
  // Changes count from now on.
  line_->ModemStatus(&lastModem_);
  line_->Counts(&eventBase_);
  // A mask change ends the pending wait with no events.
  events_.SetMask(mask);
  Wake();
  return ERROR_SUCCESS;
}

DWORD CommDevice::Properties(COMMPROP* p) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  std::memset(p, 0, sizeof *p);
  p->wPacketLength = sizeof(COMMPROP);
  p->wPacketVersion = 2;
  p->dwServiceMask = 0x1;           // SP_SERIALCOMM
  p->dwMaxBaud = 0x10000000;        // BAUD_USER: any rate
  p->dwProvSubType = 0x1;           // PST_RS232
  p->dwProvCapabilities = 0x1FF;    // DTR/DSR, RTS/CTS, RLSD, parity check, XON/XOFF, ...
  p->dwSettableParams = 0x7F;       // parity, baud, data bits, stop bits, handshaking, ...
  p->dwSettableBaud = 0x1007FFFF;   // every BAUD_* bit and BAUD_USER
  p->wSettableData = 0x000F;        // DATABITS_5 ... DATABITS_8
  p->wSettableStopParity = 0x1F07;  // STOPBITS_10/15/20, PARITY_NONE ... PARITY_SPACE
  p->dwCurrentTxQueue = outQueue_;
  p->dwCurrentRxQueue = input_.RequestedSize();
  return ERROR_SUCCESS;
}

DWORD CommDevice::ClearError(DWORD* errors, COMSTAT* stat) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (lost_ != ERROR_SUCCESS) return lost_;
  LineCounts counts;
  if (DWORD error = line_->Counts(&counts)) return error;
  // The kernel counts for ever; the program sees each error once.
  DWORD bits = 0;
  if (counts.frame != errorBase_.frame) bits |= CE_FRAME;
  if (counts.overrun != errorBase_.overrun) bits |= CE_OVERRUN;
  if (counts.parity != errorBase_.parity) bits |= CE_RXPARITY;
  if (counts.brk != errorBase_.brk) bits |= CE_BREAK;
  if (counts.bufferOverrun != errorBase_.bufferOverrun) bits |= CE_RXOVER;
  errorBase_ = counts;
  if (errors) *errors = bits;
  if (stat) {
    PullInput();
    if (lost_ != ERROR_SUCCESS) return lost_;
    ServeReads(Clock::now());
    std::memset(stat, 0, sizeof *stat);
    DWORD driverIn = 0;
    DWORD driverOut = 0;
    line_->DriverInput(&driverIn);
    line_->DriverOutput(&driverOut);
    DWORD pendingOut = priorityPending_ ? 1 : 0;
    for (const PendingWrite& w : writes_) pendingOut += w.size - w.done;
    stat->cbInQue = static_cast<DWORD>(input_.Held()) + driverIn;
    stat->cbOutQue = pendingOut + driverOut;
    if (dcb_.fOutxCtsFlow || dcb_.fOutxDsrFlow) {
      DWORD modem = 0;
      line_->ModemStatus(&modem);
      stat->fCtsHold = dcb_.fOutxCtsFlow && !(modem & MS_CTS_ON);
      stat->fDsrHold = dcb_.fOutxDsrFlow && !(modem & MS_DSR_ON);
    }
  }
  return ERROR_SUCCESS;
}

DWORD CommDevice::ModemStatus(DWORD* status) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (lost_ != ERROR_SUCCESS) {
    *status = 0;  // a pulled cable: no line is on
    return ERROR_SUCCESS;
  }
  return line_->ModemStatus(status);
}

DWORD CommDevice::Escape(DWORD function) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (lost_ != ERROR_SUCCESS) return lost_;
  const DWORD error = line_->Escape(function);
  Wake();  // output may move again (SETXON, CLRBREAK)
  return error;
}

DWORD CommDevice::Purge(DWORD flags) {
  if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (flags & PURGE_TXABORT) {
    EndWrites(ERROR_OPERATION_ABORTED);
    priorityPending_ = false;
  }
  if (flags & PURGE_RXABORT) reads_.End(ERROR_OPERATION_ABORTED);
  if (flags & PURGE_RXCLEAR) input_.Clear();
  if (lost_ == ERROR_SUCCESS && (flags & (PURGE_TXCLEAR | PURGE_RXCLEAR))) {
    if (DWORD error = line_->Flush(flags & PURGE_RXCLEAR, flags & PURGE_TXCLEAR)) return error;
  }
  Wake();
  return ERROR_SUCCESS;
}

DWORD CommDevice::TransmitChar(char c) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (lost_ != ERROR_SUCCESS) return lost_;
  if (priorityPending_) return ERROR_INVALID_PARAMETER;  // the previous one is not out yet
  // Straight to the line: it goes ahead of whatever part of pending writes is still ours.
  priority_ = static_cast<BYTE>(c);
  const long n = Transmit(&priority_, 1);
  if (n < 0) {
    LoseLine(static_cast<DWORD>(-n));
    return lost_;
  }
  if (n == 0) {
    priorityPending_ = true;
    Wake();
  } else if (events_.Mask() & EV_TXEMPTY) {
    txArmed_ = true;
    Wake();
  }
  return ERROR_SUCCESS;
}

DWORD CommDevice::StartRead(BYTE* buffer, DWORD size, OVERLAPPED* overlapped, DWORD* done) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (lost_ != ERROR_SUCCESS) return lost_;
  if (ErrorsUnacknowledged()) return ERROR_OPERATION_ABORTED;
  StartRecord(overlapped);
  const Clock::time_point now = Clock::now();
  reads_.Add(PendingRead(overlapped, buffer, size, timeouts_, now));
  if (reads_.Size() == 1) {
    // Bytes already queued serve the read without a look at the line.
    if (input_.Held() < size) PullInput();
    if (lost_ != ERROR_SUCCESS) return lost_;  // LoseLine has completed the record
    const bool wasFull = input_.Full();
    ServeReads(now);
    if (reads_.Empty()) {
      *done = static_cast<DWORD>(overlapped->InternalHigh);
      // A full queue had stopped the service thread listening to the line: room again.
      // (Not while it leaves input to the waits: it looks again when that ends.)
      if (wasFull && !waiters_.ServiceDeaf()) Wake();
      return ERROR_SUCCESS;
    }
  }
  Wake();
  return ERROR_IO_PENDING;
}

DWORD CommDevice::StartWrite(const BYTE* data, DWORD size, OVERLAPPED* overlapped, DWORD* done) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  if (lost_ != ERROR_SUCCESS) return lost_;
  if (ErrorsUnacknowledged()) return ERROR_OPERATION_ABORTED;
  StartRecord(overlapped);
  const Clock::time_point now = Clock::now();
  const std::uint64_t total = std::uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * size +
                              timeouts_.WriteTotalTimeoutConstant;
  writes_.push_back({overlapped, data, size, 0, total != 0, now + CommMs(total)});
  if (writes_.size() == 1 && !priorityPending_) {
    PushOutput(now);
    if (lost_ != ERROR_SUCCESS) return lost_;
    if (writes_.empty()) {
      *done = static_cast<DWORD>(overlapped->InternalHigh);
      if (txArmed_) Wake();  // the service thread watches for the output to drain
      return ERROR_SUCCESS;
    }
  }
  Wake();
  return ERROR_IO_PENDING;
}

DWORD CommDevice::StartWait(DWORD* events, OVERLAPPED* overlapped) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  // The lines' going off when the device went is still told to the first wait after it.
  if (lost_ != ERROR_SUCCESS && events_.Kept() == 0) return lost_;
  if (DWORD error = events_.Start(events, overlapped)) return error;
  // Events that came while nobody waited, or that the line shows now, end the wait at once.
  PullInput();
  WatchLine();
  events_.Record(0);
  if (!events_.Pending()) {
    // Completed here: by events, or by the line's loss (LoseLine has stored its error).
    return static_cast<DWORD>(RecordStatus(overlapped));
  }
  Wake();
  return ERROR_IO_PENDING;
}

DWORD CommDevice::Activity(CommActivity* activity) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  activity->inputWaits = static_cast<DWORD>(waiters_.Count());
  activity->inputQueued = static_cast<DWORD>(input_.Held());
  activity->pendingWrites = static_cast<DWORD>(writes_.size());
  activity->eventWaitPending = events_.Pending() ? TRUE : FALSE;
  activity->serviceRounds = serviceRounds_;
  activity->serviceIdle = serviceIdle_ ? TRUE : FALSE;
  return ERROR_SUCCESS;
}

DWORD CommDevice::Cancel(OVERLAPPED* overlapped) {
  std::lock_guard lock(mutex_);
  COMM_OPEN_OR_FAIL();
  bool found = reads_.End(ERROR_OPERATION_ABORTED, overlapped);
  found = EndWrites(ERROR_OPERATION_ABORTED, overlapped) || found;
  found = events_.End(ERROR_OPERATION_ABORTED, overlapped) || found;
  return found ? ERROR_SUCCESS : ERROR_NOT_FOUND;
}

DWORD CommDevice::WaitInput(DWORD count, DWORD milliseconds, DWORD abortCount, const HANDLE* aborts,
                            DWORD* result) {
  return waiters_.Wait(*this, mutex_, count, milliseconds, abortCount, aborts, result);
}

}  // namespace win::detail
