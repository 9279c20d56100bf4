// The program entry's window side: whether a desktop is there to show the
// window on, and running the server with the window.
#pragma once

#include <string>

namespace qxs::window {

// An X11 or Wayland display is named in the environment.
bool display_available();

// Creates the window, starts the server (with its control socket at
// `control_path`), and runs Qt's loop (which drives the server's) until
// Exit, closing the window or a stop signal. Returns the program's exit
// status: 0, or 1 when start-up failed for good.
int run_with_window(int& argc, char** argv, const std::string& control_path);
// The same once the application object exists.
int serve_with_window(const std::string& control_path);

}  // namespace qxs::window
