// The operator window on the offscreen platform: its menu commands against
// the engine (on the fake socket layer), the title and the panel's lamps as
// connections come and go, the screen-log view, the about box, the control
// program's failure boxes, the start-up ticks and the loop driver.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <memory>

#include "config/settings.h"
#include "engine/admission.h"
#include "engine/server.h"
#include "logging/log_lines.h"
#include "logging/screen_log.h"
#include "platform/profile.h"
#include "shell/window/loop_driver.h"
#include "shell/window/main_window.h"
#include "shell/window/status_panel.h"
#include "support/engine_fixture.h"

using namespace qxs;
using namespace qxs::window;

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::EngineFixture> fx;
    std::unique_ptr<MainWindow> window;
    Shell* previous_shell = nullptr;

    std::string saved(const char* key) {
        char value[16];
        profile::get_string("Options", key, "-", value, sizeof value, settings_file());
        return value;
    }
    void trigger(int id) { window->action(id)->trigger(); }
    // A client arriving on the listener, as the socket layer reports it.
    Socket accept_client() {
        Socket next = fx->sockets.open_connection() + 1;
        socket_notification(1, FD_ACCEPT, 0, engine.now, engine.now_ms);
        return next;
    }
    QRgb panel_pixel(QPoint at) { return window->panel()->grab().toImage().pixel(at); }
    static QRgb lamp_pixel(Lamp look) { return pictures().lamp(look).toImage().pixel(3, 6); }

private slots:
    void init() {
        fx = std::make_unique<test::EngineFixture>();
        fx->home.write("qxserver.ini", "[Options]\r\nsound=0\r\ndebug1=1\r\n");
        set_settings_file("qxserver.ini");
        load_settings();
        window = std::make_unique<MainWindow>();
        previous_shell = set_shell(window.get());
        window->show();
        engine.startup_stage = 20;
    }
    void cleanup() {
        set_shell(previous_shell);
        window.reset();
        fx.reset();
        server_paused = 0;
        engine.startup_stage = 0;
    }

    // Each option flips its setting and is saved as "1" then "0"; the debug
    // details change the running server only.
    void optionsAreSavedAndDebugDetailsAreNot() {
        struct Option {
            int id;
            int Settings::*value;
            const char* key;
        };
        const Option options[] = {
            {kCmdSound, &Settings::sound, "sound"},
            {kCmdGreedy, &Settings::greedy, "greedy"},
            {kCmdMinimize, &Settings::minimize, "minimize"},
            {kCmdConnects, &Settings::view_connects, "view_connects"},
            {kCmdCommands, &Settings::view_commands, "view_commands"},
            {kCmdFiles, &Settings::view_files, "view_files"},
            {kCmdClosing, &Settings::view_closing, "view_closing"},
        };
        for (const Option& o : options) {
            int before = settings.*o.value;
            trigger(o.id);
            QCOMPARE(settings.*o.value, 1 - before);
            QCOMPARE(saved(o.key), std::string(before ? "0" : "1"));
            QCOMPARE(window->action(o.id)->isChecked(), before == 0);
            trigger(o.id);
            QCOMPARE(saved(o.key), std::string(before ? "1" : "0"));
            QCOMPARE(window->action(o.id)->isChecked(), before != 0);
        }
        const std::pair<int, int Settings::*> details[] = {
            {kCmdDebug1, &Settings::debug1},
            {kCmdDebug2, &Settings::debug2},
            {kCmdDebug3, &Settings::debug3},
        };
        for (auto [id, value] : details) {
            int before = settings.*value;
            trigger(id);
            QCOMPARE(settings.*value, 1 - before);
            QCOMPARE(window->action(id)->isChecked(), before == 0);
        }
        QCOMPARE(saved("debug1"), std::string("1"));
        QCOMPARE(saved("debug2"), std::string("-"));
        QCOMPARE(saved("debug3"), std::string("-"));
    }

    void pauseRefusesTheNextClientUntilToggledAgain() {
        trigger(kCmdPause);
        QVERIFY(window->action(kCmdPause)->isChecked());
        Socket refused = accept_client();
        QVERIFY(fx->sockets.closed(refused));
        QVERIFY(fx->sockets.sent(refused).find("temporarily paused for maintenance") !=
                std::string::npos);
        trigger(kCmdPause);
        QVERIFY(!window->action(kCmdPause)->isChecked());
        Socket admitted = accept_client();
        QVERIFY(!fx->sockets.closed(admitted));
        QCOMPARE(count_active(*engine.table), 1);
    }

    // Reload reads the file again: the options' checks follow it, and a
    // debug detail changed meanwhile has the file's value again.
    void reloadReadsTheFileAndResetsTheChecks() {
        trigger(kCmdSound);
        trigger(kCmdDebug1);
        QCOMPARE(settings.debug1, 0);
        fx->home.write("qxserver.ini",
                       "[Options]\r\nsound=0\r\ngreedy=1\r\nminimize=1\r\ndebug1=1\r\n");
        trigger(kCmdReload);
        QVERIFY(!window->action(kCmdSound)->isChecked());
        QVERIFY(window->action(kCmdGreedy)->isChecked());
        QVERIFY(window->action(kCmdMinimize)->isChecked());
        QVERIFY(window->action(kCmdDebug1)->isChecked());
        QCOMPARE(settings.debug1, 1);
    }

    void titleFollowsConnections() {
        engine.startup_stage = 10;
        window->refresh_status();
        QCOMPARE(window->windowTitle(), QString("Qx's Server"));
        engine.startup_stage = 20;
        window->refresh_status();
        QCOMPARE(window->windowTitle(), QString("QXServer - Listening on testhost"));
        for (int i = 0; i < 3; ++i) accept_client();
        QCOMPARE(window->windowTitle(), QString("QXServer - Serving 3 on testhost"));
        for (Connection& c : engine.table->records) close_connection(c);
        QCOMPARE(window->windowTitle(), QString("QXServer - Listening on testhost"));
    }

    // Read from the painted panel: a slot's lamp goes from never used to
    // busy (bright while the sender's turn is on it) to idle.
    void lampsShowWhatEachSlotDoes() {
        QPoint lamp0 = StatusPanel::lamp_position(0) + QPoint(3, 6);
        QPoint lamp1 = StatusPanel::lamp_position(1) + QPoint(3, 6);
        QPoint last = StatusPanel::lamp_position(kSlots - 1);
        QCOMPARE(last.x(), 298);
        QCOMPARE(panel_pixel(lamp1), lamp_pixel(Lamp::kNeverUsed));
        accept_client();
        accept_client();
        engine.table->send_cursor = 0;
        QCOMPARE(panel_pixel(lamp0), lamp_pixel(Lamp::kSending));
        QCOMPARE(panel_pixel(lamp1), lamp_pixel(Lamp::kBusy));
        close_connection(engine.table->records[1]);
        QCOMPARE(panel_pixel(lamp1), lamp_pixel(Lamp::kIdle));
        QCOMPARE(panel_pixel(last + QPoint(3, 6)), lamp_pixel(Lamp::kNeverUsed));
        // The four looks are told apart.
        QVERIFY(lamp_pixel(Lamp::kNeverUsed) != lamp_pixel(Lamp::kIdle));
        QVERIFY(lamp_pixel(Lamp::kBusy) != lamp_pixel(Lamp::kSending));
    }

    // A refresh in the first 31 ticks of a hundred walks the head back to
    // its first frame; after that it turns forward, round through 30.
    void headWalksBackThenTurns() {
        StatusPanel* panel = window->panel();
        for (int i = 0; i < 31; ++i) panel->tick({500, 500});  // tick count 31
        for (int i = 0; i < 35; ++i) window->refresh_status();
        QCOMPARE(panel->head_frame(), 5);
        for (int i = 0; i < 69; ++i) panel->tick({500, 500});  // 0 again
        for (int i = 0; i < 3; ++i) window->refresh_status();
        QCOMPARE(panel->head_frame(), 2);
        panel->tick({3, 4});  // the pointer in the screen's corner steps it too
        QCOMPARE(panel->head_frame(), 1);
    }

    // The view keeps the newest text: past 32,000 characters the oldest
    // lines go. Reset Screen Log empties it, and it fills again.
    void screenLogKeepsTheNewestText() {
        trigger(kCmdResetLog);
        for (int i = 1; i <= 1000; ++i)
            screen_logf("line %05d of the screen log, some text\r\n", i);
        window->flush_log();
        QString text = window->log_view()->toPlainText();
        QVERIFY(text.size() <= 32000);
        QVERIFY(text.size() > 20000);
        QVERIFY(!text.contains("line 00001 "));
        QVERIFY(text.endsWith("line 01000 of the screen log, some text\n"));
        QVERIFY(text.contains(QRegularExpression("^line \\d{5} of")));  // whole lines only
        trigger(kCmdCopyLog);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
        trigger(kCmdResetLog);
        QCOMPARE(window->log_view()->toPlainText(), QString());
        screen_log("after the reset\r\n");
        window->flush_log();
        QCOMPARE(window->log_view()->toPlainText(), QString("after the reset\n"));
    }

    void aboutOpensOnceAndPrintsTheBannerEachTime() {
        trigger(kCmdResetLog);
        trigger(kCmdAbout);
        QPointer<AboutBox> first = window->about_box();
        QVERIFY(first != nullptr);
        QCOMPARE(first->windowTitle(), QString("About QXServer"));
        trigger(kCmdAbout);
        QCOMPARE(window->about_box(), first.data());
        QCOMPARE(window->findChildren<AboutBox*>().size(), 1);
        window->flush_log();
        QCOMPARE(window->log_view()->toPlainText().count("for the latest version."), 2);
        first->accept();  // OK closes and forgets it; the next About opens a new one
        QTRY_VERIFY(window->about_box() == nullptr);
    }

    void controlProgramNotFoundShowsBothBoxes() {
        QByteArray path = qgetenv("PATH");
        qputenv("PATH", fx->home.path().c_str());
        trigger(kCmdServerControl);
        qputenv("PATH", path);
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = window->findChild<QMessageBox*>()) != nullptr);
        QCOMPARE(box->windowTitle(), QString("Whoops"));
        QCOMPARE(box->text(), QString("Unable to run the server control program QXSCTL.EXE"));
        box->accept();
        QTRY_VERIFY((box = window->findChild<QMessageBox*>()) != nullptr &&
                    box->windowTitle() == "Whoops - Reason");
        QCOMPARE(box->text(), QString("The result was - The QXServer Control program "
                                      "(QXSCTL.EXE) file was not found.\nWinExec error 2"));
        box->accept();
    }

    // The fixed-pitch font and the minimize wait for the eleventh tick.
    void minimizesOnTheEleventhTick() {
        settings.minimize = 1;
        for (int i = 0; i < 10; ++i) window->tick();
        QVERIFY(!window->isMinimized());
        QVERIFY(!QFontInfo(window->log_view()->font()).fixedPitch());
        window->tick();
        QVERIFY(window->isMinimized());
        QVERIFY(QFontInfo(window->log_view()->font()).fixedPitch());
        QVERIFY(!window->wants_ticks());
    }

    // Qt's loop runs the server's timers, and Exit ends it once.
    void driverRunsTheServersLoopUntilExit() {
        EventLoop loop;
        int ticks = 0;
        QVERIFY(loop.start_timer(
            1, [](void* n) { ++*static_cast<int*>(n); }, &ticks));
        int quits = 0;
        LoopDriver driver(loop, [&] { ++quits; });
        QTRY_VERIFY(ticks >= 3);
        engine.loop = &loop;
        trigger(kCmdExit);
        engine.loop = nullptr;
        QTRY_COMPARE(quits, 1);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
