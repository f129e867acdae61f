// The one translation unit that compiles the image decoder, limited to JPEG and PNG.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#include <stb_image.h>
