#include "FolderHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace pictoria {

QString AppDataFolderPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString AppDataSubfolderPath(const QString& fileName, const QString& subfolder)
{
    QString base = AppDataFolderPath();
    if (base.isEmpty())
        base = QDir::homePath();
    const QString folder = base + QLatin1Char('/') + subfolder;
    if (!FolderExists(folder))
        QDir().mkpath(folder);  // a failure shows later, when the state file is written
    return folder + QLatin1Char('/') + fileName;
}

bool FolderExists(const QString& path)
{
    const QString trimmed = path.trimmed();
    return !trimmed.isEmpty() && QFileInfo(trimmed).isDir();
}

void SetStartDirectory()
{
    QDir::setCurrent(QDir::homePath());
}

}  // namespace pictoria
