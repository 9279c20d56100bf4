#include "logging/screen_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "logging/log_lines.h"
#include "shell/shell.h"

namespace qxs {
namespace {
char scratch[kScratchSize];
}

char* scratch_text() {
    return scratch;
}

void screen_log(const char* text) {
    if (text == nullptr) return;
    screen_log_lines().append(text, std::strlen(text));
    shell().append_log(text);
}

void screen_logf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    screen_log(scratch);
}

}  // namespace qxs
