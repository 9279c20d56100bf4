// The console front end: the screen log goes to standard output, each text
// written at once and never held in a buffer, so a supervisor or a test sees
// it immediately. Message boxes become screen-log lines; beeps are silent.
// The operator's commands are typed on standard input, one word per line
// ("pause", "reload", "help", ...); what a command did is told on the
// screen log, switches with their new state.
#pragma once

#include <uv.h>

#include "shell/shell.h"

namespace qxs {

class ConsoleShell final : public Shell {
public:
    void append_log(const char* text) override;
    void refresh_status() override {}
    void message_box(const char* text, const char* title) override;
    void beep(Beep) override {}
    void show_switch(int, bool) override {}
    void tick() override {}

    // Reads commands from standard input when it is a terminal or a pipe.
    void listen_for_commands(uv_loop_t* loop);

private:
    static void on_read(uv_stream_t* stream, ssize_t count, const uv_buf_t* buffer);
    void run_line();

    union {
        uv_tty_t tty;
        uv_pipe_t pipe;
    } input_{};
    char read_buffer_[256];
    char line_[128];
    size_t line_length_ = 0;
};

}  // namespace qxs
