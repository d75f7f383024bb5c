// The engine's perceptual score and its quality search, as the seam hands them out.
#include "GrafixScore.h"

#include <pixmorph/score.hpp>

namespace pictoria {

SearchedTarget SearchDecodedSource(std::shared_ptr<const pixmorph::DecodedSource> source, const QString& outputFormat,
                                   int target)
{
    // Shared, so copies of the writer keep the one candidate the search kept.
    auto chosen = std::make_shared<const pixmorph::SmallestOutput>(
        pixmorph::findSmallest(*source, outputFormat.toLower().toStdString(), target));
    pixmorph::TranscodeResult searched;
    searched.ok = chosen->ok;
    searched.status = chosen->ok ? PIXMORPH_OK : PIXMORPH_FAILED;
    searched.side = chosen->side;
    searched.message = chosen->message;
    SearchedTarget result;
    result.outcome = OutcomeOf(searched);
    result.found = {true, chosen->quality, chosen->score, chosen->reachedTarget, target};
    result.write = [chosen](const QString& outputPath) {
        return OutcomeOf(pixmorph::writeChosen(*chosen, outputPath.toUtf8().toStdString()));
    };
    return result;
}

ScoreOutcome ScoreFiles(const QString& original, const QString& distorted)
{
    const pixmorph::ScoreResult result =
        pixmorph::scoreFiles(original.toUtf8().toStdString(), distorted.toUtf8().toStdString());
    return {result.ok, result.score, QString::fromStdString(result.message)};
}

}  // namespace pictoria
