// The program's command line: pictoria [OPTIONS] [PATH...].
#pragma once

#include <QString>
#include <QStringList>

namespace pictoria {

/// What the command line asks for.
struct CommandLine {
    bool answered = false;  ///< answered already (help, version, a wrong option): print and end
    int exitCode = 0;       ///< when answered: 0, or 2 for a wrong option
    QString output;         ///< when answered: for standard output, or standard error when exitCode is not 0
    QStringList paths;      ///< the paths handed over, absolute, in the order given
};

/// Reads @p arguments (the program's name first) before any window exists,
/// so --help and --version need no display. Qt's own options (-platform,
/// -session, ...) are let through for QApplication to take. Relative paths
/// are made absolute against @p startDir.
CommandLine ReadCommandLine(const QStringList& arguments, const QString& startDir);

}  // namespace pictoria
