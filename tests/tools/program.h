// Runs tessaly-host as a user would: a process of its own with its own
// environment, standard input and output files, and its exit status.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tools_test {

struct Outcome {
  bool exited = false;  // ended by exit(), else by a signal
  int status = -1;      // the exit status, or the signal
  std::string out, err;
};

struct Launch {
  std::vector<std::string> args;                           // after the program's name
  std::vector<std::pair<std::string, std::string>> env;    // set over the test's own environment
  std::string input = "/dev/null";                         // the file standard input reads
  std::string folder;                                      // where standard output and error are kept
};

class Process {
 public:
  // Starts `program`; standard output and error go to files in
  // `launch.folder`.
  Process(const std::string& program, const Launch& launch);
  ~Process();  // a process still running is killed and waited for
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return pid_ > 0; }
  int pid() const { return pid_; }
  // True once the program has ended (it is still there to be waited for).
  bool Ended() const;
  // What the program has written to standard error so far.
  std::string ErrorSoFar() const;
  // Waits until standard error holds `text`, or the program ends; false
  // when it ended first (or never printed it within a generous while, so
  // that a broken program fails the test instead of hanging it).
  bool WaitForError(const std::string& text) const;
  // Waits until `predicate` holds, polling; the same generous bound.
  template <class F>
  bool WaitUntil(F predicate) const {
    for (int i = 0; i < kPolls; ++i) {
      if (predicate()) return true;
      Nap();
    }
    return false;
  }
  Outcome Wait();

 private:
  static constexpr int kPolls = 12000;  // of 10 ms: two minutes
  static void Nap();
  int pid_ = -1;
  std::string outFile_, errFile_;
};

// Runs `program` to its end.
Outcome RunToEnd(const std::string& program, const Launch& launch);

}  // namespace tools_test
