// The allocation census: which calls count as the executable's own and which as a library's.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/alloc_census.h"

namespace {

// Kept where the optimiser cannot drop an allocation it sees freed at once.
void* volatile kept = nullptr;

class Census : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(allocationCensusActive()) << "run with ZV_ALLOC_CENSUS=1"; }
  // A stage of its own per test, so tests do not see each other's counts.
  static int freshStage() {
    static int next = 10;
    return next++;
  }
};

TEST_F(Census, DirectAndRuntimeMediatedCallsFromOurCodeAreOwn) {
  const int stage = freshStage();
  setAllocationStage(stage);
  kept = std::malloc(1000);
  std::free(kept);
  kept = std::calloc(10, 100);
  std::free(kept);
  {
    // Through libstdc++'s operator new, and through libc's strdup.
    const std::string text(5000, 'x');
    kept = strdup(text.c_str());
    std::free(kept);
  }
  setAllocationStage(0);
  const AllocationCount count = allocationsOfStage(stage);
  EXPECT_EQ(count.ownCalls, 4u);
  EXPECT_GE(count.ownBytes, 1000u + 1000u + 5001u + 5001u);
  EXPECT_EQ(count.otherCalls, 0u);
}

TEST_F(Census, ALibraryAllocatingForItselfIsNotOurs) {
  void* zlib = dlopen("libz.so.1", RTLD_NOW);
  ASSERT_NE(zlib, nullptr);
  using OpenFn = void* (*)(int, const char*);
  using CloseFn = int (*)(void*);
  const auto gzOpen = reinterpret_cast<OpenFn>(dlsym(zlib, "gzdopen"));
  const auto gzClose = reinterpret_cast<CloseFn>(dlsym(zlib, "gzclose"));
  ASSERT_NE(gzOpen, nullptr);
  ASSERT_NE(gzClose, nullptr);
  // A descriptor of our own: standard input may be closed where the tests run.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);

  const int stage = freshStage();
  setAllocationStage(stage);
  void* stream = gzOpen(ends[0], "rb");
  setAllocationStage(0);
  close(ends[1]);
  ASSERT_NE(stream, nullptr);
  gzClose(stream);
  const AllocationCount count = allocationsOfStage(stage);
  EXPECT_GE(count.otherCalls, 1u);
  EXPECT_EQ(count.ownCalls, 0u);
}

// zlib calls our allocator back: the bytes are asked for by the library, through our frame.
void* zlibAllocate(void* /*opaque*/, unsigned count, unsigned size) {
  return std::calloc(count, size);
}
void zlibFree(void* /*opaque*/, void* pointer) {
  std::free(pointer);
}

TEST_F(Census, OurCodeCalledBackByALibraryCountsAsTheLibrarys) {
  z_stream stream{};
  stream.zalloc = zlibAllocate;
  stream.zfree = zlibFree;
  const int stage = freshStage();
  setAllocationStage(stage);
  const int status = deflateInit(&stream, Z_DEFAULT_COMPRESSION);
  setAllocationStage(0);
  ASSERT_EQ(status, Z_OK);
  deflateEnd(&stream);
  const AllocationCount count = allocationsOfStage(stage);
  EXPECT_GE(count.otherCalls, 1u);
  EXPECT_EQ(count.ownCalls, 0u);
}

TEST_F(Census, AllocationsOfOtherThreadsCountUnderTheCurrentStage) {
  const int stage = freshStage();
  setAllocationStage(stage);
  std::thread worker([] {
    kept = std::malloc(3000);
    std::free(kept);
  });
  worker.join();
  setAllocationStage(0);
  const AllocationCount count = allocationsOfStage(stage);
  EXPECT_GE(count.ownCalls, 1u);
  EXPECT_GE(count.ownBytes, 3000u);
}

TEST_F(Census, ReallocCountsTheNewSizeAndStagesOutOfRangeAreIgnored) {
  const int stage = freshStage();
  setAllocationStage(stage);
  kept = std::malloc(10);
  kept = std::realloc(kept, 4000);
  std::free(kept);
  setAllocationStage(64);  // ignored: counting stays on `stage`
  kept = std::malloc(20);
  std::free(kept);
  setAllocationStage(0);
  const AllocationCount count = allocationsOfStage(stage);
  EXPECT_EQ(count.ownCalls, 3u);
  EXPECT_EQ(count.ownBytes, 10u + 4000u + 20u);
  EXPECT_EQ(allocationsOfStage(64).ownCalls, 0u);
  EXPECT_EQ(allocationsOfStage(-1).ownCalls, 0u);
}

}  // namespace
