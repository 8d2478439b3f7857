#include "web/users.h"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <semaphore>

#include "base/file_io.h"
#include "engine/recorder_settings.h"
#include "web/sessions.h"
#include "web/sodium_init.h"

namespace parvolin::web {
namespace {

// Each hash takes the memory limit (64 MiB at the interactive limits): a few at once at most.
std::counting_semaphore<4> hashSlots(4);

class HashSlot {
 public:
  HashSlot() { hashSlots.acquire(); }
  ~HashSlot() { hashSlots.release(); }
  HashSlot(const HashSlot&) = delete;
  HashSlot& operator=(const HashSlot&) = delete;
};

constexpr std::string_view kHashPrefix = "$argon2id$";

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
           return up(x) == up(y);
         });
}

// Characters of UTF-8 text: bytes that do not continue a sequence.
std::size_t characterCount(std::string_view text) {
  return std::size_t(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::optional<std::string> hashOf(std::string_view password, const HashCost& cost) {
  ensureSodium();
  char out[crypto_pwhash_STRBYTES];
  HashSlot slot;
  if (crypto_pwhash_str_alg(out, password.data(), password.size(), cost.opsLimit, cost.memLimit,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    return std::nullopt;
  }
  return std::string(out);
}

bool hashMatches(const std::string& hash, std::string_view password) {
  ensureSodium();
  HashSlot slot;
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::optional<std::string> hashProblem(std::string_view hash) {
  if (!hash.starts_with(kHashPrefix)) return "the hash is not an argon2id hash";
  if (hash.size() >= crypto_pwhash_STRBYTES) return "the hash is too long";
  for (const char c : hash) {
    const bool fine = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '$' || c == '=' || c == ',' || c == '+' || c == '/';
    if (!fine) return "the hash holds a character no hash has";
  }
  return std::nullopt;
}

// The users of the file's text, or the first bad line.
std::optional<std::string> parseUsers(std::string_view text, std::vector<User>& out) {
  std::vector<User> users;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty()) continue;
    const auto bad = [&](std::string_view why) {
      return "line " + std::to_string(number) + ": " + std::string(why);
    };
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) return bad("not name:role:hash");
    User user;
    user.name = std::string(line.substr(0, first));
    if (const auto problem = userNameProblem(user.name)) return bad(*problem);
    const auto role = roleFromName(line.substr(first + 1, second - first - 1));
    if (!role) return bad("the role is none of listener, supervisor, admin");
    user.role = *role;
    user.hash = std::string(line.substr(second + 1));
    if (const auto problem = hashProblem(user.hash)) return bad(*problem);
    if (std::any_of(users.begin(), users.end(),
                    [&](const User& u) { return u.name == user.name; })) {
      return bad("user " + user.name + " is there twice");
    }
    users.push_back(std::move(user));
  }
  out = std::move(users);
  return std::nullopt;
}

std::error_code lastError() {
  return {errno, std::generic_category()};
}

// Writes `bytes` as the new contents of `target`, readable by its owner only: a temporary file
// beside it, synced and renamed over it.
std::error_code replacePrivateFile(const std::filesystem::path& target, std::string_view bytes) {
  const std::filesystem::path temp = base::temporaryPathFor(target);
  ::unlink(temp.c_str());
  base::FileHandle file(
      ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.isOpen()) return lastError();
  std::error_code error = base::writeAll(file.fd(), bytes.data(), bytes.size());
  if (!error && ::fsync(file.fd()) != 0) error = lastError();
  if (const std::error_code closed = file.close(); !error) error = closed;
  if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = lastError();
  if (error) {
    ::unlink(temp.c_str());
    return error;
  }
  (void)base::syncFolder(target.parent_path().empty() ? "." : target.parent_path());
  return {};
}

}  // namespace

HashCost HashCost::interactive() {
  return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

HashCost HashCost::cheapest() {
  return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

std::optional<std::string> passwordProblem(std::string_view password) {
  if (sameIgnoringAsciiCase(password, kDefaultPassword)) {
    return "The published default password " + std::string(kDefaultPassword) +
           " is never a password here.";
  }
  if (characterCount(password) < kMinPasswordCharacters) {
    return "A password needs at least " + std::to_string(kMinPasswordCharacters) + " characters.";
  }
  if (password.size() > kMaxPasswordBytes) {
    return "A password may have at most " + std::to_string(kMaxPasswordBytes) + " bytes.";
  }
  return std::nullopt;
}

std::optional<std::string> userNameProblem(std::string_view name) {
  if (name.empty() || name.size() > kMaxUserNameLength) {
    return "A user name has 1 to " + std::to_string(kMaxUserNameLength) + " characters.";
  }
  for (const char c : name) {
    const bool fine = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '-';
    if (!fine) return std::string("A user name holds only letters A-Z, digits, '.', '_' and '-'.");
  }
  return std::nullopt;
}

UserStore::UserStore(std::filesystem::path file, HashCost cost)
    : file_(std::move(file)), cost_(cost) {}

std::optional<std::string> UserStore::loadLocked() {
  const logview::FileStamp stamp = logview::stampOf(file_);
  std::string text;
  std::vector<User> users;
  problem_.reset();
  if (const std::error_code error = base::readWholeFile(file_, text)) {
    if (error != std::errc::no_such_file_or_directory) {
      problem_ = base::describeFailure(file_, "read", error);
    }
  } else if (auto problem = parseUsers(text, users)) {
    problem_ = file_.string() + ": " + *problem + "; no user is loaded.";
    users.clear();
  }
  users_ = std::move(users);
  stamp_ = stamp;
  return problem_;
}

std::optional<std::string> UserStore::loadProblem() {
  std::lock_guard lock(mutex_);
  return loadLocked();
}

void UserStore::reloadIfChangedLocked() {
  if (logview::stampOf(file_) != stamp_) (void)loadLocked();
}

bool UserStore::reloadIfChanged() {
  std::lock_guard lock(mutex_);
  if (logview::stampOf(file_) == stamp_) return false;
  (void)loadLocked();
  return true;
}

std::optional<std::string> UserStore::problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

std::vector<User> UserStore::users() const {
  std::lock_guard lock(mutex_);
  return users_;
}

std::optional<User> UserStore::user(std::string_view name) const {
  std::lock_guard lock(mutex_);
  for (const User& u : users_) {
    if (u.name == name) return u;
  }
  return std::nullopt;
}

bool UserStore::empty() const {
  std::lock_guard lock(mutex_);
  return users_.empty();
}

std::optional<std::string> UserStore::saveLocked(const std::vector<User>& users) {
  std::string text;
  for (const User& u : users) {
    text += u.name + ':' + std::string(roleName(u.role)) + ':' + u.hash + '\n';
  }
  if (const std::error_code error = replacePrivateFile(file_, text)) {
    return base::describeFailure(file_, "write", error);
  }
  users_ = users;
  stamp_ = logview::stampOf(file_);
  problem_.reset();
  return std::nullopt;
}

namespace {

std::vector<User>::iterator findUser(std::vector<User>& users, std::string_view name) {
  return std::find_if(users.begin(), users.end(), [&](const User& u) { return u.name == name; });
}

// Whether `users` would be left with users but without an administrator.
bool leftWithoutAdmin(const std::vector<User>& before, const std::vector<User>& after) {
  const auto hasAdmin = [](const std::vector<User>& users) {
    return std::any_of(users.begin(), users.end(),
                       [](const User& u) { return u.role == Role::kAdmin; });
  };
  return hasAdmin(before) && !after.empty() && !hasAdmin(after);
}

}  // namespace

std::optional<std::string> UserStore::addProblem(std::string_view name, Role role,
                                                 std::string_view password) {
  if (auto problem = userNameProblem(name)) return problem;
  if (auto problem = passwordProblem(password)) return problem;
  {
    std::lock_guard lock(mutex_);
    reloadIfChangedLocked();
    if (problem_) return problem_;
    if (findUser(users_, name) != users_.end()) {
      return "There is a user " + std::string(name) + " already.";
    }
  }
  // Hashed without the lock: it takes a while and other threads verify meanwhile.
  const auto hash = hashOf(password, cost_);
  if (!hash) return std::string("The password could not be hashed (out of memory).");
  std::lock_guard lock(mutex_);
  reloadIfChangedLocked();
  if (problem_) return problem_;
  std::vector<User> users = users_;
  if (findUser(users, name) != users.end()) {
    return "There is a user " + std::string(name) + " already.";
  }
  users.push_back(User{std::string(name), role, *hash});
  return saveLocked(users);
}

std::optional<std::string> UserStore::changeUser(std::string_view name, const UserChange& change) {
  std::lock_guard lock(mutex_);
  reloadIfChangedLocked();
  if (problem_) return problem_;
  std::vector<User> users = users_;
  const auto it = findUser(users, name);
  if (it == users.end()) return "There is no user " + std::string(name) + ".";
  if (auto problem = change(users, *it)) return problem;
  return saveLocked(users);
}

std::optional<std::string> UserStore::removeProblem(std::string_view name) {
  return changeUser(name, [&](std::vector<User>& users, User& user) -> std::optional<std::string> {
    users.erase(users.begin() + (&user - users.data()));
    if (leftWithoutAdmin(users_, users)) {
      return "The last administrator cannot be removed while other users remain.";
    }
    return std::nullopt;
  });
}

std::optional<std::string> UserStore::setPasswordProblem(std::string_view name,
                                                         std::string_view password) {
  if (auto problem = passwordProblem(password)) return problem;
  if (!user(name)) return "There is no user " + std::string(name) + ".";
  // Hashed without the lock: it takes a while and other threads verify meanwhile.
  const auto hash = hashOf(password, cost_);
  if (!hash) return std::string("The password could not be hashed (out of memory).");
  return changeUser(name, [&](std::vector<User>&, User& user) -> std::optional<std::string> {
    user.hash = *hash;
    return std::nullopt;
  });
}

std::optional<std::string> UserStore::setRoleProblem(std::string_view name, Role role) {
  if (const std::optional<User> current = user(name); current && current->role == role) {
    return std::nullopt;
  }
  return changeUser(name, [&](std::vector<User>& users, User& user) -> std::optional<std::string> {
    user.role = role;
    if (leftWithoutAdmin(users_, users)) {
      return "The last administrator must stay an administrator while other users remain.";
    }
    return std::nullopt;
  });
}

std::optional<User> UserStore::verify(std::string_view name, std::string_view password) const {
  std::optional<User> found = user(name);
  // The published default never logs in, even where a users file made by hand holds its hash.
  if (password.size() > kMaxPasswordBytes || sameIgnoringAsciiCase(password, kDefaultPassword)) {
    found.reset();
  }
  if (!found) {
    // A hash of a random password of the store's cost, made once: an unknown name takes as long.
    std::call_once(dummyOnce_, [this] { dummyHash_ = hashOf(randomToken(), cost_).value_or(""); });
    if (!dummyHash_.empty()) (void)hashMatches(dummyHash_, password.substr(0, kMaxPasswordBytes));
    return std::nullopt;
  }
  if (!hashMatches(found->hash, password)) return std::nullopt;
  return found;
}

std::optional<std::string> adoptSettingsPasswordProblem(UserStore& users,
                                                        settings::SettingsStore& settings,
                                                        std::string& said) {
  said.clear();
  const std::string_view passwordKey = engine::settingSpec(engine::Setting::kLvPassword).name;
  const std::string_view nameKey = engine::settingSpec(engine::Setting::kLvUsername).name;
  const std::string password = settings.getStringOr(passwordKey, "");
  if (password.empty() || sameIgnoringAsciiCase(password, kDefaultPassword)) return std::nullopt;
  const std::string name = settings.getStringOr(nameKey, "");
  if (users.user(name)) {
    settings.setString(passwordKey, "");
    said = "The password in the settings (\"" + std::string(passwordKey) +
           "\") was blanked; user " + name + " has a password already.";
    return std::nullopt;
  }
  if (auto problem = userNameProblem(name)) {
    return "The settings' \"" + std::string(nameKey) +
           "\" cannot be a web user's name: " + *problem;
  }
  if (auto problem = passwordProblem(password)) {
    return "The settings' \"" + std::string(passwordKey) +
           "\" cannot be a web password: " + *problem;
  }
  if (auto problem = users.addProblem(name, Role::kAdmin, password)) return problem;
  settings.setString(passwordKey, "");
  said = "The password in the settings (\"" + std::string(passwordKey) + "\") is now user " + name +
         "'s (admin), kept hashed in " + users.file().string() +
         "; it was blanked in the settings.";
  return std::nullopt;
}

}  // namespace parvolin::web
