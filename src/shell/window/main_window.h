// The operator's window: the menu bar, the status panel across the top 64
// pixels and the screen log below it. It is the engine's front end (Shell)
// while it exists. Commands run through the operator command table; the
// window itself handles only what needs the desktop: the clipboard, the
// manual, the control program and the about box.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "shell/shell.h"
#include "shell/window/about_box.h"

class QAction;
class QTimer;
class QPlainTextEdit;

namespace qxs::window {

class StatusPanel;

class MainWindow final : public QMainWindow, public Shell {
public:
    // Default size of the window: menu bar, panel and screen log.
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 364;

    MainWindow();
    ~MainWindow() override;

    // Shell: what the engine asks of its front end.
    void append_log(const char* text) override;
    void refresh_status() override;
    void message_box(const char* text, const char* title) override;
    void beep(Beep kind) override;
    void show_switch(int command, bool on) override;
    void tick() override;
    bool wants_ticks() const override;
    void set_head_animation(bool on) override;

    // A menu command by its identifier; identifiers outside the menu's
    // range, or naming no command, are ignored.
    void run_command(int id);
    // The menu item of a command (nullptr for none).
    QAction* action(int id) const;

    // Brings the screen-log view up to the screen log's lines. Runs shortly
    // after new text has arrived, gathering what came meanwhile.
    void flush_log();
    // Shows the message boxes still waiting, one after another, each
    // waiting for its OK (for a start-up failure that ends the program).
    void show_waiting_boxes();

    StatusPanel* panel() const { return panel_; }
    QPlainTextEdit* log_view() const { return log_; }
    AboutBox* about_box() const { return about_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build_menus();
    void open_about();
    void open_manual();
    void start_control_program();
    void show_next_box();
    QMessageBox* make_box(const std::string& text, const std::string& title);

    StatusPanel* panel_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QPointer<AboutBox> about_;
    std::map<int, QAction*> actions_;

    uint64_t shown_line_ = 0;  // the newest screen-log line in the view
    QTimer* log_flush_ = nullptr;

    struct Box {
        std::string text;
        std::string title;
    };
    std::deque<Box> waiting_boxes_;
    QPointer<QMessageBox> open_box_;

    int startup_ticks_ = 0;  // 0 ... 11, then stays
    bool fixed_font_ = false;
};

// What starting the control program came to, in the codes the Whoops boxes
// report: above 31 started; 2 not found; 0 not enough memory; other codes
// an unknown failure.
int start_control(const char* program);
// The reason text for a failure code.
const char* control_failure_reason(int code);

}  // namespace qxs::window
