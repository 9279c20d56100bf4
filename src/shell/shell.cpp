#include "shell/shell.h"

namespace qxs {
namespace {

// Before a front end exists, text for the screen log is lost, as it is
// before the window is created.
class SilentShell final : public Shell {
public:
    void append_log(const char*) override {}
    void refresh_status() override {}
    void message_box(const char*, const char*) override {}
    void beep(Beep) override {}
    void show_switch(int, bool) override {}
    void tick() override {}
};

SilentShell silent;
Shell* current = &silent;

}  // namespace

Shell& shell() {
    return *current;
}

Shell* set_shell(Shell* front_end) {
    Shell* previous = current == &silent ? nullptr : current;
    current = front_end != nullptr ? front_end : &silent;
    return previous;
}

}  // namespace qxs
