// Counting a folder's graphics files and the sentences that tell the user
// what a folder holds.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <span>

namespace pictoria {

/// Number of regular files in @p folder (ending in "/" or not) whose names fit
/// @p fileSpec ("*.jpg", "img??.*"), case ignored. Yields to the event loop
/// after every entry examined, so the window stays alive in large folders.
///
/// - @p stopAtFirst: return 1 as soon as one file fits.
/// - @p totalSize: pass -1 to have the fitting files' total length in bytes
///   put there; any other value means no size is wanted.
/// - A folder whose listing is refused sets @p accessDenied and gives 0.
/// - Any other failure puts its reason into @p errorText and gives -1.
///
/// An entry that vanishes while the folder is walked is passed over.
qint32 CountFiles(const QString& folder, const QString& fileSpec, bool stopAtFirst, QString& errorText,
                  double& totalSize, bool& accessDenied);
/// As above, counting the files that fit any of @p fileSpecs ("*.jpg",
/// "*.jpeg") in one walk.
qint32 CountFiles(const QString& folder, const QStringList& fileSpecs, bool stopAtFirst, QString& errorText,
                  double& totalSize, bool& accessDenied);

/// "no BMP files", "1 BMP file", "12 BMP files".
QString CountPhrase(qint64 count, const QString& formatName);

/// The sentence that tells how many files of each format the input (@p index
/// 0) or output (@p index 1) images folder holds; @p counts holds one count
/// per entry of @p formatNames, in the same order.
QString FolderSummarySentence(int index, std::span<const QString> formatNames,
                              std::span<const qint64> counts);

/// The formats a folder summary names, with their counts: those named even
/// when the folder holds none, and any other the folder holds.
/// @p counts holds one count per entry of @p formatNames.
void KeepSummarisedFormats(QStringList& formatNames, QList<qint64>& counts);

/// The sentence for an images folder that could not be read for @p reason.
QString FolderUnreadableSentence(int index, const QString& reason);

/// The sentence for an images folder whose listing was refused.
QString FolderAccessDeniedSentence(int index);

}  // namespace pictoria
