// Program text table on the Qt side: loading pxfm.dat through the text
// library, looking texts up, and the product identity built from them.
#include "Language.h"

#include "UserPrompts.h"

#include <textlib/textlib.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>
#include <array>

// The build passes the project version; the fallback keeps the library
// buildable on its own and is checked against the project version by tests.
#ifndef PICTORIA_VERSION_MAJOR
#define PICTORIA_VERSION_MAJOR 1
#endif
#ifndef PICTORIA_VERSION_MINOR
#define PICTORIA_VERSION_MINOR 0
#endif

namespace pictoria {

qint16 CurrentLanguage = 0;
QString ProductName;
QString VersionText;

namespace {

constexpr int kTextBufferBytes = TEXTLIB_MAX_TEXT_BYTES;

QString lineMessage(const char* what, qint64 line)
{
    return QStringLiteral("%1 %2.").arg(QLatin1String(what)).arg(line);
}

}  // namespace

QString ProgramTextPath(const QString& folder, const QString& fileName)
{
    if (folder.isEmpty())
        return fileName;
    if (folder.endsWith(QLatin1Char('/')))
        return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

QString ProgramTextLoadMessage(int status, const QString& fullPath)
{
    // Wide arithmetic: the line bands are open-ended towards INT_MIN.
    const qint64 s = status;
    switch (status) {
    case 0:
        return QStringLiteral("No program text was read.");
    case -1:
        return QStringLiteral("Cannot open file containing program text.\r\n") + fullPath;
    case -2:
        return QStringLiteral("Particular memory allocation error.");
    case -3:
        return QStringLiteral("Too much program text.");
    case -4:
        return QStringLiteral("Text not recovered.");
    case -6:
        return QStringLiteral("File is empty.");
    case -7:
        return QStringLiteral("Error reading file.");
    case -8:
        return QStringLiteral("General memory allocation error.");
    default:
        break;
    }
    if (s > 0)
        return QString();
    if (s >= -500)
        return QStringLiteral("Error %1").arg(s);
    if (s >= -1000)
        return lineMessage("Missing string at line", -(s + 500));
    if (s >= -1500)
        return lineMessage("String too long at line", -(s + 1000));
    return lineMessage("Duplicate in program text at line", -(s + 1500));
}

QString FormatVersionText(int major, int minor)
{
    return QString::number(major) + QLatin1Char('.') + QString::number(minor) + QLatin1Char('0');
}

bool LoadProgramText(const QString& fileName)
{
    // Beside the program in the build tree; in <prefix>/share/pictoria once
    // installed. A file found in neither place is reported beside the program.
    const QString programFolder = QCoreApplication::applicationDirPath();
    QString path = ProgramTextPath(programFolder, fileName);
    const QString installed = ProgramTextPath(programFolder + QStringLiteral("/../share/pictoria"), fileName);
    if (!QFileInfo::exists(path) && QFileInfo::exists(installed))
        path = QFileInfo(installed).canonicalFilePath();
    const int status = lt(QFile::encodeName(path).constData(), 0);
    if (status >= 1)
        return true;
    prompts().message(nullptr, ProgramTextLoadMessage(status, path), QString(), MsgButtons::Ok,
                      MsgIcon::Critical);
    return false;
}

QString GetProgramText(int number)
{
    std::array<char, kTextBufferBytes> buffer{};
    const int count = gt(number, CurrentLanguage, buffer.data(), kTextBufferBytes, 1);
    if (count <= 0)
        return QString();
    const QString text = QString::fromUtf8(buffer.data(), std::min(count, kTextBufferBytes));
    return text == QLatin1String("~") ? QString() : text;
}

void SetSoftwareIdentity()
{
    ProductName = GetProgramText(1);
    VersionText = FormatVersionText(PICTORIA_VERSION_MAJOR, PICTORIA_VERSION_MINOR);
}

void SetMainWindowCaption(QWidget& mainWindow)
{
    mainWindow.setWindowTitle(ProductName + QLatin1Char(' ') + VersionText);
}

}  // namespace pictoria
