// The render resources against the recording fake GL: exact call sequences, output and uploads.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <glm/gtc/matrix_transform.hpp>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>

#include "render/cube_mesh.h"
#include "render/image_texture.h"
#include "render/shader_program.h"
#include "render/shader_sources.h"
#include "tests/fake_gl.h"
#include "tests/made_png.h"

namespace {

using Calls = std::vector<std::string>;

const std::string kSeparator = "\n -- --------------------------------------------------- -- ";
const std::string kShaderPrefix = "ERROR::SHADER_COMPILATION_ERROR of type: ";
const std::string kProgramPrefix = "ERROR::PROGRAM_LINKING_ERROR of type: ";

// Sends std::cout to a string for as long as it lives.
class CapturedStdout {
 public:
  CapturedStdout() : previous_(std::cout.rdbuf(captured_.rdbuf())) {}
  ~CapturedStdout() { std::cout.rdbuf(previous_); }
  CapturedStdout(const CapturedStdout&) = delete;
  CapturedStdout& operator=(const CapturedStdout&) = delete;
  std::string text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(loadFakeGl(), 0);
    // The decoder's flip is process-wide: every test starts from it off and leaves it off.
    stbi_set_flip_vertically_on_load(0);
  }
  void TearDown() override { stbi_set_flip_vertically_on_load(0); }

  static Calls& calls() { return fakeGl().calls; }
};

std::string quoted(const char* text) {
  return std::string("[\"") + text + "\"]";
}

// The calls of a build in which both compiles and the link succeed, as numbered from 1.
Calls successfulBuildCalls() {
  return {
      "glCreateShader(35633) -> 1",
      "glShaderSource(1, 1, " + quoted(kVertexShaderSource) + ", null)",
      "glCompileShader(1)",
      "glGetShaderiv(1, 35713) -> 1",
      "glCreateShader(35632) -> 2",
      "glShaderSource(2, 1, " + quoted(kFragmentShaderSource) + ", null)",
      "glCompileShader(2)",
      "glGetShaderiv(2, 35713) -> 1",
      "glCreateProgram() -> 3",
      "glAttachShader(3, 1)",
      "glAttachShader(3, 2)",
      "glLinkProgram(3)",
      "glGetProgramiv(3, 35714) -> 1",
      "glDeleteShader(1)",
      "glDeleteShader(2)",
  };
}

void writeToBytes(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

Bytes encodePng(int width, int height, int channels, const Bytes& pixels) {
  Bytes png;
  EXPECT_NE(stbi_write_png_to_func(writeToBytes, &png, width, height, channels, pixels.data(),
                                   width * channels),
            0);
  return png;
}

Bytes encodeJpeg(int width, int height, const Bytes& rgb) {
  Bytes jpeg;
  EXPECT_NE(stbi_write_jpg_to_func(writeToBytes, &jpeg, width, height, 3, rgb.data(), 100), 0);
  return jpeg;
}

// An 8 by 8 baseline JPEG with one (grey) component, every sample 200: one block whose DC
// coefficient is 8 * (200 - 128) = 576 under a quantiser of all ones, and no AC terms. The
// writer we test with always stores three components, so this one is put together by hand.
Bytes greyJpeg() {
  Bytes jpeg;
  const auto append = [&jpeg](std::initializer_list<std::uint8_t> bytes) {
    jpeg.insert(jpeg.end(), bytes);
  };
  append({0xFF, 0xD8});                    // start of image
  append({0xFF, 0xDB, 0x00, 0x43, 0x00});  // quantiser 0 ...
  jpeg.insert(jpeg.end(), 64, 0x01);       // ... all ones
  // Baseline, 8-bit samples, 8 x 8, one component (1 x 1 sampling, quantiser 0).
  append({0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00});
  // Two Huffman tables of one 1-bit code each: DC size category 10, and AC end of block.
  append({0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01});
  jpeg.insert(jpeg.end(), 15, 0x00);
  append({0x0A});
  append({0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01});
  jpeg.insert(jpeg.end(), 15, 0x00);
  append({0x00});
  append({0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});  // the one scan
  append({0x48, 0x0F});  // "0", 576 in 10 bits, "0" (end of block), padding ones
  append({0xFF, 0xD9});  // end of image
  return jpeg;
}

Calls textureCalls(GLuint name) {
  const std::string id = std::to_string(name);
  return {
      "glGenTextures(1) -> [" + id + "]",    "glBindTexture(3553, " + id + ")",
      "glTexParameteri(3553, 10242, 10497)", "glTexParameteri(3553, 10243, 10497)",
      "glTexParameteri(3553, 10241, 9729)",  "glTexParameteri(3553, 10240, 9729)",
  };
}

Calls uploadCalls(int width, int height, GLenum format) {
  return {"glTexImage2D(3553, 0, 6407, " + std::to_string(width) + ", " + std::to_string(height) +
              ", 0, " + std::to_string(format) + ", 5121, data)",
          "glGenerateMipmap(3553)"};
}

Calls concat(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

// A 4 by 2 RGBA picture: top row red, bottom row blue, alpha varying so it is not dropped early.
const Bytes kTwoRowRgba = {
    255, 0, 0,   10, 255, 0, 0,   20, 255, 0, 0,   30, 255, 0, 0,   40,  //
    0,   0, 255, 50, 0,   0, 255, 60, 0,   0, 255, 70, 0,   0, 255, 80,  //
};

}  // namespace

// --- The GLSL texts.

TEST(ShaderSourcesTest, TextsHaveTheirExactSizesLineEndsAndTabs) {
  const std::string_view vertex = kVertexShaderSource;
  const std::string_view fragment = kFragmentShaderSource;
  EXPECT_EQ(vertex.size(), 299u);
  EXPECT_EQ(fragment.size(), 209u);
  for (const std::string_view text : {vertex, fragment}) {
    EXPECT_EQ(text.find('\r'), std::string_view::npos);
    EXPECT_TRUE(text.ends_with("\n}\n"));
  }
  EXPECT_NE(vertex.find("\n\tgl_Position = projection * view * model * vec4(aPos, 1.0f);\n"),
            std::string_view::npos);
  EXPECT_NE(vertex.find("\nlayout (location = 1) in vec2 aTexCoord;\n"), std::string_view::npos);
  EXPECT_NE(fragment.find("\n\tFragColor = mix(texture(texture1, TexCoord), "
                          "texture(texture2, TexCoord), 0.2);\n"),
            std::string_view::npos);
}

// --- Building the program.

TEST_F(RenderTest, ASuccessfulBuildMakesEveryCallInOrderAndPrintsNothing) {
  const CapturedStdout output;
  const ShaderProgram program;
  EXPECT_EQ(calls(), successfulBuildCalls());
  EXPECT_EQ(program.programId, 3u);
  EXPECT_EQ(output.text(), "");
}

TEST_F(RenderTest, AFailedVertexCompileWithAnEmptyLogPrintsBothBlocksAndStillLinks) {
  ASSERT_EQ(kSeparator.size(), 60u);
  fakeGl().compileStatus[1] = GL_FALSE;
  fakeGl().linkStatus[3] = GL_FALSE;
  fakeGl().infoLogs[3] = "link: the vertex stage did not compile";

  const CapturedStdout output;
  const ShaderProgram program;

  EXPECT_EQ(output.text(), kShaderPrefix + "VERTEX\n" + kSeparator + "\n" + kProgramPrefix +
                               "PROGRAM\nlink: the vertex stage did not compile" + kSeparator +
                               "\n");
  Calls expected = successfulBuildCalls();
  expected[3] = "glGetShaderiv(1, 35713) -> 0";
  expected.insert(expected.begin() + 4, "glGetShaderInfoLog(1, 1024, null)");
  expected[13] = "glGetProgramiv(3, 35714) -> 0";
  expected.insert(expected.begin() + 14, "glGetProgramInfoLog(3, 1024, null)");
  EXPECT_EQ(calls(), expected);
  EXPECT_EQ(program.programId, 3u);
}

TEST_F(RenderTest, ALogLongerThanTheBufferPrintsItsFirst1023Characters) {
  std::string longLog;
  for (int i = 0; i < 1500; ++i) {
    longLog += static_cast<char>('a' + i % 26);
  }
  const std::string expected =
      kShaderPrefix + "FRAGMENT\n" + longLog.substr(0, 1023) + kSeparator + "\n";
  // A driver that terminates the log as GL says, and one that fills the whole buffer without.
  for (const bool terminates : {true, false}) {
    SCOPED_TRACE(terminates ? "terminated" : "unterminated");
    ASSERT_NE(loadFakeGl(), 0);
    fakeGl().terminatesLogs = terminates;
    fakeGl().compileStatus[2] = GL_FALSE;
    fakeGl().infoLogs[2] = longLog;

    const CapturedStdout output;
    const ShaderProgram program;

    EXPECT_EQ(output.text(), expected);
  }
}

TEST_F(RenderTest, OnlyTheExactLabelProgramReadsTheLinkStatus) {
  const ShaderProgram program;
  calls().clear();
  // Shader queries on a program object write nothing, so the defined starting values show:
  // status "failed" and an empty log.
  for (const char* label : {"PROGRAMS", "program", "Program", "PROGRA", "PROGRAM "}) {
    SCOPED_TRACE(label);
    const CapturedStdout output;
    ShaderProgram::reportBuildLog(program.programId, label);
    EXPECT_EQ(calls(),
              (Calls{"glGetShaderiv(3, 35713) -> none", "glGetShaderInfoLog(3, 1024, null)"}));
    EXPECT_EQ(output.text(), kShaderPrefix + label + "\n" + kSeparator + "\n");
    calls().clear();
  }

  const CapturedStdout output;
  ShaderProgram::reportBuildLog(program.programId, "PROGRAM");
  EXPECT_EQ(calls(), (Calls{"glGetProgramiv(3, 35714) -> 1"}));
  EXPECT_EQ(output.text(), "");
}

TEST_F(RenderTest, AStatusQueryThatWritesNothingCountsAsAFailure) {
  const CapturedStdout output;
  ShaderProgram::reportBuildLog(0, "PROGRAM");
  EXPECT_EQ(calls(),
            (Calls{"glGetProgramiv(0, 35714) -> none", "glGetProgramInfoLog(0, 1024, null)"}));
  EXPECT_EQ(output.text(), kProgramPrefix + "PROGRAM\n" + kSeparator + "\n");
}

TEST_F(RenderTest, SettersLookTheLocationUpOnEveryCallAndUploadColumnMajor) {
  const ShaderProgram program;
  fakeGl().uniformLocations = {{"texture1", 4}, {"texture2", 5}, {"model", 2}};
  calls().clear();
  const glm::mat4 moved = glm::translate(glm::mat4(1.0f), glm::vec3(1.0f, 2.0f, 3.0f));
  const std::string movedText = "[1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1]";

  program.activate();
  program.setSamplerUnit("texture1", 0);
  program.setSamplerUnit("texture2", 1);
  program.setMatrixUniform("model", moved);
  program.setMatrixUniform("model", moved);
  program.setMatrixUniform("modle", moved);

  EXPECT_EQ(calls(), (Calls{
                         "glUseProgram(3)",
                         "glGetUniformLocation(3, \"texture1\") -> 4",
                         "glUniform1i(4, 0)",
                         "glGetUniformLocation(3, \"texture2\") -> 5",
                         "glUniform1i(5, 1)",
                         "glGetUniformLocation(3, \"model\") -> 2",
                         "glUniformMatrix4fv(2, 1, 0, " + movedText + ")",
                         "glGetUniformLocation(3, \"model\") -> 2",
                         "glUniformMatrix4fv(2, 1, 0, " + movedText + ")",
                         "glGetUniformLocation(3, \"modle\") -> -1",
                         "glUniformMatrix4fv(-1, 1, 0, " + movedText + ")",
                     }));
}

// --- The cube mesh.

TEST_F(RenderTest, CreatingTheMeshMakesTheNineCallsAndUploadsTheTable) {
  fakeGl().nextVertexArrayName = 7;
  fakeGl().nextBufferName = 4;

  const CubeMesh mesh = createCubeMesh();

  EXPECT_EQ(mesh.cubeVertexArray, 7u);
  EXPECT_EQ(mesh.cubeVertexBuffer, 4u);
  EXPECT_EQ(calls(), (Calls{
                         "glGenVertexArrays(1) -> [7]",
                         "glGenBuffers(1) -> [4]",
                         "glBindVertexArray(7)",
                         "glBindBuffer(34962, 4)",
                         "glBufferData(34962, 720, data, 35044)",
                         "glVertexAttribPointer(0, 3, 5126, 0, 20, 0)",
                         "glEnableVertexAttribArray(0)",
                         "glVertexAttribPointer(1, 2, 5126, 0, 20, 12)",
                         "glEnableVertexAttribArray(1)",
                     }));

  // x y z u v; faces z-, z+, x-, x+, y-, y+.
  const float expected[36][5] = {
      {-.5f, -.5f, -.5f, 0, 0}, {.5f, -.5f, -.5f, 1, 0}, {.5f, .5f, -.5f, 1, 1},
      {.5f, .5f, -.5f, 1, 1},   {-.5f, .5f, -.5f, 0, 1}, {-.5f, -.5f, -.5f, 0, 0},
      {-.5f, -.5f, .5f, 0, 0},  {.5f, -.5f, .5f, 1, 0},  {.5f, .5f, .5f, 1, 1},
      {.5f, .5f, .5f, 1, 1},    {-.5f, .5f, .5f, 0, 1},  {-.5f, -.5f, .5f, 0, 0},
      {-.5f, .5f, .5f, 1, 0},   {-.5f, .5f, -.5f, 1, 1}, {-.5f, -.5f, -.5f, 0, 1},
      {-.5f, -.5f, -.5f, 0, 1}, {-.5f, -.5f, .5f, 0, 0}, {-.5f, .5f, .5f, 1, 0},
      {.5f, .5f, .5f, 1, 0},    {.5f, .5f, -.5f, 1, 1},  {.5f, -.5f, -.5f, 0, 1},
      {.5f, -.5f, -.5f, 0, 1},  {.5f, -.5f, .5f, 0, 0},  {.5f, .5f, .5f, 1, 0},
      {-.5f, -.5f, -.5f, 0, 1}, {.5f, -.5f, -.5f, 1, 1}, {.5f, -.5f, .5f, 1, 0},
      {.5f, -.5f, .5f, 1, 0},   {-.5f, -.5f, .5f, 0, 0}, {-.5f, -.5f, -.5f, 0, 1},
      {-.5f, .5f, -.5f, 0, 1},  {.5f, .5f, -.5f, 1, 1},  {.5f, .5f, .5f, 1, 0},
      {.5f, .5f, .5f, 1, 0},    {-.5f, .5f, .5f, 0, 0},  {-.5f, .5f, -.5f, 0, 1},
  };
  ASSERT_EQ(fakeGl().bufferUploads.size(), 1u);
  const Bytes& uploaded = fakeGl().bufferUploads[0];
  ASSERT_EQ(uploaded.size(), sizeof(expected));
  for (int vertex = 0; vertex < 36; ++vertex) {
    float actual[5];
    std::memcpy(actual, uploaded.data() + vertex * sizeof(actual), sizeof(actual));
    for (int component = 0; component < 5; ++component) {
      EXPECT_EQ(actual[component], expected[vertex][component])
          << "vertex " << vertex << ", component " << component;
    }
  }
}

TEST_F(RenderTest, DeletingTheMeshDeletesTheArrayThenTheBuffer) {
  deleteCubeMesh(CubeMesh{7, 4});
  EXPECT_EQ(calls(), (Calls{"glDeleteVertexArrays(1, [7])", "glDeleteBuffers(1, [4])"}));
}

// --- Textures.

TEST_F(RenderTest, AJpegAndAPngEachBecomeAMipmappedTextureWithRgbInside) {
  Bytes rgb(8 * 4 * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    rgb[i] = static_cast<std::uint8_t>(i * 7);
  }
  const Bytes jpeg = encodeJpeg(8, 4, rgb);
  const Bytes png = encodePng(4, 2, 4, kTwoRowRgba);
  fakeGl().nextTextureName = 5;

  EXPECT_EQ(createImageTexture(jpeg, GL_RGB), 5u);
  EXPECT_EQ(createImageTexture(png, GL_RGBA), 6u);

  // Each upload carries the size of its own decode, though the decodes share their outputs.
  EXPECT_EQ(calls(), concat({textureCalls(5), uploadCalls(8, 4, GL_RGB), textureCalls(6),
                             uploadCalls(4, 2, GL_RGBA)}));
  ASSERT_EQ(fakeGl().textureUploads.size(), 2u);
  ASSERT_EQ(fakeGl().textureUploads[0].size(), rgb.size());
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    // Quality 100 without chroma subsampling stays within a few steps of the source.
    EXPECT_LE(std::abs(fakeGl().textureUploads[0][i] - rgb[i]), 8) << "byte " << i;
  }
  EXPECT_EQ(fakeGl().textureUploads[1], kTwoRowRgba);
}

TEST_F(RenderTest, ABufferThatDoesNotDecodeLeavesANameWithoutStorageAndTheNextStillUploads) {
  const Bytes garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  const Bytes png = encodePng(4, 2, 4, kTwoRowRgba);

  EXPECT_EQ(createImageTexture(garbage, GL_RGB), 1u);
  EXPECT_EQ(createImageTexture(std::span<const std::uint8_t>(), GL_RGB), 2u);
  // A format the decoder cannot produce is no better than a damaged file.
  EXPECT_EQ(createImageTexture(png, GL_BGRA), 3u);
  // A length that no int can hold must not wrap into a valid one: cut to 32 bits it would be
  // exactly the PNG. Nothing reads past the PNG, the length is only inspected.
  const std::span<const std::uint8_t> tooLong(png.data(), (std::size_t{1} << 32) + png.size());
  EXPECT_EQ(createImageTexture(tooLong, GL_RGBA), 4u);
  EXPECT_EQ(createImageTexture(png, GL_RGBA), 5u);

  EXPECT_EQ(calls(), concat({textureCalls(1), textureCalls(2), textureCalls(3), textureCalls(4),
                             textureCalls(5), uploadCalls(4, 2, GL_RGBA)}));
  ASSERT_EQ(fakeGl().textureUploads.size(), 1u);
  EXPECT_EQ(fakeGl().textureUploads[0], kTwoRowRgba);
}

TEST_F(RenderTest, RowsThatAreNotWholeWordsAreNeverUploaded) {
  // Three pixels a row: 9 bytes in RGB, which GL would read as 12, and 12 bytes in RGBA.
  const Bytes rgbPng = encodePng(3, 2, 3, Bytes(3 * 2 * 3, 0x40));
  const Bytes rgbaPng = encodePng(3, 2, 4, Bytes(3 * 2 * 4, 0x80));

  createImageTexture(rgbPng, GL_RGB);
  // Stored with four channels, but decoded into the upload format's three.
  createImageTexture(rgbaPng, GL_RGB);
  createImageTexture(rgbPng, GL_RGBA);

  EXPECT_EQ(calls(), concat({textureCalls(1), textureCalls(2), textureCalls(3),
                             uploadCalls(3, 2, GL_RGBA)}));
  Bytes opaque;
  for (int pixel = 0; pixel < 6; ++pixel) {
    opaque.insert(opaque.end(), {0x40, 0x40, 0x40, 255});
  }
  ASSERT_EQ(fakeGl().textureUploads.size(), 1u);
  EXPECT_EQ(fakeGl().textureUploads[0], opaque);
}

TEST_F(RenderTest, PicturesOverTwoThousandAndFortyEightASideAreNeverUploaded) {
  // A few damaged bytes can claim a picture the decoder would spend seconds filling from nothing,
  // so any picture over 2048 a side counts as damaged. These are whole pictures that decode
  // without the limit; their rows are whole words.
  const Bytes wide = encodePng(2049, 1, 4, Bytes(2049 * 4, 0x22));
  const Bytes tall = encodeJpeg(8, 2049, Bytes(8 * 2049 * 3, 0x99));
  const Bytes widest = encodePng(2048, 1, 4, Bytes(2048 * 4, 0x33));

  createImageTexture(wide, GL_RGBA);
  createImageTexture(tall, GL_RGB);
  createImageTexture(widest, GL_RGBA);

  EXPECT_EQ(calls(), concat({textureCalls(1), textureCalls(2), textureCalls(3),
                             uploadCalls(2048, 1, GL_RGBA)}));
  ASSERT_EQ(fakeGl().textureUploads.size(), 1u);
  EXPECT_EQ(fakeGl().textureUploads[0], Bytes(2048 * 4, 0x33));
}

TEST_F(RenderTest, AJpegWithAHuffmanTableOfMoreThan256CodesIsNeverUploaded) {
  const Bytes sound = encodeJpeg(8, 8, Bytes(8 * 8 * 3, 0x77));
  ASSERT_GE(sound.size(), 2u);
  // A table of 200 8-bit and 57 16-bit codes, after the scan: the decoder, which has room for
  // 256, would write it past its arrays and still finish the picture.
  Bytes oversized = {0xFF, 0xC4, 0x01, 0x14, 0x10};
  const Bytes counts = {0, 0, 0, 0, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0, 57};
  oversized.insert(oversized.end(), counts.begin(), counts.end());
  oversized.insert(oversized.end(), 257, 0x00);
  Bytes damaged = sound;
  damaged.insert(damaged.end() - 2, oversized.begin(), oversized.end());

  createImageTexture(damaged, GL_RGB);
  createImageTexture(sound, GL_RGB);

  EXPECT_EQ(calls(), concat({textureCalls(1), textureCalls(2), uploadCalls(8, 8, GL_RGB)}));
}

TEST_F(RenderTest, APngWhoseDataInflatesPastItsPictureIsNeverUploaded) {
  // 4 by 2 RGBA needs 2 rows of a filter byte and 16 bytes. The decoder takes data beyond that
  // and would inflate any amount of it into memory first.
  const Bytes header = pngHeaderData(4, 2, 8, 6);
  const Bytes sound = makePng(header, zlibZeros(2 * 17));
  const Bytes onePast = makePng(header, zlibZeros(2 * 17 + 1));
  const Bytes bomb = makePng(header, zlibZeros(std::uint64_t{256} << 20), 3);
  // The decoder reserves what an IDAT's length claims before it finds the bytes missing.
  Bytes claims(sound.begin(), sound.end() - 12);
  claims.insert(claims.end(), {0x7F, 0xFF, 0xFF, 0xF0, 'I', 'D', 'A', 'T', 0x78});

  createImageTexture(onePast, GL_RGBA);
  createImageTexture(bomb, GL_RGBA);
  createImageTexture(claims, GL_RGBA);
  createImageTexture(sound, GL_RGBA);

  EXPECT_EQ(calls(), concat({textureCalls(1), textureCalls(2), textureCalls(3), textureCalls(4),
                             uploadCalls(4, 2, GL_RGBA)}));
  ASSERT_EQ(fakeGl().textureUploads.size(), 1u);
  EXPECT_EQ(fakeGl().textureUploads[0], Bytes(4 * 2 * 4, 0));
}

TEST_F(RenderTest, TheDecoderGivesExactlyTheChannelsOfTheUploadFormat) {
  // A grey JPEG for GL_RGB: three equal channels per pixel, not one.
  createImageTexture(greyJpeg(), GL_RGB);
  // An RGB PNG for GL_RGBA: an opaque alpha is added.
  const Bytes rgbPixels = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                           13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
  createImageTexture(encodePng(4, 2, 3, rgbPixels), GL_RGBA);
  // An RGBA PNG for GL_RGB: the alpha is left out.
  createImageTexture(encodePng(4, 2, 4, kTwoRowRgba), GL_RGB);

  ASSERT_EQ(fakeGl().textureUploads.size(), 3u);
  EXPECT_EQ(fakeGl().textureUploads[0], Bytes(8 * 8 * 3, 200));
  EXPECT_EQ(fakeGl().textureUploads[1],
            (Bytes{1,  2,  3,  255, 4,  5,  6,  255, 7,  8,  9,  255, 10, 11, 12, 255,
                   13, 14, 15, 255, 16, 17, 18, 255, 19, 20, 21, 255, 22, 23, 24, 255}));
  EXPECT_EQ(fakeGl().textureUploads[2],
            (Bytes{255, 0, 0,   255, 0, 0,   255, 0, 0,   255, 0, 0,  //
                   0,   0, 255, 0,   0, 255, 0,   0, 255, 0,   0, 255}));
  EXPECT_EQ(calls(),
            concat({textureCalls(1), uploadCalls(8, 8, GL_RGB), textureCalls(2),
                    uploadCalls(4, 2, GL_RGBA), textureCalls(3), uploadCalls(4, 2, GL_RGB)}));
}

TEST_F(RenderTest, TheFlipPutsTheBottomRowFirstForEveryLaterDecode) {
  const Bytes png = encodePng(4, 2, 4, kTwoRowRgba);
  const Bytes topRow(kTwoRowRgba.begin(), kTwoRowRgba.begin() + 16);
  const Bytes bottomRow(kTwoRowRgba.begin() + 16, kTwoRowRgba.end());

  // Unflipped first, so the picture is known to tell the two orders apart.
  createImageTexture(png, GL_RGBA);
  flipImagesOnDecode();
  createImageTexture(png, GL_RGBA);
  createImageTexture(png, GL_RGBA);

  Bytes flipped = bottomRow;
  flipped.insert(flipped.end(), topRow.begin(), topRow.end());
  ASSERT_EQ(fakeGl().textureUploads.size(), 3u);
  EXPECT_EQ(fakeGl().textureUploads[0], kTwoRowRgba);
  EXPECT_EQ(fakeGl().textureUploads[1], flipped);
  EXPECT_EQ(fakeGl().textureUploads[2], flipped);
}
