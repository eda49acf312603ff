#include "platform/fileio/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace fileio {

namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string ResolveLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char buf[PATH_MAX];
    ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
    if (n < 0) return current;
    std::string link(buf, static_cast<std::size_t>(n));
    if (link.empty() || link[0] != '/') {
      std::size_t slash = current.rfind('/');
      link = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
    }
    current = link;
  }
  return current;  // a loop: the write fails on it
}

namespace {

std::string FolderOf(const std::string& target) {
  std::size_t slash = target.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : target.substr(0, slash);
}

// A name no other writer (thread or process) picks: pid, a counter and random bits.
std::string TemporaryNameFor(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".tmp%ld-%u-%08llx", static_cast<long>(::getpid()),
                counter.fetch_add(1), static_cast<unsigned long long>(random() & 0xFFFFFFFF));
  return folder + "." + name + suffix;
}

struct failure_report {
  std::string* error;
  int* errorNumber;
  bool operator()(const std::string& path, const char* what, int err, int reported = 0) const {
    if (error) *error = path + ": " + what + (err ? std::string(": ") + std::strerror(err) : "");
    if (errorNumber) *errorNumber = reported ? reported : err;
    return false;
  }
};

}  // namespace

read_outcome ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return (errno == ENOENT || errno == ENOTDIR) ? read_outcome::missing : read_outcome::failed;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return read_outcome::failed;
  }
  out.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      out.clear();
      return read_outcome::failed;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return read_outcome::read;
}

bool IsWritableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 &&
         ::access(path.c_str(), W_OK) == 0;
}

bool ReplaceWholeFile(const std::string& path, std::string_view contents, std::string* error,
                      int* errorNumber) {
  const failure_report Fail{error, errorNumber};
  const std::string target = ResolveLinks(path);
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return Fail(path, "cannot be reached", errno);
  if (exists && !S_ISREG(st.st_mode)) return Fail(path, "is not a regular file", 0, EINVAL);
  if (exists && !IsWritableFile(target)) return Fail(path, "is read-only", 0, EACCES);

  const std::string temporary = TemporaryNameFor(target);
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
  if (fd < 0) return Fail(path, "cannot create a file beside it", errno);
  int err = 0;
  bool ok = WriteAll(fd, contents);
  if (!ok) err = errno;
  if (ok && exists) {
    ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    if (!ok) err = errno;
    // Only a superuser can give the file back to its owner; others keep their own file anyway.
    if (ok && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
      (void)!::fchown(fd, st.st_uid, st.st_gid);
  }
  if (ok && ::fsync(fd) != 0) ok = false, err = errno;
  if (::close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) ok = false, err = errno;
  if (!ok) {
    ::unlink(temporary.c_str());
    return Fail(path, "cannot be written", err);
  }
  // The rename lives in the folder: flush it too, so the new file survives a power cut.
  int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    (void)::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace fileio
