#include <gtest/gtest.h>

#include <string>

#include "web/role.h"
#include "webserver/assets.h"

namespace parvolin::web {
namespace {

TEST(WebRole, NamesRoundTripAndEachRoleAllowsTheOnesBelowIt) {
  for (const Role role : {Role::kListener, Role::kSupervisor, Role::kAdmin}) {
    EXPECT_EQ(roleFromName(roleName(role)), role);
  }
  EXPECT_FALSE(roleFromName("Admin"));
  EXPECT_FALSE(roleFromName(""));
  EXPECT_TRUE(allows(Role::kAdmin, Role::kSupervisor));
  EXPECT_TRUE(allows(Role::kSupervisor, Role::kSupervisor));
  EXPECT_FALSE(allows(Role::kListener, Role::kSupervisor));
  EXPECT_FALSE(allows(Role::kSupervisor, Role::kAdmin));
}

TEST(WebAssets, FoundByPlainNameOnlyWithTheirType) {
  const webserver::Asset* css = webserver::findAsset("site.css");
  ASSERT_NE(css, nullptr);
  EXPECT_EQ(css->contentType, "text/css; charset=utf-8");
  EXPECT_FALSE(css->bytes.empty());
  for (const std::string name :
       {"", "../site.css", "./site.css", "x/site.css", ".hidden", "site.css\\", "missing.js"}) {
    EXPECT_EQ(webserver::findAsset(name), nullptr) << name;
  }
}

}  // namespace
}  // namespace parvolin::web
