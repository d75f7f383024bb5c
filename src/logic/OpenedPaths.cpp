#include "OpenedPaths.h"

#include "FolderText.h"
#include "ImageFormats.h"
#include "StrProc.h"

#include <QDir>

#include <algorithm>

namespace pictoria {

QStringList AbsolutePaths(const QStringList& paths, const QString& startDir, const QString& homeDir)
{
    QStringList absolute;
    for (const QString& path : paths)
        absolute << QDir::cleanPath(ResolveFolderText(path, startDir, homeDir));
    return absolute;
}

OpenedPaths SortOpenedPaths(const QList<QPair<QString, PathKind>>& paths)
{
    OpenedPaths sorted;
    const bool anyFile =
        std::any_of(paths.begin(), paths.end(), [](const auto& p) { return p.second == PathKind::File; });
    for (const auto& [given, kind] : paths) {
        QString path = given;
        QString why;
        switch (kind) {
        case PathKind::File:
            sorted.files << path;
            continue;
        case PathKind::Folder:
            EnsureTrailingSeparator(path);
            if (anyFile)
                why = QStringLiteral("a folder is not opened together with files");
            else if (!sorted.folder.isEmpty())
                why = QStringLiteral("only one folder is opened at a time");
            else {
                sorted.folder = path;
                continue;
            }
            break;
        case PathKind::Missing: why = QStringLiteral("not found"); break;
        case PathKind::Unreadable: why = QStringLiteral("cannot be read"); break;
        case PathKind::Other: why = QStringLiteral("neither a file nor a folder"); break;
        }
        sorted.notTaken << path + QStringLiteral(": ") + why;
    }
    return sorted;
}

QString PathsNotTakenMessage(const QStringList& notTaken)
{
    return QStringLiteral("Not opened:\r\n") + notTaken.join(QStringLiteral("\r\n"));
}

QString FileBoxText(const QStringList& files)
{
    if (files.size() < 2)
        return files.value(0);
    return files.first() + QStringLiteral(" (+") + QString::number(files.size() - 1) + QStringLiteral(" more)");
}

bool TakesOutputFormat(const QString& path, const QString& outputFormat)
{
    const ImageFormat* own = FormatOfPath(path);
    return !own || !own->losslessSource || own->name != outputFormat;
}

}  // namespace pictoria
