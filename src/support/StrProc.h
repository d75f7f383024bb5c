// String operations on file names, paths, file specifications and typed
// numbers. Positions are 1-based and 0 means "not found"; comparisons are
// exact by character code unless an operation folds case. The path
// operations split on "/".
#pragma once

#include <QString>
#include <QStringList>

#include <span>

namespace pictoria {

// ---- Operations that return a new string or a number ------------------------

/// "" when @p n <= 0; the first @p n characters when @p n is shorter than
/// @p s; @p s whole otherwise.
QString LeftPart(const QString& s, qint32 n);

/// @p s lower-cased, the accented capitals of the fold list included. Yields
/// to a running event loop after each accented capital it meets.
QString FoldToLowerCase(const QString& s);

/// Position of the first character of @p s at or after @p start (below 1
/// counts as 1) that occurs in @p set, and in @p index (when given) the
/// 1-based position of that character in @p set. 0, index untouched, when
/// there is none or when @p s or @p set is "".
qint32 FindFirstInSet(const QString& s, qint32 start, const QString& set, qint32* index = nullptr);

/// Position of the first character of @p s at or after @p start (below 1
/// counts as 1) that is not in @p set; 0 when none or when @p s is "";
/// 1 when @p set is "" (and @p s is not).
qint32 FindFirstNotInSet(const QString& s, qint32 start, const QString& set);

/// First index from @p first to @p last whose entry equals @p name exactly;
/// -1 when none. Bounds outside the list are clipped to it.
qint32 FindInStringArray(std::span<const QString> list, const QString& name, qint32 first, qint32 last);
qint32 FindInStringArray(const QStringList& list, const QString& name, qint32 first, qint32 last);

/// 0-based index of @p name among the first @p count entries, or -1.
qint16 FindFormatIndex(std::span<const QString> list, qint16 count, const QString& name);
qint16 FindFormatIndex(const QStringList& list, qint16 count, const QString& name);

/// True when the file name @p name fits the file specification @p spec
/// ("*.bmp", "img??.*"); name and extension are matched separately.
bool MatchesFileSpec(const QString& name, const QString& spec, bool caseSensitive);

/// True when @p text fits @p pattern with "?" and "*". One forward scan
/// without backtracking: a "*" is tied to the first occurrence of the next
/// literal character, so "abcabc" does not fit "*c". An empty pattern fits
/// any text.
bool MatchesWildcard(const QString& text, const QString& pattern, bool caseSensitive);

/// The file name's part after its last "."; "" without one. The file name is
/// what follows the last "/" (the whole path without "/").
QString ExtensionOf(const QString& path, bool lowerCase);

/// The part after the last "/"; "" when there is no "/" at all.
QString FileNameOf(const QString& path, bool fold);

/// The part up to and including the last "/"; "" when there is none.
QString FolderOf(const QString& path, bool fold);

/// FoldToLowerCase, but a drive letter before a ":" in second place is
/// upper-cased instead.
QString FoldPathCase(const QString& path);

/// Upper-cases the first character when the second one is ":".
QString UpperCaseDriveLetter(const QString& path);

// ---- Operations that rewrite their first argument ---------------------------

/// Cuts @p suffix off the end of @p s as long as @p s ends with it.
void StripTrailing(QString& s, const QString& suffix);

/// Leaves "" alone; otherwise makes @p path end with exactly one "/".
void EnsureTrailingSeparator(QString& path);

/// Removes every character at or after @p start that occurs in @p set.
void RemoveSetRuns(QString& s, const QString& set, qint32 start);

/// Removes every character of @p s that occurs in @p set.
void RemoveChars(QString& s, const QString& set);

/// Keeps the digits of @p s, and a "+" (and, when @p allowMinus, a "-") only
/// when no digit and no sign of the same kind was kept before it.
void CleanNumberText(QString& s, bool allowMinus);

}  // namespace pictoria
