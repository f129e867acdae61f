// The packed Windows viewer under Wine, Xvfb and Mesa, as built, as the installer installs it and
// from a folder named outside the ANSI code page: its window, its picture against the Linux
// build's, and its exit codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/viewer_test.h"
#include "tests/windows/wine_install.h"
#include "tests/windows/wine_session.h"
#include "tests/x_session.h"

namespace {

const std::string kWindowsViewer = kWindowsBuild + "/zoravarova.exe";
const std::string kLinuxViewer = ZV_VIEWER;
constexpr auto kExitLimit = 20s;
// Larger than the window, so that Wine's own frame around the 800x600 client area fits on it.
const std::string kWineScreen = "1024x768x24";

// The ANSI code page of a program Wine starts in `environment`, which each start records in the
// registry; 0 when it cannot be read.
int wineAnsiCodePage(const std::map<std::string, std::string>& environment,
                     const std::string& dir) {
  const auto values =
      registryValues(R"(HKLM\System\CurrentControlSet\Control\Nls\CodePage)", dir, environment);
  if (!values || !values->contains("ACP")) {
    return 0;
  }
  return std::atoi(values->at("ACP").c_str());
}

// Where the viewer runs from: the cross build's folder; installed by the silent installer
// (uninstalled again once the viewer has ended); or unzipped into a folder whose name a Western
// ANSI code page cannot spell. There, without the manifest's UTF-8 code page, GetModuleFileNameA
// gives a path of question marks, the viewer cannot open its own file and draws its cubes black.
enum class ViewerCopy { Built, Installed, InAJapaneseFolder };

class WineViewer : public ViewerTest, public ::testing::WithParamInterface<ViewerCopy> {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    std::string program = kWindowsViewer;
    std::map<std::string, std::string> environment = wineEnvironment("");
    if (GetParam() == ViewerCopy::Installed) {
      install_.emplace(outputDir_);
      ASSERT_EQ(install_->problem(), "");
      // By its Windows path, as the Start menu starts it.
      program = kInstallDir + "\\zoravarova.exe";
    } else if (GetParam() == ViewerCopy::InAJapaneseFolder) {
      // The locale Wine takes its code page from, set here whatever the machine's is: C is
      // English (United States) to Wine, whose ANSI code page is 1252.
      environment["LC_ALL"] = "C.UTF-8";
      const int codePage = wineAnsiCodePage(environment, outputDir_);
      if (codePage != 1252) {
        GTEST_SKIP() << "Wine's ANSI code page is " << codePage
                     << " here, not the Western 1252 that cannot spell the folder's name";
      }
      const std::filesystem::path folder = std::filesystem::path(outputDir_) / "日本語";
      std::filesystem::create_directory(folder);
      std::filesystem::copy_file(kWindowsViewer, folder / "zoravarova.exe");
      program = (folder / "zoravarova.exe").string();
    }
    startViewer(wineViewerCommand(kWine, program, environment));
  }
  // The viewer ends before the uninstall, which cannot remove a running program.
  void TearDown() override { viewer_.reset(); }

  std::optional<SilentInstall> install_;
};

const char* copyName(ViewerCopy copy) {
  switch (copy) {
    case ViewerCopy::Built:
      return "Built";
    case ViewerCopy::Installed:
      return "Installed";
    case ViewerCopy::InAJapaneseFolder:
      return "InAJapaneseFolder";
  }
  return "";
}

void PrintTo(ViewerCopy copy, std::ostream* out) {
  *out << copyName(copy);
}

// Test names end in /Built, /Installed or /InAJapaneseFolder, so that they still start with the
// suite's.
INSTANTIATE_TEST_SUITE_P(, WineViewer,
                         ::testing::Values(ViewerCopy::Built, ViewerCopy::Installed,
                                           ViewerCopy::InAJapaneseFolder),
                         [](const ::testing::TestParamInfo<ViewerCopy>& copy) {
                           return std::string(copyName(copy.param));
                         });

TEST_P(WineViewer, OpensOneWindowTitledZoravarovaWithAClientAreaOf800By600) {
  expectOneWineWindowOf800By600();
}

TEST_P(WineViewer, ShowsThePictureOfTheLinuxBuild) {
  const Screenshot wine = captureScreen(x());
  const ScreenRectangle client = backgroundBounds(wine);
  ASSERT_EQ(client.width, 800);
  ASSERT_EQ(client.height, 600);
  expectThePictureOf(kLinuxViewer, wine, client.left, client.top, outputDir_);
}

TEST_P(WineViewer, EscapeEndsItWithExitCodeZero) {
  EXPECT_EQ(viewer_->pressEscapeUntilExit(kExitLimit), std::optional<int>(0));
  EXPECT_EQ(viewer_->process().standardOutput(), "");
}

TEST_P(WineViewer, TheCloseBoxEndsItWithExitCodeZero) {
  requestClose(x(), viewer_->window());
  EXPECT_EQ(viewer_->process().waitForExit(kExitLimit), std::optional<int>(0));
  EXPECT_EQ(viewer_->process().standardOutput(), "");
}

// -1 from WinMain is the exit status 0xFFFFFFFF, of which Linux sees the low byte.
TEST(WineViewerFailing, WithoutOpenGL33CoreItExitsWith255AndPrintsNothing) {
  const std::string dir = makeTestDirectory("WineViewerWithoutCore");
  VirtualDisplay display(kWineScreen);
  std::map<std::string, std::string> environment = wineEnvironment(display.name());
  environment["MESA_GL_VERSION_OVERRIDE"] = "3.0";
  ChildProcess viewer(kWine, {kWindowsViewer}, environment, dir);
  EXPECT_EQ(viewer.waitForExit(kExitLimit), std::optional<int>(255));
  EXPECT_EQ(viewer.standardOutput(), "");
}

TEST(WineViewerFailing, WithoutADisplayItExitsWith255AndPrintsNothing) {
  const std::string dir = makeTestDirectory("WineViewerWithoutDisplay");
  ChildProcess viewer(kWine, {kWindowsViewer}, wineEnvironment(""), dir);
  EXPECT_EQ(viewer.waitForExit(kExitLimit), std::optional<int>(255));
  EXPECT_EQ(viewer.standardOutput(), "");
}

}  // namespace
