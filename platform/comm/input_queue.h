// The receive queue of one open serial device, as the platform's driver keeps it.
//
// How it works: bytes taken from the line land here in arrival order, up to the size given to
// SetupComm (0 there means kDefaultSize). The device stops taking bytes from the line while the
// queue is full, so the driver's own buffer and flow control hold the rest. Every arrival passes
// the character rules of the DCB at once, as the driver applies them on arrival: with fNull set,
// NUL bytes are dropped; an arrival raises EV_RXCHAR (even when every byte was dropped), and
// EV_RXFLAG when it holds the event character (EvtChar). The first arrival that brings the queue
// to 80 % of its size raises EV_RX80FULL; the mark fires again only after reads or a purge took
// the queue below it. Reads take from the front. Bytes that go straight into a waiting read
// (the queue being empty) pass the same rules in place, so a reader cannot tell the two apart.
// Not thread-safe: the device's lock guards it.
//
// Offers: InputQueue.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/comm/comm.h"

namespace win::detail {

class InputQueue {
 public:
  static constexpr DWORD kDefaultSize = 4096;

  // The size SetupComm asked for, as GetCommProperties reports it (0 allowed).
  DWORD RequestedSize() const { return requested_; }
  // The size in effect. Never 0.
  std::size_t Capacity() const { return requested_ ? requested_ : kDefaultSize; }
  // Bytes already held stay, even above the new size; arrivals wait until there is room.
  // Never fails.
  void SetSize(DWORD size) { requested_ = size; }

  // The character rules of the DCB (fNull, EvtChar), for the arrivals from now on. Never fails.
  void SetRules(bool discardNul, char eventChar) {
    discardNul_ = discardNul;
    eventChar_ = static_cast<BYTE>(eventChar);
  }

  std::size_t Held() const { return bytes_.size() - head_; }
  bool Full() const { return Held() >= Capacity(); }
  // How many bytes may arrive before the queue is full.
  std::size_t Room() const { return Full() ? 0 : Capacity() - Held(); }

  // Appends `size` bytes that came from the line after the rules; returns the events they raise
  // (EV_RXCHAR, EV_RXFLAG, EV_RX80FULL). The caller offers at most Room() bytes; more are kept
  // all the same. On allocation failure std::bad_alloc leaves the queue as it was.
  DWORD Arrive(const BYTE* data, std::size_t size);
  // Bytes that came straight into a read's buffer while the queue is empty: the rules act in
  // place, *kept is how many bytes remain at the front of data. Returns the events raised.
  // Never fails.
  DWORD ArriveInPlace(BYTE* data, std::size_t size, std::size_t* kept);

  // Moves up to `size` bytes from the front into out; returns the count. Never fails.
  std::size_t Take(BYTE* out, std::size_t size);
  // Drops every byte held (PurgeComm PURGE_RXCLEAR); the 80 % mark may fire again. Never fails.
  void Clear();

 private:
  DWORD Events(const BYTE* data, std::size_t size) const;
  DWORD CheckMark();

  std::vector<BYTE> bytes_;  // bytes_[head_...] are held
  std::size_t head_ = 0;
  DWORD requested_ = kDefaultSize;
  bool above80_ = false;  // EV_RX80FULL fired and the queue has not gone below the mark since
  bool discardNul_ = false;
  BYTE eventChar_ = 0;
};

}  // namespace win::detail
