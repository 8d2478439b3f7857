#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace parvolin::app {

// What the recorder asks of the desktop: registering its file types and opening a document with
// the program registered for it. Failures are ignored by every caller, so nothing is returned.
class Shell {
 public:
  virtual ~Shell() = default;
  // Registers the recorded audio files (opened by lvplayer) and the remote-access server's
  // ".USC" files (opened by LvSvr), both programs in `programFolder`. Rewrites existing entries.
  virtual void registerFileTypes(const std::filesystem::path& programFolder) = 0;
  // Opens `document` as the desktop would on a double click; the document need not exist.
  virtual void openDocument(const std::filesystem::path& document) = 0;
  // Runs the remote-access server `program` with `args` for as long as the recorder runs.
  virtual void startServer(const std::filesystem::path& program,
                           const std::vector<std::string>& args) = 0;
};

// Records every request; for tests.
class RecordingShell final : public Shell {
 public:
  void registerFileTypes(const std::filesystem::path& programFolder) override {
    calls.push_back("register " + programFolder.string());
  }
  void openDocument(const std::filesystem::path& document) override {
    calls.push_back("open " + document.string());
  }
  void startServer(const std::filesystem::path& program,
                   const std::vector<std::string>& args) override {
    std::string call = "start " + program.string();
    for (const std::string& arg : args) call += " " + arg;
    calls.push_back(call);
  }
  std::vector<std::string> calls;
};

}  // namespace parvolin::app
