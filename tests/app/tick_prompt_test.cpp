#include "app/tick_prompt.h"

#include <gtest/gtest.h>

#include "support/scripted_prompt.h"

namespace parvolin::app {
namespace {

using base::PromptIcon;

TEST(TickPrompt, BetweenTicksAsksAtOnceDuringATickKeepsUntilItsEnd) {
  test::ScriptedPrompt now;
  test::ScriptedPrompt later;
  TickPrompt prompt(now, later);

  now.answers = {true};
  EXPECT_TRUE(prompt.askYesNo("Do you really want to exit?", false, PromptIcon::Question));
  prompt.message("Set timer error!", PromptIcon::None);
  ASSERT_EQ(now.shown.size(), 2u);
  EXPECT_TRUE(later.shown.empty());

  prompt.beginTick();
  prompt.message("first", PromptIcon::Exclamation);
  EXPECT_FALSE(prompt.askOkCancel("second", /*safeAnswer=*/false, PromptIcon::Question));
  EXPECT_TRUE(prompt.askYesNo("third", /*safeAnswer=*/true, PromptIcon::Question));
  EXPECT_EQ(now.shown.size(), 2u) << "nothing waits for the user inside a tick";
  EXPECT_TRUE(later.shown.empty());
  prompt.endTick();

  ASSERT_EQ(later.shown.size(), 3u);
  EXPECT_EQ(later.shown[0].text, "first");
  EXPECT_EQ(later.shown[0].icon, PromptIcon::Exclamation);
  EXPECT_EQ(later.shown[1].text, "second");
  EXPECT_EQ(later.shown[2].text, "third");
  EXPECT_FALSE(later.shown[2].question) << "handed on as a message";

  prompt.endTick();
  EXPECT_EQ(later.shown.size(), 3u) << "each is handed on once";
}

}  // namespace
}  // namespace parvolin::app
