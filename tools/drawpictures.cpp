// Draws the program's icons and the About picture, and pads each file with a
// comment to its fixed byte size. Run from the source tree:
//   cmake --build build --target drawpictures && build/drawpictures resources data
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

// A "tEXt" chunk before IEND brings a PNG to exactly `size` bytes.
QByteArray padPng(const QByteArray &png, qsizetype size)
{
    const qsizetype iend = png.size() - 12;
    const qsizetype room = size - png.size() - 12;
    if (room < 9)
        return {};
    QByteArray body = QByteArrayLiteral("tEXtComment") + '\0' + QByteArray(room - 8, ' ');
    QByteArray chunk = be32(quint32(body.size() - 4)) + body + be32(crc32(body));
    return png.left(iend) + chunk + png.mid(iend);
}

// A comment segment after the start marker brings a JPEG to exactly `size` bytes.
QByteArray padJpeg(const QByteArray &jpeg, qsizetype size)
{
    const qsizetype room = size - jpeg.size() - 4;
    if (room < 0 || room > 65533)
        return {};
    QByteArray segment = QByteArrayLiteral("\xff\xfe");
    segment += char((room + 2) >> 8);
    segment += char((room + 2) & 0xff);
    segment += QByteArray(room, ' ');
    return jpeg.left(2) + segment + jpeg.mid(2);
}

bool save(const QString &path, const QImage &image, const char *format, qsizetype size)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, qstrcmp(format, "JPG") == 0 ? 90 : -1);
    if (size > 0)
        data = qstrcmp(format, "PNG") == 0 ? padPng(data, size) : padJpeg(data, size);
    QFile file(path);
    if (data.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage icon(int side, const std::function<void(QPainter &)> &draw)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 32.0, side / 32.0);
    draw(p);
    return image;
}

void folder(QPainter &p, qreal dx, qreal dy, const QColor &color)
{
    p.setPen(QPen(color.darker(170), 1.2));
    p.setBrush(color.darker(115));
    p.drawRoundedRect(QRectF(3 + dx, 7 + dy, 11, 5), 1.5, 1.5);
    p.drawRoundedRect(QRectF(3 + dx, 9 + dy, 24, 17), 2, 2);
    QPainterPath front;
    front.moveTo(6 + dx, 13 + dy);
    front.lineTo(29 + dx, 13 + dy);
    front.lineTo(26 + dx, 26 + dy);
    front.lineTo(3 + dx, 26 + dy);
    front.closeSubpath();
    p.setBrush(color);
    p.drawPath(front);
}

void page(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(90, 90, 100), 1.2));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(QPen(QColor(70, 110, 170), 1.6));
    for (qreal y = r.top() + 4; y < r.bottom() - 2; y += 4)
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

void disk(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(20, 40, 80), 1.2));
    p.setBrush(QColor(50, 90, 170));
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(QColor(230, 230, 235));
    p.drawRect(QRectF(r.left() + r.width() * 0.22, r.top() + 1, r.width() * 0.56, r.height() * 0.32));
    p.setBrush(Qt::white);
    p.drawRect(
        QRectF(r.left() + r.width() * 0.15, r.top() + r.height() * 0.55, r.width() * 0.7, r.height() * 0.4));
}

void arrow(QPainter &p, QPointF tip, bool down, const QColor &color)
{
    const qreal s = down ? -1 : 1;
    QPolygonF a{tip,
                tip + QPointF(-5, 6 * s),
                tip + QPointF(-2, 6 * s),
                tip + QPointF(-2, 11 * s),
                tip + QPointF(2, 11 * s),
                tip + QPointF(2, 6 * s),
                tip + QPointF(5, 6 * s)};
    p.setPen(QPen(color.darker(160), 1));
    p.setBrush(color);
    p.drawPolygon(a);
}

QImage aboutPicture()
{
    QImage image(150, 179, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 179);
    sky.setColorAt(0, QColor(30, 50, 110));
    sky.setColorAt(1, QColor(200, 120, 60));
    p.fillRect(image.rect(), sky);
    // A film strip across the picture.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(25, 25, 25));
    p.drawRect(0, 112, 150, 40);
    p.setBrush(QColor(240, 230, 200));
    for (int x = 4; x < 150; x += 14) {
        p.drawRect(x, 115, 7, 5);
        p.drawRect(x, 144, 7, 5);
    }
    for (int i = 0; i < 4; ++i) {
        p.setBrush(QColor::fromHsv(40 + 50 * i, 120, 230));
        p.drawRect(6 + i * 36, 123, 30, 18);
    }
    // The program's initial as a reel.
    p.setPen(QPen(QColor(250, 245, 235), 9));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(75, 58), 36, 36);
    p.drawLine(QPointF(93, 78), QPointF(115, 102));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 245, 235));
    for (int i = 0; i < 6; ++i) {
        const qreal a = i * 3.14159265 / 3;
        p.drawEllipse(QPointF(75 + 17 * std::cos(a), 58 + 17 * std::sin(a)), 5, 5);
    }
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString resources = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources");
    const QString data = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("data");
    const QString symbols = resources + QStringLiteral("/symbols/symbols/");
    bool ok = true;

    ok &= save(resources + QStringLiteral("/pics/pellandor.jpg"), aboutPicture(), "JPG", 34620);
    ok &= save(symbols + QStringLiteral("fileopen.png"),
               icon(32, [](QPainter &p) { folder(p, 0, 0, QColor(240, 190, 60)); }), "PNG", 2232);
    ok &= save(symbols + QStringLiteral("project_open.png"),
               icon(32,
                    [](QPainter &p) {
                        folder(p, -2, -4, QColor(200, 160, 60));
                        folder(p, 2, 2, QColor(245, 200, 70));
                    }),
               "PNG", 1620);
    ok &= save(symbols + QStringLiteral("filesave.png"),
               icon(32, [](QPainter &p) { disk(p, QRectF(4, 4, 24, 24)); }), "PNG", 1348);
    ok &= save(symbols + QStringLiteral("view_text.png"),
               icon(32,
                    [](QPainter &p) {
                        page(p, QRectF(5, 3, 17, 24));
                        arrow(p, QPointF(24, 29), true, QColor(60, 170, 70));
                    }),
               "PNG", 952);
    ok &= save(symbols + QStringLiteral("revert.png"),
               icon(32,
                    [](QPainter &p) {
                        page(p, QRectF(4, 2, 17, 22));
                        disk(p, QRectF(16, 16, 14, 14));
                    }),
               "PNG", 1651);
    ok &= save(symbols + QStringLiteral("fileclose.png"),
               icon(32,
                    [](QPainter &p) {
                        p.setPen(QPen(QColor(120, 20, 20), 1.2));
                        p.setBrush(QColor(215, 50, 45));
                        p.drawEllipse(QRectF(3, 3, 26, 26));
                        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
                        p.drawLine(QPointF(11, 11), QPointF(21, 21));
                        p.drawLine(QPointF(21, 11), QPointF(11, 21));
                    }),
               "PNG", 1594);
    ok &= save(symbols + QStringLiteral("stop.png"),
               icon(32,
                    [](QPainter &p) {
                        QPolygonF octagon;
                        for (int i = 0; i < 8; ++i) {
                            const qreal a = (22.5 + 45 * i) * 3.14159265 / 180;
                            octagon << QPointF(16 + 14 * std::cos(a), 16 + 14 * std::sin(a));
                        }
                        p.setPen(QPen(QColor(110, 10, 10), 1.2));
                        p.setBrush(QColor(200, 30, 30));
                        p.drawPolygon(octagon);
                        p.fillRect(QRectF(8, 14, 16, 4), Qt::white);
                    }),
               "PNG", 1630);
    // The desktop icon: the About picture's reel on a rounded tile, in the sizes
    // desktops ask for.
    const auto desktopIcon = [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 50, 110));
        p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
        p.setPen(QPen(QColor(250, 245, 235), 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(15, 14), 8, 8);
        p.drawLine(QPointF(19.5, 19), QPointF(25, 25));
    };
    ok &= save(data + QStringLiteral("/quorvid.png"), icon(48, desktopIcon), "PNG", 0);
    ok &= save(data + QStringLiteral("/quorvid-64.png"), icon(64, desktopIcon), "PNG", 0);
    ok &= save(data + QStringLiteral("/quorvid-128.png"), icon(128, desktopIcon), "PNG", 0);
    return ok ? 0 : 1;
}
