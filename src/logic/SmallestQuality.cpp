#include "SmallestQuality.h"

#include "BatchText.h"

#include <cmath>

namespace pictoria {

namespace {

// The score as shown: cut to one decimal, so the word and the mark agree with the number.
double shownScore(double score) { return std::floor(score * 10) / 10; }

}  // namespace

std::optional<int> ScoreTargetFromText(const QString& cleanedText)
{
    const std::optional<qint16> value = QualityFromText(cleanedText);
    if (!value || *value < kMinScoreTarget || *value > kMaxScoreTarget)
        return std::nullopt;
    return *value;
}

QString ScoreTargetMessage()
{
    return QStringLiteral("For the smallest file that looks the same the score must be in the range") +
           NumberText(kMinScoreTarget) + QStringLiteral(" through") + NumberText(kMaxScoreTarget) + QLatin1Char('.');
}

QString ScoreText(double score) { return QString::number(shownScore(score), 'f', 1); }

QString ScoreWord(double score)
{
    const double shown = shownScore(score);
    if (shown >= kLooksTheSameScore)
        return QStringLiteral("visually lossless");
    if (shown >= 80)
        return QStringLiteral("very high");
    if (shown >= 70)
        return QStringLiteral("high");
    if (shown >= 50)
        return QStringLiteral("medium");
    return QStringLiteral("low");
}

QString FoundScoreNote(const FoundQuality& found)
{
    if (!found.searched)
        return QStringLiteral(", not searched: the picture is too large to hold");
    QString note = QStringLiteral(", score ") + ScoreText(found.score);
    if (!found.reachedTarget)
        note += QStringLiteral(", short of the target ") + QString::number(found.target);
    return note;
}

QString FoundQualityNote(const FoundQuality& found)
{
    return QStringLiteral("quality ") + QString::number(found.quality) + FoundScoreNote(found);
}

std::optional<std::size_t> SmallestLookingTheSame(const std::vector<PageOutput>& outputs)
{
    std::optional<std::size_t> smallest;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const PageOutput& output = outputs[i];
        if (!output.score || shownScore(*output.score) < kLooksTheSameScore)
            continue;
        if (!smallest || output.size < outputs[*smallest].size)
            smallest = i;
    }
    return smallest;
}

QString ViewerScoreNote(std::optional<double> score, const QString& failure, bool smallest)
{
    if (!score)
        return QStringLiteral(", not scored: ") + failure;
    QString note = QStringLiteral(", score ") + ScoreText(*score) + QStringLiteral(", ") + ScoreWord(*score);
    if (smallest)
        note += QStringLiteral(", the smallest that looks the same");
    return note;
}

}  // namespace pictoria
