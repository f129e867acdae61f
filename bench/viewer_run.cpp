// Runs a command that starts the viewer, under an Xvfb of its own, and ends the viewer as a user
// does, with Escape: after its first presented frame, or after some seconds of frames. The
// viewer takes no arguments, so this is how a tracer or profiler around it is given an end.
#include <X11/keysym.h>

#include <climits>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tests/x_session.h"

namespace {

const char kUsage[] =
    "usage: zoravarova-bench-run (--first-frame | --seconds S | --until-exit) LOG_DIR -- COMMAND "
    "[ARGUMENT...]\n";

// VmHWM, the peak resident set, of a running process; -1 once it has gone.
long peakResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

int fail(const std::string& why) {
  std::cerr << "zoravarova-bench-run: " << why << "\n";
  return 1;
}

int run(const std::vector<std::string>& args) {
  const std::string mode = args.empty() ? "" : args[0];
  const std::size_t logAt = mode == "--seconds" ? 2 : 1;
  if ((mode != "--first-frame" && mode != "--seconds" && mode != "--until-exit") ||
      args.size() < logAt + 3 || args[logAt + 1] != "--") {
    std::cerr << kUsage;
    return 2;
  }
  char* end = nullptr;
  const double seconds = mode == "--seconds" ? std::strtod(args[1].c_str(), &end) : 0.0;
  if (mode == "--seconds" && (*end != '\0' || !(seconds > 0.0 && seconds < 3600.0))) {
    return fail("--seconds wants a number of seconds under an hour, not \"" + args[1] + "\"");
  }
  const std::string logDir = args[logAt];
  if (!std::filesystem::is_directory(logDir)) {
    return fail("no folder " + logDir + " for the command's output");
  }
  const std::vector<std::string> command(args.begin() + static_cast<long>(logAt) + 2, args.end());

  const VirtualDisplay display;
  ChildProcess child(
      command[0], {command.begin() + 1, command.end()},
      {{"DISPLAY", display.name()}, {"LIBGL_ALWAYS_SOFTWARE", "1"}, {"GALLIUM_DRIVER", "llvmpipe"}},
      logDir);
  if (mode == "--until-exit") {
    const std::optional<int> exit = child.waitForExit(std::chrono::minutes(20));
    std::cout << child.standardOutput();
    std::cerr << child.standardError();
    return exit ? *exit : fail(command[0] + " did not end within 20 minutes");
  }

  // Under a tracer the viewer starts many times slower than on its own.
  const Window window = waitForWindow(display.connection(), "ZORAVAROVA", 120s);
  if (window == 0) {
    return fail("no ZORAVAROVA window within 120 s; " + command[0] +
                " said: " + child.standardError());
  }
  // The window is mapped before the first frame, so the watch sees every frame.
  FrameWatch frames(display.connection(), window);
  if (mode == "--first-frame" && !frames.waitForFrames(1, 120s)) {
    return fail("no frame within 120 s of the window");
  }
  if (mode == "--seconds") {
    frames.waitForFrames(INT_MAX, std::chrono::milliseconds(static_cast<long>(seconds * 1e3)));
  }
  const int framesBeforeEscape = frames.frames();
  const long peakKiB = peakResidentKiB(child.pid());
  const std::optional<int> exit =
      pressKeyUntilExit(display.connection(), XK_Escape, child, frames, 120s);
  if (!exit) {
    return fail(command[0] + " did not end on Escape within 120 s");
  }
  std::cout << "frames_before_escape " << framesBeforeEscape << "\n"
            << "child_peak_rss_kib " << peakKiB << "\n"
            << "exit_code " << *exit << "\n";
  return *exit;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run({argv + 1, argv + argc});
  } catch (const std::exception& error) {
    // The harness throws where Xvfb or a child cannot be started.
    return fail(error.what());
  }
}
