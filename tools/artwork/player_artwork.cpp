// Draws every picture of hvplayer's resources: the 26 x 24 control-row
// buttons and their pressed / alternate versions, the start picture SPLASH,
// the logo strip AC, the window icon VIDEO and the hand cursor AUTOR.
//
//   player_artwork OUTDIR     (built as target player_artwork; the PNGs it
//                              writes are committed in resources/player/images)
//
// Deterministic: same Qt, same fonts, same bytes.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kPanel(129, 194, 176);  // the main window's background
const QColor kInk(20, 54, 48);
const QColor kInkPressed(255, 255, 255);
const QColor kAccent(232, 160, 40);

QString gOut;

void Save(const QImage& img, const QString& name) {
    const QString path = gOut + "/" + name + ".png";
    if (!img.save(path, "PNG")) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

enum class Face { Normal, Pressed, Lit };

// The button body: a rounded plate on the panel colour; the glyph is drawn
// into a 26 x 24 box on top by `glyph` with the given ink.
void Button(const QString& name, Face face,
            const std::function<void(QPainter&, const QColor&)>& glyph) {
    QImage img(26, 24, QImage::Format_RGB32);
    img.fill(kPanel);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF body(0.5, 0.5, 25, 23);
    QLinearGradient g(0, 0, 0, 24);
    QColor ink = kInk;
    if (face == Face::Normal) {
        g.setColorAt(0, QColor(246, 252, 250));
        g.setColorAt(1, QColor(178, 218, 206));
    } else if (face == Face::Pressed) {
        g.setColorAt(0, QColor(38, 96, 84));
        g.setColorAt(1, QColor(64, 132, 116));
        ink = kInkPressed;
    } else {
        g.setColorAt(0, QColor(255, 232, 170));
        g.setColorAt(1, QColor(236, 176, 70));
    }
    p.setPen(QPen(QColor(46, 92, 82), 1));
    p.setBrush(g);
    p.drawRoundedRect(body, 4, 4);
    if (face == Face::Normal) {  // a thin highlight along the top edge
        p.setPen(QPen(QColor(255, 255, 255, 200), 1));
        p.drawLine(QPointF(4, 1.5), QPointF(22, 1.5));
    }
    p.save();
    if (face == Face::Pressed) p.translate(0.6, 0.6);
    glyph(p, ink);
    p.restore();
    p.end();
    Save(img, name);
}

void Pair(const QString& name, const std::function<void(QPainter&, const QColor&)>& glyph) {
    Button(name, Face::Normal, glyph);
    Button(name + "2", Face::Pressed, glyph);
}

void Triangle(QPainter& p, const QColor& ink, QPointF a, QPointF b, QPointF c) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ink);
    p.drawPath(path);
}

void Magnifier(QPainter& p, const QColor& ink, bool plus) {
    p.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(11, 10.5), 5.5, 5.5);
    p.setPen(QPen(ink, 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15.2, 14.7), QPointF(19.5, 19));
    p.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8.2, 10.5), QPointF(13.8, 10.5));
    if (plus) p.drawLine(QPointF(11, 7.7), QPointF(11, 13.3));
}

void Speaker(QPainter& p, const QColor& ink) {
    QPainterPath s;
    s.moveTo(5, 9.5);
    s.lineTo(8.5, 9.5);
    s.lineTo(13, 5.5);
    s.lineTo(13, 18.5);
    s.lineTo(8.5, 14.5);
    s.lineTo(5, 14.5);
    s.closeSubpath();
    p.setPen(QPen(ink, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ink);
    p.drawPath(s);
}

void DrawButtons() {
    Pair("left", [](QPainter& p, const QColor& c) {
        Triangle(p, c, {7.5, 12}, {16.5, 6.5}, {16.5, 17.5});
    });
    Pair("right", [](QPainter& p, const QColor& c) {
        Triangle(p, c, {18.5, 12}, {9.5, 6.5}, {9.5, 17.5});
    });
    Pair("up", [](QPainter& p, const QColor& c) {
        Triangle(p, c, {13, 6.5}, {7.5, 16}, {18.5, 16});
    });
    Pair("down", [](QPainter& p, const QColor& c) {
        Triangle(p, c, {13, 17.5}, {7.5, 8}, {18.5, 8});
    });
    Pair("stop", [](QPainter& p, const QColor& c) {  // hold the view: an octagon
        QPolygonF oct;
        for (int i = 0; i < 8; ++i) {
            const double a = (22.5 + 45.0 * i) * M_PI / 180.0;
            oct << QPointF(13 + 6.2 * std::cos(a), 12 + 6.2 * std::sin(a));
        }
        p.setPen(QPen(c, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(c);
        p.drawPolygon(oct);
    });
    Pair("lup", [](QPainter& p, const QColor& c) { Magnifier(p, c, true); });
    Pair("rup", [](QPainter& p, const QColor& c) { Magnifier(p, c, false); });
    Pair("restart", [](QPainter& p, const QColor& c) {  // back to the start: bar + two triangles
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRect(QRectF(6, 7, 2.2, 10));
        Triangle(p, c, {8.8, 12}, {14, 7.5}, {14, 16.5});
        Triangle(p, c, {14, 12}, {19.2, 7.5}, {19.2, 16.5});
    });
    Pair("start", [](QPainter& p, const QColor& c) {
        Triangle(p, c, {19, 12}, {9.5, 6}, {9.5, 18});
    });
    Pair("stopp", [](QPainter& p, const QColor& c) {  // pause the stream
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(8, 6.5, 3.6, 11), 0.8, 0.8);
        p.drawRoundedRect(QRectF(14.4, 6.5, 3.6, 11), 0.8, 0.8);
    });
    Pair("flip", [](QPainter& p, const QColor& c) {  // mirror across a dashed axis
        p.setPen(QPen(c, 1.2, Qt::DashLine));
        p.drawLine(QPointF(13, 4.5), QPointF(13, 19.5));
        Triangle(p, c, {11, 7}, {11, 17}, {5, 17});
        p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath t;
        t.moveTo(15, 7);
        t.lineTo(15, 17);
        t.lineTo(21, 17);
        t.closeSubpath();
        p.drawPath(t);
    });
    const auto soften = [](QPainter& p, const QColor& c) {  // "2x" over a soft dot
        QRadialGradient g(QPointF(13, 12), 9);
        QColor a = c;
        a.setAlpha(70);
        g.setColorAt(0, a);
        g.setColorAt(1, Qt::transparent);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(QPointF(13, 12), 9, 9);
        QFont f("DejaVu Sans");
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(c);
        p.drawText(QRectF(0, 0, 26, 24), Qt::AlignCenter, "2x");
    };
    Button("bill", Face::Normal, soften);
    Button("bill2", Face::Lit, soften);
    Pair("helpp", [](QPainter& p, const QColor& c) {
        QFont f("DejaVu Sans");
        f.setPixelSize(16);
        f.setBold(true);
        p.setFont(f);
        p.setPen(c);
        p.drawText(QRectF(0, 0, 26, 24), Qt::AlignCenter, "?");
    });
    Button("soundon", Face::Normal, [](QPainter& p, const QColor& c) {
        Speaker(p, c);
        p.setPen(QPen(c, 1.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(11, 8, 6, 8), -50 * 16, 100 * 16);
        p.drawArc(QRectF(10, 5, 10, 14), -50 * 16, 100 * 16);
    });
    Button("soundoff", Face::Normal, [](QPainter& p, const QColor& c) {
        Speaker(p, c);
        p.setPen(QPen(QColor(190, 40, 30), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(15.5, 9), QPointF(21, 15));
        p.drawLine(QPointF(21, 9), QPointF(15.5, 15));
    });
}

// The doughnut motif: a ring of scenery (sky outside, ground inside).
void Doughnut(QPainter& p, QPointF c, double outer, double inner) {
    QRadialGradient g(c, outer);
    const double k = inner / outer;
    g.setColorAt(0, QColor(16, 40, 36));
    g.setColorAt(k, QColor(92, 70, 40));
    g.setColorAt(k + (1 - k) * 0.45, QColor(120, 168, 96));
    g.setColorAt(k + (1 - k) * 0.55, QColor(220, 236, 240));
    g.setColorAt(1, QColor(70, 140, 210));
    p.setPen(QPen(QColor(16, 40, 36), 2));
    p.setBrush(g);
    QPainterPath ring;
    ring.addEllipse(c, outer, outer);
    ring.addEllipse(c, inner, inner);
    p.drawPath(ring);
    // landmarks around the ring
    p.setPen(Qt::NoPen);
    const QColor marks[] = {QColor(220, 60, 50), QColor(250, 200, 40), QColor(60, 90, 200),
                            QColor(240, 240, 240)};
    for (int i = 0; i < 4; ++i) {
        const double a = (i * 90 + 30) * M_PI / 180;
        const double r = inner + (outer - inner) * 0.5;
        p.setBrush(marks[i]);
        p.drawEllipse(QPointF(c.x() + r * std::cos(a), c.y() + r * std::sin(a)),
                      (outer - inner) * 0.09, (outer - inner) * 0.09);
    }
}

void DrawSplash() {
    QImage img(600, 432, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient bg(0, 0, 0, 432);
    bg.setColorAt(0, QColor(26, 58, 54));
    bg.setColorAt(1, QColor(10, 26, 24));
    p.fillRect(img.rect(), bg);
    // faint panorama strip across the bottom: what the ring becomes
    QLinearGradient strip(0, 330, 0, 400);
    strip.setColorAt(0, QColor(70, 140, 210, 120));
    strip.setColorAt(0.5, QColor(220, 236, 240, 110));
    strip.setColorAt(0.55, QColor(120, 168, 96, 120));
    strip.setColorAt(1, QColor(92, 70, 40, 120));
    p.fillRect(QRectF(0, 330, 600, 70), strip);
    Doughnut(p, QPointF(160, 200), 110, 34);
    // arrow from ring to strip
    p.setPen(QPen(QColor(129, 194, 176), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath arc;
    arc.moveTo(250, 280);
    arc.quadTo(290, 330, 350, 340);
    p.drawPath(arc);
    Triangle(p, QColor(129, 194, 176), {360, 341}, {346, 333}, {348, 348});

    QFont title("DejaVu Serif");
    title.setPixelSize(38);
    title.setBold(true);
    title.setItalic(true);
    p.setFont(title);
    p.setPen(QColor(232, 246, 240));
    p.drawText(QRectF(296, 110, 300, 56), Qt::AlignLeft | Qt::AlignVCenter, "Halvora 360");
    QFont sub("DejaVu Sans");
    sub.setPixelSize(20);
    p.setFont(sub);
    p.setPen(QColor(129, 194, 176));
    p.drawText(QRectF(302, 166, 290, 30), Qt::AlignLeft | Qt::AlignVCenter, "Doughnut Player");
    QFont hint("DejaVu Sans");
    hint.setPixelSize(13);
    p.setFont(hint);
    p.setPen(QColor(200, 222, 214));
    p.drawText(QRectF(302, 214, 290, 22), Qt::AlignLeft | Qt::AlignVCenter,
               "File \u2192 Load Doughnut Movie   (Ctrl+L)");
    p.drawText(QRectF(302, 236, 290, 22), Qt::AlignLeft | Qt::AlignVCenter, "Help   (F1)");
    p.end();
    Save(img, "SPLASH");
}

void DrawLogoStrip() {
    QImage img(205, 30, QImage::Format_RGB32);
    img.fill(kPanel);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Doughnut(p, QPointF(16, 15), 12, 4);
    QFont f("DejaVu Serif");
    f.setPixelSize(16);
    f.setBold(true);
    f.setItalic(true);
    p.setFont(f);
    p.setPen(kInk);
    p.drawText(QRectF(34, 0, 120, 30), Qt::AlignLeft | Qt::AlignVCenter, "Halvora 360");
    QFont s("DejaVu Sans");
    s.setPixelSize(9);
    p.setFont(s);
    p.setPen(QColor(46, 92, 82));
    p.drawText(QRectF(152, 0, 52, 30), Qt::AlignLeft | Qt::AlignVCenter, "doughnut\nplayer");
    p.end();
    Save(img, "AC");
}

void DrawIcon(int size, const QString& name) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    Doughnut(p, QPointF(32, 32), 30, 11);
    Triangle(p, QColor(255, 255, 255), {38, 32}, {28, 26}, {28, 38});
    p.end();
    Save(img, name);
}

void DrawCursor() {
    // A pointing hand, hot spot at the fingertip (9, 1); black outline on white.
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath h;
    h.moveTo(7.5, 3);
    h.cubicTo(7.5, 0.8, 11.5, 0.8, 11.5, 3);
    h.lineTo(11.5, 12);
    h.cubicTo(11.5, 10, 15, 10, 15, 12);
    h.lineTo(15, 13);
    h.cubicTo(15, 11, 18.5, 11, 18.5, 13);
    h.lineTo(18.5, 14);
    h.cubicTo(18.5, 12, 22, 12, 22, 14);
    h.lineTo(22, 21);
    h.cubicTo(22, 25, 20, 27, 19.5, 29);
    h.lineTo(10, 29);
    h.cubicTo(9, 26, 6, 23, 3.5, 19);
    h.cubicTo(2.5, 17, 4.5, 15.5, 6, 17);
    h.lineTo(7.5, 18.5);
    h.closeSubpath();
    p.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(h);
    p.setPen(QPen(Qt::black, 0.9));
    p.drawLine(QPointF(11.5, 12), QPointF(11.5, 16.5));
    p.drawLine(QPointF(15, 13), QPointF(15, 16.5));
    p.drawLine(QPointF(18.5, 14), QPointF(18.5, 17));
    p.end();
    Save(img, "AUTOR");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_artwork OUTDIR\n");
        return 2;
    }
    gOut = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(gOut);
    DrawButtons();
    DrawSplash();
    DrawLogoStrip();
    DrawIcon(64, "VIDEO");
    DrawIcon(256, "VIDEO256");
    DrawCursor();
    return 0;
}
