// The GLSL texts, byte for byte: tab-indented bodies, line feeds only, a line feed at the end.
#include "render/shader_sources.h"

// The bodies after the version line, written once for the desktop's GLSL 3.30 and a browser's
// GLSL ES 3.00 alike.
#define ZV_VERTEX_SHADER_BODY                                       \
  "layout (location = 0) in vec3 aPos;\n"                           \
  "layout (location = 1) in vec2 aTexCoord;\n"                      \
  "out vec2 TexCoord;\n"                                            \
  "uniform mat4 model;\n"                                           \
  "uniform mat4 view;\n"                                            \
  "uniform mat4 projection;\n"                                      \
  "void main()\n"                                                   \
  "{\n"                                                             \
  "\tgl_Position = projection * view * model * vec4(aPos, 1.0f);\n" \
  "\tTexCoord = vec2(aTexCoord.x, aTexCoord.y);\n"                  \
  "}\n"

#define ZV_FRAGMENT_SHADER_BODY                                                         \
  "out vec4 FragColor;\n"                                                               \
  "in vec2 TexCoord;\n"                                                                 \
  "uniform sampler2D texture1;\n"                                                       \
  "uniform sampler2D texture2;\n"                                                       \
  "void main()\n"                                                                       \
  "{\n"                                                                                 \
  "\tFragColor = mix(texture(texture1, TexCoord), texture(texture2, TexCoord), 0.2);\n" \
  "}\n"

#ifdef __EMSCRIPTEN__
// WebGL 2 refuses "#version 330 core"; GLSL ES fragment shaders have no float precision of their
// own, and mediump is what every WebGL 2 device has.
#define ZV_VERTEX_SHADER_HEADER "#version 300 es\n"
#define ZV_FRAGMENT_SHADER_HEADER "#version 300 es\nprecision mediump float;\n"
#else
#define ZV_VERTEX_SHADER_HEADER "#version 330 core\n"
#define ZV_FRAGMENT_SHADER_HEADER "#version 330 core\n"
#endif

const char kVertexShaderSource[] = ZV_VERTEX_SHADER_HEADER ZV_VERTEX_SHADER_BODY;
const char kFragmentShaderSource[] = ZV_FRAGMENT_SHADER_HEADER ZV_FRAGMENT_SHADER_BODY;
