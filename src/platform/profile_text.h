// The bytes of one profile file and an index of its sections and keys, so
// that a lookup costs the same in a settings file of twenty lines as in a
// counter file of twenty thousand. Used by profile.cpp, which adds the disk
// and the cache; this part never touches a file.
//
// Reading rules (those of the Windows profile functions):
//   - a line is its bytes up to LF; a CR before the LF belongs to the line
//     end, not to the text;
//   - blank lines and lines whose first non-blank byte is ';' carry nothing;
//   - "[name]" opens a section; the name runs to the line's last ']', so a
//     name holding ']' (a gopher selector) still reads back;
//   - any other line in a section is "key=value", split at its first '=';
//     a line without '=' is a key with an empty value; lines before the first
//     section belong to none;
//   - names of sections and keys are trimmed of blanks and match without
//     regard to case; the first occurrence of a section, and of a key within
//     it, wins (keys of a repeated section are not seen);
//   - a key may itself hold '=' (a referring URL with a query): it matches the
//     line that begins with that key followed by '=', so such an entry reads
//     back instead of gaining a new line on every write.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qxs::profile {

class ProfileText {
public:
    // Takes the bytes of a file and indexes them.
    void assign(std::string content);
    // How many times assign has indexed bytes, so that tests can tell a
    // cached file from one read again.
    static unsigned long assigned();
    const std::string& content() const { return content_; }

    // The value of `key` in `section`, blanks trimmed. False when missing.
    bool find(std::string_view section, std::string_view key, std::string_view* value) const;

    // A write of key=value planned against the current bytes: either a line
    // of the same length overwritten in place at `offset`, or the whole new
    // content of the file.
    struct Edit {
        bool in_place = false;
        size_t offset = 0;
        std::string text;
    };
    Edit plan_write(std::string_view section, std::string_view key, std::string_view value) const;

    // Puts an in-place edit into the bytes; the index stays valid because
    // plan_write only overwrites in place when no '=' moves.
    void apply_in_place(const Edit& edit);

private:
    // Where a key's line lies in the bytes.
    struct KeyLine {
        size_t line_start;  // first byte of the line
        size_t line_end;    // end of its text, before the line end
        size_t key_start;   // the key as spelled in the file, trimmed
        size_t key_length;
        size_t value_start;  // just after the key's '=' (line_end without one)
    };
    // Where a new key of a section goes: just after its last non-blank line.
    struct Section {
        size_t insert_at;
        bool needs_line_end;  // that line is the last of the file and has no line end
    };

    void index_line(size_t start, size_t end, size_t next, std::string& section_name,
                    Section*& current);
    bool can_overwrite(const KeyLine& line, std::string_view value, size_t length) const;
    // "section\0key", lower case, in lookup_.
    void make_lookup(std::string_view section, std::string_view key) const;

    std::string content_;
    std::string_view line_end_ = "\r\n";
    std::unordered_map<std::string, Section> sections_;
    std::unordered_map<std::string, KeyLine> keys_;
    mutable std::string lookup_;  // reused so that a lookup allocates nothing
};

}  // namespace qxs::profile
