#include "shell/banner.h"

#include "config/settings.h"
#include "engine/server.h"
#include "logging/screen_log.h"
#include "shell/operator_commands.h"
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
    show_switches();
}

}  // namespace qxs
