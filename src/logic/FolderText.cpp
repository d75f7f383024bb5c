#include "FolderText.h"

#include "StrProc.h"

namespace pictoria {

QString ResolveFolderText(const QString& text, const QString& currentDir, const QString& homeDir)
{
    if (text.startsWith(QLatin1Char('/')))
        return text;
    QString base = currentDir;
    QString rest = text;
    if (text == QLatin1String("~") || text.startsWith(QLatin1String("~/"))) {
        base = homeDir;
        rest = text.mid(2);
    }
    EnsureTrailingSeparator(base);
    return base + rest;
}

QString NormaliseFolderText(const QString& typed, const QString& currentDir, const QString& homeDir)
{
    QString folder = typed.trimmed();
    if (folder.isEmpty())
        return folder;
    EnsureTrailingSeparator(folder);
    return ResolveFolderText(folder, currentDir, homeDir);
}

}  // namespace pictoria
