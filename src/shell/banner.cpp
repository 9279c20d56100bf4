#include "shell/banner.h"

#include "config/settings.h"
#include "engine/server.h"
#include "logging/screen_log.h"
#include "shell/shell.h"

namespace qxs {

void print_banner() {
    screen_log("------------------------------------------------------\r\n");
    screen_logf("Personal web and gopher server, release 3.07b of QXServer/%s\r\n", kServerVersion);
    screen_log("Look at https://qxserver.example.org/\r\n");
    screen_log(" for the latest version.\r\n");
}

void start_shell() {
    print_banner();
    Shell& front = shell();
    front.set_menu_check(kMenuSound, settings.sound);
    front.set_menu_check(kMenuGreedy, settings.greedy);
    front.set_menu_check(kMenuMinimize, settings.minimize);
    front.set_menu_check(kMenuConnects, settings.view_connects);
    front.set_menu_check(kMenuCommands, settings.view_commands);
    front.set_menu_check(kMenuFiles, settings.view_files);
    front.set_menu_check(kMenuClosing, settings.view_closing);
}

}  // namespace qxs
