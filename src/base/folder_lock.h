#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace parvolin::base {

// The hidden file in a recording folder whose lock says who writes there.
inline constexpr char kFolderLockName[] = ".parvolin.lock";

// One writer per recording folder: an advisory lock (flock) on the folder's lock file, held for
// as long as the FolderLock lives (a recorder's whole run, one pvtool command). The holder's
// process id and program name are written into the file, so that a second one can say who holds
// the folder. A process that dies drops its lock with it; the file stays behind and is taken
// over by the next holder.
//
// The lock binds only the programs that take it; it does not stop other writers.
class FolderLock {
 public:
  enum class Status {
    kHeld,    // this object holds the folder
    kBusy,    // another process (or another FolderLock of this one) holds it
    kFailed,  // the lock file could not be made or locked (a folder that does not exist, ...)
    kNone,    // default-constructed or released
  };

  FolderLock() = default;
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock() { release(); }

  // Tries once, without waiting. `program` is the name written beside the process id (the
  // process's own name when empty). A folder that cannot be written is locked through its lock
  // file when one is there, and otherwise fails.
  static FolderLock acquire(const std::filesystem::path& folder, std::string_view program = {});

  Status status() const { return status_; }
  bool held() const { return status_ == Status::kHeld; }
  const std::filesystem::path& folder() const { return folder_; }
  // kBusy: the holder as its lock file names it ("process 1234 (parvolin)"); empty when the file
  // names none (a holder that is still writing it).
  const std::string& holder() const { return holder_; }
  // kFailed: why.
  const std::error_code& error() const { return error_; }
  // kBusy and kFailed: a sentence for the user, naming the folder and the holder or the reason.
  std::string describe() const;

  void release();

 private:
  Status status_ = Status::kNone;
  int fd_ = -1;
  std::filesystem::path folder_;
  std::string holder_;
  std::error_code error_;
};

// A folder taken for writing under the one rule every writer follows: a folder that another
// program holds is refused; a lock that cannot be made (a read-only folder, a full disk) does not
// stop the work, and the user is only told.
struct FolderClaim {
  // Nothing: refused, another program holds the folder. Otherwise the lock, held or not.
  std::optional<FolderLock> lock;
  // For the user (FolderLock::describe): why the folder was refused, or that it could not be
  // locked. Empty when the lock is held.
  std::string message;

  bool refused() const { return !lock.has_value(); }
};

// Takes `folder`'s lock for `program` (as FolderLock::acquire) under that rule.
[[nodiscard]] FolderClaim claimFolder(const std::filesystem::path& folder,
                                      std::string_view program = {});

}  // namespace parvolin::base
