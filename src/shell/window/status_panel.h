// The status panel across the top 64 pixels of the main window: the head
// (turning, or the still picture), the logo, one lamp per connection slot
// and the two counters with their labels. It reads the engine's table and
// totals when it paints; refreshes repaint only its own rectangles.
#pragma once

#include <QPoint>
#include <QWidget>

#include "engine/connection.h"
#include "shell/window/pictures.h"

namespace qxs::window {

class StatusPanel final : public QWidget {
public:
    static constexpr int kHeight = 64;

    explicit StatusPanel(QWidget* parent = nullptr);

    // A connection changed state: the counters and lamps, then the head.
    void refresh();
    // The head moves one frame: forward for the last 69 ticks of every 100,
    // back towards its first frame for the first 31.
    void step_head();
    // One tick of the main window: advances the tick count, and steps the
    // head while the pointer (screen coordinates) rests in the screen's
    // top-left corner.
    void tick(QPoint pointer);
    void set_head_animation(bool on);

    int head_frame() const { return head_frame_; }
    int tick_count() const { return ticks_; }
    // Where slot i's lamp stands, and what it shows now.
    static QPoint lamp_position(int slot) { return {50 + 8 * slot, 37}; }
    static Lamp lamp_for(const ConnectionTable& table, int slot);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int ticks_ = 0;       // 0 ... 99
    int head_frame_ = 0;  // 0 ... 29
    bool animate_ = false;
};

}  // namespace qxs::window
