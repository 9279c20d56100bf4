#include "logging/reports.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/server.h"
#include "logging/dates.h"
#include "logging/screen_log.h"
#include "platform/file_names.h"
#include "platform/profile.h"
#include "platform/sockets.h"
#include "platform/strings.h"

namespace qxs {
namespace {

// Room for the fixed lines, a host name and four grand totals of up to
// 1,024 characters each.
constexpr size_t kReportSize = 8192;
constexpr size_t kTotalSize = 1025;

char report[kReportSize];
size_t report_used = 0;

// Appends one formatted line to the report; what does not fit is cut.
__attribute__((format(printf, 1, 2))) void add(const char* format, ...) {
    if (report_used >= kReportSize - 1) return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(report + report_used, kReportSize - report_used, format, args);
    va_end(args);
    if (n < 0) {
        report[report_used] = '\0';
        return;
    }
    size_t room = kReportSize - 1 - report_used;
    report_used += static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
}

// One grand total from counts.qxs, read as text so that it shows as written.
struct GrandTotal {
    explicit GrandTotal(const char* key, const char* file) {
        profile::get_string("Totals", key, "0", text, sizeof text, file);
    }
    char text[kTotalSize];
};

}  // namespace

const char* status_report(const ConnectionTable& table) {
    time_t now = engine.now;
    report_used = 0;
    report[0] = '\0';
    add("QXServer %s Stats  - running on %s\r\n", kServerVersion, engine.server_name);
    add("\r\n-------------- Totals Since Reboot ------------\r\n");
    add("      Current time is: %s\r\n", log_date(now));
    add("      Server Up Since: %s\r\n", log_date(table.server_start_time));
    add("          Connections: %ld\r\n", engine.totals.total_connections);
    add("            Sent Dirs: %ld\r\n", engine.totals.total_dirs_sent);
    add("           Sent Files: %ld\r\n", engine.totals.total_files_sent);
    add("                Posts: %ld\r\n", engine.totals.total_posts);
    add("\r\n---------------- Grand Totals -----------------\r\n");

    char counts_file[300];
    format_text(counts_file, sizeof counts_file, "%scounts.qxs", settings.logdir);
    add("         Totals since: %s\r\n", GrandTotal("StartDate", counts_file).text);
    add("          Connections: %s\r\n", GrandTotal("Connects", counts_file).text);
    add(" Files & Dirs Sent OK: %s\r\n", GrandTotal("FilesSentOK", counts_file).text);
    add("           Bytes Sent: %s\r\n", GrandTotal("BytesSent", counts_file).text);
    return report;
}

void socket_list(const ConnectionTable& table) {
    screen_log("\r\n");
    screen_log("Sock # state [bytes sent/size] filename remotehost\r\n");
    int idle = 0;
    for (const Connection& c : table.records) {
        if (c.state == kIdle) {
            ++idle;
            continue;
        }
        // A sending slot shows its file; one still reading, the path asked for.
        const char* name = c.state == kSend ? c.file_name : c.path;
        // Long enough for the longest host name and path a slot can hold.
        char line[1400];
        format_text(line, sizeof line, "%02d) %s %15s %7ld/%7ld %s\r\n", c.slot,
                    state_label(c.state), c.remote_host, c.bytes_sent,
                    file_size_and_date(name, nullptr, nullptr), name);
        screen_log(line);
    }
    screen_log("\r\n");
    screen_logf("There are %d idle sockets.\r\n", idle);
    screen_log("\r\n");
}

void socket_info() {
    SocketApi& api = sockets();
    const SocketLibraryInfo& info = api.library_info();
    screen_log("\r\n");
    screen_logf("Description = %s\r\n", info.description);
    screen_logf("     Status = %s\r\n", info.system_status);
    screen_logf("    Version = %x\r\n", info.version);
    screen_logf("HighVersion = %x\r\n", info.high_version);
    screen_logf(" VendorInfo = %s\r\n", info.vendor_info);
    screen_logf(" MaxSockets = %d\r\n", info.max_sockets);
    screen_log("\r\n");
    screen_log("\r\n");

    // An option the system cannot give shows as 0.
    int value = 0;
    if (api.get_option(engine.gopher_listener, SocketOption::kAcceptConn, &value) != 0) value = 0;
    screen_logf("s1 SO_ACCEPTCONN  %d\r\n", value);
    if (api.get_option(engine.http_listener, SocketOption::kAcceptConn, &value) != 0) value = 0;
    screen_logf("s2 SO_ACCEPTCONN  %d\r\n", value);

    uint16_t onoff = 0;
    uint16_t seconds = 0;
    bool have_linger = api.get_linger(engine.gopher_listener, &onoff, &seconds) == 0;
    if (!have_linger) onoff = seconds = 0;
    // Only WinSock has a separate do-not-linger option; elsewhere it is the
    // opposite of the linger switch, which is what WinSock reports too.
    if (api.get_option(engine.gopher_listener, SocketOption::kDontLinger, &value) != 0) {
        value = have_linger ? (onoff == 0 ? 1 : 0) : 0;
    }
    screen_logf("s1 SO_DONTLINGER  %d\r\n", value);
    screen_logf("s1 SO_LINGER.l_onoff  %d\r\n", onoff);
    screen_logf("s1 SO_LINGER.l_linger  %d\r\n", seconds);
    screen_log("\r\n");
}

}  // namespace qxs
