// The GLSL texts, byte for byte: tab-indented bodies, line feeds only, a line feed at the end.
#include "render/shader_sources.h"

const char kVertexShaderSource[] =
    "#version 330 core\n"
    "layout (location = 0) in vec3 aPos;\n"
    "layout (location = 1) in vec2 aTexCoord;\n"
    "out vec2 TexCoord;\n"
    "uniform mat4 model;\n"
    "uniform mat4 view;\n"
    "uniform mat4 projection;\n"
    "void main()\n"
    "{\n"
    "\tgl_Position = projection * view * model * vec4(aPos, 1.0f);\n"
    "\tTexCoord = vec2(aTexCoord.x, aTexCoord.y);\n"
    "}\n";

const char kFragmentShaderSource[] =
    "#version 330 core\n"
    "out vec4 FragColor;\n"
    "in vec2 TexCoord;\n"
    "uniform sampler2D texture1;\n"
    "uniform sampler2D texture2;\n"
    "void main()\n"
    "{\n"
    "\tFragColor = mix(texture(texture1, TexCoord), texture(texture2, TexCoord), 0.2);\n"
    "}\n";
