// What the command line takes: help, options in any order, and a clear word
// for every option that lacks its value.
#include "host_fixture.h"

namespace tools_test {
namespace {

using CommandLine = HostTest;

TEST_F(CommandLine, HelpPrintsTheUsageAndSucceeds) {
  const std::vector<std::vector<std::string>> asks = {
      {"--help"}, {"-h"}, {"help"}, {"open", "--help"}, {"demo", "--units", "9", "-h"}};
  for (const auto& ask : asks) {
    SCOPED_TRACE(ask[0] + (ask.size() > 1 ? " " + ask[1] : ""));
    const Outcome help = Host(ask);
    EXPECT_TRUE(help.exited && help.status == 0) << help.status << help.err;
    EXPECT_EQ(help.out.rfind("usage: tessaly-host register MODULE\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--answer LABEL=VALUE"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
  }
}

TEST_F(CommandLine, UsageErrorsSayWhatIsMissingAndDoNothing) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"open", "x.3ds", "--save"}, "--save needs a folder"},
      {{"open", "x.3ds", "--save", ""}, "--save needs a folder, not an empty argument"},
      {{"open", "x.3ds", "--save", "--json"}, "--save needs a folder"},
      {{"open", "x.3ds", "--file"}, "--file needs a path"},
      {{"command", "Import", "--answer"}, "--answer needs LABEL=VALUE"},
      {{"demo", "--units", "--progress"}, "--units needs a number from 0 to 4"},
      {{"demo", "--mode"}, "--mode needs solid, sketch or a number"},
      {{"open"}, "open needs a FILE"},
      {{"open", ""}, "open needs a FILE, not an empty argument"},
      {{"open", "a.3ds", "b.3ds"}, "open takes one FILE; 'b.3ds' is one too many"},
      {{"register", "--json", "m.dll"}, "unknown option '--json'"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{}, "no command given"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Outcome run = Host(c.args);
    EXPECT_TRUE(run.exited && run.status == 2) << run.status << run.err;
    EXPECT_EQ(run.err.rfind(std::string("tessaly-host: ") + c.message + "\nusage: ", 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(CommandLine, OptionsMayStandBeforeTheOperand) {
  RegisterModule();
  std::vector<std::string> args = {"open", "--json"};
  for (const std::string& a : SolidAnswers()) args.push_back(a);
  args.push_back(Sample());
  const Outcome opened = Host(args);
  EXPECT_TRUE(opened.exited && opened.status == 0) << opened.err;
  EXPECT_NE(opened.out.find("\"length_unit\": \"mm\""), std::string::npos) << opened.out;

  const Outcome about = Host({"command", "--json", "About"});
  EXPECT_TRUE(about.exited && about.status == 0) << about.err;
  EXPECT_EQ(about.out, "{\"documents\": [], \"messages\": []}\n");
  EXPECT_NE(about.err.find("[About] "), std::string::npos) << about.err;
}

}  // namespace
}  // namespace tools_test
