#include "logging/access_log.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/server.h"
#include "logging/counter_keys.h"
#include "logging/dates.h"
#include "logging/files.h"
#include "logging/screen_log.h"
#include "platform/escaping.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs {
namespace {

constexpr size_t kLogBufferSize = 2048;
constexpr size_t kPathSize = 300;     // a 255-character log directory and a file name
constexpr size_t kRequestSize = 256;  // 255 characters of a request line
constexpr size_t kNameSize = 1024;    // an encoded key or referer: at most 3 bytes a character
constexpr size_t kValueSize = 1023;   // a counter's value as read
constexpr size_t kTotalSize = 1025;   // a total as read at start-up

LogTotals totals;
std::unique_ptr<char[]> log_buffer;

// Owns the log mutex for one update. Without a mutex (it could not be
// created) the update goes on unguarded rather than lose the record.
// Another program may hold the lock while it changes the files, but one
// that keeps it must not stop the server: after this wait the update goes on
// without it, and the operator is told (once, until the lock is had again).
constexpr int kLockWaitMs = 2000;

class LogLock {
public:
    LogLock() : held_(engine.log_mutex.acquire(kLockWaitMs)) {
        static bool told = false;
        if (held_ || !engine.log_mutex.is_open()) {
            told = false;
        } else if (!told) {
            screen_log(
                "The log files' lock is held by another program: they are written "
                "without it.\r\n");
            told = true;
        }
    }
    ~LogLock() {
        if (held_) engine.log_mutex.release();
    }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

private:
    bool held_;
};

// The pieces of a log_date text ("Wed Jan 02 02:03:55 1980"); empty pieces
// when the date could not be formed.
struct DateParts {
    char month[8] = "";
    char day[8] = "";
    char hours[8] = "";
    char minutes[8] = "";
    char seconds[8] = "";
    char year[16] = "";
};

DateParts split_date(const char* text) {
    char fields[7][16] = {};
    int count = 0;
    const char* p = text;
    while (*p != '\0' && count < 7) {
        size_t length = std::strcspn(p, " :");
        size_t n = length < sizeof fields[0] ? length : sizeof fields[0] - 1;
        std::memcpy(fields[count], p, n);
        fields[count][n] = '\0';
        ++count;
        p += length;
        if (*p != '\0') ++p;
    }
    // The day name (fields[0]) is not logged.
    DateParts parts;
    copy_text(parts.month, sizeof parts.month, fields[1]);
    copy_text(parts.day, sizeof parts.day, fields[2]);
    copy_text(parts.hours, sizeof parts.hours, fields[3]);
    copy_text(parts.minutes, sizeof parts.minutes, fields[4]);
    copy_text(parts.seconds, sizeof parts.seconds, fields[5]);
    copy_text(parts.year, sizeof parts.year, fields[6]);
    return parts;
}

// A failed counter write is not fatal: the other counters, and the next
// connection, still get their chance. The failure is told once per file and
// update, when the update ends (write_access_log).
bool counts_failed = false;
bool referers_failed = false;

void put(const char* section, const char* key, const char* value, const char* file, bool* failed) {
    if (!profile::write_string(section, key, value, file)) *failed = true;
}

// Adds one to the "count first-date" value of `key`, starting it at 1 with
// `today` when it is missing or begins with "0".
void count_hit(const char* section, const char* key, const char* today, const char* file,
               bool* failed) {
    char value[kValueSize];
    profile::get_string(section, key, "0", value, sizeof value, file);
    long count = 0;
    const char* first_date = today;
    if (value[0] != '0') {
        count = std::strtol(value, nullptr, 10);
        const char* space = std::strchr(value, ' ');
        if (space != nullptr && space[1] != '\0') first_date = space + 1;
    }
    if (count < LONG_MAX) ++count;
    char updated[kValueSize + 32];
    format_text(updated, sizeof updated, "%ld %s", count, first_date);
    put(section, key, updated, file, failed);
}

void write_totals(const char* file) {
    char text[64];
    format_text(text, sizeof text, "%ld", totals.connects);
    put("Totals", "Connects", text, file, &counts_failed);
    format_text(text, sizeof text, "%ld", totals.files_sent_ok);
    put("Totals", "FilesSentOK", text, file, &counts_failed);
    format_text(text, sizeof text, "%.0f", totals.bytes_sent);
    put("Totals", "BytesSent", text, file, &counts_failed);
}

// `text` with each '"' written as "%22"; cut at a whole character.
void percent_encode_quotes(const char* text, char* out, size_t size) {
    size_t n = 0;
    for (; *text != '\0'; ++text) {
        const bool quote = *text == '"';
        if (n + (quote ? 3 : 1) >= size) break;
        if (quote) {
            std::memcpy(out + n, "%22", 3);
            n += 3;
        } else {
            out[n++] = *text;
        }
    }
    out[n] = '\0';
}

}  // namespace

void write_access_log(Connection& c) {
    LogLock lock;
    // Other programs change the counter files only under the same mutex, so
    // the files need checking against the disk once in this update.
    profile::Batch batch;

    char counts_file[kPathSize];
    char referer_file[kPathSize];
    format_text(counts_file, sizeof counts_file, "%scounts.qxs", settings.logdir);
    format_text(referer_file, sizeof referer_file, "%sreferer.qxs", settings.logdir);

    if (settings.logany && !log_buffer) {
        log_buffer.reset(new (std::nothrow) char[kLogBufferSize]);
        if (!log_buffer) {
            screen_log("\r\n");
            screen_log("*****    Unable to create log buffer    *******\r\n");
            screen_log("***** The log files will not be updated *******\r\n");
            return;
        }
    }

    DateParts date = split_date(log_date(c.start_time));
    bool sent_ok = c.status_text[0] == 'F' && c.status_text[1] == 'i';
    const char* status = sent_ok ? "200" : "-";
    const char* user = c.auth_user[0] != '\0' ? c.auth_user : "-";
    char request[kRequestSize];
    logged_request(c.raw_command, settings.logsearchstring != 0, request, sizeof request);
    // The zone of the local time the line gives, so that analysers place
    // every hit at its hour.
    char zone[8];
    zone_offset(c.start_time, zone);
    char first_date[64];
    format_text(first_date, sizeof first_date, "%s/%s/%s:%s:%s:%s %s", date.day, date.month,
                date.year, date.hours, date.minutes, date.seconds, zone);

    if (settings.logany) {
        // The client's texts keep to their fields: a quote would end the
        // quoted request early, and the user name, decoded from the Basic
        // credentials and so any bytes, could hold a blank or a line end.
        char logged_user[3 * sizeof c.auth_user];
        percent_encode(user, "", logged_user, sizeof logged_user);
        char quoted[3 * kRequestSize];
        percent_encode_quotes(request, quoted, sizeof quoted);
        format_text(log_buffer.get(), kLogBufferSize,
                    "%s - %s [%s/%s/%s:%s:%s:%s %s] \"%s\" %s %ld\r\n", c.remote_host, logged_user,
                    date.day, date.month, date.year, date.hours, date.minutes, date.seconds, zone,
                    quoted, status, c.bytes_sent);
        char log_file[kPathSize];
        format_text(log_file, sizeof log_file, "%sqxs.log", settings.logdir);
        append_file(log_file, log_buffer.get());
    }

    char key[kNameSize];
    counter_key(request, key, sizeof key);

    if (c.bytes_sent != 0) totals.bytes_sent += static_cast<double>(c.bytes_sent);
    if (sent_ok) ++totals.files_sent_ok;
    ++totals.connects;

    counts_failed = referers_failed = false;
    if (settings.countfilehits) count_hit("Commands", key, first_date, counts_file, &counts_failed);
    if (settings.countreferer) {
        char referer[kNameSize];
        ini_safe_name(c.referer[0] != '\0' ? c.referer : "Direct", referer, sizeof referer);
        count_hit(key, referer, first_date, referer_file, &referers_failed);
    }
    write_totals(counts_file);

    // Both files are on disk before the mutex goes to another program.
    if (!profile::flush(counts_file)) counts_failed = true;
    if (!profile::flush(referer_file)) referers_failed = true;
    if (counts_failed) report_write_failure(counts_file);
    if (referers_failed) report_write_failure(referer_file);
}

void load_totals() {
    char counts_file[kPathSize];
    format_text(counts_file, sizeof counts_file, "%scounts.qxs", settings.logdir);
    char text[kTotalSize];
    profile::get_string("Totals", "Connects", "0", text, sizeof text, counts_file);
    totals.connects = std::strtol(text, nullptr, 10);
    profile::get_string("Totals", "FilesSentOK", "0", text, sizeof text, counts_file);
    totals.files_sent_ok = std::strtol(text, nullptr, 10);
    profile::get_string("Totals", "BytesSent", "0", text, sizeof text, counts_file);
    totals.bytes_sent = std::strtod(text, nullptr);
}

const LogTotals& log_totals() {
    return totals;
}

}  // namespace qxs
