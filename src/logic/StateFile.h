// The state file: the main window's batch parameters as seven quoted values,
// one per line, and an eighth, the automatic quality's target score, which
// readers of seven values pass over. Formatting and parsing know nothing of windows, so the format
// can be checked byte for byte.
#pragma once

#include "SmallestQuality.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace pictoria {

/// The parameters a state file holds, in file order.
struct SavedState {
    QString inputFolder;
    QString outputFolder;
    int inputFormatIndex = 0;   ///< list index of the input format box
    int outputFormatIndex = 0;  ///< list index of the output format box
    bool warnOnOverwrite = true;
    bool viewInBrowser = false;
    bool saveStateOnQuit = false;
    int scoreTarget = kDefaultScoreTarget;

    bool operator==(const SavedState&) const = default;
};

/// The file's bytes: eight lines, each a quoted value ending in CR LF, UTF-8.
/// A double quote inside a folder text is written twice; files whose folders
/// hold none are unaffected by that.
QByteArray FormatStateFile(const SavedState& state);

/// Reads the first seven values of @p bytes (CR LF or LF line ends; a quoted
/// value keeps its commas; an unquoted one ends at a comma or the line end).
/// Nothing when a value is missing, the text is not UTF-8, a format value is
/// not a number, or it names no entry of its list: @p listCounts holds the
/// number of entries of the input and the output format box. A format value
/// of -1 (no entry chosen) comes back as 0, the "Select" entry. An eighth
/// value is the target score; without one, or with one outside 30..99, the
/// target is 90.
std::optional<SavedState> ParseStateFile(const QByteArray& bytes, const std::array<int, 2>& listCounts);

}  // namespace pictoria
