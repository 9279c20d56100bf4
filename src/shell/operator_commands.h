// The operator's commands, by the identifiers of the window's menu items.
// Both front ends run them: the window from its menu, the console from the
// words typed on its standard input.
#pragma once

namespace qxs {

class EventLoop;

enum OperatorCommand : int {
    kCmdAbout = 40002,
    kCmdServerControl = 40004,
    kCmdStatus = 40006,
    kCmdDebug1 = 40007,
    kCmdDebug2 = 40008,
    kCmdExit = 40009,
    kCmdDebug3 = 40011,
    kCmdSound = 40013,
    kCmdGreedy = 40014,
    kCmdReload = 40015,
    kCmdUserList = 40016,
    kCmdGroupList = 40017,
    kCmdMinimize = 40018,
    kCmdAliasList = 40019,
    kCmdCycleLogs = 40020,
    kCmdCopyLog = 40022,
    kCmdResetLog = 40023,
    kCmdCopy = 40024,
    kCmdExtensionList = 40025,
    kCmdSocketInfo = 40026,
    kCmdSocketList = 40027,
    kCmdPause = 40028,
    kCmdConnects = 40029,
    kCmdCommands = 40030,
    kCmdFiles = 40031,
    kCmdClosing = 40032,
    kCmdHelp = 40034,
    // Not menu items: pausing and resuming outright, as the control channel does.
    kCmdPauseOn = 1,
    kCmdResume = 2,
};

// Runs one command; identifiers it does not know, and those the front end
// handles itself (the clipboard, help, the control program), do nothing
// here. Exit asks `loop` to quit.
void run_operator_command(int id, EventLoop& loop);

// The command of a word typed on the console ("pause", "reload", ...); 0
// when the word names none. Case is ignored.
int operator_command_for_word(const char* word);
// The words and what they do, for the console's "help".
const char* operator_command_help();

}  // namespace qxs
