#include "engine/sender.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/page_vars.h"
#include "engine/server.h"
#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/file_names.h"
#include "platform/sockets.h"
#include "platform/strings.h"
#include "platform/winsock_errors.h"
#include "shell/shell.h"

namespace qxs {
namespace {

int block_size() {
    if (settings.buffsize > static_cast<int>(kFileBufSize)) settings.buffsize = kFileBufSize;
    if (settings.buffsize < 8) settings.buffsize = 8;
    return settings.buffsize;
}

// Reads the next block of the file into filebuf: its length, 0 at the end,
// -1 when the file cannot be read.
int read_block(Connection& c) {
    const int wanted = block_size();
    ssize_t n = ::read(c.file_fd, c.filebuf, static_cast<size_t>(wanted));
    if (n < 0) return -1;
    c.file_ended = n < wanted;
    c.filebuf[n] = '\0';
    return static_cast<int>(n);
}

// The next substituted HTML block in outbuf: its length, 0 at the end of the
// file, -1 on a read error. A block whose substitution did not fit in outbuf
// goes on where it stopped, and a block that substitutes to nothing (all of
// it inside a hidden bracket) is skipped, so the whole page goes out.
int next_html_block(Connection& c) {
    for (;;) {
        if (c.substitution.consumed >= static_cast<size_t>(c.html_source_len)) {
            int n = read_block(c);
            if (n <= 0) return n;
            if (c.vars.list_is_empty()) fill_page_variables(c);
            c.html_source_len = n;
            c.substitution = SubstituteState{};
        }
        size_t length = substitute(c.vars, c.filebuf, static_cast<size_t>(c.html_source_len),
                                   c.outbuf, sizeof c.outbuf, &c.substitution);
        if (length > 0) return static_cast<int>(length);
    }
}

int next_block(Connection& c, bool html) {
    int length = html ? next_html_block(c) : read_block(c);
    c.block_len = length < 0 ? 0 : length;
    return length;
}

// The current block is the last of the file: the close follows its send.
bool last_block(const Connection& c, bool html) {
    return c.file_ended &&
           (!html || c.substitution.consumed >= static_cast<size_t>(c.html_source_len));
}

// A gopher text item ends with the terminator line. A menu brings its own
// (the last line of its listing), and a binary item ends when the
// connection closes, so that it arrives byte for byte.
bool ends_with_terminator(const Connection& c) {
    if (c.request_type != kRequestGopher) return false;
    switch (c.gopher_item) {
        case '0':
        case '2':
        case '3':
        case '7':
            return true;
        default:
            return false;
    }
}

long finish(Connection& c, long sent_at_entry, const char* status) {
    if (c.file_fd != kNoDescriptor) ::close(c.file_fd);
    c.file_fd = kNoDescriptor;
    if (ends_with_terminator(c)) {
        sockets().send(c.sock, "\r\n.\r\n", 5, kSendMore);  // the close follows
    }
    if (settings.debug1) screen_logf("S%d) End of send gopherqueue\r\n", c.slot);
    set_status_text(c, status);
    long sent = c.bytes_sent - sent_at_entry;
    close_connection(c);
    return sent;
}

void send_whole(Connection& c, const char* text, int flags) {
    if (text == nullptr) return;
    int length = static_cast<int>(std::strlen(text));
    SocketApi& api = sockets();
    if (api.send(c.sock, text, length, flags) == kSocketError) {
        int error = api.last_error();
        if (!settings.debug1) return;
        if (error == WSAECONNRESET) {
            screen_log("\r\nSend cancelled\r\n");
        } else {
            screen_logf("\r\nSend SOCKET ERROR %d\r\nUnable to send %d of %d\r\n", error, length,
                        length);
        }
    }
}

}  // namespace

// Exactly these two spellings make a file HTML; the extension comes from
// the last component, so dotted directories above it change nothing.
bool is_substituted(const char* file_name) {
    const char* extension = file_name_extension(file_name);
    return std::strncmp(extension, "HTM", 3) == 0 || std::strncmp(extension, "htm", 3) == 0;
}

void send_text(Connection& c, const char* text) {
    send_whole(c, text, 0);
}

void send_header(Connection& c, const char* text) {
    send_whole(c, text, kSendMore);
}

void queuegopherfile(Connection& c, const char* file_name, int, long offset) {
    set_status_text(c, "Queued file");
    ++engine.totals.total_files_sent;
    if (settings.view_files) screen_logf(" --> '%s'\r\n", file_name);
    copy_text(c.file_name, sizeof c.file_name, file_name);
    c.file_fd = dos::open(c.file_name, O_RDONLY);
    if (c.file_fd < 0) {
        c.file_fd = kNoDescriptor;
        set_status_text(c, "File Open Error queuegopherfile");
        screen_log("File Open Error queuegopherfile \r\n");
        close_connection(c);
        return;
    }
    if (offset > 0) ::lseek(c.file_fd, offset, SEEK_SET);
    c.state = kSend;
    shell().refresh_status();
    c.block_pending = 0;
    c.error_run = 0;
    c.html_source_len = 0;
    c.file_ended = false;
    c.substitution = SubstituteState{};
}

int timer_send_pass(ConnectionTable& table) {
    for (int i = 0; i < kSlots; ++i) {
        table.send_cursor = (table.send_cursor + 1) % kSlots;
        Connection& c = table.records[table.send_cursor];
        if (c.state == kSend && send_step(c) > 0) return 1;
    }
    return 0;
}

long send_step(Connection& c) {
    if (c.state != kSend) return 0;  // only a queued file has a turn
    SocketApi& api = sockets();
    const long sent_at_entry = c.bytes_sent;
    if (settings.debug1) screen_logf("S%d) SENDING '%s'\r\n", c.slot, c.file_name);
    const bool html = is_substituted(c.file_name);
    char* const buffer = html ? c.outbuf : c.filebuf;

    const char* data;
    int length;
    if (c.block_pending <= 0) {
        length = next_block(c, html);
        data = buffer;
    } else {
        data = buffer + c.block_len - c.block_pending;
        length = c.block_pending;
    }

    for (int blocks = 0;;) {
        if (length < 0) return finish(c, sent_at_entry, "File Read Error");
        if (length == 0) return finish(c, sent_at_entry, "File sent ok");

        int n = api.send(c.sock, data, length, last_block(c, html) ? kSendMore : 0);
        if (settings.debug1) screen_log("-");
        if (n == kSocketError) {
            c.block_pending = length;
            ++c.error_total;
            ++c.error_run;
            if (c.error_run_max < c.error_run) c.error_run_max = c.error_run;
            if (c.error_run > settings.maxretry) {
                set_status_text(c, "Too many Errors");
                screen_logf("S%d) Too many Errors\r\n", c.slot);
                long sent = c.bytes_sent - sent_at_entry;
                close_connection(c);
                return sent;
            }
            int error = api.last_error();
            if (error == WSAEWOULDBLOCK) {
                if (!html && settings.debug1) screen_log("WSAWOULDBLOCK\r\n");
                return c.bytes_sent - sent_at_entry;
            }
            if (!html && error < 1000) screen_logf("%s\r\n", std::strerror(error));
            char status[32];
            format_text(status, sizeof status, "Socket Error %d", error);
            set_status_text(c, status);
            if (settings.debug1) {
                if (error == WSAECONNRESET) {
                    screen_logf("%02d) Connection Cancelled\r\n", c.slot);
                } else {
                    screen_logf("%02d) Socket Error %d\r\n", c.slot, error);
                }
            }
            long sent = c.bytes_sent - sent_at_entry;
            close_connection(c);
            return sent;
        }

        c.bytes_sent += n;
        c.block_pending = length - n;
        c.error_run = 0;
        if (c.block_pending > 0) {
            if (html) {
                shell().refresh_status();
                return c.bytes_sent - sent_at_entry;
            }
            if (settings.debug1) screen_log("|");
            if (!settings.socketver) {
                shell().refresh_status();
                return c.bytes_sent - sent_at_entry;
            }
            data += n;
            length = c.block_pending;
        } else {
            length = next_block(c, html);
            data = buffer;
        }

        ++blocks;
        int allowed = settings.greedy ? 2 * settings.throttle : settings.throttle;
        if (blocks > allowed) {
            c.block_pending = length < 0 ? 0 : length;
            if (settings.debug1)
                screen_log(settings.greedy ? "Greedy Throttle\r\n" : "Throttle\r\n");
            shell().refresh_status();
            return c.bytes_sent - sent_at_entry;
        }
    }
}

}  // namespace qxs
