// Parsing, lookup and planned edits of profile text; see profile_text.h.
#include "platform/profile_text.h"

#include <algorithm>
#include <utility>

#include "platform/strings.h"

namespace qxs::profile {
namespace {

constexpr size_t npos = std::string_view::npos;

unsigned long assign_count = 0;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
    size_t start = 0;
    size_t end = text.size();
    while (start < end && is_blank(text[start])) ++start;
    while (end > start && is_blank(text[end - 1])) --end;
    return text.substr(start, end - start);
}

void append_lower(std::string& out, std::string_view text) {
    for (char c : text) out.push_back(ascii_lower(c));
}

}  // namespace

void ProfileText::make_lookup(std::string_view section, std::string_view key) const {
    lookup_.clear();
    append_lower(lookup_, section);
    lookup_.push_back('\0');
    append_lower(lookup_, key);
}

unsigned long ProfileText::assigned() {
    return assign_count;
}

void ProfileText::assign(std::string content) {
    ++assign_count;
    content_ = std::move(content);
    sections_.clear();
    keys_.clear();
    const std::string_view text(content_);

    // The file's own line end, taken from its first line; a file without one
    // gets the Windows line end.
    size_t first = text.find('\n');
    line_end_ = (first != npos && (first == 0 || text[first - 1] != '\r')) ? "\n" : "\r\n";
    keys_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);

    std::string section_name;
    Section* current = nullptr;
    size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;  // a UTF-8 mark is not text
    while (pos < text.size()) {
        size_t newline = text.find('\n', pos);
        size_t next = newline == npos ? text.size() : newline + 1;
        size_t end = next;
        if (newline != npos)
            end = (newline > pos && text[newline - 1] == '\r') ? newline - 1 : newline;
        index_line(pos, end, next, section_name, current);
        pos = next;
    }
}

void ProfileText::index_line(size_t start, size_t end, size_t next, std::string& section_name,
                             Section*& current) {
    const std::string_view line(content_.data() + start, end - start);
    const std::string_view text = trim(line);
    if (text.empty()) return;
    const size_t text_start = start + static_cast<size_t>(text.data() - line.data());

    if (text[0] == '[') {
        size_t close = text.rfind(']');
        if (close != npos && close > 0) {
            section_name.clear();
            append_lower(section_name, trim(text.substr(1, close - 1)));
            auto [it, added] = sections_.try_emplace(section_name, Section{next, next == end});
            // Keys of a repeated section are never seen, nor placed there.
            current = added ? &it->second : nullptr;
            return;
        }
    }
    if (current == nullptr) return;
    *current = Section{next, next == end};
    if (text[0] == ';') return;

    // The key ends at the first '='; every later '=' ends a longer key that
    // holds '=' itself. try_emplace keeps the first occurrence of each.
    size_t equals = text.find('=');
    std::string_view key = trim(text.substr(0, equals));
    if (!key.empty()) {
        const size_t key_start = start + static_cast<size_t>(key.data() - line.data());
        size_t value_start = equals == npos ? end : text_start + equals + 1;
        make_lookup(section_name, key);
        keys_.try_emplace(lookup_, KeyLine{start, end, key_start, key.size(), value_start});
    }
    while (equals != npos) {
        equals = text.find('=', equals + 1);
        if (equals == npos) break;
        key = trim(text.substr(0, equals));
        const size_t key_start = start + static_cast<size_t>(key.data() - line.data());
        make_lookup(section_name, key);
        keys_.try_emplace(lookup_,
                          KeyLine{start, end, key_start, key.size(), text_start + equals + 1});
    }
}

bool ProfileText::find(std::string_view section, std::string_view key,
                       std::string_view* value) const {
    make_lookup(trim(section), trim(key));
    auto it = keys_.find(lookup_);
    if (it == keys_.end()) return false;
    const KeyLine& line = it->second;
    *value =
        trim(std::string_view(content_).substr(line.value_start, line.line_end - line.value_start));
    return true;
}

// In place only when the line keeps its length and every '=' of the line
// stays where it was, so that no entry of the index moves: the line is
// already "key=value" with no blanks before the '=', and neither the old nor
// the new value holds '='.
bool ProfileText::can_overwrite(const KeyLine& line, std::string_view value, size_t length) const {
    if (length != line.line_end - line.line_start) return false;
    if (line.key_start != line.line_start) return false;
    size_t equals = line.key_start + line.key_length;
    if (equals >= line.line_end || content_[equals] != '=' || line.value_start != equals + 1) {
        return false;
    }
    std::string_view old_value(content_.data() + line.value_start,
                               line.line_end - line.value_start);
    return old_value.find('=') == npos && value.find('=') == npos;
}

ProfileText::Edit ProfileText::plan_write(std::string_view section, std::string_view key,
                                          std::string_view value) const {
    section = trim(section);
    key = trim(key);
    const std::string_view text(content_);
    Edit edit;

    make_lookup(section, key);
    auto found = keys_.find(lookup_);
    if (found != keys_.end()) {
        // The key keeps its spelling in the file; only its line changes.
        const KeyLine& line = found->second;
        std::string_view spelling = text.substr(line.key_start, line.key_length);
        size_t length = spelling.size() + 1 + value.size();
        if (can_overwrite(line, value, length)) {
            edit.in_place = true;
            edit.offset = line.line_start;
            edit.text.reserve(length);
            edit.text.append(spelling).append("=").append(value);
            return edit;
        }
        edit.text.reserve(text.size() + length);
        edit.text.append(text.substr(0, line.line_start));
        edit.text.append(spelling).append("=").append(value);
        edit.text.append(text.substr(line.line_end));
        return edit;
    }

    edit.text.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    auto section_found = sections_.find(lookup_.substr(0, lookup_.find('\0')));
    if (section_found != sections_.end()) {
        const Section& place = section_found->second;
        edit.text.append(text.substr(0, place.insert_at));
        if (place.needs_line_end) edit.text.append(line_end_);
        edit.text.append(key).append("=").append(value).append(line_end_);
        edit.text.append(text.substr(place.insert_at));
        return edit;
    }

    edit.text.append(text);
    if (!text.empty() && text.back() != '\n') edit.text.append(line_end_);
    edit.text.append("[").append(section).append("]").append(line_end_);
    edit.text.append(key).append("=").append(value).append(line_end_);
    return edit;
}

void ProfileText::apply_in_place(const Edit& edit) {
    content_.replace(edit.offset, edit.text.size(), edit.text);
}

}  // namespace qxs::profile
