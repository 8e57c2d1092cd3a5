// Failures of the program said once, with what their codes mean and the
// file they concern.
#include "host_fixture.h"

#include <filesystem>
#include <fstream>

namespace tools_test {
namespace {

using Messages = HostTest;

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST_F(Messages, RegistrationFailuresSayWhatTheirCodesMean) {
  const Outcome never = Host({"unregister", kModule});
  EXPECT_TRUE(never.exited && never.status == 1) << never.err;
  EXPECT_EQ(never.err, "tessaly-host: DllUnregisterServer in " + std::filesystem::canonical(kModule).string() +
                           " failed: 0x8002801C TYPE_E_REGISTRYACCESS, the type library's registration cannot be "
                           "found or read; is the module registered?\n");

  const Outcome folder = Host({"register", dir_.path()});
  EXPECT_TRUE(folder.exited && folder.status == 1) << folder.err;
  EXPECT_EQ(folder.err, "tessaly-host: " + dir_.path() + " is a folder, not a module\n");
}

TEST_F(Messages, ARegisteredModuleThatIsGoneIsNamed) {
  const std::string copy = dir_.path() + "/Moved.dll";
  std::filesystem::copy_file(kModule, copy);
  ASSERT_EQ(Host({"register", copy}).status, 0);
  std::filesystem::remove(copy);
  const Outcome run = Host({"open", Sample()});
  EXPECT_TRUE(run.exited && run.status == 1) << run.err;
  EXPECT_EQ(Lines(run.err), 1u) << run.err;
  EXPECT_NE(run.err.find("ERROR_MOD_NOT_FOUND, the module cannot be found); its module " + copy + " is gone"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "") << "no result of a host without its add-in";
}

TEST_F(Messages, ADamagedRegistryIsOneMessageNamingFileAndLine) {
  RegisterModule();
  std::ofstream(registry_, std::ios::app) << "garbage\n";
  const std::string sample = Sample();
  const std::string expected =
      "tessaly-host: " + registry_ +
      ", line " + std::to_string(Lines(test_support::FileText(registry_))) +
      ": text after \"end\" (the registry is not used or written until the file is mended)\n";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"open", sample},
                                               std::vector<std::string>{"command", "About"},
                                               std::vector<std::string>{"register", kModule}}) {
    SCOPED_TRACE(args[0]);
    const Outcome run = Host(args);
    EXPECT_TRUE(run.exited && run.status == 1) << run.err;
    EXPECT_EQ(run.err, expected);
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
}  // namespace tools_test
