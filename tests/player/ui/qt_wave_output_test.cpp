#include "player/ui/qt_wave_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QtGlobal>
#include <vector>

#include "support/scripted_prompt.h"

namespace parvolin::player::ui {
namespace {

// Run in a process of its own (as ctest runs every test): the sound system is looked up once
// per process.
TEST(QtWaveOutput, WithoutASoundServerTheMessageShowsOnceAndPlayingIsSilent) {
  qputenv("PULSE_SERVER", QByteArray("unix:/nonexistent/parvolin-") + QByteArray::number(getpid()));
  parvolin::test::ScriptedPrompt prompt;
  QtWaveOutput output(prompt);
  EXPECT_FALSE(output.open());
  const std::vector<std::uint8_t> sound(800, 128);
  EXPECT_FALSE(output.play(sound));
  output.stop();
  output.drainAndClose();
  output.close();
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(prompt.shown[0].text, "Device failed to open 1!");
  EXPECT_EQ(prompt.shown[0].icon, base::PromptIcon::Exclamation);
}

}  // namespace
}  // namespace parvolin::player::ui
