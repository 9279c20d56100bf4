// The window's pictures, compiled into the program (see assets/): the head
// strip and the still head, the logo, the four slot lamps, the two counter
// labels and the program icon. Loaded once, on first use, after the
// application object exists.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace qxs::window {

// What a slot's lamp shows.
enum class Lamp {
    kNeverUsed,  // no connection since start
    kIdle,       // free again after earlier use
    kBusy,       // holding a connection
    kSending,    // holding a connection whose turn the sender is on
};

struct Pictures {
    QPixmap head_strip;   // "vhindex": cells 27 pixels apart, 30 x 33 each
    QPixmap still_head;   // "QX32", 33 x 33
    QPixmap logo;         // "Logo10", 176 x 29
    QPixmap files_label;  // "bm_connects", 48 x 16
    QPixmap posts_label;  // "bm_posts", 48 x 16
    QPixmap lamps[4];     // 6 x 13 each, indexed by Lamp
    const QPixmap& lamp(Lamp look) const { return lamps[static_cast<int>(look)]; }
};

const Pictures& pictures();
QIcon program_icon();

}  // namespace qxs::window
