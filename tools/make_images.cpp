// Draws the dictionary window's pictures: the banner, the search button's
// picture and the main icon. Run once; its output is kept in
// dictionary/images/. Usage: make_images <output-folder>
#include <QApplication>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

QFont cjkFont(int pixelSize, bool bold) {
    QFont f;
    f.setFamilies({QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QImage banner() {
    QImage img(767, 91, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 767, 91);
    bg.setColorAt(0, QColor(0x7a, 0x12, 0x12));
    bg.setColorAt(0.55, QColor(0xb0, 0x2a, 0x1e));
    bg.setColorAt(1, QColor(0xe0, 0xb0, 0x5a));
    p.fillRect(img.rect(), bg);
    // A few faint seal-like rings for texture.
    p.setPen(QPen(QColor(255, 230, 180, 40), 3));
    for (int i = 0; i < 6; ++i)
        p.drawEllipse(QPointF(620 + i * 25, 45), 30 + i * 9, 30 + i * 9);
    p.setPen(QColor(0xff, 0xf0, 0xc8));
    p.setFont(cjkFont(44, true));
    p.drawText(QRect(32, 0, 400, 91), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("成语词典"));
    p.setFont(cjkFont(16, false));
    p.setPen(QColor(0xff, 0xe6, 0xb4));
    p.drawText(QRect(250, 44, 300, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Verlune · 查词目 · 明释义 · 知出处"));
    return img;
}

QImage magnifier() {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glass(6, 6, 5);
    glass.setColorAt(0, QColor(230, 245, 255));
    glass.setColorAt(1, QColor(150, 200, 240));
    p.setBrush(glass);
    p.setPen(QPen(QColor(40, 60, 110), 1.6));
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    p.setPen(QPen(QColor(120, 70, 20), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14.2, 14.2));
    return img;
}

QImage icon() {
    QImage img(64, 64, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath seal;
    seal.addRoundedRect(QRectF(3, 3, 58, 58), 10, 10);
    p.fillPath(seal, QColor(0xb0, 0x20, 0x18));
    p.setPen(QPen(QColor(0xff, 0xe6, 0xb4), 2));
    p.drawRoundedRect(QRectF(7, 7, 50, 50), 7, 7);
    p.setFont(cjkFont(38, true));
    p.drawText(QRect(0, 0, 64, 62), Qt::AlignCenter, QStringLiteral("成"));
    return img;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_images <output-folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    const bool ok = banner().save(out + QStringLiteral("banner.jpg"), "JPG", 90) &&
                    magnifier().save(out + QStringLiteral("search.png"), "PNG") &&
                    icon().save(out + QStringLiteral("quorvel.png"), "PNG");
    if (!ok) {
        std::fprintf(stderr, "make_images: could not write the pictures\n");
        return 1;
    }
    return 0;
}
