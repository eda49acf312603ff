// Streams, storages and the persistence interfaces.
//
// A stream is a byte sequence with a seek pointer: over memory (growing as written) or over a
// file. Read gives S_OK when it filled the request and S_FALSE with the count actually read when
// it came up short (end of data), so a loader can tell a truncated stream. A storage here is a
// flat set of named streams (no sub-storages) kept in memory and written to its file, whole, on
// Commit and on final release (a private format, not a compound file); StgOpenStorage reads it
// back. This is what IPersistStorage needs: one "Contents" stream per control.
//
// Offers: ISequentialStream, IStream, IStorage, IPersist, IPersistStreamInit, IPersistStorage,
// STATSTG, STGM_ and STREAM_SEEK_ values; CreateStreamOnMemory, SHCreateStreamOnFileA,
// StgCreateDocfile, StgOpenStorage, ReadStreamBytes.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/com/base.h"
#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

namespace win {

union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
};

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

extern const IID IID_ISequentialStream;
extern const IID IID_IStream;
extern const IID IID_IStorage;
extern const IID IID_IPersist;
extern const IID IID_IPersistStreamInit;
extern const IID IID_IPersistStorage;

constexpr DWORD STGM_READ = 0x0;
constexpr DWORD STGM_WRITE = 0x1;
constexpr DWORD STGM_READWRITE = 0x2;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x40;
constexpr DWORD STGM_SHARE_DENY_WRITE = 0x20;
constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x10;
constexpr DWORD STGM_CREATE = 0x1000;
constexpr DWORD STGM_DIRECT = 0x0;
constexpr DWORD STGM_TRANSACTED = 0x10000;

constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

constexpr DWORD STGTY_STORAGE = 1;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STGC_DEFAULT = 0;

constexpr HRESULT STG_E_INVALIDNAME = MakeHResult(0x800300FC);
constexpr HRESULT STG_E_FILEALREADYEXISTS = MakeHResult(0x80030050);
constexpr HRESULT STG_E_INVALIDFLAG = MakeHResult(0x800300FF);
constexpr HRESULT STG_E_MEDIUMFULL = MakeHResult(0x80030070);
constexpr HRESULT STG_E_SEEKERROR = MakeHResult(0x80030019);
constexpr HRESULT STG_E_REVERTED = MakeHResult(0x80030102);

struct STATSTG {
  LPOLESTR pwcsName;  // CoTaskMemAlloc'ed unless STATFLAG_NONAME
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

struct ISequentialStream : IUnknown {
  // S_OK when cb bytes were read, S_FALSE when fewer (*pcbRead says how many; may be null).
  virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : ISequentialStream {
  virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER libNewSize) = 0;
  virtual HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                         ULARGE_INTEGER* pcbWritten) = 0;
  virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
  virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
  virtual HRESULT Clone(IStream** ppstm) = 0;
};

// Flat storage: streams only. Sub-storages, element enumeration, moves, renames, times and state
// bits answer STG_E_INVALIDFUNCTION.
struct IStorage : IUnknown {
  virtual HRESULT CreateStream(LPCOLESTR pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                               IStream** ppstm) = 0;
  virtual HRESULT OpenStream(LPCOLESTR pwcsName, void* reserved1, DWORD grfMode, DWORD reserved2,
                             IStream** ppstm) = 0;
  virtual HRESULT CreateStorage(LPCOLESTR pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                                IStorage** ppstg) = 0;
  virtual HRESULT OpenStorage(LPCOLESTR pwcsName, IStorage* pstgPriority, DWORD grfMode,
                              void* snbExclude, DWORD reserved, IStorage** ppstg) = 0;
  virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT DestroyElement(LPCOLESTR pwcsName) = 0;
  virtual HRESULT RenameElement(LPCOLESTR pwcsOldName, LPCOLESTR pwcsNewName) = 0;
  virtual HRESULT SetClass(REFCLSID clsid) = 0;
  virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
};

struct IPersist : IUnknown {
  virtual HRESULT GetClassID(CLSID* pClassID) = 0;
};

struct IPersistStreamInit : IPersist {
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* pStm) = 0;
  virtual HRESULT Save(IStream* pStm, BOOL fClearDirty) = 0;
  virtual HRESULT GetSizeMax(ULARGE_INTEGER* pCbSize) = 0;
  virtual HRESULT InitNew() = 0;
};

struct IPersistStorage : IPersist {
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT InitNew(IStorage* pStg) = 0;
  virtual HRESULT Load(IStorage* pStg) = 0;
  virtual HRESULT Save(IStorage* pStgSave, BOOL fSameAsLoad) = 0;
  virtual HRESULT SaveCompleted(IStorage* pStgNew) = 0;
  virtual HRESULT HandsOffStorage() = 0;
};

// A growable stream over memory, starting with a copy of size bytes at data (may be null / 0),
// seek pointer at 0.
HRESULT CreateStreamOnMemory(const void* data, std::size_t size, IStream** ppstm);
// A stream over a file (STGM_READ / STGM_WRITE / STGM_READWRITE, STGM_CREATE to create or
// truncate). STG_E_FILENOTFOUND, STG_E_ACCESSDENIED as the file system answers.
HRESULT SHCreateStreamOnFileA(LPCSTR pszFile, DWORD grfMode, IStream** ppstm);
// A new storage written to pwcsName (UTF-8 path here; null: memory only, never written).
// Without STGM_CREATE an existing file gives STG_E_FILEALREADYEXISTS.
HRESULT StgCreateDocfile(LPCSTR pwcsName, DWORD grfMode, DWORD reserved, IStorage** ppstgOpen);
// Opens a storage file written by this runtime: STG_E_FILENOTFOUND when absent,
// STG_E_READFAULT for a file that is not one of ours or is damaged.
HRESULT StgOpenStorage(LPCSTR pwcsName, IStorage* pstgPriority, DWORD grfMode, void* snbExclude,
                       DWORD reserved, IStorage** ppstgOpen);

// Convenience: all bytes of a stream from its start (the seek pointer is left at the end).
HRESULT ReadStreamBytes(IStream* stream, std::vector<BYTE>* bytes);

}  // namespace win
