#include "host_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace tools_test {

const std::string HostTest::kHost = TESSALY_HOST_PROGRAM;
const std::string HostTest::kModule = TESSALY_MODULE_FILE;

HostTest::HostTest() {
  registry_ = dir_.path() + "/registry.txt";
  tmp_ = dir_.path() + "/tmp";
  ::mkdir(tmp_.c_str(), 0700);
}

Launch HostTest::Prepare(std::vector<std::string> args) const {
  Launch launch;
  launch.args = std::move(args);
  launch.env = {{"TESSALY_REGISTRY", registry_}, {"TMP", tmp_}, {"TEMP", tmp_}, {"TMPDIR", tmp_}};
  launch.folder = dir_.path();
  return launch;
}

void HostTest::RegisterModule() const {
  const Outcome registered = Host({"register", kModule});
  ASSERT_TRUE(registered.exited && registered.status == 0) << registered.err;
}

std::string HostTest::Sample() const {
  const std::string path = dir_.path() + "/shapes.3ds";
  Launch launch;
  launch.args = {path};
  launch.folder = dir_.path();
  const Outcome written = RunToEnd(WRITE_SAMPLE_PROGRAM, launch);
  EXPECT_TRUE(written.exited && written.status == 0) << written.err;
  return path;
}

std::vector<std::string> HostTest::TempNames() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(tmp_, ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SolidAnswers() {
  return {"--answer", "Units=Millimeters", "--answer", "Solid in a part document=on", "--answer", "Show progress=off"};
}

}  // namespace tools_test
