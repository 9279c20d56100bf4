#include "shell/window/pictures.h"

namespace qxs::window {

const Pictures& pictures() {
    static const Pictures loaded = [] {
        Pictures p;
        p.head_strip.load(":/pictures/vhindex.png");
        p.still_head.load(":/pictures/qx32.png");
        p.logo.load(":/pictures/logo10.png");
        p.files_label.load(":/pictures/bm_connects.png");
        p.posts_label.load(":/pictures/bm_posts.png");
        p.lamps[static_cast<int>(Lamp::kNeverUsed)].load(":/pictures/vdarkgreenled1.png");
        p.lamps[static_cast<int>(Lamp::kIdle)].load(":/pictures/vdarkgreenled2.png");
        p.lamps[static_cast<int>(Lamp::kBusy)].load(":/pictures/vgreenled.png");
        p.lamps[static_cast<int>(Lamp::kSending)].load(":/pictures/vbrightgreenled.png");
        return p;
    }();
    return loaded;
}

QIcon program_icon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/pictures/icon-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace qxs::window
