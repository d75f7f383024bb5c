#include "FolderFiles.h"

#include <QCollator>
#include <QFile>
#include <QLocale>

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
    // The order a file manager shows: the user's collation without regard to
    // case, digits by their value (img2 before img10), the exact name as the
    // last word so the order never depends on the listing.
    QCollator collator;
    if (collator.locale().language() == QLocale::C)
        collator.setLocale(QLocale(QLocale::English));  // "C" would sort by code point: é after z
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
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
