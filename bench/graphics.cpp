// pictoria-bench-graphics FOLDER [SCALE]: draws the graphics set of
// bench/graphics.py into FOLDER as 24-bit BMPs: the program's own windows
// (named by SCALE, 1 or 2, and painted at that scale), and with SCALE 1 also
// a bar chart and text drawn with QPainter, a two-colour brick pattern, an
// icon made opaque and a posterised gradient.
#include "frmHelp.h"
#include "frmMain.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>

#include <cstdio>

namespace {

bool save(const QImage& image, const QString& folder, const QString& name)
{
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".bmp");
    if (image.convertToFormat(QImage::Format_RGB888).save(path, "BMP"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

QImage white(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QImage chart()
{
    QImage image = white(1200, 800);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(QFont(QStringLiteral("Liberation Sans"), 14));
    const QColor colours[] = {QColor(0x4e79a7), QColor(0xf28e2b), QColor(0xe15759), QColor(0x76b7b2)};
    p.setPen(QColor(0xcccccc));
    for (int y = 100; y <= 700; y += 100)
        p.drawLine(100, y, 1150, y);
    for (int i = 0; i < 12; ++i) {
        for (int k = 0; k < 4; ++k) {
            const int h = 40 + (i * 53 + k * 97) % 560;
            p.fillRect(110 + i * 86 + k * 18, 700 - h, 16, h, colours[k]);
        }
        p.setPen(Qt::black);
        p.drawText(110 + i * 86, 730, QStringLiteral("Month %1").arg(i + 1));
    }
    for (int y = 100; y <= 700; y += 100)
        p.drawText(30, y + 6, QString::number((700 - y) * 10));
    p.setFont(QFont(QStringLiteral("Liberation Sans"), 22, QFont::Bold));
    p.drawText(100, 60, QStringLiteral("Conversions per month"));
    return image;
}

QImage text()
{
    QImage image = white(1000, 300);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Qt::black);
    p.setFont(QFont(QStringLiteral("Liberation Serif"), 15));
    p.drawText(QRect(20, 20, 960, 260), Qt::TextWordWrap,
               QStringLiteral("Pictoria converts raster images between BMP, GIF, JPG and PNG. Choose the folder "
                              "that holds the pictures, the folder the converted pictures go to, the input and the "
                              "output format, then click \"Convert files\". Each file is written beside the others "
                              "under its own name with the new extension; a file that cannot be read is reported "
                              "and nothing of it is left behind. The report lists every file in the order of the "
                              "folder, with the time each took and the reason for any that failed."));
    return image;
}

QImage bricks()
{
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(QColor(0xb0, 0x40, 0x30));
    QPainter p(&image);
    p.setPen(QColor(0xe0, 0xe0, 0xd0));
    for (int row = 0; row * 20 < 600; ++row) {
        p.drawLine(0, row * 20, 800, row * 20);
        for (int x = (row % 2) * 30; x < 800; x += 60)
            p.drawLine(x, row * 20, x, row * 20 + 19);
    }
    return image;
}

QImage icon()
{
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(16, 16, 224, 224), 36, 36);
    p.fillPath(frame, QColor(0x2d, 0x6c, 0xdf));
    p.setBrush(QColor(0xff, 0xd1, 0x4a));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(168, 84), 28, 28);
    p.setBrush(QColor(0x3c, 0xb0, 0x4b));
    p.drawPolygon(QPolygonF({QPointF(40, 210), QPointF(110, 110), QPointF(170, 210)}));
    p.setBrush(QColor(0x22, 0x88, 0x33));
    p.drawPolygon(QPolygonF({QPointF(120, 210), QPointF(170, 140), QPointF(216, 210)}));
    p.end();
    QImage opaque = white(image.width(), image.height());
    QPainter(&opaque).drawImage(0, 0, image);
    return opaque;
}

QImage gradient()
{
    QImage image(1024, 512, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            // Eight levels of red across, eight of blue down.
            const int r = (x * 8 / image.width()) * 255 / 7, b = (y * 8 / image.height()) * 255 / 7;
            image.setPixel(x, y, qRgb(r, 96, b));
        }
    return image;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FOLDER [SCALE]\n", argv[0]);
        return 3;
    }
    const QByteArray scale = argc == 3 ? QByteArray(argv[2]) : QByteArray("1");
    qputenv("QT_SCALE_FACTOR", scale);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictoria"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane Systems"));
    const QString folder = QString::fromLocal8Bit(argv[1]);

    pictoria::frmMain window;
    if (!window.Form_Load())
        return 1;
    window.show();
    window.AppendToReport(QStringLiteral("Number of BMP files converted: 12 (of 12 input)"));
    auto* help = new pictoria::frmHelp(window);
    help->show();
    QApplication::processEvents();
    const QString tag = QStringLiteral("@%1x").arg(QString::fromLatin1(scale));
    bool ok = save(window.grab().toImage(), folder, QStringLiteral("window") + tag) &&
              save(help->grab().toImage(), folder, QStringLiteral("help") + tag);
    if (scale == "1")
        ok = ok && save(chart(), folder, QStringLiteral("chart")) && save(text(), folder, QStringLiteral("text")) &&
             save(bricks(), folder, QStringLiteral("bricks")) && save(icon(), folder, QStringLiteral("icon")) &&
             save(gradient(), folder, QStringLiteral("gradient"));
    return ok ? 0 : 1;
}
