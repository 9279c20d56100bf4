#include "shell/console_shell.h"

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

int ConsoleShell::set_menu_check(int id, int value) {
    int index = id - kFirstMenuId;
    if (index < 0 || index >= kMenuIds) return 0;
    bool was = checks_[index];
    checks_[index] = value < 0 ? !was : value != 0;
    return was ? 0 : 1;
}

}  // namespace qxs
