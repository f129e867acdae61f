// The two GLSL texts the viewer's program is built from.
#pragma once

// Attribute locations 0 (aPos) and 1 (aTexCoord) and the uniforms "model", "view", "projection",
// "texture1" and "texture2" are what the mesh, the camera, the field and the textures rely on.
extern const char kVertexShaderSource[];
extern const char kFragmentShaderSource[];
