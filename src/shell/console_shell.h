// The console front end: the screen log goes to standard output, each text
// written at once and never held in a buffer, so a supervisor or a test sees
// it immediately. Message boxes become screen-log lines; beeps are silent;
// menu checks are remembered only.
#pragma once

#include "shell/shell.h"

namespace qxs {

class ConsoleShell final : public Shell {
public:
    void append_log(const char* text) override;
    void refresh_status() override {}
    void message_box(const char* text, const char* title) override;
    void beep(Beep) override {}
    int set_menu_check(int id, int value) override;
    void tick() override {}

private:
    static constexpr int kFirstMenuId = 40000;
    static constexpr int kMenuIds = 64;
    bool checks_[kMenuIds] = {};
};

}  // namespace qxs
