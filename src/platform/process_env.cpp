// What a child is given besides its command line: the environment block
// and the directory it starts in; and the texts of the layer's failures.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "platform/dos_files.h"
#include "platform/process.h"
#include "platform/process_internal.h"
#include "platform/strings.h"

extern char** environ;

namespace qxs::process {
namespace {

// ---- The layer's last failure and the error texts ----

int g_error = 0;
std::string g_error_note;
char g_error_text[256];

// ---- The server's current directory ----

bool g_directory_set = false;
std::string g_directory;

}  // namespace

void set_failure(int code, std::string note) {
    g_error = code < 0 ? -code : code;
    g_error_note = std::move(note);
}

// ---- Environment and current directory ----

Environment server_environment() {
    Environment env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        env.emplace_back(*entry);
    return env;
}

void set_variable(Environment& env, std::string_view name, std::string_view value) {
    std::string entry;
    entry.reserve(name.size() + 1 + value.size());
    entry.append(name).append("=").append(value);
    for (std::string& existing : env) {
        if (existing.size() > name.size() && existing[name.size()] == '=' &&
            existing.compare(0, name.size(), name) == 0) {
            existing = std::move(entry);
            return;
        }
    }
    env.push_back(std::move(entry));
}

bool set_current_directory(const char* name) {
    if (name == nullptr) {
        g_directory_set = false;
        g_directory.clear();
        return true;
    }
    std::string host = dos::to_host(name);
    if (host.empty()) {
        set_failure(*name == '\0' ? ENOENT : ENAMETOOLONG);
        return false;
    }
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) {
        set_failure(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        set_failure(ENOTDIR);
        return false;
    }
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    g_directory = host;
    g_directory_set = true;
    return true;
}

std::string current_directory() {
    return g_directory_set ? g_directory : dos::home();
}

// ---- Error texts ----

int last_error() {
    return g_error;
}

const char* last_error_text(int code) {
    // strerrordesc_np is the English text whatever LC_MESSAGES says; libuv's
    // own codes (end of file, name resolution) have English texts of their own.
    // (uv_strerror is asked only for those: for others it allocates.)
    bool libuv_own = code == UV_EOF || code == UV_ECHARSET ||
                     (code <= UV_EAI_ADDRFAMILY && code >= UV_EAI_PROTOCOL);
    const char* text = libuv_own ? uv_strerror(code) : strerrordesc_np(code < 0 ? -code : code);
    if (text == nullptr) {
        format_text(g_error_text, sizeof g_error_text, "Unknown error %d", code);
    } else {
        copy_text(g_error_text, sizeof g_error_text, text);
    }
    return g_error_text;
}

const char* last_error_text() {
    if (!g_error_note.empty()) {
        copy_text(g_error_text, sizeof g_error_text, g_error_note.c_str());
        return g_error_text;
    }
    return last_error_text(g_error);
}

}  // namespace qxs::process
