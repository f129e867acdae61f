// The packed viewer's picture under Xvfb and Mesa, held against a CPU ray cast of the field.
#include <gtest/gtest.h>
#include <cmath>
#include <filesystem>

#include "app/viewer.h"
#include "scene/camera.h"
#include "scene/view_state.h"
#include "tests/packed_viewer.h"
#include "tests/picture_model.h"
#include "tests/viewer_test.h"
#include "tests/x_session.h"

namespace {

const std::string kViewer = ZV_VIEWER;
const std::string kAssets = ZV_ASSET_DIR;
// For the viewer to take in an input, or to present frames, even on a loaded machine.
constexpr auto kInputLimit = 10s;

constexpr int kGridStep = 3;

int countBackground(const Screenshot& shot) {
  int count = 0;
  for (int y = 0; y < shot.height; y += kGridStep) {
    for (int x = 0; x < shot.width; x += kGridStep) {
      count += isBackground(shot.at(x, y)) ? 1 : 0;
    }
  }
  return count;
}

// A screen the viewer's window fills exactly, so the screenshot is its picture.
std::string windowSizedScreen() {
  return std::to_string(kWindowWidth) + "x" + std::to_string(kWindowHeight) + "x24";
}

class ViewerPicture : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    first_ = loadPicture(kAssets + "/first.jpg", 3);
    second_ = loadPicture(kAssets + "/second.png", 4);
  }
  void start(const std::string& program, const std::string& screen = windowSizedScreen()) {
    startViewer(nativeViewerCommand({program}, screen));
  }

  // The screen once frames drawn after everything the test has seen the viewer take in have been
  // presented, saved as `name`.
  Screenshot presentedScreen(const std::string& name) {
    const std::optional<Screenshot> shot = viewer_->presentedScreen(kInputLimit);
    EXPECT_TRUE(shot.has_value()) << "the viewer presented no frames";
    const Screenshot seen = shot.value_or(captureScreen(x()));
    savePng(seen, outputDir_ + "/" + name + ".png");
    return seen;
  }

  // The captured cursor is put back at the window's centre after every event, so long moves go
  // in steps that each stay inside the window; each step is taken in before the next is made.
  void moveBy(int dx, int dy) {
    const int steps = std::max(1, (std::abs(dx) + 199) / 200);
    for (int i = 0; i < steps; ++i) {
      const int step = dx / steps + (i < std::abs(dx % steps) ? (dx > 0 ? 1 : -1) : 0);
      ASSERT_TRUE(moveCursorUntilRecentred(x(), window(), step, dy, kInputLimit))
          << "the viewer did not take in a move by " << step << "," << dy;
      dy = 0;
    }
  }

  Window window() const { return viewer_->window(); }

  Picture first_;
  Picture second_;
};

TEST_F(ViewerPicture, CubesStraightAheadShowBothImagesBlendedAndUpright) {
  ASSERT_NO_FATAL_FAILURE(start(kViewer));
  const Screenshot shot = presentedScreen("straight-ahead");
  const Comparison result = compareWithModel({shot.width, shot.rgb}, buildViewMatrix(ViewState{}),
                                             first_, second_, 0.8f, 0.2f);
  EXPECT_GT(result.lit, 2000) << "the field should fill the middle of the window";
  EXPECT_GT(result.compared, 150);
  EXPECT_EQ(result.mismatched, 0) << result.firstMismatch << " (of " << result.compared << ")";
  // The same screenshot must not pass for the first picture alone, or upside down.
  Picture flipped = first_;
  const std::size_t row = static_cast<std::size_t>(flipped.width) * 3;
  for (int y = 0; y < flipped.height / 2; ++y) {
    std::swap_ranges(flipped.pixels.begin() + y * row, flipped.pixels.begin() + (y + 1) * row,
                     flipped.pixels.end() - (y + 1) * row);
  }
  EXPECT_GT(compareWithModel({shot.width, shot.rgb}, buildViewMatrix(ViewState{}), flipped, second_,
                             0.8f, 0.2f)
                .mismatched,
            20);
  EXPECT_GT(compareWithModel({shot.width, shot.rgb}, buildViewMatrix(ViewState{}), first_, second_,
                             1.0f, 0.0f)
                .mismatched,
            20);
}

TEST_F(ViewerPicture, ADamagedFirstImageLeavesCubesAtAFifthOfTheSecond) {
  // Zero the head of the appended JPEG in a copy of the packed viewer: it no longer decodes.
  Bytes packed = fileBytes(kViewer);
  const DirectoryWords words = directoryWordsAt(packed, elfDirectoryAt(packed));
  std::fill_n(packed.begin() + words.texture1Offset, 64, 0);
  const std::string damaged = outputDir_ + "/zoravarova-damaged";
  ASSERT_TRUE(writeBytes(damaged, packed));
  std::filesystem::permissions(damaged, std::filesystem::perms::owner_all);

  ASSERT_NO_FATAL_FAILURE(start(damaged));
  const Screenshot shot = presentedScreen("damaged-first");
  const Comparison result = compareWithModel({shot.width, shot.rgb}, buildViewMatrix(ViewState{}),
                                             first_, second_, 0.0f, 0.2f);
  EXPECT_GT(result.compared, 150);
  EXPECT_EQ(result.mismatched, 0) << result.firstMismatch << " (of " << result.compared << ")";
}

TEST_F(ViewerPicture, TheMouseTurnsTheViewOnlyInsideItsWindows) {
  ASSERT_NO_FATAL_FAILURE(start(kViewer));
  const Screenshot initial = presentedScreen("mouse-0-initial");
  // Only differences from the first position matter.
  ASSERT_NO_FATAL_FAILURE(moveBy(1, 0));  // the first event seeds the anchor: no turn yet
  ASSERT_NO_FATAL_FAILURE(moveBy(100, 0));
  const Screenshot turned = presentedScreen("mouse-1-right-100");
  EXPECT_NE(turned.rgb, initial.rgb) << "a move inside the window turns the view";
  const Comparison atMinus80 = compareWithModel(
      {turned.width, turned.rgb}, viewAfter({{401, 300}, {501, 300}}), first_, second_, 0.8f, 0.2f);
  EXPECT_GT(atMinus80.compared, 100);
  EXPECT_EQ(atMinus80.mismatched, 0) << atMinus80.firstMismatch;

  // Heading -65: inside the refused band. The move has been taken in and frames drawn after it
  // presented, so an unchanged picture means the viewer refused it.
  ASSERT_NO_FATAL_FAILURE(moveBy(150, 0));
  const Screenshot refused = presentedScreen("mouse-2-refused");
  EXPECT_EQ(refused.rgb, turned.rgb) << "a move outside the windows leaves the view unchanged";

  // From the anchor +1800: heading 90, looking along +z, away from every cube.
  ASSERT_NO_FATAL_FAILURE(moveBy(1550, 0));
  const Screenshot behind = presentedScreen("mouse-3-facing-plus-z");
  const int samples =
      ((kWindowWidth + kGridStep - 1) / kGridStep) * ((kWindowHeight + kGridStep - 1) / kGridStep);
  EXPECT_EQ(countBackground(behind), samples) << "only background";
}

// No window manager on Xvfb: the resize acts at once, and the framebuffer follows the window.
// The projection's aspect stays 800/600, so the picture is stretched over the new shape: the
// window's pixel (x, y) shows what the 800x600 window shows at (x * 800 / W, y * 600 / H).
TEST_F(ViewerPicture, AResizedWindowStretchesThePictureOverItsNewShape) {
  // Wider and lower than 800x600, so the two axes stretch in opposite ways; the screen is made
  // larger to hold the window.
  constexpr int kWidth = 1000;
  constexpr int kHeight = 450;
  ASSERT_NO_FATAL_FAILURE(start(kViewer, "1024x768x24"));
  XResizeWindow(x(), window(), kWidth, kHeight);
  XSync(x(), False);
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(x(), window(), &attributes), 0);
  ASSERT_EQ(attributes.width, kWidth);
  ASSERT_EQ(attributes.height, kHeight);
  // The viewer reads the resize's event before that of a move made after it, so once it puts
  // the cursor back the resize has been handled. The first move only seeds the anchor.
  ASSERT_NO_FATAL_FAILURE(moveBy(1, 0));
  const Screenshot shot = presentedScreen("resized");

  const Comparison result = compareWithModel({shot.width, shot.rgb}, buildViewMatrix(ViewState{}),
                                             first_, second_, 0.8f, 0.2f, kWidth, kHeight);
  EXPECT_GT(result.lit, 2000) << "the field should fill the middle of the window";
  EXPECT_GT(result.compared, 150);
  EXPECT_EQ(result.mismatched, 0) << result.firstMismatch << " (of " << result.compared << ")";
}

}  // namespace
