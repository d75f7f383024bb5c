#include "Fixtures.h"

#include <QFileInfo>
#include <QAbstractButton>
#include <QImageWriter>
#include <QSignalSpy>

namespace pictoria::testing {

bool waitForRun(frmMain& w)
{
    if (!w.conversionRun())
        return true;
    QSignalSpy finished(&w, &frmMain::conversionRunFinished);
    return finished.wait(60000);
}

QString captionOf(const QWidget* control)
{
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (auto* box = qobject_cast<const QLineEdit*>(control))
        return box->text();
    if (auto* list = qobject_cast<const QComboBox*>(control))
        return list->currentText();
    return {};
}

bool writeImage(const QString& path, const char* format, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 60));
    return image.save(path, format);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool makeFiles(const QString& folder, const QStringList& specs)
{
    if (!QDir().mkpath(folder))
        return false;
    for (const QString& spec : specs) {
        const QString path = QDir(folder).filePath(spec.section(QLatin1Char('='), 0, 0));
        const bool made = spec.endsWith(QLatin1Char('/'))  ? QDir().mkpath(path)
                          : spec.contains(QLatin1Char('=')) ? writeBytes(path, spec.section(QLatin1Char('='), 1).toUtf8())
                                                            : QImageWriter::supportedImageFormats().contains(QFileInfo(path).suffix().toLower().toLatin1())
                                ? writeImage(path)
                                : writeBytes(path, "x");
        if (!made)
            return false;
    }
    return true;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Bench::Bench()
    : in(dir.filePath(QStringLiteral("in")) + QLatin1Char('/')),
      out(dir.filePath(QStringLiteral("out")) + QLatin1Char('/')),
      window(std::make_unique<frmMain>()),
      w(*window)
{
}

Bench::~Bench() = default;

bool Bench::load(int inputFormat, int outputFormat)
{
    if (!dir.isValid() || !QDir().mkpath(in) || !QDir().mkpath(out) || !w.Form_Load())
        return false;
    w.txbFolderForImages[0]->setText(in);
    w.txbFolderForImages[1]->setText(out);
    w.cboFileFormat[0]->setCurrentIndex(inputFormat);
    w.cboFileFormat[1]->setCurrentIndex(outputFormat);
    return true;
}

}  // namespace pictoria::testing
