// The recording fake GL: one C-callable function per modelled entry point, and the resolver.
#include "tests/fake_gl.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

namespace {

FakeGl& state() {
  static FakeGl fake;
  return fake;
}

void appendArg(std::string& out, const std::string& text) {
  out += text;
}

void appendArg(std::string& out, const char* text) {
  out += text;
}

template <typename T>
requires std::is_arithmetic_v<T>
void appendArg(std::string& out, T value) {
  if constexpr (std::is_floating_point_v<T>) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof(digits), value);
    out.append(digits, result.ptr);
  } else {
    // Promotes GLboolean and other narrow types so they print as numbers.
    out += std::to_string(+value);
  }
}

template <typename... Args>
std::string callText(const char* name, const Args&... args) {
  std::string text = name;
  text += '(';
  bool first = true;
  ((text += first ? "" : ", ", appendArg(text, args), first = false), ...);
  text += ')';
  return text;
}

template <typename... Args>
void record(const char* name, const Args&... args) {
  state().calls.push_back(callText(name, args...));
}

template <typename Result, typename... Args>
void recordResult(const Result& result, const char* name, const Args&... args) {
  std::string text = callText(name, args...);
  text += " -> ";
  appendArg(text, result);
  state().calls.push_back(std::move(text));
}

const char* pointerText(const void* pointer) {
  return pointer == nullptr ? "null" : "data";
}

std::string nameList(GLsizei count, const GLuint* names) {
  std::string text = "[";
  for (GLsizei i = 0; i < count; ++i) {
    if (i > 0) {
      text += ", ";
    }
    text += std::to_string(names[i]);
  }
  return text + "]";
}

std::string generate(GLsizei count, GLuint* names, GLuint& next) {
  for (GLsizei i = 0; i < count; ++i) {
    names[i] = next++;
  }
  return nameList(count, names);
}

// GL copies at most bufSize - 1 characters and always terminates, when it writes at all; the
// faulty driver copies up to bufSize characters and terminates only when there is room left.
void copyLog(GLuint object, GLsizei bufSize, GLsizei* length, GLchar* infoLog) {
  if (bufSize <= 0) {
    return;
  }
  const auto found = state().infoLogs.find(object);
  const std::string empty;
  const std::string& log = found == state().infoLogs.end() ? empty : found->second;
  const std::size_t room = static_cast<std::size_t>(bufSize) - (state().terminatesLogs ? 1 : 0);
  const std::size_t count = std::min(log.size(), room);
  std::memcpy(infoLog, log.data(), count);
  if (count < static_cast<std::size_t>(bufSize)) {
    infoLog[count] = '\0';
  }
  if (length != nullptr) {
    *length = static_cast<GLsizei>(count);
  }
}

GLint statusOf(const std::map<GLuint, GLint>& statuses, GLuint object) {
  const auto found = statuses.find(object);
  return found == statuses.end() ? GL_TRUE : found->second;
}

std::size_t channelsOf(GLenum format) {
  switch (format) {
    case GL_RED:
      return 1;
    case GL_RG:
      return 2;
    case GL_RGB:
    case GL_BGR:
      return 3;
    case GL_RGBA:
    case GL_BGRA:
      return 4;
    default:
      return 0;
  }
}

// --- Loader queries.

const GLubyte* fakeGetString(GLenum name) {
  const char* text = name == GL_VERSION ? state().versionString : nullptr;
  record("glGetString", name);
  return reinterpret_cast<const GLubyte*>(text);
}

void fakeGetIntegerv(GLenum pname, GLint* data) {
  if (pname == GL_NUM_EXTENSIONS) {
    *data = state().extensionCount;
    recordResult(*data, "glGetIntegerv", pname);
    return;
  }
  recordResult("none", "glGetIntegerv", pname);
}

const GLubyte* fakeGetStringi(GLenum name, GLuint index) {
  record("glGetStringi", name, index);
  const bool known = name == GL_EXTENSIONS && static_cast<GLint>(index) < state().extensionCount;
  return reinterpret_cast<const GLubyte*>(known ? "GL_ZV_fake_extension" : nullptr);
}

// --- Shaders and programs.

GLuint fakeCreateShader(GLenum type) {
  const GLuint shader = state().nextShaderOrProgramName++;
  state().shaders.insert(shader);
  recordResult(shader, "glCreateShader", type);
  return shader;
}

void fakeShaderSource(GLuint shader, GLsizei count, const GLchar* const* strings,
                      const GLint* lengths) {
  std::string texts = "[";
  for (GLsizei i = 0; i < count; ++i) {
    if (i > 0) {
      texts += ", ";
    }
    texts += '"';
    if (lengths != nullptr && lengths[i] >= 0) {
      texts.append(strings[i], static_cast<std::size_t>(lengths[i]));
    } else {
      texts += strings[i];
    }
    texts += '"';
  }
  texts += ']';
  record("glShaderSource", shader, count, texts, pointerText(lengths));
}

void fakeCompileShader(GLuint shader) {
  record("glCompileShader", shader);
}

void fakeGetShaderiv(GLuint shader, GLenum pname, GLint* params) {
  if (!state().shaders.contains(shader)) {
    recordResult("none", "glGetShaderiv", shader, pname);
    return;
  }
  if (pname == GL_COMPILE_STATUS) {
    *params = statusOf(state().compileStatus, shader);
  } else if (pname == GL_INFO_LOG_LENGTH) {
    const auto found = state().infoLogs.find(shader);
    *params = found == state().infoLogs.end() ? 0 : static_cast<GLint>(found->second.size() + 1);
  } else {
    recordResult("none", "glGetShaderiv", shader, pname);
    return;
  }
  recordResult(*params, "glGetShaderiv", shader, pname);
}

void fakeGetShaderInfoLog(GLuint shader, GLsizei bufSize, GLsizei* length, GLchar* infoLog) {
  record("glGetShaderInfoLog", shader, bufSize, pointerText(length));
  if (state().shaders.contains(shader)) {
    copyLog(shader, bufSize, length, infoLog);
  }
}

GLuint fakeCreateProgram() {
  const GLuint program = state().nextShaderOrProgramName++;
  state().programs.insert(program);
  recordResult(program, "glCreateProgram");
  return program;
}

void fakeAttachShader(GLuint program, GLuint shader) {
  record("glAttachShader", program, shader);
}

void fakeLinkProgram(GLuint program) {
  record("glLinkProgram", program);
}

void fakeGetProgramiv(GLuint program, GLenum pname, GLint* params) {
  if (!state().programs.contains(program) || pname != GL_LINK_STATUS) {
    recordResult("none", "glGetProgramiv", program, pname);
    return;
  }
  *params = statusOf(state().linkStatus, program);
  recordResult(*params, "glGetProgramiv", program, pname);
}

void fakeGetProgramInfoLog(GLuint program, GLsizei bufSize, GLsizei* length, GLchar* infoLog) {
  record("glGetProgramInfoLog", program, bufSize, pointerText(length));
  if (state().programs.contains(program)) {
    copyLog(program, bufSize, length, infoLog);
  }
}

void fakeDeleteShader(GLuint shader) {
  record("glDeleteShader", shader);
}

void fakeUseProgram(GLuint program) {
  record("glUseProgram", program);
}

GLint fakeGetUniformLocation(GLuint program, const GLchar* name) {
  const auto found = state().uniformLocations.find(std::string_view(name));
  const GLint location = found == state().uniformLocations.end() ? -1 : found->second;
  recordResult(location, "glGetUniformLocation", program, std::string("\"") + name + "\"");
  return location;
}

void fakeUniform1i(GLint location, GLint value) {
  record("glUniform1i", location, value);
}

void fakeUniformMatrix4fv(GLint location, GLsizei count, GLboolean transpose,
                          const GLfloat* value) {
  std::array<float, 16> matrix{};
  std::copy_n(value, matrix.size(), matrix.begin());
  state().matrixUploads.push_back(matrix);
  record("glUniformMatrix4fv", location, count, transpose, fakeGlFloats(matrix));
}

// --- Buffers, vertex arrays and draws.

void fakeGenVertexArrays(GLsizei n, GLuint* arrays) {
  recordResult(generate(n, arrays, state().nextVertexArrayName), "glGenVertexArrays", n);
}

void fakeGenBuffers(GLsizei n, GLuint* buffers) {
  recordResult(generate(n, buffers, state().nextBufferName), "glGenBuffers", n);
}

void fakeBindVertexArray(GLuint array) {
  record("glBindVertexArray", array);
}

void fakeBindBuffer(GLenum target, GLuint buffer) {
  record("glBindBuffer", target, buffer);
}

void fakeBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage) {
  record("glBufferData", target, size, pointerText(data), usage);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  state().bufferUploads.emplace_back();
  if (bytes != nullptr && size > 0) {
    state().bufferUploads.back().assign(bytes, bytes + size);
  }
}

void fakeVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized,
                             GLsizei stride, const void* pointer) {
  record("glVertexAttribPointer", index, size, type, normalized, stride,
         reinterpret_cast<std::uintptr_t>(pointer));
}

void fakeEnableVertexAttribArray(GLuint index) {
  record("glEnableVertexAttribArray", index);
}

void fakeDeleteVertexArrays(GLsizei n, const GLuint* arrays) {
  record("glDeleteVertexArrays", n, nameList(n, arrays));
}

void fakeDeleteBuffers(GLsizei n, const GLuint* buffers) {
  record("glDeleteBuffers", n, nameList(n, buffers));
}

void fakeDrawArrays(GLenum mode, GLint first, GLsizei count) {
  record("glDrawArrays", mode, first, count);
}

// --- Textures.

void fakeGenTextures(GLsizei n, GLuint* textures) {
  recordResult(generate(n, textures, state().nextTextureName), "glGenTextures", n);
}

void fakeActiveTexture(GLenum texture) {
  record("glActiveTexture", texture);
}

void fakeBindTexture(GLenum target, GLuint texture) {
  record("glBindTexture", target, texture);
}

void fakeTexParameteri(GLenum target, GLenum pname, GLint param) {
  record("glTexParameteri", target, pname, param);
}

void fakeTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                    GLint border, GLenum format, GLenum type, const void* pixels) {
  record("glTexImage2D", target, level, internalformat, width, height, border, format, type,
         pointerText(pixels));
  state().textureUploads.emplace_back();
  const std::size_t channels = channelsOf(format);
  if (pixels == nullptr || type != GL_UNSIGNED_BYTE || channels == 0 || width <= 0 || height <= 0) {
    return;
  }
  // Reads exactly what GL reads: padded rows but the last, so a short buffer trips ASan here.
  const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
  const std::size_t rowStride = (rowBytes + 3) / 4 * 4;
  const std::size_t total = (static_cast<std::size_t>(height) - 1) * rowStride + rowBytes;
  const auto* bytes = static_cast<const std::uint8_t*>(pixels);
  state().textureUploads.back().assign(bytes, bytes + total);
}

void fakeGenerateMipmap(GLenum target) {
  record("glGenerateMipmap", target);
}

// --- Frame state.

void fakeEnable(GLenum cap) {
  record("glEnable", cap);
}

void fakeClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
  record("glClearColor", red, green, blue, alpha);
}

void fakeClear(GLbitfield mask) {
  record("glClear", mask);
}

void fakeViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  record("glViewport", x, y, width, height);
}

// --- Everything else: each name gets a stub of its own that logs it. Called through a pointer
// of another type; that serves on the platforms we test on, where the caller cleans up, and a
// test that hits one fails on the log before any returned value would matter.

constexpr std::size_t kUnexpectedSlots = 512;

std::array<std::string, kUnexpectedSlots>& unexpectedNames() {
  static std::array<std::string, kUnexpectedSlots> names;
  return names;
}

template <std::size_t Slot>
void unexpectedCall() {
  state().calls.push_back("unexpected " + unexpectedNames()[Slot]);
}

template <std::size_t... Slots>
constexpr std::array<GLADapiproc, sizeof...(Slots)> unexpectedStubs(std::index_sequence<Slots...>) {
  return {&unexpectedCall<Slots>...};
}

GLADapiproc unexpectedStubFor(const char* name) {
  static constexpr auto stubs = unexpectedStubs(std::make_index_sequence<kUnexpectedSlots>{});
  static std::map<std::string, std::size_t, std::less<>> slotOfName;
  const auto found = slotOfName.find(std::string_view(name));
  if (found != slotOfName.end()) {
    return stubs[found->second];
  }
  const std::size_t slot = slotOfName.size();
  if (slot == kUnexpectedSlots) {
    return nullptr;
  }
  slotOfName.emplace(name, slot);
  unexpectedNames()[slot] = name;
  return stubs[slot];
}

template <typename Function>
GLADapiproc asProc(Function* function) {
  return reinterpret_cast<GLADapiproc>(function);
}

const std::map<std::string, GLADapiproc, std::less<>>& modelledEntryPoints() {
  static const std::map<std::string, GLADapiproc, std::less<>> entryPoints = {
      {"glGetString", asProc(fakeGetString)},
      {"glGetIntegerv", asProc(fakeGetIntegerv)},
      {"glGetStringi", asProc(fakeGetStringi)},
      {"glCreateShader", asProc(fakeCreateShader)},
      {"glShaderSource", asProc(fakeShaderSource)},
      {"glCompileShader", asProc(fakeCompileShader)},
      {"glGetShaderiv", asProc(fakeGetShaderiv)},
      {"glGetShaderInfoLog", asProc(fakeGetShaderInfoLog)},
      {"glCreateProgram", asProc(fakeCreateProgram)},
      {"glAttachShader", asProc(fakeAttachShader)},
      {"glLinkProgram", asProc(fakeLinkProgram)},
      {"glGetProgramiv", asProc(fakeGetProgramiv)},
      {"glGetProgramInfoLog", asProc(fakeGetProgramInfoLog)},
      {"glDeleteShader", asProc(fakeDeleteShader)},
      {"glUseProgram", asProc(fakeUseProgram)},
      {"glGetUniformLocation", asProc(fakeGetUniformLocation)},
      {"glUniform1i", asProc(fakeUniform1i)},
      {"glUniformMatrix4fv", asProc(fakeUniformMatrix4fv)},
      {"glGenVertexArrays", asProc(fakeGenVertexArrays)},
      {"glGenBuffers", asProc(fakeGenBuffers)},
      {"glBindVertexArray", asProc(fakeBindVertexArray)},
      {"glBindBuffer", asProc(fakeBindBuffer)},
      {"glBufferData", asProc(fakeBufferData)},
      {"glVertexAttribPointer", asProc(fakeVertexAttribPointer)},
      {"glEnableVertexAttribArray", asProc(fakeEnableVertexAttribArray)},
      {"glDeleteVertexArrays", asProc(fakeDeleteVertexArrays)},
      {"glDeleteBuffers", asProc(fakeDeleteBuffers)},
      {"glDrawArrays", asProc(fakeDrawArrays)},
      {"glGenTextures", asProc(fakeGenTextures)},
      {"glActiveTexture", asProc(fakeActiveTexture)},
      {"glBindTexture", asProc(fakeBindTexture)},
      {"glTexParameteri", asProc(fakeTexParameteri)},
      {"glTexImage2D", asProc(fakeTexImage2D)},
      {"glGenerateMipmap", asProc(fakeGenerateMipmap)},
      {"glEnable", asProc(fakeEnable)},
      {"glClearColor", asProc(fakeClearColor)},
      {"glClear", asProc(fakeClear)},
      {"glViewport", asProc(fakeViewport)},
  };
  return entryPoints;
}

}  // namespace

FakeGl& fakeGl() {
  return state();
}

void resetFakeGl() {
  state() = FakeGl{};
}

int loadFakeGl() {
  resetFakeGl();
  const int version = gladLoadGLUserPtr(resolveFakeGl, nullptr);
  state().calls.clear();
  return version;
}

GLADapiproc resolveFakeGl(void* /*userptr*/, const char* name) {
  const auto& entryPoints = modelledEntryPoints();
  const auto found = entryPoints.find(std::string_view(name));
  return found != entryPoints.end() ? found->second : unexpectedStubFor(name);
}

std::string fakeGlFloats(std::span<const float> values) {
  std::string text = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      text += ", ";
    }
    appendArg(text, values[i]);
  }
  return text + "]";
}
