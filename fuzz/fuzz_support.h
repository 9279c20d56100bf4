// What the fuzz targets share. Each target defines LLVMFuzzerTestOneInput,
// called by libFuzzer or by the replay program (replay_main.cpp) once per
// input. A target starts every input from the same state (settings, cached
// profiles, the connection table, the files it writes), so that a finding
// replays on its own, and it writes only inside the process's temporary
// home.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace qxs::fuzz {

// The process's temporary home (an absolute host path), made at the first
// call with the folders html, gopher, logs and temp, and removed with
// everything in it when the process exits.
const std::string& home();

// Writes `content` to home()/relative, making folders on the way.
void write_file(const std::string& relative, std::string_view content);

// Removes everything inside home()/relative, keeping the folder itself.
void empty_folder(const std::string& relative);

// The state every input starts from: no drive mappings, home() as the server
// home, no cached profile, the default settings with the document, log and
// temp folders of home() (c:\html\, c:\gopher\, c:\logs\, c:\temp\).
void reset_state();

// Loads the aliases, users and groups of a settings text (written into
// home() as tables.ini).
void load_tables(std::string_view settings_text);

// The text of `rest` up to the first `separator` (all of it when there is
// none); `rest` keeps what follows the separator.
std::string_view take_until(std::string_view& rest, char separator);

inline std::string_view as_text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A failed check of a target: reported like a crash, by libFuzzer and by
// the replay program alike.
[[noreturn]] void fail(const char* what);
inline void check(bool condition, const char* what) {
    if (!condition) fail(what);
}

}  // namespace qxs::fuzz
