#include "shell/window/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "engine/server.h"
#include "shell/window/pictures.h"

namespace qxs::window {
namespace {

QLabel* text_label(QWidget* parent, const QString& text, QRect where) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(where);
    return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About QXServer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(381, 301);

    auto* icon = new QLabel(this);
    icon->setPixmap(program_icon().pixmap(64, 64));
    icon->setGeometry(16, 8, 64, 64);

    text_label(this, QStringLiteral("QXServer Personal Edition, release 3.07b"),
               QRect(96, 34, 270, 20));
    text_label(this, QStringLiteral("A World Wide Web and Gopher Server"), QRect(96, 54, 270, 20));

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(16, 86, 349, 4);

    auto* logo = new QLabel(this);
    logo->setPixmap(pictures().logo);
    logo->setGeometry(102, 104, 176, 29);

    QLabel* web = text_label(this,
                             QStringLiteral("For the latest version look at<br>"
                                            "<a href=\"https://qxserver.example.org/\">"
                                            "https://qxserver.example.org/</a>"),
                             QRect(16, 150, 349, 40));
    web->setTextFormat(Qt::RichText);
    web->setOpenExternalLinks(true);
    web->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QLabel* mail = text_label(this,
                              QStringLiteral("Questions and reports go to<br>"
                                             "<a href=\"mailto:support@qxserver.example.org\">"
                                             "support@qxserver.example.org</a>"),
                              QRect(16, 198, 349, 40));
    mail->setTextFormat(Qt::RichText);
    mail->setOpenExternalLinks(true);
    mail->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(150, 256, 81, 28);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(96, 8 + p.fontMetrics().ascent(), QStringLiteral("QXServer/%1").arg(kServerVersion));
}

}  // namespace qxs::window
