#include "FolderFiles.h"

#include <QFile>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace pictoria {

namespace fs = std::filesystem;

namespace {

fs::path nativePath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString describe(const std::error_code& code)
{
    return QString::fromLocal8Bit(code.message());
}

}  // namespace

std::optional<QStringList> FolderFileNames(const QString& folder, QString& error)
{
    std::error_code code;
    fs::directory_iterator it(nativePath(folder), code);
    QStringList names;
    for (; !code && it != fs::directory_iterator(); it.increment(code)) {
        std::error_code typeCode;
        if (it->is_regular_file(typeCode))
            names << QFile::decodeName(QByteArray::fromStdString(it->path().filename().string()));
    }
    if (code) {
        error = QStringLiteral("Cannot read the folder ") + folder + QStringLiteral(": ") + describe(code) +
                QLatin1Char('.');
        return std::nullopt;
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

std::optional<qint64> FileLength(const QString& path, QString& error)
{
    std::error_code code;
    const fs::path native = nativePath(path);
    if (fs::is_regular_file(native, code)) {
        const auto length = fs::file_size(native, code);
        if (!code)
            return qint64(length);
    }
    if (!code)
        code = std::make_error_code(std::errc::no_such_file_or_directory);
    error = QStringLiteral("Cannot read the size of ") + path + QStringLiteral(": ") + describe(code) +
            QLatin1Char('.');
    return std::nullopt;
}

}  // namespace pictoria
