// The recorder and pvtool through their libftdi backend (--driver ftdi) on emulated units that
// appear as USB devices: libftdi, libusb and the kernel's USB device interface carry every byte,
// answered by the USB test bed's model of the units' serial chip.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e/headless_recorder.h"
#include "e2e/run_program.h"
#include "engine/call_record.h"
#include "engine/recording_files.h"
#include "engine/stream_capture.h"
#include "sim/scenario.h"
#include "support/test_files.h"
#include "support/usb/usb_test_bed.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;

// After a scenario's last event, time for the recorder to take in its last bytes on a busy
// machine.
constexpr auto kSettleTime = 3s;

struct HeadlessRecorderCalls : HeadlessRecorder {
  using HeadlessRecorder::callLog;
};

class UsbTestBed : public HeadlessRecorder {
 protected:
  std::map<std::string, std::string> bedEnv() const {
    auto all = env();
    for (const auto& [k, v] : bed_.env()) all[k] = v;
    return all;
  }
  std::unique_ptr<ProgramRun> startOnBed(const std::filesystem::path& program,
                                         const std::vector<std::string>& args,
                                         const std::string& name) {
    return std::make_unique<ProgramRun>(program, args, bedEnv(), work(), root_ / (name + ".out"),
                                        root_ / (name + ".err"));
  }
  // Plugs the scenario's units, starts the recorder on them and plays the scenario once the
  // recorder has them all set up and streaming.
  std::unique_ptr<ProgramRun> recordScenario(const std::string& text,
                                             const std::vector<std::string>& args,
                                             const std::string& name) {
    std::string error;
    const auto scenario = sim::parseScenario(text, "bed.scn", work(), error);
    EXPECT_TRUE(scenario) << error;
    if (!scenario) return nullptr;
    bed_.addScenario(*scenario, false);
    auto recorder = startOnBed(kParvolin, args, name);
    EXPECT_TRUE(recorder->waitForOutput("Logged Items:", 30s))
        << recorder->output() << recorder->errors();
    bed_.playScenario();
    return recorder;
  }

  test::UsbTestBed bed_;
};

sim::UnitConfig unit(const std::string& serial) {
  sim::UnitConfig config;
  config.serial = serial;
  return config;
}

// Two units: an answered incoming call with audio on port 2 and an outgoing call with audio on
// port 5.
constexpr const char* kTwoCalls = R"(unit PVUSB001 number=0x1234
unit PVUSB002
1.0 1/2 ring
1.5 1/2 callerid A 5551234
2.0 1/2 answer
2.2 1/2 talk 3
5.5 1/2 callend 5551234
1.5 2/1 dialout 0123456
4.0 2/1 talk 3
7.5 2/1 calloutend 0123456
)";
constexpr auto kTwoCallsEnd = 8s;

// Everything a capture holds of each unit, its reads end to end.
std::map<int, std::string> streams(const std::filesystem::path& capture) {
  std::map<int, std::string> bytes;
  engine::CaptureReader reader;
  engine::CaptureFault fault;
  std::error_code error;
  EXPECT_TRUE(reader.open(capture, fault, error)) << capture << ": " << fault.reason;
  engine::CaptureRecord record;
  while (reader.next(record, fault) == engine::CaptureReader::Step::kRecord) {
    bytes[record.unit].append(record.bytes.begin(), record.bytes.end());
  }
  return bytes;
}

// The folder's calls as they compare across runs: the call log's records without their times
// (the start and the length in whole seconds of the wall clock), and the audio files' contents in
// the order of the log.
std::vector<std::string> callsIn(const std::filesystem::path& folder) {
  std::vector<std::string> calls;
  for (const engine::CallRecord& r : HeadlessRecorderCalls::callLog(folder)) {
    const std::string audio = engine::recordingFileName(r.startTime, r.portIndex, 3, false);
    calls.push_back(std::to_string(r.portIndex) + " " + std::to_string(r.callType) + " " +
                    std::string(r.text()) + " audio " +
                    std::to_string(ProgramRun::readAll(folder / audio).size()) + " " +
                    std::to_string(std::hash<std::string>{}(ProgramRun::readAll(folder / audio))));
  }
  return calls;
}

TEST_F(UsbTestBed, UnitsListsTheDevicesWithTheirSerialNumbers) {
  bed_.addUnit(unit("PVUSB001"));
  bed_.addUnit(unit("PVUSB002"));
  auto run = startOnBed(kPvtool, {"units", "--driver", "ftdi", "--seconds", "0.5"}, "units");
  ASSERT_EQ(run->wait(), 0) << run->output() << run->errors();
  const std::string out = run->output();
  EXPECT_NE(out.find("2 unit(s) listed."), std::string::npos) << out;
  // libusb lists the devices in an order of its own.
  EXPECT_NE(out.find("  serial PVUSB001\n  version     B5 "), std::string::npos) << out;
  EXPECT_NE(out.find("  serial PVUSB002\n  version     B5 "), std::string::npos) << out;
  EXPECT_NE(out.find("  stream      started"), std::string::npos) << out;
  // What libftdi sent to open and set up the chip, and the setup's commands on bulk OUT.
  for (const char* serial : {"PVUSB001", "PVUSB002"}) {
    std::vector<std::uint8_t> requests;
    for (const auto& r : bed_.controlRequests(serial)) requests.push_back(r.request);
    ASSERT_GE(requests.size(), 3u) << serial;
    EXPECT_EQ(requests[0], 0x00) << "reset";
    EXPECT_EQ(requests[1], 0x03) << "baud rate";
    EXPECT_EQ(requests[2], 0x09) << "latency timer";
    EXPECT_EQ(bed_.controlRequests(serial)[2].value, 2) << "latency 2 ms";
    EXPECT_GT(bed_.bytesToUnit(serial), 0u);
    EXPECT_GT(bed_.bytesFromUnit(serial), 0u);
    EXPECT_GE(bed_.opens(serial), 2) << "listing and opening";
  }
}

TEST_F(UsbTestBed, RecordingThroughLibftdiEqualsTheEmulatedDriversByteForByte) {
  const auto scenario = writeScenario("calls.scn", kTwoCalls);
  const auto config = work() / "Parvolin.conf";
  ASSERT_EQ(run({"--headless", "--simulate=" + scenario.string(), "--virtual", "--config",
                 config.string(), "--folder", "sim", "--capture", "sim.pvcap"}),
            0)
      << errors_;

  auto recorder = recordScenario(kTwoCalls,
                                 {"--headless", "--driver", "ftdi", "--config", config.string(),
                                  "--folder", "ftdi", "--capture", "ftdi.pvcap"},
                                 "ftdi");
  ASSERT_TRUE(recorder);
  std::this_thread::sleep_for(kTwoCallsEnd + kSettleTime);
  recorder->signal(SIGINT);
  ASSERT_EQ(recorder->wait(), 0) << recorder->output() << recorder->errors();

  const auto viaUsb = streams(work() / "ftdi.pvcap");
  const auto emulated = streams(work() / "sim.pvcap");
  ASSERT_EQ(viaUsb.size(), 2u) << recorder->output();
  for (const auto& [unitIndex, bytes] : emulated) {
    EXPECT_GT(bytes.size(), 20000u) << "unit " << unitIndex;
    EXPECT_TRUE(viaUsb.at(unitIndex) == bytes)
        << "unit " << unitIndex << ": " << viaUsb.at(unitIndex).size() << " bytes through USB, "
        << bytes.size() << " emulated";
  }
  const auto calls = callsIn(work() / "ftdi");
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls, callsIn(work() / "sim"));
  EXPECT_EQ(filesIn(work() / "ftdi").size(), filesIn(work() / "sim").size());
  // Every packet the chip sent began with its two status bytes, and libftdi took them off.
  EXPECT_GT(bed_.inPackets("PVUSB001"), emulated.at(0).size() / 62);
}

// A call on each of two units, and a second call on the first unit after the faults.
constexpr const char* kCallsAroundFaults = R"(unit PVUSB001
unit PVUSB002
2.0 1/1 ring
2.5 1/1 answer
2.6 1/1 talk 2
4.8 1/1 callend 5550001
2.0 2/3 ring
2.5 2/3 answer
2.6 2/3 talk 9
12.0 2/3 callend 5550002
9.0 1/2 ring
9.5 1/2 answer
9.6 1/2 talk 2
12.0 1/2 callend 5550003
)";
constexpr auto kCallsAroundFaultsEnd = 12s;
// Its call log: port index and number, by port. The last two calls end at the same moment on
// two units, one of them just reopened after a fault: their records may reach the recorder in
// either tick, so the log is compared by port.
const std::vector<std::pair<int, std::string>> kCallsAroundFaultsLog = {
    {0, "5550001"}, {1, "5550003"}, {6, "5550002"}};

std::vector<std::pair<int, std::string>> callsByPort(const std::filesystem::path& folder) {
  std::vector<std::pair<int, std::string>> calls;
  for (const auto& r : HeadlessRecorderCalls::callLog(folder)) {
    calls.emplace_back(r.portIndex, std::string(r.text().substr(0, 7)));
  }
  std::sort(calls.begin(), calls.end());
  return calls;
}

TEST_F(UsbTestBed, UnitRemovedAndAddedBackIsReopenedAndItsCallsContinue) {
  auto recorder = recordScenario(kCallsAroundFaults,
                                 {"--headless", "--driver", "ftdi", "--folder", "rec"}, "replug");
  ASSERT_TRUE(recorder);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_until(start + 5500ms);
  const int opensBefore = bed_.opens("PVUSB001");
  bed_.unplug("PVUSB001");
  std::this_thread::sleep_until(start + 7s);
  bed_.replug("PVUSB001");
  std::this_thread::sleep_until(start + kCallsAroundFaultsEnd + kSettleTime);
  recorder->signal(SIGINT);
  ASSERT_EQ(recorder->wait(), 0) << recorder->output() << recorder->errors();

  EXPECT_GT(bed_.opens("PVUSB001"), opensBefore) << recorder->output();
  // The other unit's call went on through it all; the first unit's next call was recorded.
  EXPECT_EQ(callsByPort(work() / "rec"), kCallsAroundFaultsLog) << recorder->output();
  const std::string errors = recorder->errors();
  EXPECT_NE(errors.find("Unit1: lost; trying to open it again"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Unit1: open again"), std::string::npos) << errors;
}

TEST_F(UsbTestBed, ChipFaultsLoseNoCallOfTheOtherUnit) {
  auto recorder = recordScenario(kCallsAroundFaults,
                                 {"--headless", "--driver", "ftdi", "--folder", "rec"}, "faults");
  ASSERT_TRUE(recorder);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_until(start + 5500ms);
  // A packet cut short, then a halted bulk IN endpoint, and the reopening after the stall meets
  // a chip that refuses its latency timer once.
  bed_.cutShortBulkIn("PVUSB001");
  std::this_thread::sleep_until(start + 6s);
  bed_.failControlRequest("PVUSB001", 0x09);
  bed_.stallBulkIn("PVUSB001");
  std::this_thread::sleep_until(start + kCallsAroundFaultsEnd + kSettleTime);
  recorder->signal(SIGINT);
  ASSERT_EQ(recorder->wait(), 0) << recorder->output() << recorder->errors();

  EXPECT_EQ(callsByPort(work() / "rec"), kCallsAroundFaultsLog) << recorder->output();
  const std::string errors = recorder->errors();
  EXPECT_NE(errors.find("Unit1: lost; trying to open it again"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Unit1: open again"), std::string::npos) << errors;
  // The halted endpoint was cleared, and the refused latency timer was met (and the open after
  // it set the timer).
  EXPECT_GE(bed_.haltsCleared("PVUSB001"), 1);
  int latencyRequests = 0;
  for (const auto& r : bed_.controlRequests("PVUSB001")) latencyRequests += r.request == 0x09;
  EXPECT_GE(latencyRequests, 3);
}

// The second unit's chip refuses the latency timer when it is first opened: the first unit
// records from the start, the second once it is opened again, with its set-up.
TEST_F(UsbTestBed, ChipRefusingItsSetUpAtStartIsOpenedAgainLater) {
  std::string error;
  const auto scenario = sim::parseScenario(kCallsAroundFaults, "bed.scn", work(), error);
  ASSERT_TRUE(scenario) << error;
  bed_.addScenario(*scenario, false);
  bed_.failControlRequest("PVUSB002", 0x09);
  auto recorder =
      startOnBed(kParvolin, {"--headless", "--driver", "ftdi", "--folder", "rec"}, "refused");
  ASSERT_TRUE(recorder->waitForOutput("Logged Items:", 30s))
      << recorder->output() << recorder->errors();
  bed_.playScenario();
  std::this_thread::sleep_for(kCallsAroundFaultsEnd + kSettleTime);
  recorder->signal(SIGINT);
  ASSERT_EQ(recorder->wait(), 0) << recorder->output() << recorder->errors();
  EXPECT_EQ(callsByPort(work() / "rec"), kCallsAroundFaultsLog) << recorder->output();
  int latencyRequests = 0;
  for (const auto& r : bed_.controlRequests("PVUSB002")) latencyRequests += r.request == 0x09;
  EXPECT_GE(latencyRequests, 2) << "the refused one and the one that set the timer";
}

// The second unit is plugged in 10 s after the start, has a call, is moved to another USB port
// and has a second call.
constexpr const char* kLateUnit = R"(unit PVUSB001
unit PVUSB003
2.0 1/1 ring
2.5 1/1 answer
2.6 1/1 talk 2
4.8 1/1 callend 5550001
10.0 2 plug
12.0 2/2 ring
12.5 2/2 answer
12.6 2/2 talk 2
14.8 2/2 callend 5550002
20.0 2/2 ring
20.5 2/2 answer
20.6 2/2 talk 2
22.8 2/2 callend 5550003
)";
constexpr auto kLateUnitEnd = 23s;
constexpr const char* kLateUnitFound = "Unit2: plugged in (serial PVUSB003), set up and recording";

TEST_F(UsbTestBed, DeviceAddedAfterStartIsFoundThroughTheDeviceNotificationsAndRecorded) {
  auto recorder =
      recordScenario(kLateUnit, {"--headless", "--driver", "ftdi", "--folder", "rec"}, "late");
  ASSERT_TRUE(recorder);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(bed_.opens("PVUSB003"), 0) << "not there at the start";
  // The recorder lists its units again only when udev announces a device: found at once. How
  // long it took is shown, not judged (the machine may be loaded).
  while (recorder->errors().find(kLateUnitFound) == std::string::npos &&
         std::chrono::steady_clock::now() < start + 30s) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_NE(recorder->errors().find(kLateUnitFound), std::string::npos) << recorder->errors();
  const auto found = std::chrono::steady_clock::now() - start - 10s;
  std::printf(
      "[          ] found %lld ms after it was plugged in\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(found).count()));
  // Moved to another port of the hub between its calls: it keeps its unit number.
  std::this_thread::sleep_until(start + 16s);
  bed_.unplug("PVUSB003");
  std::this_thread::sleep_until(start + 17s);
  bed_.replug("PVUSB003", 9);
  std::this_thread::sleep_until(start + kLateUnitEnd + kSettleTime);
  recorder->signal(SIGINT);
  ASSERT_EQ(recorder->wait(), 0) << recorder->output() << recorder->errors();

  std::vector<std::pair<int, std::string>> calls;
  for (const auto& r : callLog(work() / "rec")) {
    calls.emplace_back(r.portIndex, std::string(r.text().substr(0, 7)));
  }
  const std::vector<std::pair<int, std::string>> expected = {
      {0, "5550001"}, {5, "5550002"}, {5, "5550003"}};
  EXPECT_EQ(calls, expected) << recorder->output() << recorder->errors();
  const std::string errors = recorder->errors();
  EXPECT_NE(errors.find("Unit2: open again"), std::string::npos) << errors;
  EXPECT_NE(recorder->output().find(" Port:  6            IDLE"), std::string::npos)
      << recorder->output();
}

}  // namespace
}  // namespace parvolin::e2e

int main(int argc, char** argv) {
  // The bed sends the devices' uevents through libudev, which must see the bed's sysfs: the
  // tests run under umockdev's preload library, this program starting itself again under it.
  if (!parvolin::test::UsbTestBed::runsUnderPreload()) {
    parvolin::test::UsbTestBed::restartUnderPreload(argv);
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
