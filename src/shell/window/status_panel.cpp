#include "shell/window/status_panel.h"

#include <QPaintEvent>
#include <QPainter>

#include "engine/server.h"

namespace qxs::window {
namespace {

constexpr int kHeadFrames = 30;
constexpr int kHeadCells = 15;
constexpr int kHeadPitch = 27;
// The light grey of the panel, and the pen of its top line and its texts.
const QColor kPanelGrey(192, 192, 192);

}  // namespace

StatusPanel::StatusPanel(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kHeight);
    // Every paint fills what it repaints: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont f = font();
    f.setPixelSize(13);
    setFont(f);
}

void StatusPanel::refresh() {
    update(QRect(QPoint(34, 0), QPoint(380, 63)));
    step_head();
}

void StatusPanel::step_head() {
    if (ticks_ > 30) {
        head_frame_ = (head_frame_ + 1) % kHeadFrames;
    } else {
        head_frame_ = head_frame_ > 0 ? head_frame_ - 1 : 0;
    }
    update(QRect(QPoint(0, 0), QPoint(33, 33)));
}

void StatusPanel::tick(QPoint pointer) {
    ticks_ = (ticks_ + 1) % 100;
    if (pointer.x() < 10 && pointer.y() < 10) {
        update(QRect(QPoint(105, 2), QPoint(281, 31)));
        step_head();
    }
}

void StatusPanel::set_head_animation(bool on) {
    animate_ = on;
    update(QRect(QPoint(0, 0), QPoint(33, 33)));
}

Lamp StatusPanel::lamp_for(const ConnectionTable& table, int slot) {
    const Connection& c = table.records[slot];
    if (!c.ever_used) return Lamp::kNeverUsed;
    if (c.state == kIdle) return Lamp::kIdle;
    return table.send_cursor == slot ? Lamp::kSending : Lamp::kBusy;
}

void StatusPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), kPanelGrey);
    p.setPen(Qt::black);
    p.drawLine(0, 0, 600, 0);

    // Texts are placed by their top-left corner.
    auto text_at = [&](int x, int y, const QString& text) {
        p.drawText(x, y + p.fontMetrics().ascent(), text);
    };
    if (engine.startup_stage == 10) {
        text_at(24, 8, QStringLiteral("Getting hostname..."));
        return;
    }
    if (engine.startup_stage != 20) return;

    const Pictures& pics = pictures();
    if (animate_) {
        int cell = head_frame_ % kHeadCells;
        p.drawPixmap(3, 0, pics.head_strip, cell * kHeadPitch, 0, 30, 33);
    } else {
        p.drawPixmap(1, 1, pics.still_head, 0, 0, 33, 33);
    }
    p.drawPixmap(150, 2, pics.logo, 0, 0, 176, 29);
    if (engine.table != nullptr) {
        for (int i = 0; i < engine.table->usable_slots; ++i) {
            QPoint at = lamp_position(i);
            p.drawPixmap(at.x(), at.y(), pics.lamp(lamp_for(*engine.table, i)), 0, 0, 6, 13);
        }
    }
    p.drawPixmap(41, 1, pics.files_label, 0, 0, 48, 16);
    p.drawPixmap(41, 17, pics.posts_label, 0, 0, 48, 16);
    text_at(104, 1, QString::number(engine.totals.total_files_sent));
    text_at(104, 17, QString::number(engine.totals.total_posts));
}

}  // namespace qxs::window
