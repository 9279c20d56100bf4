// The screen log's recent past as complete lines, for front ends that show
// it later or elsewhere: the window's view and the control socket read whole
// lines from here, never the fragments callers write (a fixed text, then a
// file name, then "]\r\n" make one line).
//
// Bounded: at most kCapacity characters are held, the view's size. When
// more arrive, the oldest whole lines go first, so what is happening now is
// always there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace qxs {

class LogLines {
public:
    static constexpr size_t kCapacity = 32000;

    // Appends a piece of screen-log text; a line feed ends a line (its CR LF
    // stays part of it).
    void append(const char* text, size_t length);
    // The complete lines numbered above `after` (lines are numbered from 1
    // as they complete, and a number is never reused), joined with their
    // line ends. Lines dropped before anyone read them are gone.
    std::string lines_since(uint64_t after) const;
    // The number of the newest complete line; 0 before the first.
    uint64_t last_line() const { return first_line_ + lengths_.size() - 1; }
    // Everything held: the complete lines and the unfinished one.
    const std::string& text() const { return text_; }
    // Empties the log ("Reset Screen Log"); numbering goes on.
    void clear();

private:
    void drop_oldest();

    std::string text_;            // complete lines, then the unfinished one
    size_t complete_ = 0;         // characters of the complete lines in text_
    std::deque<size_t> lengths_;  // lengths of the complete lines held, oldest first
    uint64_t first_line_ = 1;     // number of the oldest line held
};

// The screen log's lines, fed by screen_log.
LogLines& screen_log_lines();

}  // namespace qxs
