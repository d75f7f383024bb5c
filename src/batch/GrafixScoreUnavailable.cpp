// The seam's search and score for an engine built without its perceptual
// score: every search and score fails with a message saying so.
#include "GrafixScore.h"

namespace pictoria {

namespace {

const QString kNoScore = QStringLiteral("this build of the engine cannot score pictures");

}  // namespace

SearchedTarget SearchDecodedSource(std::shared_ptr<const pixmorph::DecodedSource>, const QString&, int)
{
    SearchedTarget result;
    result.outcome.message = kNoScore + QLatin1Char('.');
    return result;
}

ScoreOutcome ScoreFiles(const QString&, const QString&) { return {false, 0, kNoScore}; }

}  // namespace pictoria
