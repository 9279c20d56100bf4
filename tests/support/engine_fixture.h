// The engine in a test: the connection table, default settings pointing at
// folders of a temporary home (html, gopher, logs, temp), a capturing front
// end and the fake socket layer. Connections are made with connect() and
// driven by calling the engine's steps directly.
#pragma once

#include <ctime>
#include <string>

#include "engine/connection.h"
#include "support/capture_shell.h"
#include "support/fake_sockets.h"
#include "support/temp_dir.h"

namespace qxs::test {

class EngineFixture {
public:
    EngineFixture();
    ~EngineFixture();
    EngineFixture(const EngineFixture&) = delete;
    EngineFixture& operator=(const EngineFixture&) = delete;

    // A connection in state Read from the address, as admission leaves it;
    // `now` (when not 0) becomes the engine's clock first.
    Connection& connect(const char* address = "127.0.0.1", time_t now = 0);
    // Everything sent to the connection's socket so far.
    const std::string& sent(const Connection& c) { return sockets.sent(c.sock); }
    bool closed(const Connection& c) const { return sockets.closed(c.sock); }
    // Runs send passes until no connection is in state Send (at most
    // `limit` passes); the number of passes run.
    int drain_sends(int limit = 100000);

    TempDir home;
    CaptureShell shell;
    FakeSockets sockets;
};

}  // namespace qxs::test
