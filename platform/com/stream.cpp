// Memory and file streams, and the flat file-backed storage.
#include "platform/com/stream.h"
#include "platform/fileio/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>

#include "platform/text/convert.h"

namespace win {

const IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistStreamInit = {
    0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
const IID IID_IPersistStorage = {0x0000010A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

using Bytes = std::vector<BYTE>;
using SharedBytes = std::shared_ptr<Bytes>;

// Streams and storages keep their data in memory; this bounds a single stream.
constexpr ULONGLONG kMaxStreamSize = std::numeric_limits<std::uint32_t>::max();

bool IsWritableMode(DWORD mode) {
  return (mode & 0x3) == STGM_WRITE || (mode & 0x3) == STGM_READWRITE;
}
bool IsReadableMode(DWORD mode) {
  return (mode & 0x3) != STGM_WRITE;
}

LPOLESTR TaskString(const std::u16string& s) {
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
  if (!out) return nullptr;
  std::memcpy(out, s.data(), s.size() * sizeof(OLECHAR));
  out[s.size()] = 0;
  return out;
}

HRESULT NewPosition(ULONGLONG current, ULONGLONG size, LARGE_INTEGER move, DWORD origin,
                    ULONGLONG* out) {
  long long base;
  switch (origin) {
    case STREAM_SEEK_SET:
      base = 0;
      break;
    case STREAM_SEEK_CUR:
      base = static_cast<long long>(current);
      break;
    case STREAM_SEEK_END:
      base = static_cast<long long>(size);
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  long long target = 0;
  if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0)
    return STG_E_INVALIDFUNCTION;
  *out = static_cast<ULONGLONG>(target);
  return S_OK;
}

// Reads up to cb bytes through the IStream and writes them to another.
HRESULT CopyThrough(IStream* from, IStream* to, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                    ULARGE_INTEGER* pcbWritten) {
  if (!to) return STG_E_INVALIDPOINTER;
  BYTE buf[8192];
  ULONGLONG left = cb.QuadPart, read = 0, written = 0;
  HRESULT hr = S_OK;
  while (left > 0) {
    ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(left, sizeof buf));
    ULONG got = 0;
    hr = from->Read(buf, want, &got);
    if (FAILED(hr)) break;
    read += got;
    ULONG put = 0;
    if (got) {
      hr = to->Write(buf, got, &put);
      written += put;
      if (FAILED(hr)) break;
    }
    if (got < want) {
      hr = S_OK;
      break;
    }
    left -= got;
  }
  if (pcbRead) pcbRead->QuadPart = read;
  if (pcbWritten) pcbWritten->QuadPart = written;
  return hr;
}

// ---- memory stream -----------------------------------------------------------------------------

class MemoryStream final : public Unknown<IStream> {
 public:
  MemoryStream(SharedBytes data, bool writable, std::u16string name)
      : data_(std::move(data)), writable_(writable), name_(std::move(name)) {}

  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    ULONGLONG size = data_->size();
    ULONG n = pos_ >= size ? 0 : static_cast<ULONG>(std::min<ULONGLONG>(cb, size - pos_));
    if (n) std::memcpy(pv, data_->data() + pos_, n);
    pos_ += n;
    if (pcbRead) *pcbRead = n;
    return n == cb ? S_OK : S_FALSE;
  }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (!writable_) return STG_E_ACCESSDENIED;
    if (pos_ + cb > kMaxStreamSize) return STG_E_MEDIUMFULL;
    std::size_t end = static_cast<std::size_t>(pos_ + cb);
    try {
      if (end > data_->size()) data_->resize(end);
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    if (cb) std::memcpy(data_->data() + pos_, pv, cb);
    pos_ = end;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  }
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override {
    ULONGLONG target = 0;
    HRESULT hr = NewPosition(pos_, data_->size(), move, origin, &target);
    if (FAILED(hr)) return hr;
    pos_ = target;
    if (newPos) newPos->QuadPart = pos_;
    return S_OK;
  }
  HRESULT SetSize(ULARGE_INTEGER size) override {
    if (!writable_) return STG_E_ACCESSDENIED;
    if (size.QuadPart > kMaxStreamSize) return STG_E_MEDIUMFULL;
    try {
      data_->resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    return S_OK;
  }
  HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                 ULARGE_INTEGER* pcbWritten) override {
    return CopyThrough(this, pstm, cb, pcbRead, pcbWritten);
  }
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT Stat(STATSTG* st, DWORD flags) override {
    if (!st) return STG_E_INVALIDPOINTER;
    std::memset(st, 0, sizeof *st);
    st->type = STGTY_STREAM;
    st->cbSize.QuadPart = data_->size();
    st->grfMode = writable_ ? STGM_READWRITE : STGM_READ;
    if (!(flags & STATFLAG_NONAME) && !name_.empty()) {
      st->pwcsName = TaskString(name_);
      if (!st->pwcsName) return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  HRESULT Clone(IStream** out) override {
    if (!out) return STG_E_INVALIDPOINTER;
    auto copy = MakeObject<MemoryStream>(data_, writable_, name_);
    if (!copy) return E_OUTOFMEMORY;
    copy->pos_ = pos_;
    *out = copy.Detach();
    return S_OK;
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualGUID(riid, IID_IStream) || IsEqualGUID(riid, IID_ISequentialStream))
      return static_cast<IStream*>(this);
    return nullptr;
  }
  SharedBytes data_;
  bool writable_;
  std::u16string name_;
  ULONGLONG pos_ = 0;
};

// ---- file stream -------------------------------------------------------------------------------

HRESULT FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return STG_E_FILENOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return STG_E_ACCESSDENIED;
    case ENOSPC:
    case EFBIG:
      return STG_E_MEDIUMFULL;
    default:
      return E_FAIL;
  }
}

class FileStream final : public Unknown<IStream> {
 public:
  FileStream(int fd, DWORD mode, std::string path) : fd_(fd), mode_(mode), path_(std::move(path)) {}
  ~FileStream() override { ::close(fd_); }

  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (!IsReadableMode(mode_)) return STG_E_ACCESSDENIED;
    ULONG total = 0;
    while (total < cb) {
      ssize_t n = ::read(fd_, static_cast<char*>(pv) + total, cb - total);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        if (pcbRead) *pcbRead = total;
        return STG_E_READFAULT;
      }
      if (n == 0) break;  // end of file
      total += static_cast<ULONG>(n);
    }
    if (pcbRead) *pcbRead = total;
    return total == cb ? S_OK : S_FALSE;
  }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (!IsWritableMode(mode_)) return STG_E_ACCESSDENIED;
    ULONG total = 0;
    while (total < cb) {
      ssize_t n = ::write(fd_, static_cast<const char*>(pv) + total, cb - total);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (pcbWritten) *pcbWritten = total;
        return n < 0 && errno == ENOSPC ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
      }
      total += static_cast<ULONG>(n);
    }
    if (pcbWritten) *pcbWritten = total;
    return S_OK;
  }
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override {
    off_t cur = ::lseek(fd_, 0, SEEK_CUR);
    struct stat st {};
    if (cur < 0 || ::fstat(fd_, &st) != 0) return STG_E_SEEKERROR;
    ULONGLONG target = 0;
    HRESULT hr = NewPosition(static_cast<ULONGLONG>(cur), static_cast<ULONGLONG>(st.st_size), move,
                             origin, &target);
    if (FAILED(hr)) return hr;
    if (::lseek(fd_, static_cast<off_t>(target), SEEK_SET) < 0) return STG_E_SEEKERROR;
    if (newPos) newPos->QuadPart = target;
    return S_OK;
  }
  HRESULT SetSize(ULARGE_INTEGER size) override {
    if (!IsWritableMode(mode_)) return STG_E_ACCESSDENIED;
    if (::ftruncate(fd_, static_cast<off_t>(size.QuadPart)) != 0) return FromErrno(errno);
    return S_OK;
  }
  HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                 ULARGE_INTEGER* pcbWritten) override {
    return CopyThrough(this, pstm, cb, pcbRead, pcbWritten);
  }
  HRESULT Commit(DWORD) override { return ::fsync(fd_) == 0 ? S_OK : STG_E_WRITEFAULT; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT Stat(STATSTG* out, DWORD flags) override {
    if (!out) return STG_E_INVALIDPOINTER;
    std::memset(out, 0, sizeof *out);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return FromErrno(errno);
    out->type = STGTY_STREAM;
    out->cbSize.QuadPart = static_cast<ULONGLONG>(st.st_size);
    out->grfMode = mode_;
    if (!(flags & STATFLAG_NONAME)) {
      std::size_t slash = path_.find_last_of('/');
      std::u16string name =
          Utf8ToUtf16(slash == std::string::npos ? path_ : path_.substr(slash + 1));
      out->pwcsName = TaskString(name);
      if (!out->pwcsName) return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  HRESULT Clone(IStream** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;  // one seek pointer per open file
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualGUID(riid, IID_IStream) || IsEqualGUID(riid, IID_ISequentialStream))
      return static_cast<IStream*>(this);
    return nullptr;
  }
  int fd_;
  DWORD mode_;
  std::string path_;
};

// ---- storage -----------------------------------------------------------------------------------

constexpr char kMagic[8] = {'C', 'B', 'X', 'S', 'T', 'G', '0', '1'};
constexpr std::size_t kMaxNameChars = 31;

void PutU32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}
void PutU64(Bytes& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

struct Reader {
  const Bytes& in;
  std::size_t pos = 0;
  bool U32(std::uint32_t* v) {
    if (in.size() - pos < 4) return false;
    *v = 0;
    for (int i = 0; i < 4; ++i) *v |= std::uint32_t{in[pos + i]} << (8 * i);
    pos += 4;
    return true;
  }
  bool U64(std::uint64_t* v) {
    if (in.size() - pos < 8) return false;
    *v = 0;
    for (int i = 0; i < 8; ++i) *v |= std::uint64_t{in[pos + i]} << (8 * i);
    pos += 8;
    return true;
  }
  bool Raw(void* out, std::size_t n) {
    if (in.size() - pos < n) return false;
    std::memcpy(out, in.data() + pos, n);
    pos += n;
    return true;
  }
};

bool ReadWholeFile(const std::string& path, Bytes* out, HRESULT* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = FromErrno(errno);
    return false;
  }
  out->clear();
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      *error = STG_E_READFAULT;
      return false;
    }
    if (n == 0) break;
    out->insert(out->end(), buf, buf + n);
  }
  ::close(fd);
  return true;
}

class FlatStorage final : public Unknown<IStorage> {
 public:
  FlatStorage(std::string path, DWORD mode) : path_(std::move(path)), mode_(mode) {}
  ~FlatStorage() override {
    if (IsWritableMode(mode_)) Commit(STGC_DEFAULT);
  }

  HRESULT CreateStream(LPCOLESTR name, DWORD grfMode, DWORD, DWORD, IStream** out) override {
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (!IsWritableMode(mode_)) return STG_E_ACCESSDENIED;
    std::u16string key;
    if (!ValidName(name, &key)) return STG_E_INVALIDNAME;
    auto it = elements_.find(key);
    if (it != elements_.end() && !(grfMode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
    auto data = std::make_shared<Bytes>();
    elements_[key] = data;  // a re-created stream starts empty
    auto stream = MakeObject<MemoryStream>(data, true, key);
    if (!stream) return E_OUTOFMEMORY;
    *out = stream.Detach();
    return S_OK;
  }
  HRESULT OpenStream(LPCOLESTR name, void*, DWORD grfMode, DWORD, IStream** out) override {
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    std::u16string key;
    if (!ValidName(name, &key)) return STG_E_INVALIDNAME;
    auto it = elements_.find(key);
    if (it == elements_.end()) return STG_E_FILENOTFOUND;
    bool writable = IsWritableMode(grfMode);
    if (writable && !IsWritableMode(mode_)) return STG_E_ACCESSDENIED;
    auto stream = MakeObject<MemoryStream>(it->second, writable, key);
    if (!stream) return E_OUTOFMEMORY;
    *out = stream.Detach();
    return S_OK;
  }
  HRESULT CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage** out) override {
    if (out) *out = nullptr;
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT OpenStorage(LPCOLESTR, IStorage*, DWORD, void*, DWORD, IStorage** out) override {
    if (out) *out = nullptr;
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT Commit(DWORD) override {
    if (path_.empty()) return S_OK;
    if (!IsWritableMode(mode_)) return STG_E_ACCESSDENIED;
    Bytes out(kMagic, kMagic + sizeof kMagic);
    const BYTE* cls = reinterpret_cast<const BYTE*>(&clsid_);
    PutU32(out, clsid_.Data1);
    out.push_back(static_cast<BYTE>(clsid_.Data2));
    out.push_back(static_cast<BYTE>(clsid_.Data2 >> 8));
    out.push_back(static_cast<BYTE>(clsid_.Data3));
    out.push_back(static_cast<BYTE>(clsid_.Data3 >> 8));
    out.insert(out.end(), cls + offsetof(GUID, Data4), cls + offsetof(GUID, Data4) + 8);
    PutU32(out, static_cast<std::uint32_t>(elements_.size()));
    for (const auto& [name, data] : elements_) {
      PutU32(out, static_cast<std::uint32_t>(name.size()));
      for (char16_t c : name) {
        out.push_back(static_cast<BYTE>(c));
        out.push_back(static_cast<BYTE>(c >> 8));
      }
      PutU64(out, data->size());
      out.insert(out.end(), data->begin(), data->end());
    }
    // Replaced whole (a unique temporary beside it, flushed, renamed), so a failed write never
    // leaves a torn file and two storages committing the same file never mix their bytes.
    int err = 0;
    if (!fileio::ReplaceWholeFile(
            path_, std::string_view(reinterpret_cast<const char*>(out.data()), out.size()), nullptr,
            &err))
      return err == ENOSPC || err == EDQUOT                  ? STG_E_MEDIUMFULL
             : err == EACCES || err == EPERM || err == EROFS ? STG_E_ACCESSDENIED
                                                             : STG_E_WRITEFAULT;
    return S_OK;
  }
  HRESULT Revert() override { return S_OK; }  // direct mode: nothing pending
  HRESULT DestroyElement(LPCOLESTR name) override {
    if (!IsWritableMode(mode_)) return STG_E_ACCESSDENIED;
    std::u16string key;
    if (!ValidName(name, &key)) return STG_E_INVALIDNAME;
    return elements_.erase(key) ? S_OK : STG_E_FILENOTFOUND;
  }
  HRESULT RenameElement(LPCOLESTR, LPCOLESTR) override { return STG_E_INVALIDFUNCTION; }
  HRESULT SetClass(REFCLSID clsid) override {
    if (!IsWritableMode(mode_)) return STG_E_ACCESSDENIED;
    clsid_ = clsid;
    return S_OK;
  }
  HRESULT Stat(STATSTG* st, DWORD flags) override {
    if (!st) return STG_E_INVALIDPOINTER;
    std::memset(st, 0, sizeof *st);
    st->type = STGTY_STORAGE;
    st->grfMode = mode_;
    st->clsid = clsid_;
    if (!(flags & STATFLAG_NONAME)) {
      std::u16string name = Utf8ToUtf16(path_);
      st->pwcsName = TaskString(name);
      if (!st->pwcsName) return E_OUTOFMEMORY;
    }
    return S_OK;
  }

  void SetMode(DWORD mode) { mode_ = mode; }

  // Reads the file's contents; STG_E_READFAULT when it is not a storage of ours.
  HRESULT LoadFrom(const Bytes& file) {
    Reader r{file};
    char magic[8];
    BYTE g[16];
    std::uint32_t count = 0;
    if (!r.Raw(magic, 8) || std::memcmp(magic, kMagic, 8) != 0 || !r.Raw(g, 16) || !r.U32(&count))
      return STG_E_READFAULT;
    clsid_.Data1 = std::uint32_t{g[0]} | std::uint32_t{g[1]} << 8 | std::uint32_t{g[2]} << 16 |
                   std::uint32_t{g[3]} << 24;
    clsid_.Data2 = static_cast<std::uint16_t>(g[4] | g[5] << 8);
    clsid_.Data3 = static_cast<std::uint16_t>(g[6] | g[7] << 8);
    std::memcpy(clsid_.Data4, g + 8, 8);
    for (std::uint32_t e = 0; e < count; ++e) {
      std::uint32_t nameLen = 0;
      if (!r.U32(&nameLen) || nameLen == 0 || nameLen > kMaxNameChars) return STG_E_READFAULT;
      std::u16string name;
      for (std::uint32_t i = 0; i < nameLen; ++i) {
        BYTE c[2];
        if (!r.Raw(c, 2)) return STG_E_READFAULT;
        name.push_back(static_cast<char16_t>(c[0] | c[1] << 8));
      }
      std::uint64_t size = 0;
      if (!r.U64(&size) || size > file.size() - r.pos) return STG_E_READFAULT;
      auto data = std::make_shared<Bytes>(file.begin() + static_cast<std::ptrdiff_t>(r.pos),
                                          file.begin() + static_cast<std::ptrdiff_t>(r.pos + size));
      r.pos += static_cast<std::size_t>(size);
      elements_[name] = std::move(data);
    }
    return S_OK;
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualGUID(riid, IID_IStorage) ? static_cast<IStorage*>(this) : nullptr;
  }
  static bool ValidName(LPCOLESTR name, std::u16string* key) {
    if (!name || !*name) return false;
    std::u16string s(name);
    if (s.size() > kMaxNameChars) return false;
    for (char16_t c : s)
      if (c == u'/' || c == u'\\' || c == u':' || c == u'!') return false;
    *key = std::move(s);
    return true;
  }

  std::string path_;  // empty: memory only
  DWORD mode_;
  CLSID clsid_ = GUID_NULL;
  std::map<std::u16string, SharedBytes> elements_;
};

}  // namespace

HRESULT CreateStreamOnMemory(const void* data, std::size_t size, IStream** ppstm) {
  if (!ppstm) return E_INVALIDARG;
  *ppstm = nullptr;
  if (size > kMaxStreamSize || (size && !data)) return E_INVALIDARG;
  auto bytes = std::make_shared<Bytes>();
  if (size) bytes->assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
  auto stream = MakeObject<MemoryStream>(std::move(bytes), true, std::u16string());
  if (!stream) return E_OUTOFMEMORY;
  *ppstm = stream.Detach();
  return S_OK;
}

HRESULT SHCreateStreamOnFileA(LPCSTR pszFile, DWORD grfMode, IStream** ppstm) {
  if (!ppstm) return E_INVALIDARG;
  *ppstm = nullptr;
  if (!pszFile) return E_INVALIDARG;
  int flags = O_CLOEXEC;
  switch (grfMode & 0x3) {
    case STGM_READ:
      flags |= O_RDONLY;
      break;
    case STGM_WRITE:
      flags |= O_WRONLY;
      break;
    case STGM_READWRITE:
      flags |= O_RDWR;
      break;
    default:
      return STG_E_INVALIDFLAG;
  }
  if (grfMode & STGM_CREATE) {
    if ((grfMode & 0x3) == STGM_READ) return STG_E_INVALIDFLAG;
    flags |= O_CREAT | O_TRUNC;
  }
  int fd = ::open(pszFile, flags, 0644);
  if (fd < 0) return FromErrno(errno);
  auto stream = MakeObject<FileStream>(fd, grfMode, std::string(pszFile));
  if (!stream) {
    ::close(fd);
    return E_OUTOFMEMORY;
  }
  *ppstm = stream.Detach();
  return S_OK;
}

HRESULT StgCreateDocfile(LPCSTR pwcsName, DWORD grfMode, DWORD, IStorage** ppstgOpen) {
  if (!ppstgOpen) return STG_E_INVALIDPOINTER;
  *ppstgOpen = nullptr;
  if (!IsWritableMode(grfMode)) return STG_E_INVALIDFLAG;
  std::string path = pwcsName ? pwcsName : "";
  if (!path.empty() && !(grfMode & STGM_CREATE) && ::access(path.c_str(), F_OK) == 0)
    return STG_E_FILEALREADYEXISTS;
  auto storage = MakeObject<FlatStorage>(path, grfMode);
  if (!storage) return E_OUTOFMEMORY;
  // Write the empty storage now, so an unusable path fails here and not at the end.
  HRESULT hr = storage->Commit(STGC_DEFAULT);
  if (FAILED(hr)) return hr;
  *ppstgOpen = storage.Detach();
  return S_OK;
}

HRESULT StgOpenStorage(LPCSTR pwcsName, IStorage*, DWORD grfMode, void*, DWORD,
                       IStorage** ppstgOpen) {
  if (!ppstgOpen) return STG_E_INVALIDPOINTER;
  *ppstgOpen = nullptr;
  if (!pwcsName || !*pwcsName) return STG_E_INVALIDNAME;
  Bytes file;
  HRESULT hr = S_OK;
  if (!ReadWholeFile(pwcsName, &file, &hr)) return hr;
  // Opened read-only while loading, so that a failed load never rewrites the file on release.
  auto storage = MakeObject<FlatStorage>(std::string(pwcsName), STGM_READ);
  if (!storage) return E_OUTOFMEMORY;
  hr = storage->LoadFrom(file);
  if (FAILED(hr)) return hr;
  storage->SetMode(grfMode);
  *ppstgOpen = storage.Detach();
  return S_OK;
}

HRESULT ReadStreamBytes(IStream* stream, std::vector<BYTE>* bytes) {
  if (!stream || !bytes) return E_POINTER;
  bytes->clear();
  LARGE_INTEGER zero{};
  HRESULT hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) return hr;
  BYTE buf[8192];
  for (;;) {
    ULONG got = 0;
    hr = stream->Read(buf, sizeof buf, &got);
    if (FAILED(hr)) return hr;
    bytes->insert(bytes->end(), buf, buf + got);
    if (got < sizeof buf) return S_OK;
  }
}

}  // namespace win
