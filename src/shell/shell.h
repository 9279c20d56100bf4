// What the engine asks of its front end: the operator's window when there is
// a display, the console otherwise. The engine calls these through shell();
// it knows nothing of either front end.
#pragma once

namespace qxs {

enum class Beep { kDefault, kExclamation };

// Menu items whose check marks follow settings.
enum MenuId : int {
    kMenuSound = 40013,
    kMenuGreedy = 40014,
    kMenuMinimize = 40018,
    kMenuPause = 40028,
    kMenuConnects = 40029,
    kMenuCommands = 40030,
    kMenuFiles = 40031,
    kMenuClosing = 40032,
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
    // Sets (1), clears (0) or toggles (-1) a menu check mark; the state the
    // item has afterwards.
    virtual int set_menu_check(int id, int value) = 0;
    // The timer message to the main window, first thing in every tick.
    virtual void tick() = 0;
};

// The front end in use; a silent one until set_shell is called.
Shell& shell();
// Installs the front end (nullptr: the silent one again); returns the previous.
Shell* set_shell(Shell* front_end);

}  // namespace qxs
