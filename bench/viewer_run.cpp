// Runs a command that starts the viewer, under an Xvfb of its own, and ends the viewer as a user
// does, with Escape: after its first presented frame, or after some seconds of frames. The
// viewer takes no arguments, so this is how a tracer or profiler around it is given an end, and
// how its start-up is timed from outside: from the command's start to its first frame.
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

#include "app/viewer.h"
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

// What a command said last, for a one-line report of its failure.
std::string lastLine(const std::string& text) {
  const std::size_t end = text.find_last_not_of('\n');
  if (end == std::string::npos) {
    return "nothing";
  }
  const std::size_t newline = text.rfind('\n', end);
  const std::size_t begin = newline == std::string::npos ? 0 : newline + 1;
  return text.substr(begin, end + 1 - begin);
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
  // Watching the whole screen from before the start, so no frame comes too early to be seen:
  // Xvfb reports every window's drawing on the root window, and mapping the window draws nothing.
  // The one watch counts all frames: a second on the same connection would take its reports too.
  FrameWatch screen(display.connection(), DefaultRootWindow(display.connection()));
  const auto start = std::chrono::steady_clock::now();
  ChildProcess child(command[0], {command.begin() + 1, command.end()},
                     {{"DISPLAY", display.name()}}, logDir);
  if (mode == "--until-exit") {
    const std::optional<int> exit = child.waitForExit(std::chrono::minutes(20));
    std::cout << child.standardOutput();
    std::cerr << child.standardError();
    return exit ? *exit : fail(command[0] + " did not end within 20 minutes");
  }

  // Under a tracer the viewer starts many times slower than on its own.
  screen.waitForFrames(1, 120s, [&] { return !child.running(); });
  if (screen.frames() == 0) {
    return fail(command[0] +
                (child.running() ? " drew no frame within 120 s" : " ended without a frame") +
                "; it said: " + lastLine(child.standardError()));
  }
  const std::chrono::duration<double, std::milli> firstFrame =
      std::chrono::steady_clock::now() - start;
  const Window window = waitForWindow(display.connection(), kWindowTitle, 10s);
  if (window == 0) {
    return fail(std::string("a frame, but no window titled ") + kWindowTitle);
  }
  if (mode == "--seconds") {
    screen.waitForFrames(INT_MAX, std::chrono::milliseconds(static_cast<long>(seconds * 1e3)));
  }
  const int framesBeforeEscape = screen.frames();
  const long peakKiB = peakResidentKiB(child.pid());
  const std::optional<int> exit =
      pressKeyUntilExit(display.connection(), XK_Escape, child, screen, 120s);
  if (!exit) {
    return fail(command[0] + " did not end on Escape within 120 s");
  }
  std::cout << "first_frame_ms " << firstFrame.count() << "\n"
            << "frames_before_escape " << framesBeforeEscape << "\n"
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
