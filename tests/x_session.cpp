// Xvfb, child processes, screenshots, XTest input and the waits on X states for end-to-end tests.
#include "tests/x_session.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <stb_image_write.h>

#include "app/frame.h"
#include "app/viewer.h"
#include "tests/file_bytes.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds timeLeft(Clock::time_point deadline) {
  return std::max(0ms, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
}

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string line = *entry;
    const std::string key = line.substr(0, line.find('='));
    if (changes.count(key) == 0) {
      result.push_back(line);
    }
  }
  for (const auto& [key, value] : changes) {
    if (!value.empty()) {
      result.push_back(key + "=" + value);
    }
  }
  return result;
}

int exitCode(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Process groups of the children that are still being looked after; another group's adopted
// orphans are never taken for strays of these.
std::set<pid_t>& liveGroups() {
  static std::set<pid_t> groups;
  return groups;
}

// Orphans re-parented to the test process that left their group (Wine's server and services
// start their own sessions) are reaped here once they end, by scanning for zombie children.
void reapEndedStrays() {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    return;
  }
  const pid_t self = getpid();
  std::vector<pid_t> ended;
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) {
      continue;
    }
    // Fields after the command, which may hold spaces and parentheses: state ppid pgrp.
    const std::string stat = fileText("/proc/" + std::string(entry->d_name) + "/stat");
    std::istringstream rest(stat.substr(std::min(stat.size(), stat.rfind(')') + 1)));
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
    if (rest >> state >> parent >> group && state == 'Z' && parent == self &&
        liveGroups().count(group) == 0) {
      ended.push_back(pid);
    }
  }
  closedir(proc);
  for (const pid_t pid : ended) {
    waitpid(pid, nullptr, WNOHANG);
  }
}

// Reaps the members of `group` that are children of ours, noting the leader's exit code.
// True once no process of the group is left, not even a zombie.
bool reapGroup(pid_t group, std::optional<int>& leaderCode) {
  int raw = 0;
  pid_t reaped = 0;
  while ((reaped = waitpid(-group, &raw, WNOHANG)) > 0) {
    if (reaped == group && !leaderCode) {
      leaderCode = exitCode(raw);
    }
  }
  return kill(-group, 0) != 0 && errno == ESRCH;
}

// Asks the whole group to end, then forces it; members come back to us as orphans and are
// reaped, as are strays that have ended by now.
void endGroup(pid_t group, std::optional<int>& leaderCode) {
  if (group <= 0) {
    return;
  }
  if (!reapGroup(group, leaderCode)) {
    kill(-group, SIGTERM);
    if (!waitUntil([&] { return reapGroup(group, leaderCode); }, 3s, 5ms)) {
      kill(-group, SIGKILL);
      waitUntil([&] { return reapGroup(group, leaderCode); }, 10s, 5ms);
    }
  }
  liveGroups().erase(group);
  reapEndedStrays();
}

// Orphaned descendants of the children come to the test process instead of process 1.
void adoptOrphans() {
  static const bool adopted = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  static_cast<void>(adopted);
}

// A display that could not be had: its server ends, its output goes, and the test learns why.
[[noreturn]] void abandonStart(std::optional<ChildProcess>& server, const std::string& logDir,
                               const std::string& problem) {
  server.reset();
  std::error_code ignored;
  std::filesystem::remove_all(logDir, ignored);
  throw std::runtime_error(problem);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment,
                           const std::string& outputDir, int keptDescriptor)
    : stdoutPath_(outputDir + "/stdout.txt"), stderrPath_(outputDir + "/stderr.txt") {
  adoptOrphans();
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const std::vector<std::string> envp = mergedEnvironment(environment);
  std::vector<char*> argvPointers;
  for (const auto& item : argv) {
    argvPointers.push_back(const_cast<char*>(item.c_str()));
  }
  argvPointers.push_back(nullptr);
  std::vector<char*> envPointers;
  for (const auto& item : envp) {
    envPointers.push_back(const_cast<char*>(item.c_str()));
  }
  envPointers.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(stdoutPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (keptDescriptor >= 0) {
      fcntl(keptDescriptor, F_SETFD, 0);
    }
    execvpe(program.c_str(), argvPointers.data(), envPointers.data());
    _exit(127);
  }
  if (pid_ < 0) {
    throw std::runtime_error("fork failed: " + std::string(std::strerror(errno)));
  }
  // Also here, so that the group exists before anything is sent to it. Once the child has run
  // exec this call fails, harmlessly: the child made its group before that.
  setpgid(pid_, pid_);
  liveGroups().insert(pid_);
}

ChildProcess::~ChildProcess() {
  endGroup(pid_, status_);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!status_) {
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = exitCode(raw);
      break;
    }
    if (Clock::now() > deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(5ms);
  }
  return status_;
}

bool ChildProcess::running() {
  return !waitForExit(0ms).has_value();
}

std::string ChildProcess::standardOutput() const {
  return fileText(stdoutPath_);
}
std::string ChildProcess::standardError() const {
  return fileText(stderrPath_);
}

VirtualDisplay::VirtualDisplay(const std::string& screen, std::chrono::milliseconds startLimit) {
  std::string pattern = (std::filesystem::temp_directory_path() / "zv-xvfb-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a folder for Xvfb's output under " + pattern + ": " +
                             std::strerror(errno));
  }
  logDir_ = pattern;
  int pipeFds[2] = {-1, -1};
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    abandonStart(server_, logDir_, std::string("pipe failed: ") + std::strerror(errno));
  }
  // -noreset keeps the pointer where it starts: at the centre, over the viewer's window.
  server_.emplace("Xvfb",
                  std::vector<std::string>{"-displayfd", std::to_string(pipeFds[1]), "-screen", "0",
                                           screen, "-noreset", "-nolisten", "tcp"},
                  std::map<std::string, std::string>{}, logDir_, pipeFds[1]);
  close(pipeFds[1]);

  // Xvfb writes the display number it chose, and a line end, once it accepts connections; the
  // pipe ends early if it exits first.
  const auto deadline = Clock::now() + startLimit;
  std::string number;
  bool complete = false;
  bool closed = false;
  while (!complete && !closed) {
    pollfd readable{pipeFds[0], POLLIN, 0};
    const int ready = poll(&readable, 1, static_cast<int>(timeLeft(deadline).count()));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      break;
    }
    char c = 0;
    const ssize_t got = read(pipeFds[0], &c, 1);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    closed = got != 1;
    complete = got == 1 && c == '\n';
    if (got == 1 && !complete) {
      number += c;
    }
  }
  close(pipeFds[0]);
  if (!complete || number.empty()) {
    const std::optional<int> code = server_->waitForExit(closed ? 5s : 0ms);
    const std::string what = code ? "ended with exit code " + std::to_string(*code) +
                                        (*code == 127 ? " (not found, or it cannot run)" : "")
                                  : "is still running";
    const std::string when = closed ? "" : " within " + std::to_string(startLimit.count()) + " ms";
    const std::string partial = number.empty() ? "" : " (only \"" + number + "\")";
    abandonStart(server_, logDir_,
                 "Xvfb gave no display number" + when + partial + " and " + what +
                     "; its error output: " + server_->standardError());
  }
  name_ = ":" + number;
  display_ = XOpenDisplay(name_.c_str());
  if (display_ == nullptr) {
    abandonStart(
        server_, logDir_,
        "cannot connect to Xvfb on " + name_ + "; its error output: " + server_->standardError());
  }
}

VirtualDisplay::~VirtualDisplay() {
  if (display_ != nullptr) {
    XCloseDisplay(display_);
  }
  server_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(logDir_, ignored);
}

FrameWatch::FrameWatch(Display* display, Drawable drawable) : display_(display) {
  int errorBase = 0;
  int major = 1;
  int minor = 1;
  if (XDamageQueryExtension(display, &eventBase_, &errorBase) == 0 ||
      XDamageQueryVersion(display, &major, &minor) == 0) {
    throw std::runtime_error("the X server has no DAMAGE extension");
  }
  // Raw rectangles: one event for every drawing, not one for the first since the last reset.
  damage_ = XDamageCreate(display, drawable, XDamageReportRawRectangles);
  forget();
}

FrameWatch::~FrameWatch() {
  // The server has freed the damage object already if the window is gone.
  XSync(display_, False);
  const auto previous = XSetErrorHandler(ignoreXErrors);
  XDamageDestroy(display_, damage_);
  XSync(display_, False);
  XSetErrorHandler(previous);
}

void FrameWatch::forget() {
  // After the round trip every event the server sent before it is in the queue.
  XSync(display_, False);
  XEvent event;
  while (XCheckTypedEvent(display_, eventBase_ + XDamageNotify, &event) != 0) {
  }
  fresh_ = 0;
}

bool FrameWatch::waitForFrames(int count, std::chrono::milliseconds limit,
                               const std::function<bool()>& stop) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    XEvent event;
    while (fresh_ < count && XCheckTypedEvent(display_, eventBase_ + XDamageNotify, &event) != 0) {
      // A drawing that damages several rectangles reports them together, the last with more = 0.
      if (reinterpret_cast<const XDamageNotifyEvent*>(&event)->more == False) {
        ++fresh_;
      }
    }
    if (fresh_ >= count || (stop && stop())) {
      return true;
    }
    if (timeLeft(deadline) == 0ms) {
      return false;
    }
    // Without `stop`, the next event is all there is to wait for; with it, look again soon.
    const auto slice = stop ? std::min(timeLeft(deadline), 5ms) : timeLeft(deadline);
    pollfd readable{ConnectionNumber(display_), POLLIN, 0};
    poll(&readable, 1, static_cast<int>(slice.count()));
  }
}

Screenshot::Pixel Screenshot::at(int x, int y) const {
  const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

bool isBackground(const Screenshot::Pixel& p) {
  const auto near = [](int channel, float clear) {
    return std::abs(channel - std::lround(clear * 255.0f)) <= 1;
  };
  return near(p.r, kClearColour.red) && near(p.g, kClearColour.green) &&
         near(p.b, kClearColour.blue);
}

ScreenRectangle backgroundBounds(const Screenshot& shot) {
  int left = shot.width, top = shot.height, right = -1, bottom = -1;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      if (isBackground(shot.at(x, y))) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  return right < 0 ? ScreenRectangle{}
                   : ScreenRectangle{left, top, right - left + 1, bottom - top + 1};
}

int ignoreXErrors(Display* /*display*/, XErrorEvent* /*error*/) {
  return 0;
}

std::string makeTestDirectory(const std::string& testName) {
  const char* build = std::getenv("ZV_BUILD_DIR");
  const std::filesystem::path dir =
      std::filesystem::path(build != nullptr ? build : ".") / "test-output" / testName;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval) {
  const auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(interval);
  }
  return true;
}

std::string windowTitle(Display* display, Window window) {
  char* name = nullptr;
  std::string title;
  if (XFetchName(display, window, &name) != 0 && name != nullptr) {
    title = name;
    XFree(name);
  }
  return title;
}

std::vector<Window> windowsTitled(Display* display, const std::string& title) {
  std::vector<Window> found;
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
    for (unsigned int i = 0; i < count; ++i) {
      XWindowAttributes attributes{};
      if (windowTitle(display, children[i]) == title &&
          XGetWindowAttributes(display, children[i], &attributes) != 0 &&
          attributes.map_state == IsViewable) {
        found.push_back(children[i]);
      }
    }
    XFree(children);
  }
  return found;
}

Window waitForWindow(Display* display, const std::string& title, std::chrono::milliseconds limit) {
  Window window = 0;
  waitUntil(
      [&] {
        const std::vector<Window> windows = windowsTitled(display, title);
        window = windows.empty() ? 0 : windows.front();
        return window != 0;
      },
      limit);
  return window;
}

Screenshot captureScreen(Display* display) {
  const Window root = DefaultRootWindow(display);
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, root, &attributes);
  XImage* image =
      XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  Screenshot shot;
  if (image == nullptr) {
    return shot;
  }
  shot.width = attributes.width;
  shot.height = attributes.height;
  shot.rgb.resize(static_cast<std::size_t>(shot.width) * shot.height * 3);
  std::size_t i = 0;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      shot.rgb[i++] = static_cast<std::uint8_t>((pixel & image->red_mask) >> 16);
      shot.rgb[i++] = static_cast<std::uint8_t>((pixel & image->green_mask) >> 8);
      shot.rgb[i++] = static_cast<std::uint8_t>(pixel & image->blue_mask);
    }
  }
  XDestroyImage(image);
  return shot;
}

void savePng(const Screenshot& shot, const std::string& path) {
  stbi_write_png(path.c_str(), shot.width, shot.height, 3, shot.rgb.data(), shot.width * 3);
}

PointerPosition pointerIn(Display* display, Window window) {
  Window root = 0;
  Window child = 0;
  int rootX = 0;
  int rootY = 0;
  PointerPosition position;
  unsigned int buttons = 0;
  XQueryPointer(display, window, &root, &child, &rootX, &rootY, &position.x, &position.y, &buttons);
  return position;
}

bool moveCursorUntilRecentred(Display* display, Window window, int dx, int dy,
                              std::chrono::milliseconds limit) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0) {
    return false;
  }
  const PointerPosition centre{attributes.width / 2, attributes.height / 2};
  XTestFakeRelativeMotionEvent(display, dx, dy, CurrentTime);
  // From here the pointer is off the centre until the viewer's poll puts it back.
  XSync(display, False);
  return waitUntil([&] { return pointerIn(display, window) == centre; }, limit, 1ms);
}

std::optional<int> pressKeyUntilExit(Display* display, unsigned long keysym, ChildProcess& process,
                                     FrameWatch& frames, std::chrono::milliseconds limit) {
  // Enough frames for a poll that runs after the press has reached the viewer's queue.
  constexpr int kFramesHeld = 3;
  // A viewer that saw the key presents at most the frame that saw it, so two more frames mean
  // it did not.
  constexpr int kFramesAfterRelease = 2;
  const auto deadline = Clock::now() + limit;
  const KeyCode code = XKeysymToKeycode(display, keysym);
  const auto ended = [&] { return !process.running(); };
  while (timeLeft(deadline) > 0ms) {
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    frames.forget();
    frames.waitForFrames(kFramesHeld, timeLeft(deadline), ended);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    frames.forget();
    frames.waitForFrames(kFramesAfterRelease, timeLeft(deadline), ended);
    if (const std::optional<int> exit = process.waitForExit(0ms)) {
      return exit;
    }
  }
  return process.waitForExit(0ms);
}

bool waitForWineClientArea(Display* display, std::chrono::milliseconds limit) {
  return waitUntil([&] { return backgroundBounds(captureScreen(display)).width == kWindowWidth; },
                   limit);
}

void requestClose(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

ViewerCommand nativeViewerCommand(const std::vector<std::string>& command,
                                  const std::string& screen) {
  ViewerCommand viewer;
  viewer.command = command;
  viewer.screen = screen;
  return viewer;
}

ViewerCommand wineViewerCommand(const std::string& wine, const std::string& program,
                                const std::map<std::string, std::string>& environment) {
  ViewerCommand viewer;
  viewer.command = {wine, program};
  viewer.environment = environment;
  viewer.screen = "1024x768x24";
  viewer.underWine = true;
  viewer.startLimit = 60s;
  return viewer;
}

RunningViewer::RunningViewer(const ViewerCommand& command, const std::string& outputDir)
    : display_(command.screen), underWine_(command.underWine) {
  if (underWine_) {
    XSetErrorHandler(ignoreXErrors);
  } else {
    // The window opens at the screen's top left. With the pointer at its centre from the start,
    // capturing the cursor turns nothing, and the view looks straight ahead.
    XWarpPointer(x(), None, DefaultRootWindow(x()), 0, 0, 0, 0, kWindowWidth / 2,
                 kWindowHeight / 2);
    XSync(x(), False);
  }
  std::filesystem::create_directories(outputDir);
  std::map<std::string, std::string> environment = command.environment;
  environment["DISPLAY"] = display_.name();
  process_.emplace(command.command.front(),
                   std::vector<std::string>(command.command.begin() + 1, command.command.end()),
                   environment, outputDir);
  // A viewer that ends without a window fails at once instead of at the limit.
  waitUntil(
      [&] {
        const std::vector<Window> windows = windowsTitled(x(), kWindowTitle);
        window_ = windows.empty() ? 0 : windows.front();
        return window_ != 0 || !process_->running();
      },
      command.startLimit);
  if (window_ == 0) {
    problem_ = std::string("no window titled ") + kWindowTitle + " appeared";
  } else if (underWine_) {
    frames_.emplace(x(), DefaultRootWindow(x()));
    if (!waitForWineClientArea(x(), command.startLimit)) {
      problem_ = "the client area never showed the clear colour across its width";
    }
  } else {
    frames_.emplace(x(), window_);
    // The first frames have been presented once the corner shows the clear colour.
    if (!waitUntil([&] { return isBackground(captureScreen(x()).at(5, 5)); }, command.startLimit)) {
      problem_ = "the window never showed the clear colour";
    }
  }
  if (!problem_.empty()) {
    problem_ += "; stderr: " + process_->standardError();
  }
}

std::optional<Screenshot> RunningViewer::presentedScreen(std::chrono::milliseconds limit) {
  if (!frames_) {
    return std::nullopt;
  }
  frames_->forget();
  if (!frames_->waitForFrames(2, limit)) {
    return std::nullopt;
  }
  return captureScreen(x());
}

std::optional<int> RunningViewer::pressEscapeUntilExit(std::chrono::milliseconds limit) {
  if (!frames_) {
    return process_->waitForExit(0ms);
  }
  if (underWine_) {
    const ScreenRectangle client = backgroundBounds(captureScreen(x()));
    XWarpPointer(x(), None, DefaultRootWindow(x()), 0, 0, 0, 0, client.left + 10, client.top + 10);
  }
  return pressKeyUntilExit(x(), XK_Escape, *process_, *frames_, limit);
}

PictureDifference comparePictures(const Screenshot& seen, int left, int top,
                                  const Screenshot& reference) {
  PictureDifference result;
  for (int y = 0; y < kWindowHeight; ++y) {
    for (int x = 0; x < kWindowWidth; ++x) {
      const Screenshot::Pixel a = seen.at(left + x, top + y);
      const Screenshot::Pixel b = reference.at(x, y);
      const int difference =
          std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
      result.differing += difference > 3 ? 1 : 0;
      result.drawn += isBackground(b) ? 0 : 1;
    }
  }
  return result;
}
