// The about box: modeless, at most one at a time (the main window keeps
// track of it). It paints the server's version line itself, every time it
// is asked to repaint.
#pragma once

#include <QDialog>

namespace qxs::window {

class AboutBox final : public QDialog {
public:
    explicit AboutBox(QWidget* parent);

    // Where the version line is drawn; the main window repaints this area
    // on every tick while the box is open.
    static QRect version_area() { return QRect(QPoint(33, 0), QPoint(281, 33)); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace qxs::window
