// Paths handed to the program on its command line or dropped on its window:
// which of them are taken and why the others are not, and the rules a run
// over several picked files keeps for each file.
#pragma once

#include "FileProc.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace pictoria {

/// The paths handed over, sorted into what is taken.
struct OpenedPaths {
    QStringList files;     ///< the files, in the order given
    QString folder;        ///< the one folder taken, ending in "/"; "" when there is none or files were given
    QStringList notTaken;  ///< "path: why" for each path not taken, in the order given
};

/// @p paths made absolute against @p startDir (as folder texts are, so "~"
/// stands for @p homeDir) and tidied ("./", "../" and doubled "/" resolved).
QStringList AbsolutePaths(const QStringList& paths, const QString& startDir, const QString& homeDir);

/// Sorts absolute paths, each with what it names. Files are taken in the
/// order given; a folder only when no file is given, and only the first.
OpenedPaths SortOpenedPaths(const QList<QPair<QString, PathKind>>& paths);

/// The message that names each path not taken, from OpenedPaths::notTaken.
QString PathsNotTakenMessage(const QStringList& notTaken);

/// The output formats dialog's file box: the first path, and for several
/// files how many more ("/home/ann/a.jpg (+4 more)").
QString FileBoxText(const QStringList& files);

/// False when the output formats dialog's rule keeps @p path from
/// @p outputFormat: a source of a format written without loss (BMP, PNG,
/// TIFF) is not converted to its own format, judged by the path's extension.
bool TakesOutputFormat(const QString& path, const QString& outputFormat);

}  // namespace pictoria
