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

// The switches that are settings: the menu options, written back to
// [Options] of the settings file when changed, and the debug details, which
// change the running server only.
struct OptionSwitch {
    int command;
    int Settings::*value;
    const char* key;
    bool saved;
};

constexpr OptionSwitch kOptionSwitches[] = {
    {kCmdSound, &Settings::sound, "sound", true},
    {kCmdGreedy, &Settings::greedy, "greedy", true},
    {kCmdMinimize, &Settings::minimize, "minimize", true},
    {kCmdConnects, &Settings::view_connects, "view_connects", true},
    {kCmdCommands, &Settings::view_commands, "view_commands", true},
    {kCmdFiles, &Settings::view_files, "view_files", true},
    {kCmdClosing, &Settings::view_closing, "view_closing", true},
    {kCmdDebug1, &Settings::debug1, "debug1", false},
    {kCmdDebug2, &Settings::debug2, "debug2", false},
    {kCmdDebug3, &Settings::debug3, "debug3", false},
};

CommandResult result_text(CommandResult::Outcome outcome, const char* format, const char* a,
                          const char* b = "") {
    CommandResult result;
    result.outcome = outcome;
    format_text(result.text, sizeof result.text, format, a, b);
    return result;
}

CommandResult toggle_option(const OptionSwitch& option) {
    int& value = settings.*option.value;
    value = value != 0 ? 0 : 1;
    shell().show_switch(option.command, value != 0);
    if (option.saved &&
        !profile::write_string("Options", option.key, value ? "1" : "0", settings_file())) {
        screen_logf("Unable to write %s to %s\r\n", option.key, settings_file());
        return result_text(CommandResult::kFailed, "%s %s, but the settings file cannot be written",
                           option.key, value ? "on" : "off");
    }
    return result_text(CommandResult::kDone, "%s %s", option.key, value ? "on" : "off");
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

CommandResult run_operator_command(int id) {
    for (const OptionSwitch& option : kOptionSwitches) {
        if (option.command == id) return toggle_option(option);
    }
    CommandResult done;
    switch (id) {
        case kCmdCycleLogs:
            CycleLogs(settings.logdir, "qxs", "log");
            return done;
        case kCmdExit:
            if (engine.loop != nullptr) engine.loop->quit();
            return done;
        case kCmdReload:
            reload_settings();
            show_switches();
            return done;
        case kCmdPause:
            set_paused(server_paused ? 0 : 1);
            return done;
        case kCmdPauseOn:
            set_paused(1);
            return done;
        case kCmdResume:
            set_paused(0);
            return done;
        case kCmdStatus:
            status_printout();
            return done;
        case kCmdSocketInfo:
            socket_info();
            return done;
        case kCmdSocketList:
            if (engine.table != nullptr) socket_list(*engine.table);
            return done;
        case kCmdAliasList:
            list_aliases();
            return done;
        case kCmdExtensionList:
            extension_table.print();
            return done;
        case kCmdGroupList:
            list_groups();
            return done;
        case kCmdUserList:
            list_users();
            return done;
        case kCmdAbout:
            print_banner();
            return done;
        default:
            return result_text(CommandResult::kUnknown, "%s", "unknown command");
    }
}

void show_switches() {
    Shell& front = shell();
    front.show_switch(kCmdPause, server_paused != 0);
    for (const OptionSwitch& option : kOptionSwitches) {
        front.show_switch(option.command, settings.*option.value != 0);
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
