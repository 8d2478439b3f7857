#pragma once

// What a user of the web server may do. Each role may do what the one before it may:
// listeners find, play and download calls and watch the lines; supervisors also change calls'
// texts and delete calls; administrators also manage the users and read the audit log.

#include <optional>
#include <string_view>

namespace parvolin::web {

enum class Role { kListener, kSupervisor, kAdmin };

// "listener", "supervisor", "admin".
std::string_view roleName(Role role);
// The role a name stands for, exactly as roleName writes it; nullopt for any other text.
std::optional<Role> roleFromName(std::string_view name);
// Whether a user of role `have` may do what needs `need`.
bool allows(Role have, Role need);

}  // namespace parvolin::web
