#include "engine/connection.h"

#include <unistd.h>

#include <ctime>
#include <new>

#include "config/settings.h"
#include "engine/server.h"
#include "logging/access_log.h"
#include "logging/screen_log.h"
#include "platform/process.h"
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
        c.slot = i;
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
        static_cast<RequestFields&>(c) = RequestFields{};
        c.state = kRead;
        c.ever_used = 1;
        c.sock = sock;
        c.remote_port = remote_port;
        c.start_time = now;
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
    if (c.state == kIdle) return;
    write_access_log(c);
    c.vars.list_clear();
    if (c.cgi_out_handle != kNoDescriptor) {
        if (::close(c.cgi_out_handle) != 0)
            screen_log("\r\n**Error closing CGI Output file at 1\r\n");
        c.cgi_out_handle = kNoDescriptor;
    }
    if (c.cgi_in_handle != kNoDescriptor) {
        if (::close(c.cgi_in_handle) != 0)
            screen_log("\r\n**Error closing CGI Input file at 1\r\n");
        c.cgi_in_handle = kNoDescriptor;
    }
    c.state = kIdle;
    shell().refresh_status();

    sockets().async_select(c.sock, 0);
    sockets().close_socket(c.sock);

    if (c.cgi_process != nullptr) {
        // A program past its time, or whose client is gone, must not go on
        // writing into the slot's output file, which the slot's next
        // program writes too. One that has ended is left alone.
        static_cast<void>(process::end(c.cgi_process, kProgramEndGraceMs));
        process::release(c.cgi_process);
        c.cgi_process = nullptr;
    }

    double seconds = difftime(engine.now, c.start_time);
    if (seconds == 0) seconds = 0.2;
    double rate = static_cast<double>(c.bytes_sent) / seconds;

    if (c.file_fd != kNoDescriptor) {
        ::close(c.file_fd);
        c.file_fd = kNoDescriptor;
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
