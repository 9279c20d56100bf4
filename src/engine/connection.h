// The connection table: 32 slots, each holding one client connection from
// accept to close. Every buffer of a slot is part of the table, allocated
// once at start-up and reused; a connection never allocates a buffer of its
// own, which fixes the engine's memory when the table is created.
//
// Who ends a request. Every answer ends in one of three ways: a file is
// queued (state Send), a program is started (state CGIw), or the
// connection is closed with close_connection. Whatever a step calls may
// close the connection, so the reader, the only caller that goes on with a
// record after handing it to request handling, looks at `state` again
// before it touches the record; every other caller returns once its answer
// function has returned. Closing is idempotent: a closed slot stays closed
// whoever calls close_connection again, and nothing of it (the access log
// line, the socket, the file) is written or closed twice.
//
// Only the server thread touches the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "engine/name_list.h"
#include "engine/page_vars.h"
#include "platform/sockets.h"

namespace qxs {

struct Alias;
namespace process {
struct Child;
}

enum ConnectionState : int {
    kIdle = 0,     // slot free
    kRead = 1,     // request being read
    kSend = 2,     // a file is being sent
    kCgiWait = 8,  // a CGI program is running
};

enum RequestType : int {
    kRequestUnknown = 0,
    kRequestGopher = 1,
    kRequestGet = 2,
    kRequestPost = 3,
    kRequestHead = 4,
};

inline constexpr int kSlots = 32;
inline constexpr size_t kBuffInSizeMax = 4096;  // pbuffin
inline constexpr size_t kFileBufSize = 8192;    // filebuf, plus a terminating byte
inline constexpr size_t kOutBufSize = 16384;    // outbuf
inline constexpr size_t kLineBufSize = 2048;    // linebuf, plus a terminating byte
inline constexpr int kNoDescriptor = -1;
// How long a CGI program that is ended (its connection closed while it
// runs, its time-out passed, the server stopping) has between SIGTERM and
// SIGKILL.
inline constexpr unsigned kProgramEndGraceMs = 300;

// Everything one connection's request and answer leave in its slot. A new
// connection starts from these defaults as a whole (take_slot), so no field
// can carry one client's values into the next client's request.
struct RequestFields {
    // The client, as admission found it.
    uint16_t remote_port = 0;  // network order
    char remote_address[32] = "";
    char remote_host[256] = "";  // its name, or its address when none is looked up
    time_t start_time = 0;       // when the slot was taken

    // The request as it is read.
    int buffinlen = 0;     // bytes held in pbuffin
    char* line = nullptr;  // into linebuf or pbuffin: the piece handed to handle_line
    char raw_command[1024] = "";
    int request_type = kRequestUnknown;
    int full_request = 0;  // the request line carried a version word: headers follow
    int headers_done = 0;
    char path[1024] = "";          // the decoded request path
    char* query_string = nullptr;  // into path (after its '?'), or nullptr
    char user_agent[256] = "";
    char referer[256] = "";
    long content_length = 0;
    char content_type[64] = "";
    long body_received = 0;
    char auth_user[16] = "";
    char auth_password[16] = "";
    const Alias* alias = nullptr;  // the alias the last path mapping matched
    bool gopher_port = false;      // it came in on the gopher listener
    bool gopher_plus = false;      // a gopher+ client asked for a menu's attributes

    // The answer.
    char status_text[256] = "";  // the result, written to the access log at close
    // A connection whose answer is out but which stays open until this time
    // ("/~debug"); 0 when none. It stays in state Read with its input
    // ignored, and the tick closes it when the time has come.
    time_t hold_until = 0;
    char file_name[512] = "";  // the file being sent (Send)
    char gopher_item = 0;      // the gopher item type being sent; 0 when none
    int file_fd = kNoDescriptor;
    // The last read of the file came back short: its end has been reached,
    // and only the close (and a gopher terminator) follows what was read.
    bool file_ended = false;
    int block_len = 0;
    int block_pending = 0;  // bytes of the current block still to send
    // An HTML block of filebuf whose substitution into outbuf did not fit at
    // once: its length and how far it has been substituted.
    int html_source_len = 0;
    SubstituteState substitution;
    int error_run = 0;  // failed sends in a row
    int error_total = 0;
    int error_run_max = 0;
    long bytes_sent = 0;
    // The program's standard output and input (a "std" alias only).
    int cgi_out_handle = kNoDescriptor;
    int cgi_in_handle = kNoDescriptor;
    // The running CGI program, from its start (state CGIw) to the close,
    // which ends it if it still runs and hands it back to the process layer.
    process::Child* cgi_process = nullptr;

    // Texts the page variables point at, stable until the connection closes.
    char hit_text[129] = "";  // the count of the page; see fill_page_variables
    char last_modified_gmt[32] = "";
    char last_modified[32] = "";
    char date_text[32] = "";
    // The client's own texts escaped for the page, so that a request line, a
    // browser's name or a referer cannot put markup or script into it; a
    // text too long once escaped is cut between entities.
    char page_command[2048] = "";
    char page_user_agent[512] = "";
    char page_referer[512] = "";
    char page_remote_host[512] = "";
};

// One slot. The request's fields are the record's own (c.path, c.status_text,
// ...); what follows them belongs to the slot and lives as long as the table.
struct Connection : RequestFields {
    int slot = 0;       // the slot's own index, fixed for the run
    int ever_used = 0;  // 1 once the slot has taken a connection
    ConnectionState state = kIdle;
    Socket sock = kInvalidSocket;
    NameList vars;                   // page variables; emptied by close_connection
    char pbuffin[kBuffInSizeMax];    // raw input not yet cut into lines
    char filebuf[kFileBufSize + 1];  // one block of the file being sent
    char outbuf[kOutBufSize];        // that block after page-variable substitution
    char linebuf[kLineBufSize + 1];  // the line being assembled
};

// Report labels of the states, indexed by `state`.
const char* state_label(int state);

struct ConnectionTable {
    Connection records[kSlots];
    time_t server_start_time = 0;
    int usable_slots = 0;
    int send_cursor = 0;
};

// Totals since start, shown by the status report and the status panel.
struct EngineTotals {
    long total_connections = 0;  // every accepted socket
    long total_dirs_sent = 0;    // every directory listing
    long total_files_sent = 0;   // every queued file
    long total_posts = 0;        // every POST whose page variables were filled
};

// Allocates and prepares the table; nullptr when memory cannot be had (the
// failure is logged). Called once by start-up.
ConnectionTable* create_table(time_t now);
void destroy_table(ConnectionTable* table);

// The lowest-numbered idle slot, prepared for a new connection from the
// request defaults; -1 when every slot is busy.
int take_slot(ConnectionTable& table, Socket sock, uint16_t remote_port, time_t now);
// The first slot, in slot order, holding `sock` and not idle; -1 when none.
int find_slot(const ConnectionTable& table, Socket sock);
// find_slot, then close_connection on it.
int close_by_socket(ConnectionTable& table, Socket sock);
int count_active(const ConnectionTable& table);

// Ends a connection: access log, page variables, CGI handles, socket, a
// CGI program still running (SIGTERM to its process group, SIGKILL
// kProgramEndGraceMs later; the process layer reaps it), open file, the
// close line (timed with the engine's `now`). Every part that
// finishes or abandons a connection calls it; nothing else frees a slot.
// A slot that is idle already is left as it is.
void close_connection(Connection& c);

// Copy at most 254 (status) or 1023 (raw command) characters; nullptr
// changes nothing.
void set_status_text(Connection& c, const char* text);
void set_raw_command(Connection& c, const char* text);

}  // namespace qxs
