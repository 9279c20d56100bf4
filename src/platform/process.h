// Child processes: CGI programs and the scripts of generated batch files.
//
// A program is started from a command line split at blanks (spaces and tabs;
// a run of them is one separator) into its arguments. No shell ever sees the
// line: quotes, '$', ';', '|', '*' and backticks reach the program as they
// stand, so nothing in a query string is interpreted. The first word names
// the program:
//   - a DOS-style name (a drive "x:" or a '\' in it) is translated with
//     dos::to_host;
//   - a name with a '/' is used as it stands (a relative one is relative to
//     the directory the child starts in);
//   - a bare name is looked up in the PATH of the child's environment;
//   - a name ending in ".bat" (any case) is a generated batch file, which
//     this layer runs itself: see start_batch.
// A file with a "#!" line is run by the interpreter it names; one without is
// handed to /bin/sh, as execvp does.
//
// Every child starts in the server's current directory (below), leads a new
// process group of its own (so that ending it ends everything it started),
// and inherits no descriptor of the server but the standard input and output
// it is given.
//
// The layer never calls back into its owner. The owner polls status() (it
// never blocks), may end() the program, and release()s its handle when done;
// the layer reaps every child, released or not, so none is left a zombie.
// Everything here runs on the loop's thread.
#pragma once

#include <sys/types.h>
#include <uv.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qxs::process {

// "NAME=value" strings, the whole environment of a child.
using Environment = std::vector<std::string>;

// A copy of the server's own environment, to be added to with
// set_variable. The server's environment itself is never changed here.
Environment server_environment();
// Sets `name` to `value` in `env`, replacing an entry of exactly that name
// (names are compared with case, so "Content_File" and "Content_FIle" are
// two variables) or adding one at the end.
void set_variable(Environment& env, std::string_view name, std::string_view value);

// The server's current directory: where children start. A launch may change
// it without changing the real directory of the server's process, whose
// relative names always resolve against the server home. Until it is set it
// follows dos::home().
// `name` is a DOS-style or host name; false (and last_error) when it is not
// a directory. nullptr goes back to following the home.
[[nodiscard]] bool set_current_directory(const char* name);
// The host path of the server's current directory.
std::string current_directory();

struct Options {
    // The child's whole environment; empty means the server's own.
    Environment environment;
    // Descriptors the caller opened and keeps owning (the child gets copies
    // as its descriptors 0 and 1); -1 gives the child /dev/null instead.
    int stdin_fd = -1;
    int stdout_fd = -1;
    // The child's standard error is always /dev/null: the server's own is its
    // report channel (a supervisor's log, the test harness's clean-stderr
    // check), and on the desktop a CGI program's error output went nowhere.
};

// A started program. Opaque; the layer owns its memory.
struct Child;

// Starts the program of `command_line` on `loop`. Returns the child, owned by
// the layer until the caller passes it to release(); nullptr when it could
// not be started, with last_error() and last_error_text() saying why (a
// missing program is ENOENT, "No such file or directory").
[[nodiscard]] Child* start(uv_loop_t* loop, const std::string& command_line,
                           const Options& options);

// start() for a program and arguments given one by one: each reaches the
// program as one argument, blanks and all (a file name under a home with a
// blank in it, a script's name from a request path). words[0] is the
// program, named as for start().
[[nodiscard]] Child* start_arguments(uv_loop_t* loop, std::vector<std::string> words,
                                     const Options& options);

// Runs a generated DOS batch file: its SET lines are added to (or replace
// in) the options' environment; REM lines, empty lines and other commands are
// skipped; the script of its first CALL line (a DOS-style name) is started
// with the words of that line, in which %0 is the batch file's name and %1 to
// %9 the batch file's `arguments` (an argument not given is no word at all;
// one holding blanks is still one word), and "%%" is '%'; a stretch in double
// quotes is one word, as for the DOS interpreter. In a SET value only "%%" is changed ("%%3D" is
// "%3D"), so a query string keeps its own %xx escapes. A file that cannot be read or has no CALL
// line is a failed start, as for start().
[[nodiscard]] Child* start_batch(uv_loop_t* loop, const char* batch_file,
                                 const std::vector<std::string>& arguments, const Options& options);

enum class State {
    kRunning,
    kEnded,
    kFailed,  // no child to test (a null handle)
};

struct Status {
    State state;
    int exit_code;  // kEnded: the exit status, 0 when ended by a signal
    int signal;     // kEnded: the signal that ended it, 0 when it exited
};

// The zero-wait test. A program is seen to have ended once the loop has
// handled its SIGCHLD, so at most one turn of the loop after it ended.
Status status(const Child* child);

// The child's process id, which is also its process group's id.
pid_t pid(const Child* child);

// Ends the program and everything it started: SIGTERM to its process group
// now, SIGKILL to the group `grace_ms` milliseconds later (at once when 0),
// on a timer of the loop; nothing waits. A program that has already ended is
// left alone; calling end() again while the SIGKILL is pending does nothing
// more. 0, or a negative errno when the group cannot be signalled.
[[nodiscard]] int end(Child* child, unsigned grace_ms);

// The caller is done with `child`, which it must not use again. A running
// program is not ended by this (call end() first): the layer keeps the
// record until the program has ended, has been reaped, and a pending SIGKILL
// has been sent, and frees it then. nullptr is ignored.
void release(Child* child);

// Server shutdown, before `loop` is torn down: every program of the loop
// still running gets SIGTERM to its group; those still there after
// `grace_ms` milliseconds get SIGKILL. This does wait, at most `grace_ms`
// plus a second for killed programs to be reaped: the server is ending and
// its loop runs no more. Every child of the loop is released (a handle the
// owner still holds must not be used afterwards) and freed by the loop's
// close callbacks, which the EventLoop's destructor runs. Must be called
// before the loop is torn down if any child was started on it.
void shutdown(uv_loop_t* loop, unsigned grace_ms);

// How many children of `loop` the layer still holds, released or not.
size_t held_count(uv_loop_t* loop);

// The errno of the layer's last failure (a libuv code is turned back into
// its errno).
int last_error();
// The English message text for an errno or a (negative) libuv code, whatever
// the locale: at most 255 characters in one process-wide buffer that the next
// call overwrites.
const char* last_error_text(int code);
// The text of the layer's last failure, naming the problem where an errno
// alone would not ("Batch file has no CALL line: c:\...").
const char* last_error_text();

}  // namespace qxs::process
