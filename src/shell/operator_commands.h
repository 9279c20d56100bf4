// The operator's commands (the ids are in shell/shell.h). Every front end
// runs them through here: the window from its menu, the console from the
// words typed on its standard input, the control socket from its execute
// commands. The switches they turn (pause, the options, the debug details)
// belong to the engine; the front ends only show them.
#pragma once

namespace qxs {

struct CommandResult {
    enum Outcome { kDone, kUnknown, kFailed };
    Outcome outcome = kDone;
    // What happened, for a front end that answers someone: a switch's new
    // state ("sound on"), or why the command failed. "" when the command's
    // own screen-log lines say it all.
    char text[160] = "";
};

// Runs one command. Commands a front end handles itself (the clipboard,
// help, the control program) and identifiers that name no command are
// kUnknown here. Exit asks the engine's loop to quit.
CommandResult run_operator_command(int id);

// Tells the front end the state of every switch (start-up, and after the
// settings were read again).
void show_switches();

// The command of a word typed on the console ("pause", "reload", ...); 0
// when the word names none. Case is ignored.
int operator_command_for_word(const char* word);
// The words and what they do, for the console's "help".
const char* operator_command_help();

}  // namespace qxs
