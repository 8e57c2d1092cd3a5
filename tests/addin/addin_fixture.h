// A host, a scripted user, a registry and a drive D of the test's own.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <afxdlgs.h>
#include <atlbase.h>

#include "Commands.h"
#include "stand_in/host.h"
#include "stand_in/paths.h"
#include "stand_in/ui.h"
#include "three_ds_writer.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class AddinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = std::filesystem::temp_directory_path() /
           ("tessaly-addin-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "d");
    setenv("TESSALY_REGISTRY", (root / "registry.txt").c_str(), 1);
    stand_in::SetDriveRoot(L'D', (root / "d").string());
    bstrs = stand_in::LiveBstrCount();
  }
  void TearDown() override {
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    EXPECT_EQ(host.OverReleases(), 0);
    EXPECT_EQ(stand_in::LiveBstrCount(), bstrs);
    unsetenv("TESSALY_REGISTRY");
    std::filesystem::remove_all(root);
  }

  // Writes a 3DS file under drive D (`relative` with '/' separators).
  void Write3ds(const std::string& relative, const std::vector<three_ds::Mesh>& meshes) {
    const auto path = root / "d" / relative;
    std::filesystem::create_directories(path.parent_path());
    ASSERT_TRUE(three_ds::Save(path.string(), three_ds::FileOf(meshes)));
  }

  // The text of every message box, in order.
  std::vector<std::wstring> Boxes() const {
    std::vector<std::wstring> out;
    for (const auto& e : ui.EventsOf("messagebox")) out.push_back(e.text);
    return out;
  }

  // Confirms the options dialog with these changes, then OK.
  stand_in::ui::DialogScript& AnswerOptions() {
    ui.dialogAnswers.push_back(stand_in::ui::DialogScript::ForTemplate(209));
    return ui.dialogAnswers.back();
  }

  IHostApplication* app() { return host.Application(); }

  std::filesystem::path root;
  stand_in::ui::ScriptedDriver ui;
  stand_in::Host host;
  long bstrs = 0;
};

// A closed tetrahedron, outward faces.
inline three_ds::Mesh Tetrahedron(const std::string& name) {
  return {name, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}};
}
