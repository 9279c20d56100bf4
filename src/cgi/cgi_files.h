// What a CGI program is handed besides its command line: the profile file
// with the request and the decoded form fields, the generated batch file,
// and the environment block. Used by the launch (cgi_launch.cpp).
//
// Names stay DOS-style inside the server. Every name written for a program
// to open (in the profile, the batch file, the environment, on the command
// line) is the host path, since a Linux program cannot open
// "c:\qxs\temp\CGI-in0.qxs".
//
// A request value written into the profile or the batch file cannot add
// lines to it: CR, LF and Ctrl-Z are written as %0D, %0A and %1A (in the
// batch file with the '%' doubled, which its SET reads as one). A path like
// "/cgi/x.bat/%0D%0A[System]..." would otherwise plant sections, keys or a
// CALL of its own.
#pragma once

#include <memory>
#include <string>

#include "config/settings.h"
#include "engine/connection.h"
#include "platform/process.h"
#include "request/path_mapping.h"

namespace qxs {

class NameList;

// The names and paths of one launch; valid while the launch runs.
struct CgiLaunch {
    // The slot's files, DOS-style as formed from `tempdir`.
    char profile[sizeof Settings::tempdir + 32] = "";
    char content[sizeof Settings::tempdir + 32] = "";
    char output[sizeof Settings::tempdir + 32] = "";
    char batch[sizeof Settings::tempdir + 32] = "";
    // The same as host paths.
    std::string profile_host;
    std::string content_host;
    std::string output_host;
    // The request path after the script's name ("/a/b" of
    // "/cgi/prog.exe/a/b"), and its mapped file as a host path.
    bool has_logical_path = false;
    char logical_path[sizeof Connection::path] = "";
    std::string physical_path;
    // The script's mapped file.
    char script[kMappedNameSize] = "";
    std::string script_host;
};

// The host path of a DOS-style name (the name itself should it not fit).
std::string host_path(const char* name);

// A query string worth passing on: present and not empty.
bool has_query(const Connection& c);

// Creates the output file empty and writes the profile file: the [CGI],
// [System] and [Extra Headers] sections, then each form field (newest
// first) into [Form Literal], or into an external field file named in
// [Form External]. 0, or -1 when a file cannot be created. When reading the
// form closed the connection, the result is 0 and c.state is kIdle.
int writecgifile(Connection& c, const CgiLaunch& launch);

// The form fields of the content file in `list` (each tag 1 when the raw
// field held '%'); the buffer the entries point into, which must outlive the
// list; nullptr when the file is empty, absent or unreadable (the last two
// close the connection). At most kMaxFormFields fields are taken.
inline constexpr int kMaxFormFields = 256;
std::unique_ptr<char[]> read_form_fields(Connection& c, const char* content_file, NameList& list);

// The server's environment with the request's variables added.
process::Environment set_cgi_environment(const Connection& c, const CgiLaunch& launch);

// Writes the batch file that SETs the request's values and CALLs the
// script. 0, or -1 when it cannot be created.
int write_cgi_batch(const Connection& c, const CgiLaunch& launch);

}  // namespace qxs
