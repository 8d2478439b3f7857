#pragma once

// A test fixture that runs the built parvolin recorder on emulated units, each run with its own
// HOME, XDG folders, working directory and --config, so that nothing of the machine's own is
// touched; and readers of what a run leaves.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/folder_lock.h"
#include "e2e/run_program.h"
#include "engine/call_record.h"
#include "support/test_files.h"

namespace parvolin::e2e {

inline const std::filesystem::path kParvolin =
    std::filesystem::path(PARVOLIN_BINARY_DIR) / "programs" / "parvolin";
inline const std::filesystem::path kPvtool =
    std::filesystem::path(PARVOLIN_BINARY_DIR) / "programs" / "pvtool";

class HeadlessRecorder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(work());
  }
  std::filesystem::path home() const { return root_ / "home"; }
  std::filesystem::path work() const { return root_ / "work"; }
  std::map<std::string, std::string> env() const {
    return {{"HOME", home().string()},
            {"XDG_DATA_HOME", (home() / "data").string()},
            {"XDG_CONFIG_HOME", (home() / "config").string()},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""}};
  }
  std::filesystem::path writeScenario(const std::string& name, const std::string& text) {
    const auto file = work() / name;
    std::ofstream(file) << text;
    return file;
  }
  std::unique_ptr<ProgramRun> start(const std::vector<std::string>& args) {
    return std::make_unique<ProgramRun>(kParvolin, args, env(), work(), root_ / "out.txt",
                                        root_ / "err.txt");
  }
  int run(const std::vector<std::string>& args) {
    auto p = start(args);
    const int status = p->wait();
    output_ = p->output();
    errors_ = p->errors();
    return status;
  }

  // The files of a folder, its lock left out (it names the process that held the folder).
  static std::set<std::string> filesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
      const std::string name = e.path().filename().string();
      if (name != base::kFolderLockName) names.insert(name);
    }
    return names;
  }
  static std::vector<engine::CallRecord> callLog(const std::filesystem::path& folder) {
    const std::string bytes = ProgramRun::readAll(folder / "ParvolinLog.ZERU");
    std::vector<engine::CallRecord> records;
    for (std::size_t at = 0; at + engine::kCallRecordSize <= bytes.size();
         at += engine::kCallRecordSize) {
      std::array<std::uint8_t, engine::kCallRecordSize> raw;
      std::memcpy(raw.data(), bytes.data() + at, raw.size());
      records.push_back(engine::decodeCallRecord(raw));
    }
    return records;
  }
  static std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  parvolin::test::TempFolder root_;
  std::string output_, errors_;
};

}  // namespace parvolin::e2e
