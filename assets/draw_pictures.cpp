// Draws the window's pictures into a folder as PNG files, at build time:
//
//   vhindex.png      the turning head: 15 cells 27 pixels apart, 30 x 33 each
//   qx32.png         the still head, 33 x 33
//   logo10.png       the product name, 176 x 29
//   *led*.png        the four slot lamps, 6 x 13 each
//   bm_connects.png  the files-sent label, 48 x 16
//   bm_posts.png     the posts label, 48 x 16
//   icon-N.png       the program icon, N x N for the usual icon sizes
//
// The build compiles the panel pictures into the program with Qt's resource
// system and installs the icons; only this source is kept in the tree.
//
// Usage: draw_pictures OUTPUT-FOLDER (needs a Qt platform; the build runs it
// on the offscreen one).
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kPi = 3.14159265358979323846;

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// ---- The head -----------------------------------------------------------
//
// A small ray caster: the head, its ears, nose and neck are ellipsoids in
// the head's own coordinates (x to its left ear, y down, z out of its face),
// turned about the vertical axis and lit from the upper left. Each pixel is
// the average of 4 x 4 rays, so the edges come out smooth.

struct Vec {
    double x, y, z;
};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(Vec a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec normalized(Vec a) {
    double length = std::sqrt(dot(a, a));
    return length > 0 ? a * (1 / length) : a;
}
// Turns a vector by `angle` about the vertical (y) axis.
Vec turn(Vec v, double angle) {
    double c = std::cos(angle), s = std::sin(angle);
    return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
}

enum Part { kSkull, kEar, kNose, kNeck };

struct Ellipsoid {
    Vec centre;
    Vec radii;
    Part part;
};

const Ellipsoid kHead[] = {
    {{0, 0, 0}, {9.6, 11.6, 10.2}, kSkull},    {{-9.6, 0.6, -0.5}, {1.7, 3.2, 2.2}, kEar},
    {{9.6, 0.6, -0.5}, {1.7, 3.2, 2.2}, kEar}, {{0, 1.8, 9.6}, {1.5, 2.4, 1.8}, kNose},
    {{0, 12.5, -1.2}, {4.6, 4.0, 4.6}, kNeck},
};

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

constexpr Rgb kSkin{0.96, 0.78, 0.62};
constexpr Rgb kHair{0.36, 0.22, 0.12};
constexpr Rgb kEye{0.10, 0.12, 0.22};
constexpr Rgb kMouth{0.72, 0.25, 0.22};

// The colour of the head's surface at a point of the skull (head coordinates).
Rgb skull_colour(Vec p) {
    // Hair: a cap over the top, down to the brow in front, above the ears
    // at the sides and to the nape at the back.
    double back = (1 - p.z / 10.2) / 2;  // 0 at the face, 1 at the back
    double hairline = -5.0 + 11.5 * std::pow(back, 1.6);
    if (p.y < hairline) return kHair;
    if (p.z > 0) {
        // Eyes, with a glint.
        for (double side : {-3.5, 3.5}) {
            double dx = p.x - side, dy = p.y + 0.8;
            if (dx * dx + dy * dy * 0.7 < 1.9) {
                return (dx < -0.3 && dy < -0.2) ? Rgb{0.95, 0.95, 1.0} : kEye;
            }
            // Brows.
            if (std::fabs(dx) < 2.0 && p.y > -4.2 && p.y < -3.2) return mix(kHair, kSkin, 0.25);
        }
        // A smile.
        double smile = 6.3 - 0.1 * p.x * p.x;
        if (std::fabs(p.x) < 3.6 && p.y > smile - 0.6 && p.y < smile + 0.6) return kMouth;
    }
    return kSkin;
}

// Colour and opacity of one ray through the head turned by `angle`, the
// head's centre being at the origin; the ray runs parallel to z at (x, y).
bool cast(double x, double y, double angle, Rgb* out) {
    // The ray in head coordinates: origin and direction turned back.
    Vec origin = turn(Vec{x, y, 100}, -angle);
    Vec direction = turn(Vec{0, 0, -1}, -angle);
    double nearest = 1e9;
    const Ellipsoid* hit = nullptr;
    for (const Ellipsoid& e : kHead) {
        Vec o = origin - e.centre;
        Vec os{o.x / e.radii.x, o.y / e.radii.y, o.z / e.radii.z};
        Vec ds{direction.x / e.radii.x, direction.y / e.radii.y, direction.z / e.radii.z};
        double a = dot(ds, ds), b = 2 * dot(os, ds), c = dot(os, os) - 1;
        double disc = b * b - 4 * a * c;
        if (disc < 0) continue;
        double t = (-b - std::sqrt(disc)) / (2 * a);
        if (t > 0 && t < nearest) {
            nearest = t;
            hit = &e;
        }
    }
    if (hit == nullptr) return false;
    Vec p = origin + direction * nearest;
    Vec local = p - hit->centre;
    Vec normal = normalized({local.x / (hit->radii.x * hit->radii.x),
                             local.y / (hit->radii.y * hit->radii.y),
                             local.z / (hit->radii.z * hit->radii.z)});
    Rgb base = kSkin;
    switch (hit->part) {
        case kSkull:
            base = skull_colour(p);
            break;
        case kEar:
            base = mix(kSkin, Rgb{0.85, 0.55, 0.45}, 0.35);
            break;
        case kNose:
            base = mix(kSkin, Rgb{0.9, 0.6, 0.5}, 0.2);
            break;
        case kNeck:
            base = mix(kSkin, Rgb{0.5, 0.35, 0.3}, 0.3);
            break;
    }
    // Light from the upper left, in front; the normal back in the world.
    Vec world_normal = turn(normal, angle);
    Vec light = normalized({-0.55, -0.6, 0.75});
    double diffuse = std::max(0.0, dot(world_normal, light));
    Vec half = normalized(light + Vec{0, 0, 1});
    double specular = std::pow(std::max(0.0, dot(world_normal, half)), 24) * 0.35;
    double shade = 0.38 + 0.62 * diffuse;
    *out = {std::min(1.0, base.r * shade + specular), std::min(1.0, base.g * shade + specular),
            std::min(1.0, base.b * shade + specular)};
    return true;
}

// Draws the head turned by `angle` with its centre at (cx, cy).
void draw_head(QImage& image, double cx, double cy, double angle, double scale = 1.0) {
    constexpr int kRays = 4;
    for (int py = 0; py < image.height(); ++py) {
        for (int px = 0; px < image.width(); ++px) {
            double r = 0, g = 0, b = 0;
            int covered = 0;
            for (int sy = 0; sy < kRays; ++sy) {
                for (int sx = 0; sx < kRays; ++sx) {
                    double x = (px + (sx + 0.5) / kRays - cx) / scale;
                    double y = (py + (sy + 0.5) / kRays - cy) / scale;
                    Rgb c;
                    if (!cast(x, y, angle, &c)) continue;
                    r += c.r;
                    g += c.g;
                    b += c.b;
                    ++covered;
                }
            }
            if (covered == 0) continue;
            auto channel = [&](double sum) {
                return static_cast<int>(std::lround(255 * sum / covered));
            };
            int alpha = static_cast<int>(std::lround(255.0 * covered / (kRays * kRays)));
            image.setPixel(px, py, qPremultiply(qRgba(channel(r), channel(g), channel(b), alpha)));
        }
    }
}

// The head strip: cell k at x = 27 k holds the head turned k / 15 of the
// way round, drawn within the 24 middle columns of the cell, so the three
// columns a cell shares with the next stay empty.
QImage head_strip() {
    constexpr int kCells = 15, kPitch = 27;
    QImage strip = blank(kPitch * (kCells - 1) + 30, 33);
    for (int k = 0; k < kCells; ++k) {
        QImage cell = blank(30, 33);
        draw_head(cell, 15.0, 15.5, 2 * kPi * k / kCells);
        QPainter p(&strip);
        p.drawImage(QRect(kPitch * k + 3, 0, 24, 33), cell, QRect(3, 0, 24, 33));
    }
    return strip;
}

// The still head: a little turned, as if glancing at the panel.
QImage still_head() {
    QImage image = blank(33, 33);
    draw_head(image, 16.5, 16.0, -0.35);
    return image;
}

// ---- Lamps ----------------------------------------------------------------

struct LampLook {
    const char* name;
    QColor lens;  // the lamp's own colour at its middle
    QColor rim;   // at its edge
    double glow;  // 0: unlit, 1: fully lit
};

QImage lamp(const LampLook& look) {
    QImage image = blank(6, 13);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The bezel: a dark rounded holder with a light lower edge, as if set
    // into the panel.
    QRectF outer(0, 0, 6, 13);
    QLinearGradient bezel(0, 0, 0, 13);
    bezel.setColorAt(0, QColor(40, 40, 40));
    bezel.setColorAt(1, QColor(120, 120, 120));
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawRoundedRect(outer, 2.2, 2.2);
    // The lens: lit from within, brightest in the middle.
    QRectF lens(1, 1, 4, 11);
    QRadialGradient light(QPointF(3, 6), 6.5, QPointF(2.6, 5));
    light.setColorAt(0, look.lens);
    light.setColorAt(1, look.rim);
    p.setBrush(light);
    p.drawRoundedRect(lens, 1.6, 1.6);
    // A reflection near the top of the lens.
    QColor shine(255, 255, 255, static_cast<int>(70 + 110 * look.glow));
    p.setBrush(shine);
    p.drawRoundedRect(QRectF(1.6, 1.7, 1.6, 3.2), 0.8, 0.8);
    return image;
}

// ---- Labels and logo --------------------------------------------------------

QFont bold_font(double pixels) {
    QFont font("DejaVu Sans");
    font.setPixelSize(static_cast<int>(std::lround(pixels)));
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// A dark plate with a small picture at the left and a word.
QImage label(const char* word, void (*symbol)(QPainter&)) {
    QImage image = blank(48, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient plate(0, 0, 0, 16);
    plate.setColorAt(0, QColor(70, 86, 110));
    plate.setColorAt(1, QColor(28, 36, 52));
    p.setPen(QPen(QColor(18, 22, 30), 1));
    p.setBrush(plate);
    p.drawRoundedRect(QRectF(0.5, 0.5, 47, 15), 3, 3);
    p.save();
    symbol(p);
    p.restore();
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(bold_font(9));
    p.setPen(QColor(222, 236, 255));
    p.drawText(QRectF(17, 0, 30, 16), Qt::AlignVCenter | Qt::AlignLeft, word);
    return image;
}

// A page with a corner turned down and an arrow leaving it.
void page_symbol(QPainter& p) {
    QPainterPath page;
    page.moveTo(3, 3);
    page.lineTo(9, 3);
    page.lineTo(12, 6);
    page.lineTo(12, 13);
    page.lineTo(3, 13);
    page.closeSubpath();
    p.setPen(QPen(QColor(30, 40, 60), 0.8));
    p.setBrush(QColor(250, 250, 245));
    p.drawPath(page);
    p.setPen(QPen(QColor(150, 160, 175), 0.8));
    for (double y : {7.0, 9.0, 11.0}) p.drawLine(QPointF(5, y), QPointF(10.5, y));
    QPainterPath arrow;
    arrow.moveTo(9, 8.5);
    arrow.lineTo(13, 8.5);
    arrow.lineTo(13, 6.5);
    arrow.lineTo(16, 10);
    arrow.lineTo(13, 13.5);
    arrow.lineTo(13, 11.5);
    arrow.lineTo(9, 11.5);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(10, 70, 10), 0.7));
    p.setBrush(QColor(90, 220, 90));
    p.drawPath(arrow);
}

// An envelope.
void envelope_symbol(QPainter& p) {
    QRectF body(2.5, 4.5, 12, 8);
    p.setPen(QPen(QColor(30, 40, 60), 0.8));
    p.setBrush(QColor(250, 246, 228));
    p.drawRect(body);
    p.setPen(QPen(QColor(120, 110, 90), 0.9));
    p.drawLine(QPointF(2.8, 4.8), QPointF(8.5, 9.2));
    p.drawLine(QPointF(14.2, 4.8), QPointF(8.5, 9.2));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 60, 50));
    p.drawEllipse(QPointF(8.5, 9.0), 1.3, 1.3);
}

// "QXServer": "QX" in red, "Server" in deep blue, on a faint globe.
QImage logo() {
    QImage image = blank(176, 29);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The globe behind the letters' start: a web of meridians.
    QPointF globe(14, 14.5);
    QRadialGradient sea(globe + QPointF(-4, -4), 16);
    sea.setColorAt(0, QColor(120, 180, 240));
    sea.setColorAt(1, QColor(20, 70, 150));
    p.setPen(QPen(QColor(10, 40, 90), 1));
    p.setBrush(sea);
    p.drawEllipse(globe, 12.5, 12.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(200, 230, 255, 170), 0.8));
    for (double w : {4.5, 9.0}) p.drawEllipse(globe, w, 12.5);
    p.drawLine(globe + QPointF(0, -12.5), globe + QPointF(0, 12.5));
    for (double dy : {-6.5, 0.0, 6.5}) {
        double half = std::sqrt(12.5 * 12.5 - dy * dy);
        p.drawLine(globe + QPointF(-half, dy), globe + QPointF(half, dy));
    }

    QFont font = bold_font(23);
    font.setItalic(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.5);
    QFontMetricsF metrics(font);
    double baseline = 14.5 + (metrics.ascent() - metrics.descent()) / 2;
    QPainterPath qx, server;
    qx.addText(31, baseline, font, "QX");
    server.addText(31 + metrics.horizontalAdvance("QX"), baseline, font, "Server");

    // A soft shadow, then the letters with a light edge.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawPath(qx.translated(1.2, 1.2));
    p.drawPath(server.translated(1.2, 1.2));
    QLinearGradient red(0, 4, 0, 26);
    red.setColorAt(0, QColor(255, 110, 90));
    red.setColorAt(1, QColor(170, 20, 20));
    QLinearGradient blue(0, 4, 0, 26);
    blue.setColorAt(0, QColor(70, 120, 210));
    blue.setColorAt(1, QColor(15, 35, 110));
    p.setPen(QPen(QColor(255, 255, 255, 160), 0.6));
    p.setBrush(red);
    p.drawPath(qx);
    p.setBrush(blue);
    p.drawPath(server);
    return image;
}

// The program icon: a rounded tile with the globe of the logo and "QX".
QImage icon(int size) {
    QImage image = blank(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(60, 120, 210));
    tile.setColorAt(1, QColor(14, 40, 110));
    p.setPen(QPen(QColor(8, 24, 70), 1.5));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // The globe's lines, faint.
    QPointF globe(32, 32);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(190, 220, 255, 110), 2));
    p.drawEllipse(globe, 24, 24);
    p.drawEllipse(globe, 11, 24);
    p.drawLine(globe + QPointF(0, -24), globe + QPointF(0, 24));
    p.drawLine(globe + QPointF(-24, 0), globe + QPointF(24, 0));

    QFont font = bold_font(30);
    QPainterPath letters;
    QFontMetricsF metrics(font);
    double width = metrics.horizontalAdvance("QX");
    letters.addText(32 - width / 2, 32 + (metrics.ascent() - metrics.descent()) / 2, font, "QX");
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawPath(letters.translated(1.5, 1.5));
    p.setPen(QPen(QColor(120, 20, 20), 1));
    p.setBrush(QColor(255, 250, 240));
    p.drawPath(letters);

    // A lit lamp, as on the status panel.
    QRadialGradient lamp_light(QPointF(51, 51), 6);
    lamp_light.setColorAt(0, QColor(200, 255, 200));
    lamp_light.setColorAt(1, QColor(30, 170, 40));
    p.setPen(QPen(QColor(10, 50, 10), 1));
    p.setBrush(lamp_light);
    p.drawEllipse(QPointF(51, 51), 5, 5);
    return image;
}

bool save(const QImage& image, const QDir& folder, const char* name) {
    QString path = folder.filePath(name);
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "draw_pictures: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_pictures OUTPUT-FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(".")) return 1;

    const LampLook lamps[] = {
        // Never used since start: a dead lamp.
        {"vdarkgreenled1.png", QColor(38, 58, 40), QColor(16, 26, 18), 0.0},
        // Used before, idle now: a faint glow.
        {"vdarkgreenled2.png", QColor(40, 120, 48), QColor(14, 52, 20), 0.2},
        // Busy.
        {"vgreenled.png", QColor(80, 230, 80), QColor(20, 130, 30), 0.7},
        // Busy, and the sender's turn is on it.
        {"vbrightgreenled.png", QColor(235, 255, 225), QColor(90, 240, 80), 1.0},
    };
    bool ok = save(head_strip(), folder, "vhindex.png") && save(still_head(), folder, "qx32.png") &&
              save(logo(), folder, "logo10.png") &&
              save(label("Files", page_symbol), folder, "bm_connects.png") &&
              save(label("Posts", envelope_symbol), folder, "bm_posts.png");
    for (const LampLook& look : lamps) ok = ok && save(lamp(look), folder, look.name);
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        char name[32];
        std::snprintf(name, sizeof name, "icon-%d.png", size);
        ok = ok && save(icon(size), folder, name);
    }
    return ok ? 0 : 1;
}
