#include "FileProc.h"

#include "FolderHelpers.h"
#include "StrProc.h"

#include <textlib/textlib.h>

#include <QFile>
#include <QFileInfo>

namespace pictoria {

namespace {

constexpr int kLastNumber = 99;

}  // namespace

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

PathKind ProbePath(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return PathKind::Missing;
    if (!info.isFile() && !info.isDir())
        return PathKind::Other;
    // A folder is of use only when it can be listed as well as read.
    if (!info.isReadable() || (info.isDir() && !info.isExecutable()))
        return PathKind::Unreadable;
    return info.isDir() ? PathKind::Folder : PathKind::File;
}

QString MakeNumberedFileName(const QString& folder, const QString& stem, const QString& extension,
                             QString& errorText)
{
    QString base = folder;
    EnsureTrailingSeparator(base);
    if (!FolderExists(base)) {
        errorText = base + QStringLiteral(" does not exist.");
        return QString();
    }
    // A "/" in the stem or extension would put the file into another folder
    // than the one just checked.
    if (stem.contains(QLatin1Char('/')) || extension.contains(QLatin1Char('/'))) {
        errorText = QStringLiteral("The file name ") + stem + extension + QStringLiteral(" contains \"/\".");
        return QString();
    }
    const QString dotted = extension.startsWith(QLatin1Char('.')) ? extension : QLatin1Char('.') + extension;

    // No pause after a hit: the check creates the file exclusively and the
    // caller does the same, so waiting would not make the name any safer.
    QString candidate;
    for (int n = 1; n <= kLastNumber; ++n) {
        candidate = base + stem + QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')) + dotted;
        if (FileIsCreatable(candidate) == 1)
            return candidate;
    }
    errorText = QStringLiteral("On 99th attempt, ") + candidate + QStringLiteral(" was not creatable.");
    return QString();
}

int FileIsCreatable(const QString& path)
{
    return new_file_creatable(QFile::encodeName(path).constData());
}

}  // namespace pictoria
