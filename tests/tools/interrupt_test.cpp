// A run of tessaly-host leaves nothing in the temporary folder or beside its
// OBJ files, whether it ends or is interrupted; an interrupted run ends by
// its signal.
#include "host_fixture.h"

#include "run_cleanup.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace tools_test {
namespace {

class Interrupt : public HostTest {
 protected:
  void SetUp() override {
    RegisterModule();
    sample_ = Sample();
  }
  // Everything below the temporary folder, for the messages.
  std::string TempTree() const {
    std::string all;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(tmp_, ec)) all += e.path().string() + "\n";
    return all;
  }
  std::string sample_;
};

// The folders and files made below a folder, as they come; folders made
// below it are watched from when they appear.
class Creations {
 public:
  explicit Creations(const std::string& folder) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) { Watch(folder); }
  ~Creations() {
    if (fd_ >= 0) ::close(fd_);
  }
  Creations(const Creations&) = delete;
  Creations& operator=(const Creations&) = delete;

  bool watching() const { return !folders_.empty(); }
  // Waits until `count` have been made in all, or `run` has ended; true when
  // they were made.
  bool Await(int count, const Process& run) {
    for (int poll = 0; poll < 12000; ++poll) {  // of 10 ms at most: two minutes
      Read();
      if (seen_ >= count) return true;
      if (run.Ended()) return false;
      pollfd ready{fd_, POLLIN, 0};
      ::poll(&ready, 1, 10);
    }
    return false;
  }

 private:
  void Watch(const std::string& folder) {
    const int watch = ::inotify_add_watch(fd_, folder.c_str(), IN_CREATE);
    if (watch >= 0) folders_[watch] = folder;
  }
  void Read() {
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (!(event->mask & IN_CREATE)) continue;
        ++seen_;
        if ((event->mask & IN_ISDIR) && folders_.count(event->wd)) Watch(folders_[event->wd] + "/" + event->name);
      }
    }
  }
  int fd_;
  int seen_ = 0;
  std::map<int, std::string> folders_;
};

TEST_F(Interrupt, AnEndedRunLeavesNothing) {
  std::vector<std::string> args = {"open", sample_};
  for (const std::string& a : SolidAnswers()) args.push_back(a);
  const Outcome run = Host(args);
  ASSERT_TRUE(run.exited && run.status == 0) << run.err;
  // The add-in's icon files, made while it connects, were in the run's own
  // folder, which an interruption removes whole.
  std::string folder = "Z:" + tmp_ + "/tessaly-host-";
  std::replace(folder.begin(), folder.end(), '/', '\\');
  EXPECT_NE(run.out.find("small icons: 64x16 from \"" + folder), std::string::npos) << run.out;
  EXPECT_EQ(TempTree(), "");
  EXPECT_EQ(run.err.find("in its temporary folder"), std::string::npos) << "the host and add-in remove their own\n"
                                                                          << run.err;
}

// The dialog waits for an answer that never comes; by then the host's type
// library is in the temporary folder.
TEST_F(Interrupt, ARunInterruptedWhileTheDialogWaitsLeavesNothing) {
  const std::string input = dir_.path() + "/input";
  ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
  // Held open for writing, so that the program's reading waits.
  const int writer = ::open(input.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  // A closed terminal's hangup ends a run as surely as Ctrl+C.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    Launch launch = Prepare({"open", sample_, "--interactive"});
    launch.input = input;
    Process run(kHost, launch);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.WaitForError("answer LABEL=VALUE")) << run.ErrorSoFar();
    const std::string during = TempTree();
    EXPECT_NE(during.find(".tlb\n"), std::string::npos) << during;

    ASSERT_EQ(::kill(run.pid(), signal), 0);
    const Outcome ended = run.Wait();
    EXPECT_FALSE(ended.exited) << "exit status " << ended.status << "\n" << ended.err;
    EXPECT_EQ(ended.status, signal);
    EXPECT_NE(ended.err.find("tessaly-host: interrupted\n"), std::string::npos) << ended.err;
    EXPECT_EQ(TempTree(), "");
  }
  ::close(writer);
}

// Interrupted as each folder or file is made in the temporary folder (where
// one could slip past the handler), then at moments spread over a whole run
// and past its end, a run leaves nothing there.
TEST_F(Interrupt, ARunInterruptedAtAnyMomentLeavesNothing) {
  std::vector<std::string> args = {"open", sample_};
  for (const std::string& a : SolidAnswers()) args.push_back(a);
  const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  int runs = 0, interrupted = 0;
  std::chrono::steady_clock::duration length{};
  // One run, interrupted once `made` folders and files have been made and
  // `delay` has passed since; false when it ended before, its length kept.
  auto interrupt = [&](int made, std::chrono::steady_clock::duration delay) {
    const int signal = kSignals[runs++ % 3];
    SCOPED_TRACE("signal " + std::to_string(signal) + " after " + std::to_string(made) + " made and " +
                 std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(delay).count()) + " us");
    Creations watch(tmp_);
    EXPECT_TRUE(watch.watching());
    const auto start = std::chrono::steady_clock::now();
    Process run(kHost, Prepare(args));
    EXPECT_TRUE(run.started());
    const bool came = watch.Await(made, run);
    if (!came) length = std::chrono::steady_clock::now() - start;
    std::this_thread::sleep_for(delay);
    ::kill(run.pid(), signal);
    const Outcome ended = run.Wait();
    if (ended.exited) {
      EXPECT_EQ(ended.status, 0) << ended.err;
    } else {
      EXPECT_EQ(ended.status, signal) << ended.err;
      interrupted += ended.err.find("tessaly-host: interrupted\n") != std::string::npos;
    }
    EXPECT_EQ(TempTree(), "");
    // What one run left is not the next one's.
    std::error_code ec;
    for (const auto& left : std::filesystem::directory_iterator(tmp_, ec)) std::filesystem::remove_all(left.path(), ec);
    return came;
  };
  // A few times each, as a signal must come within microseconds of a
  // creation to fall between it and its record.
  constexpr int kTries = 4;
  int made = 0;
  for (bool more = true; more && made < 100;) {
    ++made;
    for (int i = 0; i < kTries && more; ++i) more = interrupt(made, {});
  }
  // The run ended waiting for the next one.
  EXPECT_GT(made, 3) << "a run makes its folder, the host's folder and the type library";
  constexpr int kMoments = 6;
  for (int i = 1; i <= kMoments; ++i) interrupt(0, length * i / (kMoments - 1));
  EXPECT_GT(interrupted, 0);
}

// A temporary folder too long for the add-in's buffer still gets the run's
// own folder, so that an interruption takes the host's files with it.
TEST_F(Interrupt, ARunInALongTemporaryFolderInterruptedLeavesNothing) {
  std::string deep = tmp_;
  while (deep.size() < 300) deep += "/folder-of-a-long-temporary-path";
  std::error_code ec;
  ASSERT_TRUE(std::filesystem::create_directories(deep, ec)) << ec.message();
  const std::string input = dir_.path() + "/input";
  ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
  const int writer = ::open(input.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  Launch launch = Prepare({"open", sample_, "--interactive"});
  for (auto& set : launch.env)
    if (set.first != "TESSALY_REGISTRY") set.second = deep;
  launch.input = input;
  Process run(kHost, launch);
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(run.WaitForError("answer LABEL=VALUE")) << run.ErrorSoFar();
  EXPECT_NE(TempTree().find(".tlb\n"), std::string::npos) << TempTree();
  ASSERT_EQ(::kill(run.pid(), SIGTERM), 0);
  const Outcome ended = run.Wait();
  ::close(writer);
  EXPECT_FALSE(ended.exited) << ended.err;
  // Only the long folder itself is left: nothing the run made in it.
  EXPECT_EQ(TempTree().find("temporary-path/tessaly-host-"), std::string::npos) << TempTree();
}

// Started under nohup, a run keeps ignoring the hangup and goes on.
TEST_F(Interrupt, ARunStartedIgnoringTheHangupOutlivesIt) {
  const std::string input = dir_.path() + "/input";
  ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
  const int writer = ::open(input.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  Launch launch = Prepare({"open", sample_, "--interactive"});
  launch.args.insert(launch.args.begin(), kHost);
  launch.input = input;
  Process run("/usr/bin/nohup", launch);
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(run.WaitForError("answer LABEL=VALUE")) << run.ErrorSoFar();
  ASSERT_EQ(::kill(run.pid(), SIGHUP), 0);
  ASSERT_EQ(::write(writer, "cancel\n", 7), 7);
  const Outcome ended = run.Wait();
  ::close(writer);
  EXPECT_TRUE(ended.exited && ended.status == 0) << "status " << ended.status << "\n" << ended.err;
  EXPECT_EQ(ended.err.find("interrupted"), std::string::npos) << ended.err;
  EXPECT_EQ(TempTree(), "");
}

// The OBJ file is saved into a named pipe nobody reads: the save waits in
// opening it, with the partial file in place.
TEST_F(Interrupt, ARunInterruptedWhileSavingLeavesNoPartialFile) {
  const std::string out = dir_.path() + "/out";
  const std::string saving = out + "/Part1.obj.saving";
  ASSERT_EQ(::mkdir(out.c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(saving.c_str(), 0600), 0);
  std::vector<std::string> args = {"open", sample_, "--save", out};
  for (const std::string& a : SolidAnswers()) args.push_back(a);
  Process run(kHost, Prepare(args));
  ASSERT_TRUE(run.started());
  const std::string wchan = "/proc/" + std::to_string(run.pid()) + "/wchan";
  bool ended = false;
  const bool waiting = run.WaitUntil([&] {
    ended = !std::filesystem::exists(wchan);
    return ended || test_support::FileText(wchan) == "wait_for_partner";
  });
  ASSERT_FALSE(ended) << run.ErrorSoFar();
  if (!waiting) GTEST_SKIP() << "this system does not show where a process waits";

  ASSERT_EQ(::kill(run.pid(), SIGTERM), 0);
  const Outcome interrupted = run.Wait();
  EXPECT_FALSE(interrupted.exited) << interrupted.err;
  EXPECT_EQ(interrupted.status, SIGTERM);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(saving))) << "the partial file was left";
  EXPECT_EQ(TempTree(), "");
}

TEST(RemoveTree, RemovesEverythingBelowButNotWhatLinksLeadTo) {
  test_support::TempDir dir("tessaly-remove-tree");
  const std::string tree = dir.path() + "/tree", outside = dir.path() + "/outside";
  std::filesystem::create_directories(tree + "/a/b/c");
  std::filesystem::create_directories(outside);
  std::ofstream(outside + "/kept") << "x";
  for (const char* file : {"/f", "/a/f", "/a/b/f", "/a/b/c/f"}) std::ofstream(tree + file) << "x";
  for (int i = 0; i < 300; ++i) std::ofstream(tree + "/a/many" + std::to_string(i)) << "x";
  std::filesystem::create_directory_symlink(outside, tree + "/a/link");
  EXPECT_TRUE(tessaly_host::RemoveTree(tree.c_str()));
  EXPECT_FALSE(std::filesystem::exists(tree));
  EXPECT_TRUE(std::filesystem::exists(outside + "/kept"));
  EXPECT_TRUE(tessaly_host::RemoveTree(tree.c_str())) << "nothing to remove is no failure";
}

}  // namespace
}  // namespace tools_test
