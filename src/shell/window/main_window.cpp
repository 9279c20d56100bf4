#include "shell/window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "engine/server.h"
#include "logging/log_lines.h"
#include "shell/operator_commands.h"
#include "shell/window/about_box.h"
#include "shell/window/pictures.h"
#include "shell/window/status_panel.h"

namespace qxs::window {
namespace {

constexpr int kFirstMenuId = 40002;
constexpr int kLastMenuId = 40034;
// The screen-log view holds at most this many characters; past it the
// oldest lines go, down to three quarters, as in the screen log's store.
constexpr int kViewCapacity = static_cast<int>(LogLines::kCapacity);
// New screen-log text waits this long, so that a busy server updates the
// view a few times a second rather than once per line.
constexpr int kLogFlushMs = 40;
constexpr int kScreenLogControlId = 300;

struct MenuItem {
    const char* menu;
    const char* text;
    int id;
    bool checkable;
    int separators_after;
};

constexpr MenuItem kMenu[] = {
    {"&File", "Cycle &Log Files", kCmdCycleLogs, false, 1},
    {"&File", "E&xit", kCmdExit, false, 0},
    {"&Edit", "&Copy", kCmdCopy, false, 1},
    {"&Edit", "Copy Screen &Log", kCmdCopyLog, false, 0},
    {"&Edit", "&Reset Screen Log", kCmdResetLog, false, 0},
    {"&Configure", "Server &Control...", kCmdServerControl, false, 0},
    {"&Configure", "&Reload Ini File", kCmdReload, false, 1},
    {"&Configure", "Pause the Server", kCmdPause, true, 1},
    {"&Configure", "&Sound", kCmdSound, true, 0},
    {"&Configure", "&Greedy", kCmdGreedy, true, 0},
    {"&Configure", "Mi&nimize on startup", kCmdMinimize, true, 0},
    {"&View", "S&tatus", kCmdStatus, false, 0},
    {"&View", "Socket &Info", kCmdSocketInfo, false, 0},
    {"&View", "Active &Socket List", kCmdSocketList, false, 0},
    {"&View", "&Alias List", kCmdAliasList, false, 0},
    {"&View", "E&xtentions List", kCmdExtensionList, false, 0},
    {"&View", "&Group List", kCmdGroupList, false, 0},
    {"&View", "&User List", kCmdUserList, false, 2},
    {"&View", "Debug Detail &1", kCmdDebug1, true, 0},
    {"&View", "Debug Detail &2", kCmdDebug2, true, 0},
    {"&View", "Debug Detail &3", kCmdDebug3, true, 1},
    {"&View", "Co&nnects", kCmdConnects, true, 0},
    {"&View", "Co&mmands", kCmdCommands, true, 0},
    {"&View", "&Files", kCmdFiles, true, 0},
    {"&View", "C&losing", kCmdClosing, true, 0},
    {"&Help", "Contents", kCmdHelp, false, 0},
    {"&Help", "&About QXServer...", kCmdAbout, false, 0},
};

// Engine texts end their lines with CR LF or LF; a box wants LF.
QString box_text(const std::string& text) {
    QString s = QString::fromUtf8(text.c_str());
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s.trimmed();
}

// The manual: installed beside the program, or in the source tree the
// program was built from.
QString manual_path() {
    QString bin = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        bin + QStringLiteral("/../share/doc/qxserver/index.html"),
        bin + QStringLiteral("/docs/index.html"),
        QStringLiteral(QXS_SOURCE_DOCS "/index.html"),
    };
    for (const QString& path : candidates) {
        if (QFileInfo::exists(path)) return QFileInfo(path).canonicalFilePath();
    }
    return QString();
}

}  // namespace

int start_control(const char* program) {
    QString name = QString::fromUtf8(program);
    if (QStandardPaths::findExecutable(name).isEmpty()) return 2;
    return QProcess::startDetached(name, {}) ? 33 : 31;
}

const char* control_failure_reason(int code) {
    switch (code) {
        case 2:
            return "The QXServer Control program (QXSCTL.EXE) file was not found.";
        case 0:
            return "Not enough memory to run the QXServer Control program now.";
        default:
            return "An unknown error occurred while trying to run the QXServer Control program.";
    }
}

MainWindow::MainWindow() {
    setObjectName(QStringLiteral("WinMainQx"));
    setWindowTitle(QStringLiteral("Qx's Server"));
    setWindowIcon(program_icon());

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    panel_ = new StatusPanel(client);
    log_ = new QPlainTextEdit(client);
    log_->setObjectName(QStringLiteral("screenLog"));
    log_->setProperty("controlId", kScreenLogControlId);
    log_->setReadOnly(true);
    log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setUndoRedoEnabled(false);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(panel_);
    layout->addWidget(log_, 1);
    setCentralWidget(client);

    log_flush_ = new QTimer(this);
    log_flush_->setSingleShot(true);
    connect(log_flush_, &QTimer::timeout, this, [this] { flush_log(); });

    build_menus();
    resize(kWidth, kHeight);
}

MainWindow::~MainWindow() {
    if (&shell() == this) set_shell(nullptr);
}

void MainWindow::build_menus() {
    QMenu* menu = nullptr;
    const char* menu_name = "";
    for (const MenuItem& item : kMenu) {
        if (menu == nullptr || std::strcmp(menu_name, item.menu) != 0) {
            menu = menuBar()->addMenu(QString::fromLatin1(item.menu));
            menu->setSeparatorsCollapsible(false);
            menu_name = item.menu;
        }
        QAction* a = menu->addAction(QString::fromLatin1(item.text));
        a->setCheckable(item.checkable);
        a->setData(item.id);
        int id = item.id;
        connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
        actions_[id] = a;
        for (int i = 0; i < item.separators_after; ++i) menu->addSeparator();
    }
}

QAction* MainWindow::action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::run_command(int id) {
    if (id < kFirstMenuId || id > kLastMenuId) return;
    switch (id) {
        case kCmdCopy:
            log_->copy();
            return;
        case kCmdCopyLog:
            flush_log();
            log_->selectAll();
            log_->copy();
            return;
        case kCmdResetLog:
            screen_log_lines().clear();
            shown_line_ = screen_log_lines().last_line();
            log_->clear();
            return;
        case kCmdServerControl:
            start_control_program();
            return;
        case kCmdHelp:
            open_manual();
            return;
        case kCmdAbout:
            open_about();
            run_operator_command(kCmdAbout);  // the banner again
            return;
        default:
            run_operator_command(id);  // ids naming no command are ignored there
            return;
    }
}

void MainWindow::open_about() {
    if (about_ == nullptr) {
        about_ = new AboutBox(this);
        about_->show();
        wake_tick();  // the version line repaints on every tick
    }
    about_->update();
    about_->raise();
    about_->activateWindow();
}

void MainWindow::open_manual() {
    QString path = manual_path();
    if (path.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        message_box(path.isEmpty() ? "The manual (docs/index.html) was not found."
                                   : "No program to show the manual (docs/index.html) was found.",
                    "QXServer Help");
    }
}

void MainWindow::start_control_program() {
    int code = start_control("qxsctl");
    if (code > 31) return;
    message_box("Unable to run the server control program QXSCTL.EXE", "Whoops");
    char reason[256];
    std::snprintf(reason, sizeof reason, "The result was - %s\r\nWinExec error %d",
                  control_failure_reason(code), code);
    message_box(reason, "Whoops - Reason");
}

// ---- Shell -------------------------------------------------------------------

void MainWindow::append_log(const char*) {
    // The text is in the screen log's store already; the view catches up
    // with it shortly, all new lines at once.
    if (!log_flush_->isActive()) log_flush_->start(kLogFlushMs);
}

void MainWindow::flush_log() {
    log_flush_->stop();
    LogLines& lines = screen_log_lines();
    if (lines.last_line() == shown_line_) return;
    std::string text = lines.lines_since(shown_line_);
    shown_line_ = lines.last_line();

    QScrollBar* bar = log_->verticalScrollBar();
    bool following = bar->value() == bar->maximum();
    QString added = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    added.remove(QLatin1Char('\r'));
    QTextDocument* doc = log_->document();
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    end.insertText(added);

    // Past the capacity the oldest lines go, down to three quarters.
    int count = doc->characterCount();
    if (count > kViewCapacity) {
        QTextBlock keep = doc->findBlock(count - kViewCapacity * 3 / 4);
        QTextCursor cut(doc);
        cut.setPosition(keep.position(), QTextCursor::KeepAnchor);
        cut.removeSelectedText();
    }
    if (following) bar->setValue(bar->maximum());
}

void MainWindow::refresh_status() {
    panel_->refresh();
    if (engine.startup_stage < 20) return;
    int active = engine.table != nullptr ? count_active(*engine.table) : 0;
    QString title = active > 0 ? QStringLiteral("QXServer - Serving %1 on %2")
                                     .arg(active)
                                     .arg(QString::fromUtf8(engine.server_name))
                               : QStringLiteral("QXServer - Listening on %1")
                                     .arg(QString::fromUtf8(engine.server_name));
    if (title != windowTitle()) setWindowTitle(title);
}

void MainWindow::message_box(const char* text, const char* title) {
    waiting_boxes_.push_back({text != nullptr ? text : "", title != nullptr ? title : ""});
    // Shown from Qt's loop, one after another: the server's loop goes on
    // while a box waits for its OK.
    QTimer::singleShot(0, this, [this] { show_next_box(); });
}

QMessageBox* MainWindow::make_box(const std::string& text, const std::string& title) {
    bool error =
        QString::fromStdString(title).contains(QStringLiteral("error"), Qt::CaseInsensitive);
    return new QMessageBox(error ? QMessageBox::Critical : QMessageBox::NoIcon,
                           QString::fromUtf8(title.c_str()), box_text(text), QMessageBox::Ok, this);
}

void MainWindow::show_next_box() {
    if (open_box_ != nullptr || waiting_boxes_.empty()) return;
    Box box = waiting_boxes_.front();
    waiting_boxes_.pop_front();
    open_box_ = make_box(box.text, box.title);
    open_box_->setAttribute(Qt::WA_DeleteOnClose);
    connect(open_box_, &QMessageBox::finished, this, [this] {
        open_box_ = nullptr;
        show_next_box();
    });
    open_box_->open();
}

void MainWindow::show_waiting_boxes() {
    while (!waiting_boxes_.empty()) {
        Box box = waiting_boxes_.front();
        waiting_boxes_.pop_front();
        QMessageBox* shown = make_box(box.text, box.title);
        shown->exec();
        delete shown;
    }
}

void MainWindow::beep(Beep) {
    QApplication::beep();
}

void MainWindow::show_switch(int command, bool on) {
    if (QAction* a = action(command)) a->setChecked(on);
}

void MainWindow::tick() {
    panel_->tick(QCursor::pos());
    if (startup_ticks_ < 10) {
        ++startup_ticks_;
    } else if (startup_ticks_ == 10) {
        // The eleventh tick after start: the fixed-pitch font, then the
        // minimize the settings ask for.
        if (!fixed_font_) {
            fixed_font_ = true;
            log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        }
        if (settings.minimize) {
            showMinimized();
            panel_->update(QRect(QPoint(105, 2), QPoint(281, 31)));
            panel_->step_head();
        }
        ++startup_ticks_;
    }
    if (about_ != nullptr) about_->update(AboutBox::version_area());
}

bool MainWindow::wants_ticks() const {
    return startup_ticks_ <= 10 || about_ != nullptr || (isVisible() && !isMinimized());
}

void MainWindow::set_head_animation(bool on) {
    panel_->set_head_animation(on);
}

// ---- Window events -----------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is Exit, unless the server is stopping already
    // (Qt closes its windows on the way out).
    if (engine.loop != nullptr && !engine.loop->quitting()) run_command(kCmdExit);
    event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized()) wake_tick();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    wake_tick();
}

}  // namespace qxs::window
