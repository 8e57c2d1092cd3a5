// A run of tessaly-host leaves nothing in the temporary folder or beside its
// OBJ files, whether it ends or is interrupted; an interrupted run ends by
// its signal.
#include "host_fixture.h"

#include "run_cleanup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

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
