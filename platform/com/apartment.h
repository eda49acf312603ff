// Apartments: per-thread call queues through which other threads run code on a thread.
//
// Principle: each thread that asks (CurrentApartment, CoInitializeEx) gets an apartment, a FIFO of
// calls plus an event descriptor that polls readable while calls wait. Another thread posts a call
// with Apartment::Call and blocks until the owning thread has run it; calls run one at a time, in
// the order posted. The owning thread runs them when its host loop sees the descriptor readable
// (Service) and inside every "wait with message dispatch" (WaitWithDispatch). An apartment closes
// when its thread leaves it (the last CoUninitialize, or thread exit); calls posted to a closed
// apartment, or still queued when it closes, fail with RPC_E_DISCONNECTED and never run.
//
// Offers: Apartment (Call, IsCurrent, Descriptor, Service, Close), CurrentApartment,
// CoInitializeEx / CoUninitialize, WaitWithDispatch, DispatchPending.
#pragma once

#include <functional>
#include <memory>

#include "platform/com/base.h"

namespace win {

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_MULTITHREADED = 0x0;

class Apartment {
 public:
  virtual ~Apartment() = default;

  // Runs fn on the owning thread and returns once it has run (S_OK). Called on the owning thread
  // itself, runs fn at once. RPC_E_DISCONNECTED when the apartment is closed or closes before
  // fn ran; fn then never runs.
  virtual HRESULT Call(std::function<void()> fn) = 0;

  // True on the owning thread.
  virtual bool IsCurrent() const = 0;

  // Owner side. The descriptor polls readable while calls wait; Service runs every call waiting
  // now (re-entrantly safe: a call may itself wait with dispatch) and returns how many ran.
  virtual int Descriptor() const = 0;
  virtual int Service() = 0;

  // Refuses new calls and fails the waiting ones. Idempotent.
  virtual void Close() = 0;
};
using ApartmentPtr = std::shared_ptr<Apartment>;

// The calling thread's apartment, created on first use. Never null.
ApartmentPtr CurrentApartment();

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();

// Waits until one of the descriptors polls readable or the time-out (ms, INFINITE = 0xFFFFFFFF)
// passes, servicing the calling thread's apartment meanwhile. Returns WAIT_OBJECT_0 + index
// (0 + index), WAIT_TIMEOUT (258) or WAIT_FAILED (0xFFFFFFFF). count 0 just services for the
// time given.
DWORD WaitWithDispatch(DWORD count, const int* fds, DWORD milliseconds);

// Runs the calls waiting in the calling thread's apartment now, without waiting; returns how many.
int DispatchPending();

}  // namespace win
