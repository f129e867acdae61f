// The one translation unit of the tests that compiles the PNG writer used for screenshots.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
