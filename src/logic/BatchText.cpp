#include "BatchText.h"

#include "ImageFormats.h"

#include <QLocale>

#include <limits>

namespace pictoria {

namespace {

const QString kBreak = QStringLiteral("\r\n");

// "Number of BMP files in the input folder" style: "*" names no format.
QString filesOf(const QString& format)
{
    return format == QLatin1String("*") ? QStringLiteral("files") : format + QStringLiteral(" files");
}

}  // namespace

QString NumberText(qint64 n)
{
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}

QString SizeText(qint64 bytes)
{
    return QLocale().toString(bytes) + QStringLiteral(" bytes");
}

QString TargetFileName(const QString& fileName, const QString& outputFormat, const QString& qualityTag)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? fileName : fileName.left(dot);
    QString name = stem;
    if (!qualityTag.isEmpty())
        name += QStringLiteral("_q") + qualityTag;
    return name + QLatin1Char('.') + OutputExtensionOf(outputFormat);
}

std::optional<qint16> QualityFromText(const QString& cleanedText)
{
    QString digits = cleanedText;
    if (digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    if (digits.isEmpty())
        return qint16(0);
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok);
    if (!ok || value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return qint16(value);
}

QString QualityRangeMessage(const QString& formats, int minQuality, int maxQuality)
{
    return QStringLiteral("For conversion to ") + formats + QStringLiteral(" the quality must be in the range") + NumberText(minQuality) +
           QStringLiteral(" through") + NumberText(maxQuality) + QLatin1Char('.');
}

QString NoFilesMessage(int operation, const QString& inputFormat, const QString& outputFormat)
{
    const bool output = operation == kListOutput;
    return QStringLiteral("There are no ") + filesOf(output ? outputFormat : inputFormat) +
           (output ? QStringLiteral(" in the output folder.") : QStringLiteral(" in the input folder."));
}

QString SummaryLine(int operation, const QString& inputFormat, const QString& outputFormat, int converted,
                    int total)
{
    if (operation == kConvertBatch)
        return QStringLiteral("Number of ") + inputFormat + QStringLiteral(" files converted:") +
               NumberText(converted) + QStringLiteral(" (of") + NumberText(total) + QStringLiteral(" input)");
    const bool output = operation == kListOutput;
    return QStringLiteral("Number of ") + filesOf(output ? outputFormat : inputFormat) +
           (output ? QStringLiteral(" in the output folder:") : QStringLiteral(" in the input folder:")) +
           NumberText(total);
}

QString ListingTail(const QString& sizeText)
{
    return QStringLiteral("  ") + sizeText + kBreak;
}

QString TargetKeptTail(const QString& outputFormat, bool cancelAll)
{
    QString text = QStringLiteral(" -- Existing ") + outputFormat + QStringLiteral(" file not overwritten.") + kBreak;
    if (cancelAll)
        text += kBreak + QStringLiteral("Operation cancelled.") + kBreak;
    return text + kBreak;
}

QString BatchSuccessTail(const QString& targetName, const QString& note)
{
    QString text = QStringLiteral(" -> ") + targetName + QStringLiteral(" [OK]");
    if (!note.isEmpty())
        text += QLatin1Char(' ') + note;
    return text + kBreak;
}

QString SingleSuccessTail(const QString& targetName, const QString& sizeText, std::optional<int> quality,
                          const QString& qualityNote)
{
    QString text = QStringLiteral(" converted to") + kBreak + targetName + QStringLiteral(" (") + sizeText +
                   QLatin1Char(')');
    if (quality)
        text += QStringLiteral(" with quality") + NumberText(*quality) + qualityNote;
    return text + QLatin1Char('.') + kBreak + kBreak;
}

QString FailureTail(const EngineOutcome& outcome, const QString& inputFormat, const QString& outputFormat)
{
    const QString side = outcome.failureSide == 1    ? QStringLiteral("Read")
                         : outcome.failureSide == -1 ? QStringLiteral("Write")
                                                     : QString();
    QString text = kBreak + QStringLiteral("*** ") + side + QStringLiteral(" error: ") + outcome.message + kBreak;
    using Kind = EngineOutcome::Kind;
    if (inputFormat == QLatin1String("BMP") && outcome.kind == Kind::UnsupportedOption)
        text += QStringLiteral("      BMP file may be compressed.") + kBreak;
    if (outcome.kind == Kind::InvalidBitsPerPixel && outputFormat == QLatin1String("JPG"))
        text += QStringLiteral("      Bits per pixel in input image may be too small for saving as JPG file.") + kBreak;
    return text + kBreak;
}

QString ConvertingLabel(const QString& fileName, const QString& sizeText)
{
    return QStringLiteral("Converting ") + fileName + QStringLiteral(" (") + sizeText + QLatin1Char(')');
}

}  // namespace pictoria
