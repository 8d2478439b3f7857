#include "config/hardware_page.h"

#include <gtest/gtest.h>

#include "config_fixture.h"
#include "device/unit_link.h"

namespace parvolin::config::test {
namespace {

using Result = HardwarePage::WriteResult;

constexpr std::uint8_t kRead = protocol::kReadFlag;

TEST_F(HardwareTest, ConstructionTakesValidValuesAndReplacesInvalidOnes) {
  struct Case {
    const char* name;
    std::uint8_t callerId, ports, threshold, delay, timeout;
    HardwareFields expected;
  };
  HardwareFields valid;
  valid.preRingDtmf = true;  // 0x51: DTMF on, FSK off, forced between rings (bit 2 clear)
  valid.forcedFskBetweenRings = true;
  valid.varPort = {false, true, false, true};
  valid.varThreshold = 3, valid.varTurnOffDelay = 0, valid.varTimeout = 2;
  HardwareFields fallback;
  fallback.preRingFsk = true;  // 0x56: FSK on, not forced
  fallback.varThreshold = 2, fallback.varTurnOffDelay = 1, fallback.varTimeout = 0;
  const Case cases[] = {
      {"valid", 0x51, 0x5A, 0x53, 0x50, 0x52, valid},
      {"high nibble not 5", 0x56, 0x23, 0x23, 0x07, 0x42, fallback},
      {"index beyond the list", 0x56, 0x40, 0x5F, 0x54, 0x5C, fallback},
  };
  open();
  for (const Case& c : cases) {
    unit.registers[protocol::kCallerIdModeRegister] = c.callerId;
    unit.registers[protocol::kVarPortsRegister] = c.ports;
    unit.registers[protocol::kVarThresholdRegister] = c.threshold;
    unit.registers[protocol::kVarTurnOffDelayRegister] = c.delay;
    unit.registers[protocol::kVarTimeoutRegister] = c.timeout;
    HardwarePage page(0, host, prompt);
    EXPECT_EQ(page.fields(), c.expected) << c.name;
  }
  EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(HardwareTest, UnsetCallerIdModeIsOfferedAndOnlyYesWritesIt) {
  struct Case {
    std::uint8_t stored;
    bool answer;
    const char* question;
  };
  const Case cases[] = {
      {0x00, true,
       "Found the pre-Ring caller ID mode(0) is not set in the hardware!\nTo set it "
       "initially?"},
      {0x00, false,
       "Found the pre-Ring caller ID mode(0) is not set in the hardware!\nTo set it "
       "initially?"},
      {0x58, false,
       "Found the pre-Ring caller ID mode(58) is not set in the hardware!\nTo set "
       "it initially?"},
  };
  open();
  for (const Case& c : cases) {
    unit.registers[protocol::kCallerIdModeRegister] = c.stored;
    prompt.shown.clear();
    prompt.answers = {c.answer};
    d2xx.log.clear();
    HardwarePage page(0, host, prompt);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, c.question);
    EXPECT_TRUE(prompt.shown[0].question);
    // 0x53 whatever the answer: pre-ring DTMF and FSK on, FSK forced between rings.
    EXPECT_TRUE(page.fields().preRingDtmf && page.fields().preRingFsk &&
                page.fields().forcedFskBetweenRings);
    EXPECT_EQ(unit.registers[protocol::kCallerIdModeRegister], c.answer ? 0x53 : c.stored);
    using Frame = std::pair<std::uint8_t, std::uint8_t>;
    const Frame second = c.answer ? Frame{0x73, 0x53} : Frame{0xF4, 0};
    EXPECT_EQ(registerFrames()[1], second);
    EXPECT_EQ(page.fields().varThreshold, 2) << "reading goes on";
  }
}

TEST_F(HardwareTest, AFailedReadAtConstructionShowsItsMessageAndLeavesTheRestUnread) {
  struct Case {
    std::uint8_t code;
    std::string_view message;
    int framesSent;
  };
  const Case cases[] = {
      {0xF3, kCallerIdUnreadableText, 1},     {0xF4, kVarPortsUnreadableText, 2},
      {0xF8, kVarThresholdUnreadableText, 3}, {0xF9, device::kTurnOffDelayErrorText, 4},
      {0xFA, kVarTimeoutUnreadableText, 5},
  };
  open();
  unit.registers[protocol::kVarPortsRegister] = 0x5F;
  for (const Case& c : cases) {
    failFramesWithCode(c.code);
    d2xx.log.clear();
    prompt.shown.clear();
    HardwarePage page(0, host, prompt);
    ASSERT_EQ(prompt.shown.size(), 1u) << c.message;
    EXPECT_EQ(prompt.shown[0].text, c.message);
    EXPECT_EQ(int(d2xx.writes().size()), c.framesSent) << c.message;
    EXPECT_EQ(page.fields().varTimeout, kNoSelection) << c.message;
    EXPECT_EQ(page.fields().varPort[0], c.code > 0xF4) << c.message;
  }
}

TEST_F(HardwareTest, AFailedCallerIdWriteStopsTheReading) {
  open();
  unit.registers[protocol::kCallerIdModeRegister] = 0x00;
  prompt.answers = {true};
  failFramesWithCode(0x73);
  HardwarePage page(0, host, prompt);
  EXPECT_EQ(texts().back(), kCallerIdNotSetText);
  EXPECT_EQ(registerFrames().size(), 2u) << "the caller-ID read and the failed write";
  EXPECT_EQ(page.fields().varThreshold, kNoSelection);
}

TEST_F(HardwareTest, AnAbsentUnitIsNotAskedAndItsPageFailsTheVersionQuery) {
  open();
  HardwarePage page(1, host, prompt);
  EXPECT_TRUE(d2xx.writes().empty());
  EXPECT_EQ(page.fields(), HardwareFields());
  EXPECT_FALSE(page.initialise());
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(prompt.shown[0].text, device::kVersionErrorText);
  EXPECT_EQ(prompt.shown[0].icon, base::PromptIcon::Exclamation);
  EXPECT_FALSE(page.writeEnabled());
}

TEST_F(HardwareTest, TheVersionDecidesWhetherTheSettingsMayBeWritten) {
  struct Case {
    std::size_t index;
    std::uint8_t value;
    bool enabled;
    bool message;
  };
  const Case cases[] = {
      {13, '1', true, false},  {15, 0x7F, true, false},  {13, '2', false, false},
      {15, '0', false, false}, {15, 0x80, false, false}, {0, 0xB4, false, true},
  };
  open();
  for (const Case& c : cases) {
    unit.version = sim::defaultVersionAnswer();
    unit.version[c.index] = c.value;
    prompt.shown.clear();
    HardwarePage page(0, host, prompt);
    EXPECT_EQ(page.initialise(), !c.message) << c.index << "=" << int(c.value);
    EXPECT_EQ(page.writeEnabled(), c.enabled) << c.index << "=" << int(c.value);
    EXPECT_EQ(page.fields().deviceId, c.enabled ? "PV1" : "") << c.index << "=" << int(c.value);
    EXPECT_EQ(prompt.shown.size(), c.message ? 1u : 0u) << c.index << "=" << int(c.value);
  }
}

class WriteHardware : public HardwareTest {
 protected:
  void SetUp() override {
    open();
    page.emplace(0, host, prompt);
    ASSERT_TRUE(page->initialise());
    d2xx.log.clear();
  }
  std::optional<HardwarePage> page;
};

TEST_F(WriteHardware, UnchangedSettingsAreOnlyRead) {
  EXPECT_EQ(page->writeHardware(page->fields()), Result::kDone);
  EXPECT_EQ(registerFrames(),
            (std::vector<std::pair<std::uint8_t, std::uint8_t>>{
                {0xF4, 0}, {0xF8, 0}, {0xF9, 0}, {0xFA, 0}, {0xF2, 0}, {0xF3, 0}}));
  EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(WriteHardware, OnlyTheChangedRegisterIsWrittenAndTheSequenceGoesOn) {
  HardwareFields controls = page->fields();
  controls.varTurnOffDelay = 3;
  EXPECT_EQ(page->writeHardware(controls), Result::kDone);
  EXPECT_EQ(registerFrames(), (std::vector<std::pair<std::uint8_t, std::uint8_t>>{{0xF4, 0},
                                                                                  {0xF8, 0},
                                                                                  {0xF9, 0},
                                                                                  {0x79, 0x53},
                                                                                  {0xF9, 0},
                                                                                  {0xFA, 0},
                                                                                  {0xF2, 0},
                                                                                  {0xF3, 0}}));
  EXPECT_EQ(texts(), std::vector<std::string>{std::string(kVarSettingsWrittenText)});
  EXPECT_EQ(unit.registers[protocol::kVarTurnOffDelayRegister], 0x53);
}

TEST_F(WriteHardware, EveryChangedRegisterGetsItsValueAndItsMessage) {
  HardwareFields controls = page->fields();
  controls.varPort = {true, false, true, true};
  controls.varThreshold = 0;
  controls.varTurnOffDelay = 2;
  controls.varTimeout = 3;
  controls.audioMode = 1;
  controls.preRingDtmf = false;
  controls.forcedFskBetweenRings = false;
  EXPECT_EQ(page->writeHardware(controls), Result::kDone);
  EXPECT_EQ(unit.registers,
            (std::map<std::uint8_t, std::uint8_t>{{protocol::kEncoderModeRegister, 1},
                                                  {protocol::kCallerIdModeRegister, 0x56},
                                                  {protocol::kVarPortsRegister, 0x5D},
                                                  {protocol::kVarThresholdRegister, 0x50},
                                                  {protocol::kVarTurnOffDelayRegister, 0x52},
                                                  {protocol::kVarTimeoutRegister, 0x53}}));
  const std::string s(kVarSettingsWrittenText);
  EXPECT_EQ(texts(), (std::vector<std::string>{
                         s, s, s, s, audioModeWrittenText(1),
                         "Finished mode setting for caller ID detection. The new setting will be "
                         "activated after restart!"}));
  EXPECT_EQ(host.audioMode(0), 1);
}

// Each register's own messages: a write that does not go out, and a value the unit does not take.
TEST_F(WriteHardware, EachRegisterStopsWithItsOwnWriteAndMismatchMessages) {
  struct Case {
    std::uint8_t letter;
    void (*change)(HardwareFields&);
    const char* writeFailed;
    const char* mismatch;
  };
  const Case cases[] = {
      {0x74, [](HardwareFields& f) { f.varPort[3] = true; },
       "Failed to set VAR mode ports. Quit and retry please!",
       "Failed to set VAR mode ports. Quit to restart the hardware, try again!"},
      {0x78, [](HardwareFields& f) { f.varThreshold = 1; },
       "Failed to set VAR mode Vth. Quit and retry please!",
       "Failed to set VAR mode Vth mode. Quit to restart the hardware, try again!"},
      {0x79, [](HardwareFields& f) { f.varTurnOffDelay = 0; },
       "Failed to set VAR mode Space No. Quit and retry please!",
       "Failed to set VAR mode SpaceNoMode. Quit to restart the hardware, try again!"},
      {0x7A, [](HardwareFields& f) { f.varTimeout = 1; },
       "Failed to set VAR mode TimeOut mode. Quit and retry please!",
       "Failed to set VAR mode TimeoutMode. Quit to restart the hardware, try again!"},
      {0x72, [](HardwareFields& f) { f.audioMode = 0; },
       "Error: Setting the hardware Audio Encoder mode, please quit and try again!",
       "Failed to set audio mode. You need to restart the Parvolin hardware for new settings!\n"},
      {0x73, [](HardwareFields& f) { f.preRingFsk = false; },
       "Failed to set caller ID mode. Quit and retry please!",
       "Failed to finish setting. Please try again after restarting the hardware!"},
  };
  for (const Case& c : cases) {
    for (const bool writeFails : {true, false}) {
      unit = FakeUnit();
      failCode.reset();
      if (writeFails) {
        failFramesWithCode(c.letter);
      } else {
        unit.stuck.insert(c.letter);
      }
      prompt.shown.clear();
      HardwareFields controls = page->fields();
      c.change(controls);
      controls.varTimeout = c.letter == 0x7A ? controls.varTimeout : 2;  // a later change
      const Result result = page->writeHardware(controls);
      EXPECT_EQ(result, Result::kStopped) << c.writeFailed;
      ASSERT_FALSE(prompt.shown.empty());
      EXPECT_EQ(prompt.shown.back().text, writeFails ? c.writeFailed : c.mismatch);
      const bool beforeTimeout = c.letter == 0x74 || c.letter == 0x78 || c.letter == 0x79;
      if (beforeTimeout) {
        EXPECT_EQ(unit.registers[protocol::kVarTimeoutRegister], 0x50)
            << "the registers after the failed one are not touched: " << c.writeFailed;
      }
    }
  }
}

TEST_F(WriteHardware, AFailedReadBackStopsAtThatRegister) {
  failFramesWithCode(0xF8, 2);  // the threshold's second read
  HardwareFields controls = page->fields();
  controls.varThreshold = 0;
  controls.varTimeout = 3;
  EXPECT_EQ(page->writeHardware(controls), Result::kStopped);
  EXPECT_EQ(texts(), std::vector<std::string>{std::string(kVarThresholdUnreadableText)});
  EXPECT_EQ(unit.registers[protocol::kVarThresholdRegister], 0x50) << "written before the read";
  EXPECT_EQ(unit.registers[protocol::kVarTimeoutRegister], 0x50) << "never reached";
}

TEST_F(WriteHardware, TheAudioModeHoldsTheValueReadBack) {
  HardwareFields controls = page->fields();
  controls.audioMode = 2;
  EXPECT_EQ(page->writeHardware(controls), Result::kDone);
  EXPECT_EQ(texts(), std::vector<std::string>{
                         "The mode after setting: 2.\n\nYou need to restart the hardware to make "
                         "the setting effective!"});
  EXPECT_EQ(host.audioMode(0), 2);

  unit.stuck.insert(protocol::kEncoderModeRegister);
  controls.audioMode = 0;
  EXPECT_EQ(page->writeHardware(controls), Result::kStopped);
  EXPECT_EQ(host.audioMode(0), 2) << "the unit kept mode 2, and says so";
}

// A list left without a choice would write 0x4F into its register.
TEST_F(WriteHardware, AListWithoutAChoiceIsAskedForAndNothingIsSent) {
  const auto lists = {&HardwareFields::varThreshold, &HardwareFields::varTurnOffDelay,
                      &HardwareFields::varTimeout, &HardwareFields::audioMode};
  for (int HardwareFields::*list : lists) {
    HardwareFields controls = page->fields();
    controls.*list = kNoSelection;
    prompt.shown.clear();
    EXPECT_EQ(page->writeHardware(controls), Result::kListNotChosen);
    EXPECT_EQ(texts(), std::vector<std::string>{std::string(kChooseEveryListText)});
  }
  EXPECT_TRUE(d2xx.writes().empty());
}

TEST_F(HardwareTest, NothingIsWrittenWhenTheVersionDoesNotAllowIt) {
  unit.version[13] = '0';
  open();
  HardwarePage page(0, host, prompt);
  ASSERT_TRUE(page.initialise());
  d2xx.log.clear();
  HardwareFields controls = page.fields();
  controls.varTimeout = 3;
  EXPECT_EQ(page.writeHardware(controls), Result::kNotEnabled);
  EXPECT_TRUE(d2xx.writes().empty());
}

}  // namespace
}  // namespace parvolin::config::test
