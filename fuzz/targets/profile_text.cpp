// The profile layer's reader. Input: a first line "section|key|value", then
// the bytes of an INI file. The bytes are indexed and the key looked up, the
// value written (in place or as new bytes) and read back; then the same
// through the profile files on disk, with the cache between them.
// When section, key and value are plain (printable ASCII without blanks at
// either end; the key without '=' and not beginning with ';' or '['; key and
// section not empty), the value must read back after its write, from the
// bytes and from the file.
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/profile.h"
#include "platform/profile_text.h"

namespace {

bool plain(std::string_view text) {
    for (char c : text) {
        if (c < ' ' || c > '~') return false;
    }
    return text.empty() || (text.front() != ' ' && text.back() != ' ');
}

bool plain_name(std::string_view text) {
    return !text.empty() && plain(text) && text.front() != ';' && text.front() != '[';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    std::string_view rest = fuzz::as_text(data, size);
    std::string_view params = fuzz::take_until(rest, '\n');
    const std::string section(fuzz::take_until(params, '|'));
    const std::string key(fuzz::take_until(params, '|'));
    const std::string value(params);
    const bool round_trip = plain_name(section) && plain_name(key) &&
                            key.find('=') == std::string::npos && plain(value);

    profile::ProfileText text;
    text.assign(std::string(rest));
    std::string_view found;
    text.find(section, key, &found);
    profile::ProfileText::Edit edit = text.plan_write(section, key, value);
    if (edit.in_place) {
        fuzz::check(edit.offset + edit.text.size() <= text.content().size(),
                    "an in-place write past the end");
        text.apply_in_place(edit);
    } else {
        text.assign(edit.text);
    }
    bool present = text.find(section, key, &found);
    if (round_trip) fuzz::check(present && found == value, "a written value does not read back");

    // The same through the files, the cache in between.
    fuzz::reset_state();
    fuzz::write_file("p.ini", rest);
    char out[64];
    profile::get_string(section.c_str(), key.c_str(), "", out, sizeof out, "c:\\p.ini");
    profile::get_int(section.c_str(), key.c_str(), 7, "c:\\p.ini");
    if (profile::write_string(section.c_str(), key.c_str(), value.c_str(), "c:\\p.ini")) {
        std::string read(value.size() + 2, '#');
        profile::get_string(section.c_str(), key.c_str(), "", read.data(),
                            static_cast<int>(read.size()), "c:\\p.ini");
        if (round_trip) {
            fuzz::check(std::strcmp(read.c_str(), value.c_str()) == 0,
                        "a written value does not read back from the file");
            profile::forget_all();
            profile::get_string(section.c_str(), key.c_str(), "", read.data(),
                                static_cast<int>(read.size()), "c:\\p.ini");
            fuzz::check(std::strcmp(read.c_str(), value.c_str()) == 0,
                        "a written value does not read back once the cache is dropped");
        }
    } else if (round_trip) {
        fuzz::fail("a plain value cannot be written");
    }
    return 0;
}
