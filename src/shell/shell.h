// What the engine asks of its front end: the operator's window when there is
// a display, the console otherwise. The engine calls these through shell();
// it knows nothing of either front end.
#pragma once

namespace qxs {

enum class Beep { kDefault, kExclamation };

// The operator's commands, by the identifiers of the window's menu items.
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

class Shell {
public:
    virtual ~Shell() = default;

    // Appends text to the screen log as it stands (callers write their own
    // CR LF). Called often: must return quickly.
    virtual void append_log(const char* text) = 0;
    // A connection changed state: the status panel and title follow.
    virtual void refresh_status() = 0;
    // A message box with an OK button (a screen-log line on the console).
    virtual void message_box(const char* text, const char* title) = 0;
    virtual void beep(Beep kind) = 0;
    // A switch the engine owns (pause, an option, a debug detail: named by
    // its command) is now on or off; the front end shows it (a check mark).
    // The front end never keeps the value itself.
    virtual void show_switch(int command, bool on) = 0;
    // The timer message to the main window, first thing in every tick.
    virtual void tick() = 0;
    // The tick runs only while something needs it: a busy slot, or a front
    // end that says so here (a shown window animating). A front end that
    // starts needing ticks again calls wake_tick() (engine/server.h).
    virtual bool wants_ticks() const { return false; }
    // The head animation of the status panel, switched by the control
    // socket's qxsheadon and qxsheadoff. Only a window has one.
    virtual void set_head_animation(bool /*on*/) {}
};

// The front end in use; a silent one until set_shell is called.
Shell& shell();
// Installs the front end (nullptr: the silent one again); returns the previous.
Shell* set_shell(Shell* front_end);

}  // namespace qxs
