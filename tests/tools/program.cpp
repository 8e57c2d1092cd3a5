#include "program.h"

#include "temp_dir.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace tools_test {

Process::Process(const std::string& program, const Launch& launch)
    : outFile_(launch.folder + "/stdout.txt"), errFile_(launch.folder + "/stderr.txt") {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& set : launch.env) replaced = replaced || entry.compare(0, set.first.size() + 1, set.first + "=") == 0;
    if (!replaced) env.push_back(entry);
  }
  for (const auto& set : launch.env) env.push_back(set.first + "=" + set.second);
  std::vector<char*> envp, argv;
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  std::vector<std::string> words = launch.args;
  words.insert(words.begin(), program);
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, launch.input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // The test's own handling of signals is not the program's.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGHUP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data()) == 0) pid_ = pid;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
}

Process::~Process() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status;
  ::waitpid(pid_, &status, 0);
}

void Process::Nap() {
  const timespec nap{0, 10 * 1000 * 1000};
  ::nanosleep(&nap, nullptr);
}

std::string Process::ErrorSoFar() const { return test_support::FileText(errFile_); }

bool Process::Ended() const {
  siginfo_t info{};
  return pid_ > 0 && ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid_;
}

bool Process::WaitForError(const std::string& text) const {
  return WaitUntil([&] { return ErrorSoFar().find(text) != std::string::npos || Ended(); }) &&
         ErrorSoFar().find(text) != std::string::npos;
}

Outcome Process::Wait() {
  Outcome outcome;
  if (pid_ <= 0) {
    outcome.err = "the program could not be started";
    return outcome;
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  outcome.exited = WIFEXITED(status);
  outcome.status = outcome.exited ? WEXITSTATUS(status) : WIFSIGNALED(status) ? WTERMSIG(status) : -1;
  outcome.out = test_support::FileText(outFile_);
  outcome.err = test_support::FileText(errFile_);
  return outcome;
}

Outcome RunToEnd(const std::string& program, const Launch& launch) { return Process(program, launch).Wait(); }

}  // namespace tools_test
