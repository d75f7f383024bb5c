// The automatic quality of a lossy output: the lowest quality whose
// perceptual score (SSIMULACRA 2.1) against the source reaches a target.
// Its limits, and the texts the report and the viewer page show for it.
#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace pictoria {

/// The target score the user may ask for, and the one offered at first.
constexpr int kMinScoreTarget = 30;
constexpr int kMaxScoreTarget = 99;
constexpr int kDefaultScoreTarget = 90;
/// A score from which a copy cannot be told from its source.
constexpr double kLooksTheSameScore = 90;

/// What the search for the lowest quality gave for one output.
struct FoundQuality {
    /// False when the source could not be held whole to search it: the output
    /// was written at the fixed quality.
    bool searched = false;
    int quality = 0;
    double score = 0;
    /// False when even quality 100 scores below the target.
    bool reachedTarget = false;
    int target = kDefaultScoreTarget;

    bool operator==(const FoundQuality&) const = default;
};

/// The target score of a cleaned text; nothing when it lies outside 30..99.
std::optional<int> ScoreTargetFromText(const QString& cleanedText);

/// "For the smallest file that looks the same the score must be in the range 30 through 99."
QString ScoreTargetMessage();

/// A score with one decimal, cut rather than rounded so that a score shown
/// as 90.0 has reached 90 ("90.4", "-3.2").
QString ScoreText(double score);

/// How a score reads: "visually lossless", "very high", "high", "medium", "low".
QString ScoreWord(double score);

/// What a report line tells of an automatic output after its quality:
/// ", score 90.4"; ", score 85.2, short of the target 90";
/// ", not searched: the picture is too large to hold".
QString FoundScoreNote(const FoundQuality& found);

/// The same after a batch report line's usual text: "quality 72, score 90.4".
QString FoundQualityNote(const FoundQuality& found);

/// An output as the viewer page compares them: its size and, for a lossy
/// one, its score when it could be measured.
struct PageOutput {
    qint64 size = 0;
    bool lossy = false;
    std::optional<double> score;
};

/// The output of @p outputs that is the smallest file scoring at least 90,
/// if any does (only lossy outputs are scored).
std::optional<std::size_t> SmallestLookingTheSame(const std::vector<PageOutput>& outputs);

/// What the viewer page shows beside a lossy output's size: ", score 90.4,
/// visually lossless", then ", the smallest that looks the same" for
/// @p smallest; ", not scored: <why>" when it could not be measured.
QString ViewerScoreNote(std::optional<double> score, const QString& failure, bool smallest);

}  // namespace pictoria
