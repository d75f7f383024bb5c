#include "FolderSummary.h"

#include "ImageFormats.h"
#include "StrProc.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <system_error>

namespace pictoria {

namespace fs = std::filesystem;

namespace {

QString sideName(int index)
{
    return index == 0 ? QStringLiteral("input") : QStringLiteral("output");
}

QString sentenceStart(int index)
{
    return QStringLiteral("The ") + sideName(index) + QStringLiteral(" images folder presently contains ");
}

// True when the entry is a regular file whose name fits @p fileSpec; its
// length is added to @p totalSize when one is given. An entry that vanished
// since the listing was read does not fit.
bool entryCounts(const fs::directory_entry& entry, const QStringList& fileSpecs, bool anyName, double* totalSize)
{
    std::error_code code;
    if (!entry.is_regular_file(code))
        return false;
    if (!anyName) {
        const QString name = QFile::decodeName(QByteArray::fromStdString(entry.path().filename().string()));
        if (!MatchesAnyFileSpec(name, fileSpecs))
            return false;
    }
    if (totalSize) {
        const auto length = entry.file_size(code);
        if (code)
            return false;
        *totalSize += double(length);
    }
    return true;
}

}  // namespace

qint32 CountFiles(const QString& folder, const QString& fileSpec, bool stopAtFirst, QString& errorText,
                  double& totalSize, bool& accessDenied)
{
    return CountFiles(folder, QStringList(fileSpec), stopAtFirst, errorText, totalSize, accessDenied);
}

qint32 CountFiles(const QString& folder, const QStringList& fileSpecs, bool stopAtFirst, QString& errorText,
                  double& totalSize, bool& accessDenied)
{
    accessDenied = false;
    const bool sizeWanted = totalSize == -1;
    // Every file fits "*.*", so the names need not be compared.
    const bool anyName = fileSpecs.contains(QStringLiteral("*.*"));
    if (!anyName || sizeWanted)
        totalSize = 0;

    std::error_code code;
    fs::directory_iterator it(fs::path(QFile::encodeName(folder).toStdString()), code);
    qint32 count = 0;
    for (; !code && it != fs::directory_iterator(); it.increment(code)) {
        if (entryCounts(*it, fileSpecs, anyName, sizeWanted ? &totalSize : nullptr)) {
            ++count;
            if (stopAtFirst)
                return count;
        }
        QCoreApplication::processEvents();
    }
    if (!code)
        return count;
    if (code == std::errc::permission_denied || code == std::errc::operation_not_permitted) {
        accessDenied = true;
        return 0;
    }
    errorText = QString::fromLocal8Bit(code.message());
    return -1;
}

QString CountPhrase(qint64 count, const QString& formatName)
{
    if (count == 0)
        return QStringLiteral("no ") + formatName + QStringLiteral(" files");
    if (count == 1)
        return QStringLiteral("1 ") + formatName + QStringLiteral(" file");
    return QString::number(count) + QLatin1Char(' ') + formatName + QStringLiteral(" files");
}

QString FolderSummarySentence(int index, std::span<const QString> formatNames, std::span<const qint64> counts)
{
    const qint64 total = std::accumulate(counts.begin(), counts.end(), qint64(0));
    QString sentence = sentenceStart(index);
    if (total == 0) {
        sentence += QStringLiteral("no graphics files (") +
                    QStringList(formatNames.begin(), formatNames.end()).join(QStringLiteral(", ")) +
                    QStringLiteral(").");
        if (index == 0)
            sentence += QStringLiteral("\r\nPlease check that you selected the intended folder.");
        return sentence;
    }
    if (total == 1) {
        const auto one = std::find(counts.begin(), counts.end(), 1);
        return sentence + QStringLiteral("one ") + formatNames[one - counts.begin()] + QStringLiteral(" file.");
    }
    sentence += QString::number(total) + QStringLiteral(" graphics files as follows: ");
    for (size_t f = 0; f < counts.size(); ++f) {
        if (f > 0)
            sentence += f + 1 == counts.size() ? QStringLiteral(" and ") : QStringLiteral(", ");
        sentence += CountPhrase(counts[f], formatNames[f]);
    }
    return sentence + QLatin1Char('.');
}

void KeepSummarisedFormats(QStringList& formatNames, QList<qint64>& counts)
{
    for (qsizetype f = formatNames.size() - 1; f >= 0; --f) {
        const ImageFormat* format = FormatNamed(formatNames[f]);
        if (counts[f] == 0 && !(format && format->namedWhenNone)) {
            formatNames.removeAt(f);
            counts.removeAt(f);
        }
    }
}

QString FolderUnreadableSentence(int index, const QString& reason)
{
    return QStringLiteral("The ") + sideName(index) + QStringLiteral(" images folder cannot be read: ") + reason +
           QLatin1Char('.');
}

QString FolderAccessDeniedSentence(int index)
{
    return QStringLiteral("Access to the ") + sideName(index) + QStringLiteral(" images folder was denied.");
}

}  // namespace pictoria
