#include "support/engine_fixture.h"

#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "platform/dos_files.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs::test {

EngineFixture::EngineFixture() {
    dos::reset_drives();
    dos::set_home(home.path());
    profile::forget_all();
    settings = Settings{};
    copy_text(settings.webdir, sizeof settings.webdir, "c:\\html\\");
    copy_text(settings.gopherdir, sizeof settings.gopherdir, "c:\\gopher\\");
    copy_text(settings.logdir, sizeof settings.logdir, "c:\\logs\\");
    copy_text(settings.tempdir, sizeof settings.tempdir, "c:\\temp\\");
    home.write("html/.keep", "");
    home.write("gopher/.keep", "");
    home.write("logs/.keep", "");
    home.write("temp/.keep", "");
    engine.now = time(nullptr);
    engine.now_ms = 0;
    engine.send_turn_ran = false;
    engine.last_send_turn_ms = 0;
    engine.table = create_table(engine.now);
    engine.totals = EngineTotals{};
    copy_text(engine.server_name, sizeof engine.server_name, "testhost");
    copy_text(engine.server_host_port, sizeof engine.server_host_port, "testhost:8080");
    settings.httpport = 8080;
}

EngineFixture::~EngineFixture() {
    destroy_table(engine.table);
    engine.table = nullptr;
    settings = Settings{};
    profile::forget_all();
    dos::reset_drives();
    dos::set_home(".");
}

Connection& EngineFixture::connect(const char* address, time_t now) {
    Socket s = sockets.open_connection();
    if (now != 0) engine.now = now;
    int slot = take_slot(*engine.table, s, 0, engine.now);
    Connection& c = engine.table->records[slot];
    copy_text(c.remote_address, sizeof c.remote_address, address);
    copy_text(c.remote_host, sizeof c.remote_host, address);
    return c;
}

int EngineFixture::drain_sends(int limit) {
    int passes = 0;
    for (; passes < limit; ++passes) {
        bool sending = false;
        for (const Connection& c : engine.table->records) sending = sending || c.state == kSend;
        if (!sending) break;
        timer_send_pass(*engine.table);
    }
    return passes;
}

}  // namespace qxs::test
