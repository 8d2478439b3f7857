#include <gtest/gtest.h>

#include <sodium.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "support/expect_ok.h"
#include "support/test_files.h"
#include "web/sodium_init.h"
#include "web/users.h"

namespace parvolin::web {
namespace {

using test::TempFolder;

UserStore cheapStore(const TempFolder& folder) {
  return UserStore(folder / "users", HashCost::cheapest());
}

TEST(WebPasswords, ShortWeakAndDefaultPasswordsAreRefused) {
  struct Case {
    std::string password;
    const char* problem;  // a part of the message; nullptr: accepted
  };
  const Case cases[] = {
      {"", "at least 10"},
      {"123456789", "at least 10"},
      {"ZORUZIVA", "published default"},
      {"zoruziva", "published default"},
      {"ZoruZiva", "published default"},
      {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", "at least 10"},  // 6 characters
      {std::string(1025, 'x'), "at most 1024"},
      {"1234567890", nullptr},
      {"ZORUZIVA-but-longer", nullptr},
      {std::string(1024, 'x'), nullptr},
  };
  for (const Case& c : cases) {
    const auto problem = passwordProblem(c.password);
    if (c.problem == nullptr) {
      EXPECT_WORKED(problem) << c.password;
    } else {
      ASSERT_TRUE(problem) << c.password;
      EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
  }
}

TEST(WebPasswords, UserNamesAreShortPlainWords) {
  for (const std::string& good :
       std::vector<std::string>{"a", "anna.b", "x_y-z", std::string(32, 'n'), "Z9"}) {
    EXPECT_WORKED(userNameProblem(good)) << good;
  }
  for (const std::string& bad : std::vector<std::string>{
           "", std::string(33, 'n'), "a b", "a:b", "../x", "é", "a\nb", std::string("a\0b", 3)}) {
    EXPECT_TRUE(userNameProblem(bad)) << bad;
  }
}

TEST(WebUsers, AddedUsersAreKeptHashedInAPrivateFileAndVerify) {
  TempFolder folder;
  UserStore store = cheapStore(folder);
  ASSERT_WORKED(store.loadProblem());
  EXPECT_TRUE(store.empty());
  ASSERT_WORKED(store.addProblem("anna", Role::kAdmin, "correct horse battery"));
  ASSERT_WORKED(store.addProblem("bert", Role::kListener, "another long one"));

  const std::string text = test::readFile(folder / "users");
  EXPECT_EQ(text.find("correct horse"), std::string::npos);
  EXPECT_NE(text.find("anna:admin:$argon2id$"), std::string::npos);
  EXPECT_NE(text.find("\nbert:listener:$argon2id$"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat((folder / "users").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Another store reads the same users; the right password verifies, nothing else does.
  UserStore again = cheapStore(folder);
  ASSERT_WORKED(again.loadProblem());
  ASSERT_EQ(again.users().size(), 2u);
  const auto anna = again.verify("anna", "correct horse battery");
  ASSERT_TRUE(anna);
  EXPECT_EQ(anna->role, Role::kAdmin);
  EXPECT_FALSE(again.verify("anna", "correct horse batter"));
  EXPECT_FALSE(again.verify("anna", "another long one"));
  EXPECT_FALSE(again.verify("ANNA", "correct horse battery"));
  EXPECT_FALSE(again.verify("nobody", "correct horse battery"));
  EXPECT_FALSE(again.verify("", ""));
}

TEST(WebUsers, ChangesAreRefusedWithAReasonAndChangeNothing) {
  TempFolder folder;
  UserStore store = cheapStore(folder);
  ASSERT_WORKED(store.addProblem("anna", Role::kAdmin, "correct horse battery"));
  ASSERT_WORKED(store.addProblem("bert", Role::kSupervisor, "another long one"));
  const std::string before = test::readFile(folder / "users");

  struct Case {
    const char* what;
    std::optional<std::string> problem;
    const char* says;
  };
  const Case cases[] = {
      {"add twice", store.addProblem("anna", Role::kListener, "some long password"), "already"},
      {"add default", store.addProblem("carl", Role::kListener, "ZORUZIVA"), "default"},
      {"add short", store.addProblem("carl", Role::kListener, "short"), "at least"},
      {"add bad name", store.addProblem("c d", Role::kListener, "some long password"), "name"},
      {"remove unknown", store.removeProblem("carl"), "no user carl"},
      {"remove last admin", store.removeProblem("anna"), "last administrator"},
      {"demote last admin", store.setRoleProblem("anna", Role::kListener), "last administrator"},
      {"password unknown", store.setPasswordProblem("carl", "some long password"), "no user"},
      {"password default", store.setPasswordProblem("anna", "zoruziva"), "default"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.problem) << c.what;
    EXPECT_NE(c.problem->find(c.says), std::string::npos) << c.what << ": " << *c.problem;
  }
  EXPECT_EQ(test::readFile(folder / "users"), before);
  EXPECT_TRUE(store.verify("anna", "correct horse battery"));

  // What may be done is done: another admin first, then the first one may go.
  ASSERT_WORKED(store.setRoleProblem("bert", Role::kAdmin));
  ASSERT_WORKED(store.removeProblem("anna"));
  ASSERT_WORKED(store.setPasswordProblem("bert", "a brand new password"));
  EXPECT_FALSE(store.verify("bert", "another long one"));
  EXPECT_TRUE(store.verify("bert", "a brand new password"));
  // The only user may go: an empty store, and lvsvr will not start.
  ASSERT_WORKED(store.removeProblem("bert"));
  EXPECT_TRUE(store.empty());
}

TEST(WebUsers, AFileWithABadLineLoadsNoUserAndSaysWhichLine) {
  TempFolder folder;
  {
    UserStore store = cheapStore(folder);
    ASSERT_WORKED(store.addProblem("anna", Role::kAdmin, "correct horse battery"));
  }
  const std::string good = test::readFile(folder / "users");
  const std::string hash = good.substr(good.find("$argon2id$"), good.find('\n') - good.find('$'));
  struct Case {
    std::string line;
    const char* says;
  };
  const Case cases[] = {
      {"bert", "not name:role:hash"},
      {"bert:listener", "not name:role:hash"},
      {"bert:boss:" + hash, "role"},
      {"b rt:listener:" + hash, "name"},
      {":listener:" + hash, "name"},
      {"bert:listener:plaintext-password", "not an argon2id"},
      {"bert:listener:$argon2i$v=19$m=8,t=1,p=1$abc$def", "not an argon2id"},
      {"bert:listener:" + hash + " ", "character"},
      {"anna:listener:" + hash, "twice"},
  };
  for (const Case& c : cases) {
    test::writeFile(folder / "users", good + c.line + "\n");
    UserStore store = cheapStore(folder);
    const auto problem = store.loadProblem();
    ASSERT_TRUE(problem) << c.line;
    EXPECT_NE(problem->find("line 2"), std::string::npos) << *problem;
    EXPECT_NE(problem->find(c.says), std::string::npos) << *problem;
    EXPECT_TRUE(store.empty()) << c.line;
    EXPECT_FALSE(store.verify("anna", "correct horse battery"));
    // Nothing is written over a file that could not be read.
    EXPECT_TRUE(store.addProblem("carl", Role::kListener, "some long password"));
    EXPECT_EQ(test::readFile(folder / "users"), good + c.line + "\n");
  }
  // Blank lines are no users, and no fault.
  test::writeFile(folder / "users", "\n" + good + "\n");
  UserStore store = cheapStore(folder);
  EXPECT_WORKED(store.loadProblem());
  EXPECT_EQ(store.users().size(), 1u);
}

TEST(WebUsers, AChangedFileIsReadAgainAndABadOneLocksEveryoneOut) {
  TempFolder folder;
  UserStore server = cheapStore(folder);
  ASSERT_WORKED(server.loadProblem());
  EXPECT_FALSE(server.reloadIfChanged());
  UserStore tool = cheapStore(folder);
  ASSERT_WORKED(tool.addProblem("anna", Role::kAdmin, "correct horse battery"));
  EXPECT_TRUE(server.reloadIfChanged());
  EXPECT_TRUE(server.verify("anna", "correct horse battery"));
  EXPECT_FALSE(server.reloadIfChanged());

  test::writeFile(folder / "users", test::readFile(folder / "users") + "junk\n");
  EXPECT_TRUE(server.reloadIfChanged());
  EXPECT_TRUE(server.problem());
  EXPECT_FALSE(server.verify("anna", "correct horse battery"));
}

TEST(WebUsers, TheDefaultPasswordNeverLogsInEvenWithItsHashInTheFile) {
  TempFolder folder;
  ensureSodium();
  char hash[crypto_pwhash_STRBYTES];
  ASSERT_EQ(crypto_pwhash_str(hash, "ZORUZIVA", 8, crypto_pwhash_OPSLIMIT_MIN,
                              crypto_pwhash_MEMLIMIT_MIN),
            0);
  test::writeFile(folder / "users", std::string("ZORUZIVA:admin:") + hash + "\n");
  UserStore store = cheapStore(folder);
  ASSERT_WORKED(store.loadProblem());
  ASSERT_EQ(store.users().size(), 1u);
  EXPECT_FALSE(store.verify("ZORUZIVA", "ZORUZIVA"));
  EXPECT_FALSE(store.verify("ZORUZIVA", "zoruziva"));
}

TEST(WebUsers, AnUnknownNameCostsAHashToo) {
  TempFolder folder;
  // At the real cost, so that a hash is plainly more than a lookup.
  UserStore store(folder / "users");
  ASSERT_WORKED(store.loadProblem());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(store.verify("nobody", "some long password"));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GT(took, std::chrono::milliseconds(5));
}

TEST(WebSettingsPassword, APlaintextPasswordBecomesTheUsersHashAndIsBlanked) {
  struct Case {
    const char* name;
    const char* password;
    bool userThere;
    const char* problem;  // nullptr: none
    bool adopted;         // the user now has this password
    const char* passwordAfter;
  };
  const Case cases[] = {
      {"boss", "office-secret-1", false, nullptr, true, ""},
      {"boss", "ZORUZIVA", false, nullptr, false, "ZORUZIVA"},
      {"boss", "zoruziva", false, nullptr, false, "zoruziva"},
      {"boss", "", false, nullptr, false, ""},
      {"boss", "short", false, "at least", false, "short"},
      {"the boss", "office-secret-1", false, "name", false, "office-secret-1"},
      // There is such a user already: its password stays, the plaintext goes.
      {"boss", "office-secret-1", true, nullptr, false, ""},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    UserStore users = cheapStore(folder);
    if (c.userThere) {
      ASSERT_WORKED(users.addProblem("boss", Role::kListener, "the old password"));
    }
    settings::MemorySettingsStore settings;
    settings.setString("LvUsername", c.name);
    settings.setString("LvPassword", c.password);
    std::string said;
    const auto problem = adoptSettingsPasswordProblem(users, settings, said);
    if (c.problem) {
      ASSERT_TRUE(problem) << c.password;
      EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    } else {
      EXPECT_WORKED(problem);
    }
    EXPECT_EQ(settings.getStringOr("LvPassword", "?"), c.passwordAfter) << c.password;
    const auto user = users.verify(c.name, c.password);
    EXPECT_EQ(bool(user), c.adopted) << c.password;
    if (c.adopted) {
      EXPECT_EQ(user->role, Role::kAdmin);
      EXPECT_NE(said.find("blanked"), std::string::npos) << said;
    }
    if (c.userThere) {
      EXPECT_TRUE(users.verify("boss", "the old password"));
      EXPECT_NE(said.find("blanked"), std::string::npos) << said;
    }
  }
}

}  // namespace
}  // namespace parvolin::web
