// A recording stand-in for the GL entry points, loaded through glad, for tests without a display.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include <glad/gl.h>

// Everything the fake knows: the call log, what a test scripts, and copies of what was uploaded.
struct FakeGl {
  // One entry per GL call since loading, written like "glBindBuffer(34962, 1)". What GL hands
  // back follows an arrow: "glCreateShader(35633) -> 1", "glGenBuffers(1) -> [1]"; a query that
  // writes nothing shows "-> none". Pointers to data show as "data" or "null", except the offset
  // of glVertexAttribPointer, which is a number, and glShaderSource's texts, which are quoted.
  // Calls to entry points the fake does not model show as "unexpected glName".
  std::vector<std::string> calls;

  // Scripted before the calls they affect. Shaders and programs draw from one counter, as they
  // share GL's name space; a status or a log that is not scripted reads GL_TRUE or empty.
  GLuint nextShaderOrProgramName = 1;
  GLuint nextBufferName = 1;
  GLuint nextVertexArrayName = 1;
  GLuint nextTextureName = 1;
  std::map<GLuint, GLint> compileStatus;
  std::map<GLuint, GLint> linkStatus;
  std::map<GLuint, std::string> infoLogs;
  // False for a faulty driver that fills the whole log buffer and leaves it unterminated.
  bool terminatesLogs = true;
  // By uniform name; a name not listed is not an active uniform and reads -1.
  std::map<std::string, GLint, std::less<>> uniformLocations;
  // What the loader reads; change them only for a load of your own through resolveFakeGl.
  const char* versionString = "3.3.0 fake";
  GLint extensionCount = 1;

  // Copies, in call order: glBufferData's bytes; glTexImage2D's pixels, as many bytes as GL
  // reads for the format at the default unpack alignment of 4 (none for an unknown format or a
  // type other than GL_UNSIGNED_BYTE); glUniformMatrix4fv's first matrix.
  std::vector<std::vector<std::uint8_t>> bufferUploads;
  std::vector<std::vector<std::uint8_t>> textureUploads;
  std::vector<std::array<float, 16>> matrixUploads;

  // Objects created so far: a shader query on a program, or the reverse, writes nothing, as in GL.
  std::set<GLuint> shaders;
  std::set<GLuint> programs;
};

// The one fake; its state persists until the next resetFakeGl or loadFakeGl.
FakeGl& fakeGl();

// Puts the fake back to its starting state: no calls, no script, names from 1.
void resetFakeGl();

// Resets the fake, loads glad's entry points from it and empties the log of the loader's own
// queries. Returns what gladLoadGLUserPtr returned: the GL version, non-zero on success.
int loadFakeGl();

// The resolver itself, for gladLoadGLUserPtr(resolveFakeGl, nullptr); the user pointer is unused.
GLADapiproc resolveFakeGl(void* userptr, const char* name);

// How the log writes floats: each in its shortest exact form, ", " between, inside brackets.
std::string fakeGlFloats(std::span<const float> values);
