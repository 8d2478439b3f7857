#pragma once

// A private sound server and a private X display for end-to-end tests of the windows and the
// sound: each test runs its own, with every runtime file inside the test's own folder, so that
// tests running side by side never meet. Nothing is decided by a fixed sleep: every wait is for
// a condition, with a generous deadline.

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace parvolin::e2e {

using namespace std::chrono_literals;

struct CommandResult {
  int status = -1;  // -1 also when it did not end in time
  std::string output;
};

// Runs `program` to its end (at most `timeout`) and returns its status and standard output.
inline CommandResult runCommand(const std::string& program, const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env,
                                const std::filesystem::path& scratch,
                                std::chrono::milliseconds timeout = 30s) {
  static int count = 0;
  const std::string stem = "command-" + std::to_string(++count);
  ProgramRun run(program, args, env, scratch, scratch / (stem + ".out"), scratch / (stem + ".err"));
  CommandResult result;
  if (!run.started()) return result;
  result.status = run.waitFor(timeout).value_or(-1);
  result.output = run.output();
  return result;
}

// A PulseAudio server of the test's own with one null sink "nullsink" of 8000 Hz mono, whose
// monitor records what is played.
class SoundServer {
 public:
  explicit SoundServer(const std::filesystem::path& root) : root_(root) {
    std::filesystem::create_directories(runtime());
    std::filesystem::create_directories(root_ / "home");
    ::chmod(runtime().c_str(), 0700);
    ::chmod((root_ / "runtime").c_str(), 0700);
    server_ = std::make_unique<ProgramRun>(
        "/usr/bin/pulseaudio",
        std::vector<std::string>{"--daemonize=no", "--exit-idle-time=-1", "-n",
                                 "--load=module-null-sink sink_name=nullsink rate=8000 channels=1",
                                 "--load=module-native-protocol-unix"},
        env(), root_, root_ / "pulse.out", root_ / "pulse.err");
  }
  ~SoundServer() {
    server_->signal(SIGTERM);
    if (!server_->waitFor(10s)) server_->signal(SIGKILL);
  }

  // True once clients can connect.
  bool ready(std::chrono::milliseconds timeout = 30s) {
    return waitUntil(
        [&] { return runCommand("/usr/bin/pactl", {"info"}, env(), root_, 10s).status == 0; },
        timeout);
  }
  // The environment of a client of this server (and of the server itself).
  std::map<std::string, std::string> env() const {
    return {{"PULSE_RUNTIME_PATH", runtime().string()},
            {"PULSE_STATE_PATH", (root_ / "state").string()},
            {"PULSE_SERVER", "unix:" + (runtime() / "native").string()},
            {"XDG_RUNTIME_DIR", (root_ / "runtime").string()},
            {"HOME", (root_ / "home").string()}};
  }
  std::string errors() const { return server_->errors(); }

 private:
  std::filesystem::path runtime() const { return root_ / "runtime" / "pulse"; }

  std::filesystem::path root_;
  std::unique_ptr<ProgramRun> server_;
};

// Records what the null sink plays, as 8-bit unsigned samples at 8000 Hz, into `file`.
class SoundCapture {
 public:
  SoundCapture(const SoundServer& server, const std::filesystem::path& file)
      : env_(server.env()), scratch_(file.parent_path()) {
    capture_ = std::make_unique<ProgramRun>(
        "/usr/bin/parec",
        std::vector<std::string>{"--latency-msec=10", "-d", "nullsink.monitor", "--raw",
                                 "--format=u8", "--rate=8000", "--channels=1"},
        env_, scratch_, file, file.string() + ".err");
  }
  ~SoundCapture() { stop(); }

  // True once the server lists the recording stream.
  bool recording(std::chrono::milliseconds timeout = 30s) {
    return waitUntil(
        [&] {
          const auto r =
              runCommand("/usr/bin/pactl", {"list", "short", "source-outputs"}, env_, scratch_);
          return r.status == 0 && !r.output.empty();
        },
        timeout);
  }
  void stop() {
    if (!capture_) return;
    capture_->signal(SIGTERM);
    if (!capture_->waitFor(10s)) capture_->signal(SIGKILL);
    capture_.reset();
  }

 private:
  std::map<std::string, std::string> env_;
  std::filesystem::path scratch_;
  std::unique_ptr<ProgramRun> capture_;
};

// An X server of the test's own, on a display number drawn from a wide range at a place given by
// the process id (a number in use makes the server exit at once, and the next one is tried). It
// runs with -noreset: by default an X server resets whenever its last client leaves, and a client
// that connects during the reset is turned away ("could not connect to display"). The tests' short
// clients (xdotool, import) and a player that ends leave the server without clients many times.
class XDisplay {
 public:
  explicit XDisplay(const std::filesystem::path& root) : root_(root) {
    constexpr int kFirst = 100, kCount = 3000;
    const int start = int(::getpid() % kCount);
    for (int attempt = 0; attempt < 20 && name_.empty(); ++attempt) {
      const int number = kFirst + (start + attempt * 149) % kCount;
      const std::string tag = std::to_string(attempt);
      server_ = std::make_unique<ProgramRun>(
          "/usr/bin/Xvfb",
          std::vector<std::string>{":" + std::to_string(number), "-displayfd", "1", "-noreset",
                                   "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
          std::map<std::string, std::string>{}, root_, root_ / ("xvfb" + tag + ".out"),
          root_ / ("xvfb" + tag + ".err"));
      // Ready when it writes its number; a display in use makes it exit at once.
      bool ended = false;
      waitUntil(
          [&] {
            if (server_->output().find('\n') != std::string::npos) return true;
            ended = server_->waitFor(std::chrono::milliseconds(0)).has_value();
            return ended;
          },
          30s);
      if (!ended && server_->output().find('\n') != std::string::npos)
        name_ = ":" + std::to_string(number);
    }
  }
  ~XDisplay() {
    server_->signal(SIGTERM);
    if (!server_->waitFor(10s)) server_->signal(SIGKILL);
  }

  // The display's name (":1234"); empty if no server started.
  std::string name() const { return name_; }
  std::string errors() const { return server_->errors(); }

 private:
  std::filesystem::path root_;
  std::unique_ptr<ProgramRun> server_;
  std::string name_;
};

}  // namespace parvolin::e2e
