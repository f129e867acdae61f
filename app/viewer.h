// The viewer's window (size and title), its main routine and its framebuffer-size callback.
#pragma once

struct GLFWwindow;

inline constexpr int kWindowWidth = 800;
inline constexpr int kWindowHeight = 600;
inline constexpr const char* kWindowTitle = "ZORAVAROVA";

// Opens the window, runs the frame loop until it is asked to close; 0 then, -1 when the window,
// the context or the GL entry points cannot be had.
int runViewer();

// Follows the framebuffer with the viewport; the projection keeps its fixed aspect.
void onFramebufferResized(GLFWwindow* window, int width, int height);
