#include "web/role.h"

namespace parvolin::web {

std::string_view roleName(Role role) {
  switch (role) {
    case Role::kListener:
      return "listener";
    case Role::kSupervisor:
      return "supervisor";
    case Role::kAdmin:
      return "admin";
  }
  return "listener";
}

std::optional<Role> roleFromName(std::string_view name) {
  for (const Role role : {Role::kListener, Role::kSupervisor, Role::kAdmin}) {
    if (name == roleName(role)) {
      return role;
    }
  }
  return std::nullopt;
}

bool allows(Role have, Role need) {
  return static_cast<int>(have) >= static_cast<int>(need);
}

}  // namespace parvolin::web
