#include "shell/operator_commands.h"

#include <cstring>

#include "config/access_tables.h"
#include "config/extension_table.h"
#include "config/settings.h"
#include "engine/admission.h"
#include "engine/server.h"
#include "logging/files.h"
#include "logging/reports.h"
#include "logging/screen_log.h"
#include "platform/event_loop.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "shell/banner.h"
#include "shell/shell.h"

namespace qxs {
namespace {

// Toggles an option and writes it back to [Options] of the settings file.
void toggle_written_option(int id, int* value, const char* key) {
    *value = shell().set_menu_check(id, -1);
    if (!profile::write_string("Options", key, *value ? "1" : "0", settings_file())) {
        screen_logf("Unable to write %s to %s\r\n", key, settings_file());
    }
}

void status_printout() {
    screen_logf("\r\nListning on ports %d and %d\r\n", settings.gopherport, settings.httpport);
    screen_logf("       Temp directory is \"%s\"\r\n", settings.tempdir);
    screen_logf("       Log  directory is \"%s\"\r\n", settings.logdir);
    screen_logf("   Home web directory is \"%s\"\r\n", settings.webdir);
    screen_logf("Home gopher directory is \"%s\"\r\n", settings.gopherdir);
}

struct Word {
    const char* word;
    int id;
    const char* help;
};

constexpr Word kWords[] = {
    {"pause", kCmdPauseOn, "refuse new connections"},
    {"resume", kCmdResume, "take new connections again"},
    {"reload", kCmdReload, "read the settings file again"},
    {"cycle", kCmdCycleLogs, "move the access log to qxs-001.log and start a new one"},
    {"status", kCmdStatus, "ports and directories"},
    {"sockets", kCmdSocketList, "the busy connection slots"},
    {"socketinfo", kCmdSocketInfo, "the socket layer and the listeners"},
    {"aliases", kCmdAliasList, "the alias table"},
    {"users", kCmdUserList, "the user table"},
    {"groups", kCmdGroupList, "the group table"},
    {"extensions", kCmdExtensionList, "the extension table"},
    {"sound", kCmdSound, "beeps on or off (saved)"},
    {"greedy", kCmdGreedy, "longer send turns on or off (saved)"},
    {"connects", kCmdConnects, "connection lines on or off (saved)"},
    {"commands", kCmdCommands, "request lines on or off (saved)"},
    {"files", kCmdFiles, "file lines on or off (saved)"},
    {"closing", kCmdClosing, "close lines on or off (saved)"},
    {"debug1", kCmdDebug1, "debug detail 1 on or off"},
    {"debug2", kCmdDebug2, "debug detail 2 on or off"},
    {"debug3", kCmdDebug3, "debug detail 3 on or off"},
    {"about", kCmdAbout, "the banner"},
    {"exit", kCmdExit, "stop the server"},
};

}  // namespace

void run_operator_command(int id, EventLoop& loop) {
    switch (id) {
        case kCmdCycleLogs:
            CycleLogs(settings.logdir, "qxs", "log");
            break;
        case kCmdExit:
            loop.quit();
            break;
        case kCmdReload:
            reload_settings();
            break;
        case kCmdPause:
            toggle_paused();
            break;
        case kCmdPauseOn:
            set_paused(1);
            break;
        case kCmdResume:
            set_paused(0);
            break;
        case kCmdSound:
            toggle_written_option(id, &settings.sound, "sound");
            break;
        case kCmdGreedy:
            toggle_written_option(id, &settings.greedy, "greedy");
            break;
        case kCmdMinimize:
            toggle_written_option(id, &settings.minimize, "minimize");
            break;
        case kCmdConnects:
            toggle_written_option(id, &settings.view_connects, "view_connects");
            break;
        case kCmdCommands:
            toggle_written_option(id, &settings.view_commands, "view_commands");
            break;
        case kCmdFiles:
            toggle_written_option(id, &settings.view_files, "view_files");
            break;
        case kCmdClosing:
            toggle_written_option(id, &settings.view_closing, "view_closing");
            break;
        // The debug details change the running server only.
        case kCmdDebug1:
            settings.debug1 = shell().set_menu_check(id, -1);
            break;
        case kCmdDebug2:
            settings.debug2 = shell().set_menu_check(id, -1);
            break;
        case kCmdDebug3:
            settings.debug3 = shell().set_menu_check(id, -1);
            break;
        case kCmdStatus:
            status_printout();
            break;
        case kCmdSocketInfo:
            socket_info();
            break;
        case kCmdSocketList:
            if (engine.table != nullptr) socket_list(*engine.table);
            break;
        case kCmdAliasList:
            list_aliases();
            break;
        case kCmdExtensionList:
            extension_table.print();
            break;
        case kCmdGroupList:
            list_groups();
            break;
        case kCmdUserList:
            list_users();
            break;
        case kCmdAbout:
            print_banner();
            break;
        default:
            break;
    }
}

int operator_command_for_word(const char* word) {
    if (compare_no_case(word, "quit") == 0) return kCmdExit;
    for (const Word& w : kWords) {
        if (compare_no_case(word, w.word) == 0) return w.id;
    }
    return 0;
}

const char* operator_command_help() {
    static char text[2048];
    if (text[0] == '\0') {
        append_text(text, sizeof text, "\r\nCommands:\r\n");
        for (const Word& w : kWords) {
            char line[128];
            format_text(line, sizeof line, "  %-11s %s\r\n", w.word, w.help);
            append_text(text, sizeof text, line);
        }
    }
    return text;
}

}  // namespace qxs
