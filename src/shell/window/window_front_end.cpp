#include "shell/window/window_front_end.h"

#include <QApplication>
#include <cstdlib>

#include "engine/server.h"
#include "platform/event_loop.h"
#include "shell/banner.h"
#include "shell/server_session.h"
#include "shell/window/loop_driver.h"
#include "shell/window/main_window.h"
#include "shell/window/pictures.h"

namespace qxs::window {

bool display_available() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') return true;
    }
    return false;
}

int run_with_window(int& argc, char** argv, const std::string& control_path) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qxserver"));
    QApplication::setApplicationDisplayName(QStringLiteral("QXServer"));
    QGuiApplication::setDesktopFileName(QStringLiteral("qxserver"));
    QApplication::setWindowIcon(program_icon());
    return serve_with_window(control_path);
}

int serve_with_window(const std::string& control_path) {
    // Closing the window is Exit; a closed about box or message box is not.
    QApplication::setQuitOnLastWindowClosed(false);
    int status = 0;
    MainWindow window;
    Shell* previous = set_shell(&window);
    window.show();
    {
        EventLoop loop;
        ServerSession session(loop, control_path);
        session.start();
        start_shell();
        if (loop.quitting()) {
            // Start-up failed for good: the operator reads why, then the
            // program ends.
            window.show_waiting_boxes();
            status = 1;
        } else {
            LoopDriver driver(loop, [] { QCoreApplication::quit(); });
            QApplication::exec();
            // An Exit chosen in the menu asked libuv to stop outside any
            // pass of its loop, and that request is still pending: one pass
            // takes it, so that closing the loop gets to run its handles'
            // close callbacks.
            if (loop.uv()->stop_flag != 0) loop.run_ready();
        }
        session.stop();
    }
    engine.loop = nullptr;
    set_shell(previous);
    return status;
}

}  // namespace qxs::window
