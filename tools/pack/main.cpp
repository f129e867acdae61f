// zoravarova-pack: writes a viewer that carries its two images.
#include <csignal>
#include <cstdio>
#include <new>

#include "tools/pack/pack.h"
#include "tools/pack/pack_error.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: zoravarova-pack VIEWER FIRST.jpg SECOND.png OUTPUT\n");
    return 2;
  }
  // Past a file-size limit the write then fails and is reported in one line, instead of the
  // signal ending the packer without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    packViewerFiles(argv[1], argv[2], argv[3], argv[4]);
  } catch (const PackError& error) {
    std::fprintf(stderr, "zoravarova-pack: %s\n", error.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zoravarova-pack: out of memory\n");
    return 1;
  }
  return 0;
}
