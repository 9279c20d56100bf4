// The connection table: 32 slots, each holding one client connection from
// accept to close. Every buffer of a slot is part of the table, allocated
// once at start-up and reused; a connection never allocates a buffer of its
// own, which fixes the engine's memory when the table is created.
//
// Only the server thread touches the table. A connection can be closed from
// inside any step that works on it, so callers check `state` again after
// calling into another part of the server before touching the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "engine/name_list.h"
#include "engine/page_vars.h"
#include "platform/sockets.h"

namespace qxs {

struct Alias;

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

struct Connection {
    Socket sock = kInvalidSocket;
    int state = kIdle;
    int ever_used = 0;
    char pbuffin[kBuffInSizeMax];    // raw input not yet cut into lines
    char filebuf[kFileBufSize + 1];  // one block of the file being sent
    char outbuf[kOutBufSize];        // that block after page-variable substitution
    char linebuf[kLineBufSize + 1];  // the line being assembled
    int buffinlen = 0;
    int block_len = 0;
    // An HTML block of filebuf whose substitution into outbuf did not fit at
    // once: its length and how far it has been substituted.
    int html_source_len = 0;
    SubstituteState substitution;
    int file_fd = 0;  // the file being sent; 0 when none
    // The last read of the file came back short: its end has been reached,
    // and only the close (and a gopher terminator) follows what was read.
    bool file_ended = false;
    int block_pending = 0;
    int error_run = 0;
    int error_total = 0;
    int error_run_max = 0;
    int slot = 0;
    uint16_t remote_port = 0;  // network order
    int cgi_out_handle = -1;   // -1 when none
    int cgi_in_handle = -1;
    NameList vars;  // page variables
    // Texts the page variables point at, stable until the connection closes.
    char hit_text[129];  // the count of the page; see fill_page_variables
    char last_modified_gmt[32];
    char last_modified[32];
    char date_text[32];
    // The client's own texts escaped for the page, so that a request line, a
    // browser's name or a referer cannot put markup or script into it; a
    // text too long once escaped is cut between entities.
    char page_command[2048];
    char page_user_agent[512];
    char page_referer[512];
    char page_remote_host[512];
    const Alias* alias = nullptr;
    long content_length = 0;
    char content_type[64];
    long body_received = 0;
    int headers_done = 0;
    time_t start_time = 0;
    // A connection whose answer is out but which stays open until this time
    // ("/~debug"); 0 when none. It stays in state Read with its input
    // ignored, and the tick closes it when the time has come.
    time_t hold_until = 0;
    char raw_command[1024];
    char status_text[256];
    char user_agent[256];
    char referer[256];
    char remote_address[32];
    char remote_host[256];
    int request_type = kRequestUnknown;
    char* line = nullptr;  // into linebuf or pbuffin: the piece handed to handle_line
    char path[1024];
    int full_request = 0;
    char auth_user[16];
    char auth_password[16];
    char* query_string = nullptr;  // into path, or nullptr
    long bytes_sent = 0;
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

// The lowest-numbered idle slot, prepared for a new connection; -1 when every
// slot is busy.
int take_slot(ConnectionTable& table, Socket sock, uint16_t remote_port, time_t now);
// The first slot, in slot order, holding `sock` and not idle; -1 when none.
int find_slot(const ConnectionTable& table, Socket sock);
// find_slot, then close_connection on it.
int close_by_socket(ConnectionTable& table, Socket sock);
int count_active(const ConnectionTable& table);

// Ends a connection: access log, page variables, CGI handles, socket, open
// file, the close line. Every part that finishes or abandons a connection
// calls it; nothing else frees a slot.
void close_connection(Connection& c);

// Copy at most 254 (status) or 1023 (raw command) characters; nullptr
// changes nothing.
void set_status_text(Connection& c, const char* text);
void set_raw_command(Connection& c, const char* text);

}  // namespace qxs
