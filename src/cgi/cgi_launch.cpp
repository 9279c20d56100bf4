#include "cgi/cgi_launch.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cgi/cgi_files.h"
#include "config/access_tables.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "logging/files.h"
#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/file_names.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "request/error_answers.h"
#include "request/path_mapping.h"

namespace qxs {
namespace {

// The longest command line started. A query string alone may be 1023
// characters, so a line can be longer; it is refused, never cut.
constexpr size_t kCommandLineMax = 1023;

// How far into the extension the path info is looked for.
constexpr size_t kExtensionScan = 255;

void cgi_error(Connection& c, const char* text, const char* reason) {
    send_error_status(c, 500);
    send_text(c, text);
    screen_log(reason);
    screen_log("\r\n");
    set_status_text(c, reason);
    close_connection(c);
}

// Maps `virtual_path` into `name`; false when the request was answered.
bool map_or_refuse(Connection& c, char* virtual_path, char* name, const char* failure_text) {
    int result = aliasToDosDir(virtual_path, name, c.request_type, c.remote_address, &c.alias,
                               c.auth_user, c.auth_password);
    if (result == kRefused) {
        // Scripts always ask in this realm, whatever security_realm says.
        send_text(c,
                  "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic "
                  "realm=\"QXS-test-server\"\r\n\r\n");
        close_connection(c);
        return false;
    }
    if (result < 0) {
        cgi_error(c, failure_text, "CGI ERROR 1 dopostcgi()");
        return false;
    }
    return true;
}

void name_files(const Connection& c, CgiLaunch& launch) {
    const char* temp = settings.tempdir;
    format_text(launch.profile, sizeof launch.profile, "%sCGI-in%d.qxs", temp, c.slot);
    format_text(launch.output, sizeof launch.output, "%sCGI-ou%d.qxs", temp, c.slot);
    format_text(launch.content, sizeof launch.content, "%sCGI-co%d.qxs", temp, c.slot);
    format_text(launch.batch, sizeof launch.batch, "%sqxscgi%d.bat", temp, c.slot);
    launch.profile_host = host_path(launch.profile);
    launch.output_host = host_path(launch.output);
    launch.content_host = host_path(launch.content);
}

// The path info: from the first separator after the script's extension;
// the request path is cut there.
void split_logical_path(Connection& c, CgiLaunch& launch) {
    char* extension = c.path + (file_extension(c.path) - c.path);
    for (size_t i = 0; i < kExtensionScan && extension[i] != '\0'; ++i) {
        if (is_path_separator(extension[i])) {
            copy_text(launch.logical_path, sizeof launch.logical_path, extension + i);
            extension[i] = '\0';
            launch.has_logical_path = true;
            return;
        }
    }
}

void failed_start(Connection& c, const char* reason) {
    screen_log("Last error was ");
    screen_log(reason);
    screen_log("\r\n");
    send_error_status(c, 500);
    char text[512];
    format_text(text, sizeof text,
                "<h1>QXServer - CGI Error</h1>An error occurred when trying to run that "
                "program.<p>  The result '%s'\r\n",
                reason);
    send_text(c, text);
    close_connection(c);
}

// The "std" option: the program's standard input reads the content file and
// its standard output writes the output file. False when a file could not
// be opened; the connection is then left to its read time-out.
bool open_standard_files(Connection& c, const CgiLaunch& launch) {
    int out = create_private_file(launch.output);
    if (out < 0) {
        screen_log("Error opening standard cgi file 1\r\n");
        return false;
    }
    c.cgi_out_handle = out;
    int in = dos::open(launch.content, O_RDONLY);
    if (in < 0) {
        screen_log("Error opening standard cgi file 2\r\n");
        return false;
    }
    c.cgi_in_handle = in;
    return true;
}

std::string join_words(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        if (!line.empty()) line += ' ';
        line += word;
    }
    return line;
}

}  // namespace

void dopostcgi(Connection& c) {
    CgiLaunch launch;
    name_files(c, launch);
    split_logical_path(c, launch);
    if (launch.has_logical_path) {
        char physical[kMappedNameSize];
        if (!map_or_refuse(c, launch.logical_path, physical,
                           "<h1>QXServer - CGI Error</h1>Could not access the cgi PATH file.")) {
            return;
        }
        launch.physical_path = host_path(physical);
    }
    if (!map_or_refuse(c, c.path, launch.script,
                       "<h1>QXServer - CGI Error</h1>Could not access the cgi SCRIPT file.")) {
        return;
    }
    launch.script_host = host_path(launch.script);

    if (writecgifile(c, launch) != 0) {
        cgi_error(c, "<h1>QXServer - CGI Error</h1>Could not create the cgi file.",
                  "CGI ERROR writecgifile()");
        return;
    }
    // Reading the form fields failed and closed the connection.
    if (c.state == kIdle) return;

    // Each convention gets its arguments one by one, so that a blank in a
    // name (from the request path, or a home with a blank) splits nothing.
    const char* extension = file_extension(c.path);
    const bool batch = compare_no_case(extension, "BAT") == 0;
    const bool perl = compare_no_case(extension, "PL") == 0;
    process::Options options;
    std::vector<std::string> words;
    if (batch) {
        // Run by the process layer: its SET lines are the environment.
        static_cast<void>(write_cgi_batch(c, launch));
        char batch_name[sizeof launch.batch];
        format_text(batch_name, sizeof batch_name, "%sQXScgi%d.bat", settings.tempdir, c.slot);
        words = {host_path(batch_name), launch.profile_host, launch.content_host,
                 launch.output_host};
    } else if (perl) {
        options.environment = set_cgi_environment(c, launch);
        if (!process::set_current_directory(settings.Perl_Dir)) {
            screen_logf("Perl_Dir '%s' cannot be the current directory: %s\r\n", settings.Perl_Dir,
                        process::last_error_text());
        }
        words = {settings.Perl_Compiler, launch.script_host, launch.profile_host};
    } else {
        options.environment = set_cgi_environment(c, launch);
        words = {launch.script_host, launch.profile_host, launch.content_host, launch.output_host};
    }
    if (has_query(c)) words.emplace_back(c.query_string);
    const std::string command_line = join_words(words);
    screen_log("CGI command '");
    screen_log(command_line.c_str());
    screen_log("'\r\n");

    const long size = file_size_and_date(launch.script, nullptr, nullptr);
    if (size < 1) {
        screen_logf("Error finding cgi file.  FS was %ld.\r\n", size);
        close_connection(c);
        return;
    }
    if (c.alias != nullptr && c.alias->virtual_path != nullptr &&
        std::strstr(c.alias->virtual_path, "std") != nullptr) {
        if (!open_standard_files(c, launch)) return;
        options.stdin_fd = c.cgi_in_handle;
        options.stdout_fd = c.cgi_out_handle;
    }

    uv_loop_t* loop = engine.loop != nullptr ? engine.loop->uv() : nullptr;
    process::Child* child = nullptr;
    std::string reason;
    if (command_line.size() > kCommandLineMax) {
        screen_logf("CGI command line of %zu characters is longer than %zu: not started\r\n",
                    command_line.size(), kCommandLineMax);
        reason = process::last_error_text(E2BIG);
    } else if (batch) {
        const std::vector<std::string> arguments(words.begin() + 1, words.end());
        child = process::start_batch(loop, words[0].c_str(), arguments, options);
    } else {
        child = process::start_arguments(loop, words, options);
    }
    if (child == nullptr && reason.empty()) reason = process::last_error_text();
    screen_log("aname = '");
    screen_log(words[0].c_str());
    screen_log("'\r\n");
    screen_logf("CreateProccess return was %d\r\n", child != nullptr ? 1 : 0);
    if (child == nullptr) {
        failed_start(c, reason.c_str());
        return;
    }
    c.cgi_process = child;
    c.state = kCgiWait;
    // Nothing here waits for a program to be ready for input.
    screen_log("CGI wait was ok\r\n");
}

}  // namespace qxs
