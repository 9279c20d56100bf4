#include "shell/console_shell.h"

#include "shell/operator_commands.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qxs {
namespace {

void write_all(const char* text, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(STDOUT_FILENO, text, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a closed terminal or pipe: the text is lost, as off-screen
        text += n;
        length -= static_cast<size_t>(n);
    }
}

}  // namespace

void ConsoleShell::append_log(const char* text) {
    if (text != nullptr) write_all(text, std::strlen(text));
}

void ConsoleShell::message_box(const char* text, const char* title) {
    append_log("[");
    append_log(title);
    append_log("] ");
    append_log(text);
    append_log("\r\n");
}

void ConsoleShell::listen_for_commands(uv_loop_t* loop) {
    uv_stream_t* stream = nullptr;
    switch (uv_guess_handle(0)) {
        case UV_TTY:
            if (uv_tty_init(loop, &input_.tty, 0, 1) == 0) {
                stream = reinterpret_cast<uv_stream_t*>(&input_.tty);
            }
            break;
        case UV_NAMED_PIPE:
            if (uv_pipe_init(loop, &input_.pipe, 0) == 0) {
                if (uv_pipe_open(&input_.pipe, 0) == 0) {
                    stream = reinterpret_cast<uv_stream_t*>(&input_.pipe);
                } else {
                    uv_close(reinterpret_cast<uv_handle_t*>(&input_.pipe), nullptr);
                }
            }
            break;
        default:
            return;  // a file or nothing: no operator at the keyboard
    }
    if (stream == nullptr) return;
    if (uv_guess_handle(0) == UV_TTY) append_log("Type help for the operator's commands.\r\n");
    stream->data = this;
    uv_read_start(
        stream,
        [](uv_handle_t* handle, size_t, uv_buf_t* buffer) {
            auto* self = static_cast<ConsoleShell*>(handle->data);
            *buffer = uv_buf_init(self->read_buffer_, sizeof self->read_buffer_);
        },
        on_read);
    // Standard input must not keep the program running once the server stops.
    uv_unref(reinterpret_cast<uv_handle_t*>(stream));
}

void ConsoleShell::on_read(uv_stream_t* stream, ssize_t count, const uv_buf_t* buffer) {
    auto* self = static_cast<ConsoleShell*>(stream->data);
    if (count < 0) {
        uv_read_stop(stream);  // end of input: the server goes on without an operator
        return;
    }
    for (ssize_t i = 0; i < count; ++i) {
        char c = buffer->base[i];
        if (c == '\n') {
            self->line_[self->line_length_] = '\0';
            self->run_line();
            self->line_length_ = 0;
        } else if (c != '\r' && self->line_length_ + 1 < sizeof self->line_) {
            self->line_[self->line_length_++] = c;
        }
    }
}

void ConsoleShell::run_line() {
    char* word = line_;
    while (*word == ' ' || *word == '\t') ++word;
    size_t end = std::strlen(word);
    while (end > 0 && (word[end - 1] == ' ' || word[end - 1] == '\t')) word[--end] = '\0';
    if (*word == '\0') return;
    if (std::strcmp(word, "help") == 0 || std::strcmp(word, "?") == 0) {
        append_log(operator_command_help());
        return;
    }
    int id = operator_command_for_word(word);
    if (id == 0) {
        append_log("Unknown command '");
        append_log(word);
        append_log("': type help for the list.\r\n");
        return;
    }
    CommandResult result = run_operator_command(id);
    if (result.text[0] != '\0') {
        append_log(result.text);
        append_log("\r\n");
    }
}

}  // namespace qxs
