// The serial communications API (comm.h): argument checks, the handle lookup and the
// platform's BOOL-and-last-error convention around the device object.
#include "platform/comm/comm.h"

#include <cstring>
#include <string>

#include "platform/comm/comm_device.h"
#include "platform/comm/device_name.h"
#include "platform/comm/error_detail.h"
#include "platform/comm/line.h"
#include "platform/comm/memory_device.h"

namespace win {

using detail::CommDevice;

DWORD DcbFlags(const DCB& dcb) {
  DWORD flags = 0;
  std::memcpy(&flags, reinterpret_cast<const BYTE*>(&dcb) + 8, sizeof flags);
  return flags;
}

void SetDcbFlags(DCB& dcb, DWORD flags) {
  std::memcpy(reinterpret_cast<BYTE*>(&dcb) + 8, &flags, sizeof flags);
}

namespace {

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL Result(DWORD error) {
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// The device behind a handle, after the test's failure injection for that call.
std::shared_ptr<CommDevice> Device(HANDLE file, CommCall call, DWORD* error) {
  auto device = detail::Lookup<CommDevice>(file);
  if (!device) {
    *error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  *error = device->Injected(call);
  return *error == ERROR_SUCCESS ? device : nullptr;
}

// Runs an overlapped operation; with no record, waits for it as a synchronous call does.
template <class Start>
BOOL Transfer(CommDevice& device, OVERLAPPED* overlapped, DWORD* transferred, Start start) {
  OVERLAPPED own{};
  OVERLAPPED* record = overlapped ? overlapped : &own;
  DWORD done = 0;
  const DWORD error = start(record, &done);
  if (error == ERROR_SUCCESS) {
    if (transferred) *transferred = done;
    return TRUE;
  }
  if (error != ERROR_IO_PENDING || overlapped) {
    if (transferred) *transferred = 0;
    return Fail(error);
  }
  device.WaitCompletion(record);
  if (transferred) *transferred = static_cast<DWORD>(record->InternalHigh);
  return Result(static_cast<DWORD>(record->Internal));
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD creationDisposition,
                   DWORD, HANDLE) {
  ClearLastErrorDetail();
  if (fileName == nullptr || creationDisposition != OPEN_EXISTING) {
    SetLastError(fileName == nullptr ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = detail::ResolveDevicePath(fileName);
  if (path.empty()) {  // a COM or device name that leads to no device
    detail::SetLastErrorDetail(std::string(fileName) + ": no such port");
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::unique_ptr<detail::Line> line;
  std::string reason;
  const DWORD error = path.rfind("mem:", 0) == 0
                          ? detail::OpenMemoryLine(path.substr(4), &line, &reason)
                          : detail::OpenTtyLine(path, &line, &reason);
  if (error != ERROR_SUCCESS) {
    if (!reason.empty()) detail::SetLastErrorDetail(path + ": " + reason);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  std::shared_ptr<CommDevice> device;
  if (DWORD created = CommDevice::Create(std::move(line), path, &device)) {
    detail::SetLastErrorDetail(path + ": the device could not be set up");
    SetLastError(created);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = detail::InsertObject(device);
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  DWORD error;
  auto device = Device(file, CommCall::SetupComm, &error);
  return device ? Result(device->Setup(inQueue, outQueue)) : Fail(error);
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::GetCommState, &error);
  return device ? Result(device->GetState(dcb)) : Fail(error);
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
  if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::SetCommState, &error);
  return device ? Result(device->SetState(*dcb)) : Fail(error);
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::GetCommTimeouts, &error);
  return device ? Result(device->GetTimeouts(timeouts)) : Fail(error);
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::SetCommTimeouts, &error);
  return device ? Result(device->SetTimeouts(*timeouts)) : Fail(error);
}

BOOL GetCommMask(HANDLE file, DWORD* eventMask) {
  if (eventMask == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::GetCommMask, &error);
  return device ? Result(device->GetMask(eventMask)) : Fail(error);
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
  DWORD error;
  auto device = Device(file, CommCall::SetCommMask, &error);
  return device ? Result(device->SetMask(eventMask)) : Fail(error);
}

BOOL GetCommProperties(HANDLE file, COMMPROP* properties) {
  if (properties == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::GetCommProperties, &error);
  return device ? Result(device->Properties(properties)) : Fail(error);
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
  DWORD error;
  auto device = Device(file, CommCall::ClearCommError, &error);
  return device ? Result(device->ClearError(errors, stat)) : Fail(error);
}

BOOL GetCommModemStatus(HANDLE file, DWORD* modemStat) {
  if (modemStat == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::GetCommModemStatus, &error);
  return device ? Result(device->ModemStatus(modemStat)) : Fail(error);
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
  DWORD error;
  auto device = Device(file, CommCall::EscapeCommFunction, &error);
  return device ? Result(device->Escape(function)) : Fail(error);
}

BOOL SetCommBreak(HANDLE file) {
  DWORD error;
  auto device = Device(file, CommCall::SetCommBreak, &error);
  return device ? Result(device->Escape(SETBREAK)) : Fail(error);
}

BOOL ClearCommBreak(HANDLE file) {
  DWORD error;
  auto device = Device(file, CommCall::ClearCommBreak, &error);
  return device ? Result(device->Escape(CLRBREAK)) : Fail(error);
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  DWORD error;
  auto device = Device(file, CommCall::PurgeComm, &error);
  return device ? Result(device->Purge(flags)) : Fail(error);
}

BOOL TransmitCommChar(HANDLE file, char c) {
  DWORD error;
  auto device = Device(file, CommCall::TransmitCommChar, &error);
  return device ? Result(device->TransmitChar(c)) : Fail(error);
}

BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  if (eventMask == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::WaitCommEvent, &error);
  if (!device) return Fail(error);
  return Transfer(*device, overlapped, nullptr,
                  [&](OVERLAPPED* record, DWORD*) { return device->StartWait(eventMask, record); });
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead, DWORD* numberOfBytesRead,
              OVERLAPPED* overlapped) {
  if (buffer == nullptr && numberOfBytesToRead > 0) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::ReadFile, &error);
  if (!device) return Fail(error);
  return Transfer(*device, overlapped, numberOfBytesRead, [&](OVERLAPPED* record, DWORD* done) {
    return device->StartRead(static_cast<BYTE*>(buffer), numberOfBytesToRead, record, done);
  });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD numberOfBytesToWrite, DWORD* numberOfBytesWritten,
               OVERLAPPED* overlapped) {
  if (buffer == nullptr && numberOfBytesToWrite > 0) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error;
  auto device = Device(file, CommCall::WriteFile, &error);
  if (!device) return Fail(error);
  return Transfer(*device, overlapped, numberOfBytesWritten, [&](OVERLAPPED* record, DWORD* done) {
    return device->StartWrite(static_cast<const BYTE*>(buffer), numberOfBytesToWrite, record, done);
  });
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* numberOfBytesTransferred,
                         BOOL wait) {
  if (overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  auto status = [&] { return __atomic_load_n(&overlapped->Internal, __ATOMIC_ACQUIRE); };
  if (status() == STATUS_PENDING) {
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    if (overlapped->hEvent) {
      while (status() == STATUS_PENDING) {
        if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED) {
          return Fail(GetLastError());
        }
      }
    } else {
      auto device = detail::Lookup<CommDevice>(file);
      if (!device) return Fail(ERROR_INVALID_HANDLE);
      device->WaitCompletion(overlapped);
    }
  }
  if (numberOfBytesTransferred) {
    *numberOfBytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
  }
  return Result(static_cast<DWORD>(status()));
}

BOOL CancelIo(HANDLE file) {
  auto device = detail::Lookup<CommDevice>(file);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  const DWORD error = device->Cancel(nullptr);
  return error == ERROR_NOT_FOUND ? TRUE : Result(error);
}

BOOL CancelIoEx(HANDLE file, OVERLAPPED* overlapped) {
  auto device = detail::Lookup<CommDevice>(file);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  return Result(device->Cancel(overlapped));
}

DWORD WaitCommInput(HANDLE file, DWORD count, DWORD milliseconds, DWORD abortCount,
                    const HANDLE* aborts) {
  if (abortCount >= MAXIMUM_WAIT_OBJECTS || (abortCount > 0 && aborts == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  auto device = detail::Lookup<CommDevice>(file);
  if (!device) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  DWORD result = WAIT_FAILED;
  if (DWORD error = device->WaitInput(count, milliseconds, abortCount, aborts, &result)) {
    SetLastError(error);
    return WAIT_FAILED;
  }
  return result;
}

BOOL GetCommActivity(HANDLE file, CommActivity* activity) {
  if (activity == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  auto device = detail::Lookup<CommDevice>(file);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  return Result(device->Activity(activity));
}

BOOL WaitCommActivity(HANDLE file, const std::function<bool(const CommActivity&)>& reached,
                      DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    CommActivity activity;
    if (!GetCommActivity(file, &activity)) return FALSE;
    if (reached(activity)) return TRUE;
    if (GetTickCount() - start >= milliseconds) return FALSE;
    Sleep(1);
  }
}

}  // namespace win
