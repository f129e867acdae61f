// Xvfb, child processes, screenshots and XTest input for the end-to-end tests.
#include "tests/x_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <stb_image_write.h>

extern char** environ;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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

void stopProcess(pid_t pid) {
  if (pid <= 0) {
    return;
  }
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      return;
    }
    std::this_thread::sleep_for(20ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment,
                           const std::string& outputDir)
    : stdoutPath_(outputDir + "/stdout.txt"), stderrPath_(outputDir + "/stderr.txt") {
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
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(stdoutPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(program.c_str(), argvPointers.data(), envPointers.data());
    _exit(127);
  }
  if (pid_ < 0) {
    throw std::runtime_error("fork failed");
  }
}

ChildProcess::~ChildProcess() {
  if (!status_) {
    stopProcess(pid_);
  }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!status_) {
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(10ms);
  }
  return status_;
}

bool ChildProcess::running() {
  return !waitForExit(0ms).has_value();
}

std::string ChildProcess::standardOutput() const {
  return readFile(stdoutPath_);
}
std::string ChildProcess::standardError() const {
  return readFile(stderrPath_);
}

VirtualDisplay::VirtualDisplay(const std::string& screen) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  pid_ = fork();
  if (pid_ == 0) {
    close(pipeFds[0]);
    const int quiet = open("/dev/null", O_RDWR);
    dup2(quiet, 0);
    dup2(quiet, 1);
    dup2(quiet, 2);
    const std::string fd = std::to_string(pipeFds[1]);
    // -noreset keeps the pointer where it starts: at the centre, over the viewer's window.
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-noreset",
           "-nolisten", "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  // Xvfb writes the display number it chose once it accepts connections.
  std::string number;
  char c = 0;
  while (read(pipeFds[0], &c, 1) == 1 && c != '\n') {
    number += c;
  }
  close(pipeFds[0]);
  if (number.empty()) {
    stopProcess(pid_);
    throw std::runtime_error("Xvfb did not start");
  }
  name_ = ":" + number;
  display_ = XOpenDisplay(name_.c_str());
  if (display_ == nullptr) {
    stopProcess(pid_);
    throw std::runtime_error("cannot connect to Xvfb on " + name_);
  }
}

VirtualDisplay::~VirtualDisplay() {
  if (display_ != nullptr) {
    XCloseDisplay(display_);
  }
  stopProcess(pid_);
}

Screenshot::Pixel Screenshot::at(int x, int y) const {
  const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

std::string makeTestDirectory(const std::string& testName) {
  const char* build = std::getenv("ZV_BUILD_DIR");
  const std::filesystem::path dir =
      std::filesystem::path(build != nullptr ? build : ".") / "test-output" / testName;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(20ms);
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

void pressAndReleaseKey(Display* display, unsigned long keysym) {
  const KeyCode code = XKeysymToKeycode(display, keysym);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XFlush(display);
  // Held across many frames, so the viewer's next poll sees it down.
  std::this_thread::sleep_for(150ms);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  XFlush(display);
}

void moveCursorBy(Display* display, int dx, int dy) {
  XTestFakeRelativeMotionEvent(display, dx, dy, CurrentTime);
  XFlush(display);
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
