// Test harness for the real viewer: an Xvfb of the test's own, child processes with time limits,
// screenshots, XTest input, and the X states that show the viewer has taken input in.
#pragma once

#include <sys/types.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

// A child process that leads its own process group, output going to files. On destruction the
// whole group is ended and reaped, whatever the leader did. The test process becomes a child
// subreaper, so descendants orphaned by the child come back to it and are reaped here too.
class ChildProcess {
 public:
  // `environment` entries replace or, with an empty value, remove variables of the test's own.
  // A `program` without a slash is looked for on the test's own PATH. `keptDescriptor`, when not
  // -1, stays open in the child under the same number even if it is marked close-on-exec.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, const std::string& outputDir,
               int keptDescriptor = -1);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The exit code (0..255, 128 + signal when killed) if the process ended by itself within
  // `limit`; nullopt otherwise.
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

// An Xvfb, 800x600x24 unless told otherwise, on a display number it picks itself, ended with its
// process group at the end.
class VirtualDisplay {
 public:
  // Throws, saying what Xvfb did, when it gives no display number within `startLimit`.
  explicit VirtualDisplay(const std::string& screen = "800x600x24",
                          std::chrono::milliseconds startLimit = 30s);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& name() const { return name_; }  // e.g. ":107"
  Display* connection() const { return display_; }

 private:
  std::string logDir_;
  std::optional<ChildProcess> server_;
  std::string name_;
  Display* display_ = nullptr;
};

// Frames presented on a drawable, seen as the damage each one does to it (X DAMAGE extension).
// Xvfb reports one damage rectangle per presented frame, so fresh damage counts frames. A window
// may be destroyed while watched; the watch is then simply quiet.
class FrameWatch {
 public:
  // `drawable`: a viewer's window, or the root window, which also sees every window's frames.
  FrameWatch(Display* display, Drawable drawable);
  ~FrameWatch();
  FrameWatch(const FrameWatch&) = delete;
  FrameWatch& operator=(const FrameWatch&) = delete;

  // Drops the damage of everything the server did up to now (one round trip), so that the next
  // waitForFrames counts only frames presented after this call.
  void forget();
  // Waits for `count` damage reports since forget(), or until `stop` holds; false at `limit`.
  bool waitForFrames(int count, std::chrono::milliseconds limit,
                     const std::function<bool()>& stop = {});
  // Frames counted since forget().
  int frames() const { return fresh_; }

 private:
  Display* display_;
  Damage damage_ = 0;
  int eventBase_ = 0;
  int fresh_ = 0;
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

// The viewer's clear colour as llvmpipe writes it; 0.3 × 255 = 76.5 may round either way, so
// each channel may be 1 off.
bool isBackground(const Screenshot::Pixel& p);

struct ScreenRectangle {
  int left = 0, top = 0, width = 0, height = 0;
};

// The smallest rectangle holding every background pixel: the viewer's client area, whose edges
// always show the clear colour, wherever a window manager or Wine put it. Empty when none shows.
ScreenRectangle backgroundBounds(const Screenshot& shot);

// An Xlib error handler that ignores errors, for requests about windows that may be gone: Wine's
// short-lived ones while it starts, or a watched window that closed with its viewer.
int ignoreXErrors(Display* display, XErrorEvent* error);

// A fresh directory under the build tree for one test's files.
std::string makeTestDirectory(const std::string& testName);

// Polls every `interval` until `condition` holds or `limit` passes; returns whether it held.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval = 20ms);

// The top-level window with this title, once it is mapped; 0 if none appears within `limit`.
Window waitForWindow(Display* display, const std::string& title, std::chrono::milliseconds limit);
std::vector<Window> windowsTitled(Display* display, const std::string& title);
std::string windowTitle(Display* display, Window window);

Screenshot captureScreen(Display* display);
void savePng(const Screenshot& shot, const std::string& path);

// The pointer's position relative to `window`'s origin.
struct PointerPosition {
  int x = 0;
  int y = 0;
  bool operator==(const PointerPosition&) const = default;
};
PointerPosition pointerIn(Display* display, Window window);

// Moves the pointer by (dx, dy), then waits until the captured cursor's owner has put it back at
// `window`'s centre, which it does in the event poll that handled the motion. False at `limit`.
// (dx, dy) must be non-zero and keep the pointer inside the window.
bool moveCursorUntilRecentred(Display* display, Window window, int dx, int dy,
                              std::chrono::milliseconds limit);

// Presses the key and holds it until `frames` has seen frames presented after the press, or the
// process has ended; releases it, and presses again while the process goes on presenting frames
// after the release. A single press can be missed before the window has the keyboard, or by a
// frame that reads the key state after the release. The exit code, or nullopt at `limit`.
std::optional<int> pressKeyUntilExit(Display* display, unsigned long keysym, ChildProcess& process,
                                     FrameWatch& frames, std::chrono::milliseconds limit);

// The viewer's Windows build under Wine shows its window before its client area: waits until the
// clear colour spans the client area's width. False at `limit`.
bool waitForWineClientArea(Display* display, std::chrono::milliseconds limit);

// What the window manager's close box sends: WM_DELETE_WINDOW.
void requestClose(Display* display, Window window);

// How to start one viewer: the command and its environment, the screen, and whether it is the
// Windows build under Wine, which shows its window and takes keys in its own way.
struct ViewerCommand {
  std::vector<std::string> command;                // the program, then its arguments
  std::map<std::string, std::string> environment;  // as for ChildProcess; DISPLAY is set here
  std::string screen = "800x600x24";
  bool underWine = false;
  std::chrono::milliseconds startLimit = 20s;
};

// The viewer built for this machine: `command` is the program, then its arguments.
ViewerCommand nativeViewerCommand(const std::vector<std::string>& command,
                                  const std::string& screen = "800x600x24");
// The Windows build `program` run by Wine's loader `wine` in `environment`, on a screen larger
// than the window so that Wine's frame fits around it, and given longer to start: Wine makes its
// prefix's services ready before the first window.
ViewerCommand wineViewerCommand(const std::string& wine, const std::string& program,
                                const std::map<std::string, std::string>& environment);

// One viewer on an Xvfb of its own, started on construction with its output in `outputDir`
// (made if need be): the window titled kWindowTitle is up and presents frames, or startProblem()
// says why not. Ends with the viewer, then its server.
class RunningViewer {
 public:
  RunningViewer(const ViewerCommand& command, const std::string& outputDir);
  RunningViewer(const RunningViewer&) = delete;
  RunningViewer& operator=(const RunningViewer&) = delete;

  // Empty once the window shows the clear colour; otherwise what went wrong and the viewer's
  // error output.
  const std::string& startProblem() const { return problem_; }
  Display* x() const { return display_.connection(); }
  Window window() const { return window_; }
  ChildProcess& process() { return *process_; }

  // The screen once two frames presented after this call have reached it: a steady picture, not
  // the first clear. Damage reported before a round trip is dropped, so every later report is of
  // a frame drawn after the call; the second is awaited, not the first, for a margin of one whole
  // frame. nullopt at `limit`.
  std::optional<Screenshot> presentedScreen(std::chrono::milliseconds limit);

  // pressKeyUntilExit with Escape. Under Wine the pointer goes over the client area first, where
  // the keyboard's events go on a server without a window manager.
  std::optional<int> pressEscapeUntilExit(std::chrono::milliseconds limit);

 private:
  VirtualDisplay display_;
  std::optional<ChildProcess> process_;
  Window window_ = 0;
  bool underWine_ = false;
  // On the window, or under Wine on the root window, since Wine draws into X windows of its own.
  std::optional<FrameWatch> frames_;
  std::string problem_;
};

// How a viewer's picture, its client area at (left, top) of `seen`, compares with `reference`
// at the top left of its screen.
struct PictureDifference {
  int differing = 0;  // pixels off by more than 3 in a channel
  int drawn = 0;      // pixels of `reference` that are not the background
};
PictureDifference comparePictures(const Screenshot& seen, int left, int top,
                                  const Screenshot& reference);
