// A front end for tests: keeps everything written to the screen log and the
// switches shown, and installs itself for the lifetime of the object.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "shell/shell.h"

namespace qxs::test {

class CaptureShell final : public Shell {
public:
    CaptureShell() { previous_ = set_shell(this); }
    ~CaptureShell() override { set_shell(previous_); }

    void append_log(const char* text) override { log += text; }
    void refresh_status() override {}
    void message_box(const char* text, const char* title) override {
        boxes += std::string(title) + ": " + text + "\n";
    }
    void beep(Beep) override {}
    void show_switch(int command, bool on) override { checks[command] = on; }
    void tick() override {}
    void set_head_animation(bool on) override { head_animation = on ? 1 : 0; }

    // The log so far, which starts again empty.
    std::string take() { return std::exchange(log, {}); }

    std::string log;
    std::map<int, bool> checks;
    std::string boxes;
    int head_animation = -1;  // never switched

private:
    Shell* previous_ = nullptr;
};

}  // namespace qxs::test
