// The engine's perceptual score and its quality search, as the seam hands them out.
#include "GrafixScore.h"

#include "ImageFormats.h"

#include <pixmorph/score.hpp>

namespace pictoria {

SearchedTarget SearchDecodedSource(std::shared_ptr<const pixmorph::DecodedSource> source, const QString& outputFormat,
                                   int target)
{
    // Shared, so every copy of the writer writes the one candidate the search kept.
    const std::shared_ptr<const pixmorph::SmallestOutput> chosen =
        pixmorph::findSmallest(*source, OutputExtensionOf(outputFormat).toStdString(), target);
    const pixmorph::QualityChoice& choice = chosen->choice;
    SearchedTarget result;
    result.outcome = OutcomeOf(choice.result);
    result.found = {true, choice.quality, choice.score, choice.reachedTarget, target};
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
