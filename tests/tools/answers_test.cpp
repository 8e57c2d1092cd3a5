// Answering the options dialog from the command line and from standard
// input: what is shown is what is confirmed, and a wrong answer ends the run.
#include "host_fixture.h"

#include <fstream>

namespace tools_test {
namespace {

class Answers : public HostTest {
 protected:
  void SetUp() override {
    RegisterModule();
    sample_ = Sample();
  }
  Outcome Open(std::vector<std::string> options, const std::string& input = "/dev/null") const {
    options.insert(options.begin(), {"open", sample_, "--json"});
    Launch launch = Prepare(options);
    launch.input = input;
    return RunToEnd(kHost, launch);
  }
  std::string Input(const std::string& text) const {
    const std::string path = dir_.path() + "/answers.txt";
    std::ofstream(path) << text;
    return path;
  }
  std::string sample_;
};

TEST_F(Answers, AnAnswerTheDialogCannotTakeEndsTheRunWithStatus2AndNoResult) {
  struct Case {
    std::vector<std::string> answers;
    const char* message;
  } cases[] = {
      {{"--answer", "Colour=red"}, "has no control labelled \"Colour\"; the dialog is cancelled"},
      {{"--answer", "Units=Millimeters", "--answer", "Units=Yards"}, "\"Yards\" is not an entry of the list \"Units\""},
      {{"--answer", "Show progress=maybe"}, "takes on or off, not \"maybe\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Outcome run = Open(c.answers);
    EXPECT_TRUE(run.exited && run.status == 2) << run.status << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << "no result";
  }
}

TEST_F(Answers, TheDialogIsShownAsItIsConfirmed) {
  ASSERT_EQ(Open(SolidAnswers()).status, 0);  // stores millimetres
  std::vector<std::string> inches = SolidAnswers();
  inches[1] = "Units=Inches";
  const Outcome run = Open(inches);
  EXPECT_TRUE(run.exited && run.status == 0) << run.err;
  EXPECT_NE(run.out.find("\"length_unit\": \"in\""), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("  Units: [Inches v]"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Millimeters v]"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("  [ ] Show progress\n"), std::string::npos) << run.err;
}

TEST_F(Answers, InteractiveAnswersComeLineByLineFromInputThatIsNoTerminal) {
  const Outcome feet = Open({"--interactive"}, Input("Units=Feet\nShow progress=off\n\n"));
  EXPECT_TRUE(feet.exited && feet.status == 0) << feet.err;
  EXPECT_NE(feet.out.find("\"length_unit\": \"ft\""), std::string::npos) << feet.out << feet.err;
  EXPECT_NE(feet.err.find("> Units=Feet\n"), std::string::npos) << feet.err;

  // No OK in the input: nothing is imported.
  const Outcome ended = Open({"--interactive"}, Input("Units=Feet\n"));
  EXPECT_TRUE(ended.exited && ended.status == 0) << ended.err;
  EXPECT_NE(ended.err.find("the input ended before OK"), std::string::npos) << ended.err;
  EXPECT_EQ(ended.out, "{\"documents\": [], \"messages\": []}\n");

  const Outcome wrong = Open({"--interactive"}, Input("Units=Yards\n\n"));
  EXPECT_TRUE(wrong.exited && wrong.status == 2) << wrong.err;
  EXPECT_NE(wrong.err.find("\"Yards\" is not an entry"), std::string::npos) << wrong.err;
  EXPECT_EQ(wrong.out, "");
}

}  // namespace
}  // namespace tools_test
