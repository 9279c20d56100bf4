// The reports: the statistics text of "/~status", "/~debug" and the bare
// "Status" command, the list of busy slots and the socket information.
#pragma once

namespace qxs {

struct ConnectionTable;

// The statistics report, rebuilt in one process-wide buffer by each call;
// the caller sends it at once.
const char* status_report(const ConnectionTable& table);
// The busy slots on the screen log.
void socket_list(const ConnectionTable& table);
// The socket library's description and options of the listeners on the
// screen log.
void socket_info();

}  // namespace qxs
