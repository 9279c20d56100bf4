#include "engine/connection.h"

#include <unistd.h>

#include <ctime>
#include <new>

#include "config/settings.h"
#include "logging/access_log.h"
#include "logging/screen_log.h"
#include "platform/strings.h"
#include "shell/shell.h"

namespace qxs {

const char* state_label(int state) {
    static const char* const labels[] = {"Idle", "Read", "Send", "3???", "4???",
                                         "5???", "6???", "7???", "CGIw"};
    if (state < 0 || state > 8) return "????";
    return labels[state];
}

ConnectionTable* create_table(time_t now) {
    // One allocation holds every slot and every buffer of the run.
    auto* table = new (std::nothrow) ConnectionTable{};
    if (table == nullptr) {
        screen_log("\r\n*** Error - Unable to allocate space for connections!\r\n");
        screen_log("Unable to allocate memory for connections\r\n");
        return nullptr;
    }
    table->server_start_time = now;
    table->usable_slots = 0;
    table->send_cursor = 0;
    for (int i = 0; i < kSlots; ++i) {
        Connection& c = table->records[i];
        c.state = kIdle;
        c.ever_used = 0;
        c.slot = i;
        c.remote_host[0] = c.raw_command[0] = c.status_text[0] = '\0';
        c.user_agent[0] = c.referer[0] = c.path[0] = '\0';
        ++table->usable_slots;
    }
    return table;
}

void destroy_table(ConnectionTable* table) {
    delete table;
}

int take_slot(ConnectionTable& table, Socket sock, uint16_t remote_port, time_t now) {
    for (Connection& c : table.records) {
        if (c.state != kIdle) continue;
        c.state = kRead;
        c.ever_used = 1;
        c.sock = sock;
        c.remote_port = remote_port;
        c.start_time = now;
        c.hold_until = 0;
        c.filebuf[0] = c.outbuf[0] = c.remote_host[0] = c.raw_command[0] = '\0';
        c.status_text[0] = c.user_agent[0] = c.referer[0] = c.remote_address[0] = '\0';
        c.content_type[0] = c.auth_user[0] = c.auth_password[0] = '\0';
        c.hit_text[0] = c.last_modified_gmt[0] = c.last_modified[0] = '\0';
        c.buffinlen = c.block_len = c.file_fd = c.block_pending = 0;
        c.html_source_len = 0;
        c.file_ended = false;
        c.substitution = SubstituteState{};
        c.error_run = c.error_total = c.error_run_max = 0;
        c.cgi_out_handle = c.cgi_in_handle = -1;
        c.alias = nullptr;
        c.content_length = c.body_received = 0;
        c.headers_done = c.request_type = c.full_request = 0;
        c.query_string = nullptr;
        c.bytes_sent = 0;
        c.line = c.linebuf;
        return c.slot;
    }
    return -1;
}

int find_slot(const ConnectionTable& table, Socket sock) {
    for (const Connection& c : table.records) {
        if (c.state != kIdle && c.sock == sock) return c.slot;
    }
    return -1;
}

int close_by_socket(ConnectionTable& table, Socket sock) {
    int slot = find_slot(table, sock);
    if (slot >= 0) close_connection(table.records[slot]);
    return slot;
}

int count_active(const ConnectionTable& table) {
    int active = 0;
    for (const Connection& c : table.records) {
        if (c.state != kIdle) ++active;
    }
    return active;
}

void close_connection(Connection& c) {
    write_access_log(c);
    c.vars.list_clear();
    if (c.cgi_out_handle >= 0) {
        if (::close(c.cgi_out_handle) != 0)
            screen_log("\r\n**Error closing CGI Output file at 1\r\n");
        c.cgi_out_handle = -1;
    }
    if (c.cgi_in_handle >= 0) {
        if (::close(c.cgi_in_handle) != 0)
            screen_log("\r\n**Error closing CGI Input file at 1\r\n");
        c.cgi_in_handle = -1;
    }
    c.state = kIdle;
    shell().refresh_status();

    sockets().async_select(c.sock, 0);
    sockets().close_socket(c.sock);

    double seconds = difftime(time(nullptr), c.start_time);
    if (seconds == 0) seconds = 0.2;
    double rate = static_cast<double>(c.bytes_sent) / seconds;

    if (c.file_fd > 0) {
        ::close(c.file_fd);
        c.file_fd = 0;
    }
    if (settings.view_closing) {
        screen_logf("%02d)    Close (%ld bytes / %1.1f secs = %1.2f b/s)\r\n", c.slot, c.bytes_sent,
                    seconds, rate);
    }
}

void set_status_text(Connection& c, const char* text) {
    if (text != nullptr) copy_text(c.status_text, 255, text);
}

void set_raw_command(Connection& c, const char* text) {
    if (text != nullptr) copy_text(c.raw_command, 1024, text);
}

}  // namespace qxs
