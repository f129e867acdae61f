// Test harness for the real viewer: an Xvfb of the test's own, child processes with time limits,
// and screenshots and input through Xlib and XTest.
#pragma once

#include <sys/types.h>

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

// A child process whose output goes to files; killed and reaped on destruction if still running.
class ChildProcess {
 public:
  // `environment` entries replace or, with an empty value, remove variables of the test's own.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, const std::string& outputDir);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The exit code (0..255) if the process ended by itself within `limit`; nullopt otherwise.
  std::optional<int> waitForExit(std::chrono::milliseconds limit);
  bool running();
  std::string standardOutput() const;
  std::string standardError() const;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::string stdoutPath_;
  std::string stderrPath_;
};

// An Xvfb, 800x600x24 unless told otherwise, on a display number it picks itself, stopped by its
// PID at the end.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(const std::string& screen = "800x600x24");
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& name() const { return name_; }  // e.g. ":107"
  Display* connection() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
  Display* display_ = nullptr;
};

struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel

  struct Pixel {
    int r, g, b;
  };
  Pixel at(int x, int y) const;
};

// A fresh directory under the build tree for one test's files.
std::string makeTestDirectory(const std::string& testName);

// Polls until `condition` holds or `limit` passes; returns whether it held.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// The top-level window with this title, once it is mapped; 0 if none appears within `limit`.
Window waitForWindow(Display* display, const std::string& title, std::chrono::milliseconds limit);
std::vector<Window> windowsTitled(Display* display, const std::string& title);
std::string windowTitle(Display* display, Window window);

Screenshot captureScreen(Display* display);
void savePng(const Screenshot& shot, const std::string& path);

void pressAndReleaseKey(Display* display, unsigned long keysym);
void moveCursorBy(Display* display, int dx, int dy);
// What the window manager's close box sends: WM_DELETE_WINDOW.
void requestClose(Display* display, Window window);
