// What the files of the process layer share; not for the rest of the server.
//
// Batch files: Linux has no DOS command interpreter, so the layer takes from
// a generated batch file what such an interpreter would do with it: its SET
// lines and the command line of its CALL (batch_file.cpp).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qxs::process {

// The words of a command line: split at spaces and tabs, a run of them being
// one separator. Nothing else in the line means anything.
std::vector<std::string> split_words(std::string_view line);

struct BatchRun {
    // The SET lines in file order: name and value, "%%" made '%'. An empty
    // value removes the variable, as SET does.
    std::vector<std::pair<std::string, std::string>> variables;
    // The command of the first CALL line, %0-%9 and "%%" expanded.
    std::string command_line;
    // Its words: split at blanks before the expansion, so that an argument
    // holding a blank stays one word, and a word in double quotes (a script
    // name with a blank) is one word without its quotes. A word that expands
    // to nothing (an argument not given) is left out.
    std::vector<std::string> command_words;
};

// Parses the text of a batch file (CR LF or LF lines; a Ctrl-Z ends it).
// `arguments` are the batch file's %1, %2, ...; `name` is its %0. Keywords
// are matched without case and a leading '@' is dropped. False when the text
// has no CALL line.
[[nodiscard]] bool parse_batch(std::string_view text, std::string_view name,
                               const std::vector<std::string>& arguments, BatchRun* out);

// Reads and parses the batch file `name` (a DOS-style name). 0, or an errno
// with `note` describing the failure.
[[nodiscard]] int read_batch(const char* name, const std::vector<std::string>& arguments,
                             BatchRun* out, std::string* note);

// Records the layer's last failure: an errno or a libuv code, and a text
// naming the problem when the errno's own text would not (process_env.cpp).
void set_failure(int code, std::string note = {});

}  // namespace qxs::process
