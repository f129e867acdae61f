// malloc, calloc and realloc replaced for the whole process, forwarding to glibc's own
// allocator; each call is attributed by walking its stack: frames of the C and C++ runtimes are
// passed over, a library frame makes the bytes the library's, and only executable frames all the
// way out make them ours.
#include "bench/alloc_census.h"

#include <execinfo.h>
#include <link.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
}

// The census's own functions live in one section, so their frames are recognised and skipped.
#define ZV_CENSUS_TEXT __attribute__((section("zv_census_text"), noinline))
extern "C" const char __start_zv_census_text[];
extern "C" const char __stop_zv_census_text[];

namespace {

constexpr int kStages = 64;
constexpr int kMaxRanges = 64;
constexpr int kMaxFrames = 128;

struct Range {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;
};

struct Counters {
  std::atomic<std::uint64_t> ownBytes{0};
  std::atomic<std::uint64_t> ownCalls{0};
  std::atomic<std::uint64_t> otherBytes{0};
  std::atomic<std::uint64_t> otherCalls{0};
};

// Filled once before counting starts and only read afterwards.
Range executableRanges[kMaxRanges];
int executableRangeCount = 0;
Range runtimeRanges[kMaxRanges];
int runtimeRangeCount = 0;

std::atomic<bool> counting{false};
std::atomic<int> currentStage{0};
Counters counters[kStages];
// Set while a call is being attributed, so allocations made by the stack walk itself pass.
thread_local bool attributing = false;

bool inside(const Range* ranges, int count, std::uintptr_t address) {
  for (int i = 0; i < count; ++i) {
    if (ranges[i].begin <= address && address < ranges[i].end) {
      return true;
    }
  }
  return false;
}

bool isRuntime(const char* name) {
  static const char* const kRuntimes[] = {"/libc.so", "/libstdc++.so", "/libgcc_s.so", "/libm.so",
                                          "/ld-linux"};
  for (const char* runtime : kRuntimes) {
    if (std::strstr(name, runtime) != nullptr) {
      return true;
    }
  }
  return false;
}

int recordObject(dl_phdr_info* info, std::size_t /*size*/, void* /*data*/) {
  const bool executable = info->dlpi_name == nullptr || info->dlpi_name[0] == '\0';
  const bool runtime = !executable && isRuntime(info->dlpi_name);
  if (!executable && !runtime) {
    return 0;
  }
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || (header.p_flags & PF_X) == 0) {
      continue;
    }
    const Range range{info->dlpi_addr + header.p_vaddr,
                      info->dlpi_addr + header.p_vaddr + header.p_memsz};
    if (executable && executableRangeCount < kMaxRanges) {
      executableRanges[executableRangeCount++] = range;
    } else if (runtime && runtimeRangeCount < kMaxRanges) {
      runtimeRanges[runtimeRangeCount++] = range;
    }
  }
  return 0;
}

// Runs before any static constructor of the viewer's code, so their allocations are counted.
__attribute__((constructor(101))) void startCensus() {
  const char* wanted = std::getenv("ZV_ALLOC_CENSUS");
  if (wanted == nullptr || std::strcmp(wanted, "1") != 0) {
    return;
  }
  // The first walk loads the unwinder; it has to happen before counting.
  void* frames[4];
  backtrace(frames, 4);
  dl_iterate_phdr(recordObject, nullptr);
  counting.store(true);
}

// The executable also exports its copies of some libstdc++ templates (std::string members), and
// libraries that use them then run code inside the executable. So executable frames count as
// ours only when no library frame lies beyond them; the price is that our own callbacks, when a
// library calls them, count as the library's (the viewer's two callbacks allocate nothing).
ZV_CENSUS_TEXT bool askedForByOwnCode() {
  void* frames[kMaxFrames];
  const int depth = backtrace(frames, kMaxFrames);
  const auto censusBegin = reinterpret_cast<std::uintptr_t>(__start_zv_census_text);
  const auto censusEnd = reinterpret_cast<std::uintptr_t>(__stop_zv_census_text);
  bool inOwnCode = false;
  for (int i = 0; i < depth; ++i) {
    const auto address = reinterpret_cast<std::uintptr_t>(frames[i]);
    if ((censusBegin <= address && address < censusEnd) ||
        inside(runtimeRanges, runtimeRangeCount, address)) {
      continue;
    }
    if (!inside(executableRanges, executableRangeCount, address)) {
      return false;
    }
    inOwnCode = true;
  }
  return inOwnCode;
}

ZV_CENSUS_TEXT void count(std::size_t bytes) {
  if (!counting.load(std::memory_order_relaxed) || attributing) {
    return;
  }
  attributing = true;
  Counters& stage = counters[currentStage.load(std::memory_order_relaxed)];
  if (askedForByOwnCode()) {
    stage.ownBytes += bytes;
    ++stage.ownCalls;
  } else {
    stage.otherBytes += bytes;
    ++stage.otherCalls;
  }
  attributing = false;
}

}  // namespace

extern "C" {

ZV_CENSUS_TEXT void* malloc(std::size_t size) {
  void* pointer = __libc_malloc(size);
  count(size);
  return pointer;
}

ZV_CENSUS_TEXT void* calloc(std::size_t count_, std::size_t size) {
  void* pointer = __libc_calloc(count_, size);
  count(count_ * size);
  return pointer;
}

ZV_CENSUS_TEXT void* realloc(void* pointer, std::size_t size) {
  void* moved = __libc_realloc(pointer, size);
  count(size);
  return moved;
}

}  // extern "C"

bool allocationCensusActive() {
  return counting.load();
}

void setAllocationStage(int stage) {
  if (stage >= 0 && stage < kStages) {
    currentStage.store(stage);
  }
}

AllocationCount allocationsOfStage(int stage) {
  AllocationCount result;
  if (stage < 0 || stage >= kStages) {
    return result;
  }
  result.ownBytes = counters[stage].ownBytes.load();
  result.ownCalls = counters[stage].ownCalls.load();
  result.otherBytes = counters[stage].otherBytes.load();
  result.otherCalls = counters[stage].otherCalls.load();
  return result;
}
