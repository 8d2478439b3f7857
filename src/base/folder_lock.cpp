#include "base/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/file_io.h"

namespace parvolin::base {
namespace {

constexpr std::size_t kHolderTextLimit = 200;

// "1234 parvolin" as a holder wrote it, turned into "process 1234 (parvolin)".
std::string holderText(int fd) {
  char text[kHolderTextLimit + 1] = {};
  const ssize_t n = ::pread(fd, text, kHolderTextLimit, 0);
  if (n <= 0) return {};
  std::string line(text, std::size_t(n));
  line = line.substr(0, line.find('\n'));
  const std::size_t blank = line.find(' ');
  const std::string pid = line.substr(0, blank);
  if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) return {};
  std::string holder = "process " + pid;
  if (blank != std::string::npos && blank + 1 < line.size()) {
    holder += " (" + line.substr(blank + 1) + ")";
  }
  return holder;
}

}  // namespace

FolderLock::FolderLock(FolderLock&& other) noexcept
    : status_(other.status_),
      fd_(other.fd_),
      folder_(std::move(other.folder_)),
      holder_(std::move(other.holder_)),
      error_(other.error_) {
  other.fd_ = -1;
  other.status_ = Status::kNone;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    release();
    status_ = other.status_;
    fd_ = other.fd_;
    folder_ = std::move(other.folder_);
    holder_ = std::move(other.holder_);
    error_ = other.error_;
    other.fd_ = -1;
    other.status_ = Status::kNone;
  }
  return *this;
}

FolderLock FolderLock::acquire(const std::filesystem::path& folder, std::string_view program) {
  FolderLock lock;
  lock.folder_ = folder;
  const std::filesystem::path file = folder / kFolderLockName;
  // Not inherited by the programs the recorder starts, which would otherwise hold the folder
  // after the recorder ended.
  FileHandle handle(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
  // A folder that cannot be written is locked all the same through a lock file that is there:
  // its recordings wait for the disk, and no second program may take it meanwhile.
  if (!handle.isOpen() && (errno == EROFS || errno == EACCES)) {
    const int refused = errno;
    handle = FileHandle(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    // No lock file to take: why it could not be made is what the user needs to know.
    if (!handle.isOpen() && errno == ENOENT) errno = refused;
  }
  if (!handle.isOpen()) {
    lock.status_ = Status::kFailed;
    lock.error_ = {errno, std::generic_category()};
    return lock;
  }
  while (::flock(handle.fd(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      lock.status_ = Status::kBusy;
      lock.holder_ = holderText(handle.fd());
    } else {
      lock.status_ = Status::kFailed;
      lock.error_ = {errno, std::generic_category()};
    }
    return lock;
  }
  // The holder's name is a help for the user, not part of the lock: a folder on a full disk
  // is held all the same when it cannot be written.
  const std::string name =
      program.empty() ? std::string(program_invocation_short_name) : std::string(program);
  const std::string text = std::to_string(::getpid()) + " " + name + "\n";
  if (::ftruncate(handle.fd(), 0) == 0) {
    static_cast<void>(writeAll(handle.fd(), text.data(), text.size()));
  }
  lock.fd_ = handle.release();
  lock.status_ = Status::kHeld;
  return lock;
}

std::string FolderLock::describe() const {
  switch (status_) {
    case Status::kBusy:
      return folder_.string() + " is in use by " +
             (holder_.empty() ? std::string("another program") : holder_) +
             "; only one program at a time may record into or change a recording folder";
    case Status::kFailed:
      return folder_.string() + ": cannot lock the folder (" + kFolderLockName +
             "): " + error_.message();
    case Status::kHeld:
    case Status::kNone:
      break;
  }
  return {};
}

FolderClaim claimFolder(const std::filesystem::path& folder, std::string_view program) {
  FolderLock lock = FolderLock::acquire(folder, program);
  FolderClaim claim;
  claim.message = lock.describe();
  if (lock.status() != FolderLock::Status::kBusy) claim.lock = std::move(lock);
  return claim;
}

void FolderLock::release() {
  if (fd_ >= 0) {
    // Closing drops the lock; the file stays for the next holder, so that two programs never
    // lock two different files of the same name.
    ::close(fd_);
    fd_ = -1;
  }
  status_ = Status::kNone;
}

}  // namespace parvolin::base
