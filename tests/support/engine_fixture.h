// The engine in a test: the connection table, default settings pointing at
// folders of a temporary home (html, gopher, logs, temp), a capturing front
// end and the fake socket layer. Connections are made with connect() and
// driven by calling the engine's steps directly.
#pragma once

#include <ctime>
#include <string>

#include "config/access_tables.h"
#include "config/extension_table.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "platform/dos_files.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/capture_shell.h"
#include "support/fake_sockets.h"
#include "support/temp_dir.h"

namespace qxs::test {

class EngineFixture {
public:
    EngineFixture() {
        dos::reset_drives();
        dos::set_home(home.path());
        profile::forget_all();
        settings = Settings{};
        for (const char* dir : {"html", "gopher", "logs", "temp"})
            home.write(dir + std::string("/.keep"), "");
        copy_text(settings.webdir, sizeof settings.webdir, "c:\\html\\");
        copy_text(settings.gopherdir, sizeof settings.gopherdir, "c:\\gopher\\");
        copy_text(settings.logdir, sizeof settings.logdir, "c:\\logs\\");
        copy_text(settings.tempdir, sizeof settings.tempdir, "c:\\temp\\");
        settings.httpport = 8080;
        engine.now = time(nullptr);
        engine.now_ms = 0;
        engine.send_turn_ran = false;
        engine.last_send_turn_ms = 0;
        engine.table = create_table(engine.now);
        engine.totals = EngineTotals{};
        copy_text(engine.server_name, sizeof engine.server_name, "testhost");
        copy_text(engine.server_host_port, sizeof engine.server_host_port, "testhost:8080");
    }
    ~EngineFixture() {
        release_access_tables();
        extension_table.clear();
        destroy_table(engine.table);
        engine.table = nullptr;
        settings = Settings{};
        profile::forget_all();
        dos::reset_drives();
        dos::set_home(".");
    }
    EngineFixture(const EngineFixture&) = delete;
    EngineFixture& operator=(const EngineFixture&) = delete;

    // A connection in state Read from the address, as admission leaves it;
    // `now` (when not 0) becomes the engine's clock first.
    Connection& connect(const char* address = "127.0.0.1", time_t now = 0) {
        Socket s = sockets.open_connection();
        if (now != 0) engine.now = now;
        Connection& c = engine.table->records[take_slot(*engine.table, s, 0, engine.now)];
        copy_text(c.remote_address, sizeof c.remote_address, address);
        copy_text(c.remote_host, sizeof c.remote_host, address);
        return c;
    }
    // The aliases, users, groups and extensions of a settings text.
    void load_tables(const std::string& text) {
        std::string ini = home.write("tables.ini", text);
        profile::forget_all();
        allocate_alias_table();
        load_aliases(ini.c_str());
        load_users(ini.c_str());
        load_groups(ini.c_str());
        extension_table.load_settings_file(ini.c_str());
    }
    // Everything sent to the connection's socket so far.
    const std::string& sent(const Connection& c) { return sockets.sent(c.sock); }
    bool closed(const Connection& c) const { return sockets.closed(c.sock); }
    // Runs send passes until no connection is in state Send.
    void drain_sends() {
        for (int pass = 0; pass < 100000; ++pass) {
            bool sending = false;
            for (const Connection& c : engine.table->records) sending |= c.state == kSend;
            if (!sending) return;
            timer_send_pass(*engine.table);
        }
    }

    TempDir home;
    CaptureShell shell;
    FakeSockets sockets;
};

}  // namespace qxs::test
