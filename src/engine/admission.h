// Admission: a new connection is accepted and, before any byte of its
// request is read, refused by the reject list, refused while the operator
// has paused the server, refused when every slot is busy, or given a slot.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sockets.h"

namespace qxs {

// Set and cleared by the operator; while set, new connections are refused.
// The engine owns it: front ends only show it.
extern int server_paused;
// Pauses (1) or resumes (anything else): the flag, the front end's check
// mark and the screen-log line.
void set_paused(int flag);

// Accepts one pending connection on the listener and admits or refuses it;
// an admitted connection's clock starts at the engine's `now`.
void accept_connection(Socket listener);
// 0 when the address (first byte first) is not on the reject list, else the
// value that rejects it.
int reject_lookup(const uint8_t address[4]);
// The peer's host name when names are looked up, else its dotted address.
char* reverse_lookup(const uint8_t address[4], char* out, size_t size);

}  // namespace qxs
