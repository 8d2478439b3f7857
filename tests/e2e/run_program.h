#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace parvolin::e2e {

// Polls `condition` until it holds, for at most `timeout`: whether it held.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// One run of a built program with an environment of its own, in a working directory of its
// own, its standard output and error going to files.
class ProgramRun {
 public:
  ProgramRun(const std::filesystem::path& program, const std::vector<std::string>& args,
             const std::map<std::string, std::string>& env, const std::filesystem::path& cwd,
             const std::filesystem::path& out, const std::filesystem::path& err)
      : out_(out), err_(err) {
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const auto eq = entry.find('=');
      if (eq != std::string::npos) all[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [k, v] : env) all[k] = v;
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : all) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = {program.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // Without an output file, standard output is a pipe that nobody reads: closed at once.
    int pipeFds[2] = {-1, -1};
    if (out.empty() && pipe(pipeFds) == 0) {
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
      posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
      posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : pipeFds) {
      if (fd >= 0) close(fd);
    }
  }
  ~ProgramRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      wait();
    }
  }

  bool started() const { return pid_ > 0; }
  // The process id while it runs (and until it was waited for); -1 after.
  pid_t pid() const { return pid_; }
  void signal(int number) {
    if (pid_ > 0) kill(pid_, number);
  }
  // Exit status, or -1 when the program did not exit normally.
  int wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Exit status (-1 when the program did not exit normally) if it ends within `timeout`;
  // nullopt while it still runs.
  std::optional<int> waitFor(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (std::chrono::steady_clock::now() >= end) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }
  // Waits (up to `timeout`) until the standard output contains `text`.
  bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    return waitUntil([&] { return output().find(text) != std::string::npos; }, timeout);
  }
  std::string output() const { return readAll(out_); }
  std::string errors() const { return readAll(err_); }

  static std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::filesystem::path out_, err_;
  pid_t pid_ = -1;
};

}  // namespace parvolin::e2e
