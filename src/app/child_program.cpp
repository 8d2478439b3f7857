#include "app/child_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace parvolin::app {

bool ChildProgram::start(const std::filesystem::path& program, const std::vector<std::string>& args,
                         std::string& why) {
  stop();
  if (::access(program.c_str(), X_OK) != 0) {
    why = program.string() + ": " + std::strerror(errno);
    return false;
  }
  // Everything the child needs is made before the fork: after it, only calls that are safe in
  // a child of a process with threads.
  std::vector<std::string> all{program.string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) {
    why = std::string("cannot start a process: ") + std::strerror(errno);
    return false;
  }
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);  // the recorder died before the line above
    const int input = ::open("/dev/null", O_RDONLY);
    if (input >= 0) ::dup2(input, STDIN_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);  // the recorder's standard output is its own
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  pid_ = child;
  return true;
}

void ChildProgram::stop(std::chrono::milliseconds grace) {
  if (!pid_) return;
  const pid_t child = *pid_;
  pid_.reset();
  ::kill(child, SIGTERM);
  const auto end = std::chrono::steady_clock::now() + grace;
  for (;;) {
    const pid_t done = ::waitpid(child, nullptr, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) return;
    if (std::chrono::steady_clock::now() >= end) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(child, SIGKILL);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace parvolin::app
