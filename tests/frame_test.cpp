// One whole frame and the framebuffer-size callback, against the recording fake GL.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/frame.h"
#include "app/viewer.h"
#include "scene/cube_field.h"
#include "scene/view_state.h"
#include "tests/fake_gl.h"

namespace {

using Calls = std::vector<std::string>;
using Matrix = std::array<float, 16>;  // column-major, as uploaded

constexpr std::size_t kCubeCount = 1019;
constexpr GLint kModelLocation = 7;
constexpr GLint kViewLocation = 8;
constexpr GLint kProjectionLocation = 9;

// The call with its sixteen floats left out; they are checked as numbers, not as text.
std::string withoutFloats(const std::string& call) {
  const std::size_t list = call.find(", [");
  return call.rfind("glUniformMatrix4fv(", 0) == 0 && list != std::string::npos
             ? call.substr(0, list) + ", matrix)"
             : call;
}

std::string matrixCall(GLint location) {
  return "glUniformMatrix4fv(" + std::to_string(location) + ", 1, 0, matrix)";
}

void expectNear(const Matrix& actual, const std::array<double, 16>& expected, double tolerance) {
  for (std::size_t i = 0; i < 16; ++i) {
    EXPECT_NEAR(actual[i], expected[i], tolerance) << "column " << i / 4 << ", row " << i % 4;
  }
}

// The perspective of 45 degrees vertically, aspect 800 / 600, planes 0.1 and 100:
// cot(22.5°) / (4 / 3), cot(22.5°), -100.1 / 99.9, -1 and -20 / 99.9.
constexpr std::array<double, 16> kProjection = {
    1.8106602, 0, 0, 0, 0, 2.4142136, 0, 0, 0, 0, -1.0020020, -1, 0, 0, -0.2002002, 0};

// The eye at (0, 0, 3) looking down -z: a move back by three and nothing else.
constexpr std::array<double, 16> kStartingView = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -3, 1};

// The cube at (x, y, z) turned by `degrees` about (1, 0.3, 0.5) and then moved there; the turn
// by Rodrigues' formula in double, cos I + (1 - cos) k k^T + sin [k]x with k the unit axis.
std::array<double, 16> turnedAndMoved(double degrees, double x, double y, double z) {
  const double length = std::sqrt(1.0 + 0.09 + 0.25);
  const double k[3] = {1.0 / length, 0.3 / length, 0.5 / length};
  const double angle = degrees * std::acos(-1.0) / 180.0;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const double cross[3][3] = {{0, -k[2], k[1]}, {k[2], 0, -k[0]}, {-k[1], k[0], 0}};
  std::array<double, 16> model{};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      model[column * 4 + row] =
          (row == column ? c : 0.0) + (1.0 - c) * k[row] * k[column] + s * cross[row][column];
    }
  }
  model[12] = x;
  model[13] = y;
  model[14] = z;
  model[15] = 1;
  return model;
}

// The turn is a float product, 20 degrees per float index times 0.017453292f, so its angle lies
// within a float rounding of the true one (about 6e-8 of it, 6.4e-5 for the last cube's 1066
// radians); sine, cosine and axis add about 1e-7 to each entry. A wrong axis, sense or angle
// misses by far more.
double rotationTolerance(double degrees) {
  return 1e-6 + degrees * std::acos(-1.0) / 180.0 * 7e-8;
}

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(loadFakeGl(), 0);
    viewState = ViewState{};
    fakeGl().uniformLocations = {
        {"model", kModelLocation}, {"view", kViewLocation}, {"projection", kProjectionLocation}};
    program_ = std::make_unique<ShaderProgram>();  // program 3, after its two shaders
    fakeGl().calls.clear();
  }
  void TearDown() override { viewState = ViewState{}; }

  // Array 5 and buffer 6, textures 11 and 12: names no other object has.
  void draw() { drawFrame(FrameResources{*program_, CubeMesh{5, 6}, 11, 12}); }

  const Matrix& upload(std::size_t index) const { return fakeGl().matrixUploads.at(index); }

  std::unique_ptr<ShaderProgram> program_;
};

TEST_F(Frame, ClearsBindsUploadsTheCameraAndDrawsEveryCubeWithItsOwnModel) {
  draw();

  Calls expected = {
      "glClearColor(0.2, 0.3, 0.3, 1)",
      "glClear(16640)",
      "glActiveTexture(33984)",
      "glBindTexture(3553, 11)",
      "glActiveTexture(33985)",
      "glBindTexture(3553, 12)",
      "glUseProgram(3)",
      "glGetUniformLocation(3, \"projection\") -> 9",
      matrixCall(kProjectionLocation),
      "glGetUniformLocation(3, \"view\") -> 8",
      matrixCall(kViewLocation),
      "glBindVertexArray(5)",
  };
  for (std::size_t cube = 0; cube < kCubeCount; ++cube) {
    expected.push_back("glGetUniformLocation(3, \"model\") -> 7");
    expected.push_back(matrixCall(kModelLocation));
    expected.push_back("glDrawArrays(4, 0, 36)");
  }
  Calls actual;
  for (const std::string& call : fakeGl().calls) {
    actual.push_back(withoutFloats(call));
  }
  ASSERT_EQ(actual.size(), expected.size()) << "12 calls, then 3 per cube";
  EXPECT_EQ(actual, expected);

  ASSERT_EQ(fakeGl().matrixUploads.size(), 2 + kCubeCount);
  expectNear(upload(0), kProjection, 1e-6);
  expectNear(upload(1), kStartingView, 0.0);

  // Cube k turns by 60 k degrees: the first not at all, the seventh a full turn.
  struct Chosen {
    std::size_t cube;
    double x, y, z;
  };
  for (const Chosen& chosen : {Chosen{0, 37, 9, -6.5}, Chosen{1, 38, 9, -4.1},
                               Chosen{6, 41, 10, -3.0}, Chosen{1018, -9, 20, -67.6}}) {
    SCOPED_TRACE("cube " + std::to_string(chosen.cube));
    const double degrees = 60.0 * static_cast<double>(chosen.cube);
    expectNear(upload(2 + chosen.cube), turnedAndMoved(degrees, chosen.x, chosen.y, chosen.z),
               rotationTolerance(degrees));
  }
  // Every cube stands where the field puts it, in the field's order.
  for (std::size_t cube = 0; cube < kCubeCount; ++cube) {
    const Matrix& model = upload(2 + cube);
    EXPECT_EQ(model[12], kCubeField[3 * cube]) << "cube " << cube;
    EXPECT_EQ(model[13], kCubeField[3 * cube + 1]) << "cube " << cube;
    EXPECT_EQ(model[14], kCubeField[3 * cube + 2]) << "cube " << cube;
  }
}

TEST_F(Frame, TheViewUploadFollowsTheCursor) {
  onCursorMoved(nullptr, 400.0, 300.0);
  onCursorMoved(nullptr, 450.0, 280.0);  // heading -85, elevation 2
  draw();

  // Eye (0, 0, 3), looking along f = (cos -85° cos 2°, sin 2°, sin -85° cos 2°): rows
  // s = f × up normalised, u = s × f and -f, then the eye moved to the origin.
  const std::array<double, 16> view = {
      0.9961947, -0.0030417, -0.0871026, 0, 0,          0.9993908,  -0.0348995, 0,
      0.0871557, 0.0347667,  0.9955878,  0, -0.2614672, -0.1043001, -2.9867635, 1};
  ASSERT_EQ(fakeGl().matrixUploads.size(), 2 + kCubeCount);
  expectNear(upload(1), view, 1e-6);
  expectNear(upload(0), kProjection, 1e-6);
}

TEST(FramebufferResize, SetsTheViewportToTheWholeFramebuffer) {
  ASSERT_NE(loadFakeGl(), 0);
  onFramebufferResized(nullptr, 640, 480);
  EXPECT_EQ(fakeGl().calls, Calls{"glViewport(0, 0, 640, 480)"});
}

}  // namespace
