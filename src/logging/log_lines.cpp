#include "logging/log_lines.h"

#include <cstring>

namespace qxs {

void LogLines::append(const char* text, size_t length) {
    text_.append(text, length);
    // Every line feed in the new piece completes a line.
    for (size_t i = text_.size() - length; i < text_.size(); ++i) {
        if (text_[i] != '\n') continue;
        lengths_.push_back(i + 1 - complete_);
        complete_ = i + 1;
    }
    if (text_.size() > kCapacity) drop_oldest();
}

void LogLines::drop_oldest() {
    // Down to three quarters at once, so that a full log moves its text
    // once per few kilobytes, not once per line.
    size_t dropped = 0;
    while (!lengths_.empty() && text_.size() - dropped > kCapacity * 3 / 4) {
        dropped += lengths_.front();
        lengths_.pop_front();
        ++first_line_;
    }
    complete_ -= dropped;
    // An unfinished line longer than the whole log keeps its newest part.
    if (text_.size() - dropped > kCapacity) dropped = text_.size() - kCapacity;
    text_.erase(0, dropped);
}

std::string LogLines::lines_since(uint64_t after) const {
    size_t offset = 0;
    uint64_t number = first_line_;
    for (size_t length : lengths_) {
        if (number > after) break;
        offset += length;
        ++number;
    }
    return offset < complete_ ? text_.substr(offset, complete_ - offset) : std::string();
}

void LogLines::clear() {
    first_line_ += lengths_.size();
    lengths_.clear();
    text_.clear();
    complete_ = 0;
}

LogLines& screen_log_lines() {
    static LogLines lines;
    return lines;
}

}  // namespace qxs
