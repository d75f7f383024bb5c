// Texts of a batch run and of the conversion of one file: target names, size
// texts, report entries and messages. Line breaks are "\r\n".
#pragma once

#include "EngineOutcome.h"

#include <QString>

#include <optional>

namespace pictoria {

/// Operations of a run over a folder, and the single-file conversion.
enum BatchOperation { kListInput = 0, kListOutput = 1, kConvertBatch = 2, kConvertSingle = 3 };

/// @p n in decimal with one leading blank when not negative (" 5", "-5").
QString NumberText(qint64 n);

/// A file length with the user's digit grouping, then " bytes" ("1,234 bytes").
QString SizeText(qint64 bytes);

/// Name of the file that @p fileName converts into: its whole extension
/// (after the last ".") replaced by the one the format @p outputFormat
/// writes (photo.jpeg gives photo.png, scan.tiff gives scan.jpg), or that
/// extension added when it has none. A non-empty @p qualityTag goes in as "_q<tag>" before the
/// new extension.
QString TargetFileName(const QString& fileName, const QString& outputFormat, const QString& qualityTag);

/// Value of a cleaned quality text ("" and "+" count as 0); nothing when the
/// value does not fit a 16-bit integer.
std::optional<qint16> QualityFromText(const QString& cleanedText);

/// "For conversion to JPG the quality must be in the range 10 through 100.";
/// @p formats names the format or formats ("WEBP", "JPG and AVIF").
QString QualityRangeMessage(const QString& formats, int minQuality, int maxQuality);

/// The "No files" message of a run or listing that found nothing.
QString NoFilesMessage(int operation, const QString& inputFormat, const QString& outputFormat);

/// Summary line of a run or listing, without line breaks.
QString SummaryLine(int operation, const QString& inputFormat, const QString& outputFormat, int converted,
                    int total);

/// What a listing appends after the file name: two blanks, size, line break.
QString ListingTail(const QString& sizeText);

/// What a conversion appends after the file name when the existing target is
/// kept; @p cancelAll adds the end of the whole operation.
QString TargetKeptTail(const QString& outputFormat, bool cancelAll);

/// What a batch conversion appends after the file name on success; @p note,
/// when given, follows after a blank (an automatic output's quality and score).
QString BatchSuccessTail(const QString& targetName, const QString& note = QString());

/// What a single-file conversion appends after the source size on success;
/// @p quality is given for a target written at a quality, and @p qualityNote
/// follows it (an automatic output's score).
QString SingleSuccessTail(const QString& targetName, const QString& sizeText, std::optional<int> quality,
                          const QString& qualityNote = QString());

/// What a conversion appends after the file name when the engine failed:
/// the error line, the hint lines that fit, and an empty line.
QString FailureTail(const EngineOutcome& outcome, const QString& inputFormat, const QString& outputFormat);

/// "Converting <name> (<size>)", the progress label of a conversion.
QString ConvertingLabel(const QString& fileName, const QString& sizeText);

}  // namespace pictoria
