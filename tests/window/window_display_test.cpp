// The window on a real display (run under Xvfb): the server started in a
// temporary home with the window as its front end, a few requests, and a
// screenshot of the window at its default size left in the working folder
// as window.png; closing the window as Exit; and the real binary, which
// opens its window when a display is there and ends cleanly on SIGTERM.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "config/settings.h"
#include "engine/server.h"
#include "platform/dos_files.h"
#include "platform/profile.h"
#include "shell/banner.h"
#include "shell/window/loop_driver.h"
#include "shell/window/main_window.h"
#include "shell/window/status_panel.h"
#include "shell/window/window_front_end.h"
#include "support/net_client.h"
#include "support/server_process.h"
#include "support/temp_dir.h"

using namespace qxs;
using namespace qxs::window;

namespace {

// A server home with a small site, on free loopback ports.
void write_home(const test::TempDir& home, int http_port) {
    std::string ini = "[Options]\r\nhostname=localhost\r\nip=127.0.0.1\r\n";
    ini += "httpport=" + std::to_string(http_port) + "\r\n";
    ini += "gopherport=" + std::to_string(test::free_port()) + "\r\n";
    ini += "webdir=c:\\html\\\r\ngopherdir=c:\\gopher\\\r\nlogdir=c:\\logs\\\r\n";
    ini += "tempdir=c:\\temp\\\r\nview_connects=1\r\nview_files=1\r\nview_closing=1\r\n";
    home.write("qxserver.ini", ini);
    home.write("html/index.htm", "<html><title>Home</title><body>Welcome</body></html>\n");
    home.write("html/notes.txt", "Some notes.\n");
    home.write("gopher/.keep", "");
    home.write("logs/.keep", "");
    home.write("temp/.keep", "");
}

// The epoll descriptors this process holds open: the server's loop has one
// until it is closed.
int open_event_polls() {
    int count = 0;
    QDir fds("/proc/self/fd");
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
        count += QFile::symLinkTarget(fds.filePath(fd)).contains("eventpoll") ? 1 : 0;
    }
    return count;
}

}  // namespace

class WindowDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void screenshotAfterAFewRequests() {
        test::TempDir home;
        int port = test::free_port();
        write_home(home, port);
        dos::set_home(home.path());
        set_settings_file("qxserver.ini");
        qputenv("XDG_RUNTIME_DIR", home.path().c_str());

        MainWindow window;
        Shell* previous = set_shell(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        EventLoop loop;
        QCOMPARE(server_startup(loop), 0);
        start_shell();
        LoopDriver driver(loop, [] {});

        // Requests from Qt's own sockets, so this thread stays free to serve.
        int answered = 0;
        for (const char* path : {"/", "/notes.txt", "/index.htm", "/missing.htm"}) {
            auto* client = new QTcpSocket(&window);
            connect(client, &QTcpSocket::connected, client, [client, path] {
                client->write(QByteArray("GET ") + path + " HTTP/1.0\r\n\r\n");
            });
            connect(client, &QTcpSocket::disconnected, client, [client, &answered] {
                ++answered;
                client->deleteLater();
            });
            client->connectToHost("127.0.0.1", static_cast<quint16>(port));
        }
        QTRY_COMPARE_WITH_TIMEOUT(answered, 4, 10000);
        QTRY_COMPARE(count_active(*engine.table), 0);
        QCOMPARE(window.windowTitle(), QString("QXServer - Listening on localhost"));

        // Let the startup ticks pass (fixed-pitch font) and everything paint.
        QTRY_VERIFY_WITH_TIMEOUT(QFontInfo(window.log_view()->font()).fixedPitch(), 10000);
        window.flush_log();
        QVERIFY(window.log_view()->toPlainText().contains("GET /notes.txt"));
        QCoreApplication::processEvents();
        QImage shot = window.screen()->grabWindow(window.winId()).toImage();
        QCOMPARE(shot.size(), QSize(MainWindow::kWidth, MainWindow::kHeight));
        QVERIFY(shot.save("window.png"));

        // The lamps of the slots used are idle now, the rest never used.
        QPoint panel = window.panel()->mapTo(&window, QPoint(0, 0));
        auto lamp = [&](int slot) {
            return shot.pixel(panel + StatusPanel::lamp_position(slot) + QPoint(3, 6));
        };
        QCOMPARE(lamp(0), pictures().lamp(Lamp::kIdle).toImage().pixel(3, 6));
        QCOMPARE(lamp(31), pictures().lamp(Lamp::kNeverUsed).toImage().pixel(3, 6));

        server_shutdown();
        set_shell(previous);
        engine.loop = nullptr;
        destroy_table(engine.table);
        engine.table = nullptr;
    }

    // Closing the window is Exit: Qt's loop ends, the server shuts down and
    // its loop closes, every handle closed first (else the loop stays open).
    void closingTheWindowEndsTheServer() {
        test::TempDir home;
        int port = test::free_port();
        write_home(home, port);
        dos::set_home(home.path());
        set_settings_file("qxserver.ini");
        bool closed = false;
        // Between two ticks (pollevery 200), so that no pass of the
        // server's loop follows the close.
        QTimer::singleShot(100, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* main = dynamic_cast<MainWindow*>(w)) closed = main->close();
            }
        });
        int polls = open_event_polls();
        QCOMPARE(serve_with_window(home.file("qxserver.ctl")), 0);
        QVERIFY(closed);
        QCOMPARE(open_event_polls(), polls);
        QVERIFY(!test::Client(port).connected());
    }

    // With a display and without --headless, the binary opens its window:
    // the screen log goes there, not to standard output. It serves, and
    // SIGTERM ends it with status 0.
    void binaryOpensTheWindowAndStopsOnSigterm() {
        test::TempDir home;
        int port = test::free_port();
        write_home(home, port);
        QProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(home.path()));
        server.setProcessEnvironment(env);
        server.start(QXSERVER_BINARY, {"--home", QString::fromStdString(home.path())});
        QVERIFY(server.waitForStarted());

        std::string answer;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (answer.empty() && std::chrono::steady_clock::now() < until) {
            answer = test::exchange(port, "GET /notes.txt HTTP/1.0\r\n\r\n");
            if (answer.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        QVERIFY2(answer.find("200 OK") != std::string::npos, answer.c_str());
        QVERIFY(answer.find("Some notes.") != std::string::npos);

        server.terminate();
        QVERIFY(server.waitForFinished(10000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), 0);
        QVERIFY(!server.readAllStandardOutput().contains("Listening..."));
    }
};

QTEST_MAIN(WindowDisplayTest)
#include "window_display_test.moc"
