#pragma once

// The web server's users: names, roles and argon2id hashes of their passwords, kept in the file
// "users" of the state folder, one user per line "name:role:hash".

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logview/list_table.h"
#include "settings/settings_store.h"
#include "web/role.h"

namespace parvolin::web {

struct User {
  std::string name;
  Role role = Role::kListener;
  std::string hash;  // crypto_pwhash_str's text: "$argon2id$v=19$m=...,t=...,p=1$salt$hash"

  bool operator==(const User&) const = default;
};

// The published default of "LvUsername" and "LvPassword": never a password here.
inline constexpr std::string_view kDefaultPassword = "ZORUZIVA";
inline constexpr std::size_t kMinPasswordCharacters = 10;
inline constexpr std::size_t kMaxPasswordBytes = 1024;
inline constexpr std::size_t kMaxUserNameLength = 32;

// What hashing a password costs. The users' hashes are made at the interactive limits; a test
// may make cheaper ones (a hash says what it cost, so verifying takes any of them).
struct HashCost {
  unsigned long long opsLimit;
  std::size_t memLimit;
  static HashCost interactive();
  static HashCost cheapest();  // for tests only
};

// Why `password` cannot be a user's password: fewer than 10 characters, more than 1024 bytes,
// or the published default in any letter case. Empty when it can.
[[nodiscard]] std::optional<std::string> passwordProblem(std::string_view password);
// Why `name` cannot be a user's name: it must be 1 to 32 of A-Z, a-z, 0-9, '.', '_', '-'.
[[nodiscard]] std::optional<std::string> userNameProblem(std::string_view name);

// The users file. Thread-safe: verify and users may run on any thread while another reloads.
class UserStore {
 public:
  explicit UserStore(std::filesystem::path file, HashCost cost = HashCost::interactive());

  const std::filesystem::path& file() const { return file_; }

  // Reads the file. A missing file is an empty store. A file with any bad line loads nothing
  // (the store is then empty) and says which line and why.
  [[nodiscard]] std::optional<std::string> loadProblem();
  // Reads the file again when it changed since it was last read (another program added a user);
  // true when it did. A changed file that is bad empties the store; problem() says why.
  bool reloadIfChanged();
  // What was wrong with the file at the last (re)load; empty when it loaded.
  std::optional<std::string> problem() const;

  // A copy: another thread may reload meanwhile.
  std::vector<User> users() const;
  std::optional<User> user(std::string_view name) const;
  bool empty() const;

  // Each changes the file at once (written whole, atomically, mode 0600) after reading it again
  // if it changed; on failure nothing changes. Refused: a bad name or password, a name that is
  // there (add) or not there (the others), and removing or demoting the last administrator while
  // other users remain.
  [[nodiscard]] std::optional<std::string> addProblem(std::string_view name, Role role,
                                                      std::string_view password);
  [[nodiscard]] std::optional<std::string> removeProblem(std::string_view name);
  [[nodiscard]] std::optional<std::string> setPasswordProblem(std::string_view name,
                                                              std::string_view password);
  [[nodiscard]] std::optional<std::string> setRoleProblem(std::string_view name, Role role);

  // The user whose name and password these are; nullopt otherwise. An unknown name costs a hash
  // as a known one does, so that the time taken does not tell which names exist. At most a few
  // hashes run at once (each takes 64 MiB): further callers wait.
  std::optional<User> verify(std::string_view name, std::string_view password) const;

 private:
  std::optional<std::string> loadLocked();
  std::optional<std::string> saveLocked(const std::vector<User>& users);
  // One change of the user `name`: the file re-read, `change` made on a copy of that user's
  // entry in a copy of the users (it may refuse with a problem), then the users saved.
  using UserChange =
      std::function<std::optional<std::string>(std::vector<User>& users, User& user)>;
  std::optional<std::string> changeUser(std::string_view name, const UserChange& change);
  void reloadIfChangedLocked();

  std::filesystem::path file_;
  HashCost cost_;
  mutable std::mutex mutex_;
  std::vector<User> users_;
  logview::FileStamp stamp_;
  std::optional<std::string> problem_;
  mutable std::once_flag dummyOnce_;
  mutable std::string dummyHash_;  // what an unknown name is checked against
};

// The mend of the settings' remote-access password. A plaintext "LvPassword" other than the
// published default becomes the password of user "LvUsername" (role admin) when the store has no
// such user yet, and is blanked in the settings; when the user is there already, the settings'
// password is only blanked. `said` tells what was done (empty when nothing was). A password too
// weak to be one is left where it is and is the problem.
[[nodiscard]] std::optional<std::string> adoptSettingsPasswordProblem(
    UserStore& users, settings::SettingsStore& settings, std::string& said);

}  // namespace parvolin::web
