#include "platform/process_internal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/dos_files.h"
#include "platform/strings.h"

namespace qxs::process {
namespace {

// The generated files are a few kilobytes; anything this large is not one.
constexpr size_t kMaxBatchSize = 1 << 20;
constexpr char kCtrlZ = 0x1a;

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim_left(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    return text.substr(i);
}

// When `line` begins with the command `keyword` (without case, followed by a
// blank or the end), what follows it with its leading blanks dropped.
bool command(std::string_view line, const char* keyword, std::string_view* rest) {
    size_t n = 0;
    for (; keyword[n] != '\0'; ++n) {
        if (n >= line.size() || ascii_upper(line[n]) != keyword[n]) return false;
    }
    if (n < line.size() && !is_blank(line[n])) return false;
    *rest = trim_left(line.substr(n));
    return true;
}

// "%%" is '%'; with `arguments`, "%0" to "%9" are replaced too. Any other
// '%' stays, so a query string's own "%41" reaches the script intact.
std::string expand(std::string_view text, std::string_view name,
                   const std::vector<std::string>* arguments) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next == '%') {
            out += '%';
            ++i;
        } else if (text[i] == '%' && arguments != nullptr && next >= '0' && next <= '9') {
            size_t n = static_cast<size_t>(next - '0');
            if (n == 0) {
                out += name;
            } else if (n <= arguments->size()) {
                out += (*arguments)[n - 1];
            }
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The words of a CALL line: like split_words, but a double quote starts or
// ends a quoted stretch in which blanks do not separate, as for the DOS
// interpreter. The quotes themselves are dropped.
std::vector<std::string> split_call_words(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            in_word = true;
        } else if (is_blank(c) && !quoted) {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

}  // namespace

std::vector<std::string> split_words(std::string_view line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) ++i;
        size_t start = i;
        while (i < line.size() && !is_blank(line[i])) ++i;
        if (i > start) words.emplace_back(line.substr(start, i - start));
    }
    return words;
}

bool parse_batch(std::string_view text, std::string_view name,
                 const std::vector<std::string>& arguments, BatchRun* out) {
    out->variables.clear();
    out->command_line.clear();
    out->command_words.clear();
    size_t end = text.find(kCtrlZ);
    if (end != std::string_view::npos) text = text.substr(0, end);

    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = trim_left(line);
        if (!line.empty() && line[0] == '@') line = trim_left(line.substr(1));

        std::string_view rest;
        if (command(line, "SET", &rest)) {
            size_t equals = rest.find('=');
            // "SET" alone or "SET name" only shows variables.
            if (equals == std::string_view::npos || equals == 0) continue;
            out->variables.emplace_back(expand(rest.substr(0, equals), name, nullptr),
                                        expand(rest.substr(equals + 1), name, nullptr));
        } else if (command(line, "CALL", &rest) && !rest.empty()) {
            // The script runs in place of the rest of the file: what follows
            // its CALL would only run after it, and the generated files end
            // there.
            out->command_line = expand(rest, name, &arguments);
            out->command_words.clear();
            for (const std::string& word : split_call_words(rest)) {
                std::string expanded = expand(word, name, &arguments);
                if (!expanded.empty()) out->command_words.push_back(std::move(expanded));
            }
            return true;
        }
        // REM, empty lines and any other command: nothing to do here.
    }
    return false;
}

int read_batch(const char* name, const std::vector<std::string>& arguments, BatchRun* out,
               std::string* note) {
    note->clear();
    int fd = dos::open(name, O_RDONLY);
    if (fd < 0) return errno;
    std::string text;
    char block[4096];
    for (;;) {
        ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            return err;
        }
        if (n == 0) break;
        text.append(block, static_cast<size_t>(n));
        if (text.size() > kMaxBatchSize) {
            ::close(fd);
            *note = std::string("Batch file too large: ") + name;
            return EFBIG;
        }
    }
    ::close(fd);
    if (!parse_batch(text, name, arguments, out)) {
        *note = std::string("Batch file has no CALL line: ") + name;
        return ENOEXEC;
    }
    return 0;
}

}  // namespace qxs::process
