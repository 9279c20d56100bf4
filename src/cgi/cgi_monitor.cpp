#include "cgi/cgi_monitor.h"

#include "engine/connection.h"
#include "engine/server.h"
#include "logging/screen_log.h"

namespace qxs {

void cgi_monitor_pass(time_t now) {
    for (Connection& c : engine.table->records) {
        if (c.state == kRead && c.hold_until != 0) {
            // Its answer is out; the hold is not a time-out.
            if (difftime(now, c.hold_until) >= 0) close_connection(c);
            continue;
        }
        // Exactly the limit is not yet too long.
        if (c.state == kRead && difftime(now, c.start_time) > kReadTimeoutSeconds) {
            screen_log("Connection timed out on read\r\n");
            set_status_text(c, "Connection timeout");
            close_connection(c);
        }
    }
}

}  // namespace qxs
