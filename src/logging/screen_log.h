// The one output channel to the operator. Callers test their own view and
// debug settings first and write their own CR LF; screen_log never filters.
#pragma once

#include <cstddef>

namespace qxs {

// Appends the text to the screen log: the front end shows it, and its
// lines are kept in screen_log_lines() (logging/log_lines.h).
void screen_log(const char* text);

// Formats into the scratch text (1024 characters, cut there) and logs it.
void screen_logf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The process-wide scratch text: a formatting target for short texts that
// are used at once. Nothing keeps a reference to it across calls.
inline constexpr size_t kScratchSize = 1024;
char* scratch_text();

}  // namespace qxs
