#include "Grafix.h"

#include "ImageFormats.h"

#include <pixmorph/score.hpp>
#include <pixmorph/transcode.hpp>

#include <QByteArray>

namespace pictoria {

namespace {

EngineOutcome::Kind kindOf(pixmorph_status status)
{
    switch (status) {
    case PIXMORPH_OK: return EngineOutcome::Kind::Converted;
    case PIXMORPH_UNSUPPORTED_OPTION: return EngineOutcome::Kind::UnsupportedOption;
    case PIXMORPH_INVALID_BITS_PER_PIXEL: return EngineOutcome::Kind::InvalidBitsPerPixel;
    case PIXMORPH_INPUT_NOT_SUPPORTED:
    case PIXMORPH_OUTPUT_NOT_SUPPORTED: return EngineOutcome::Kind::FormatNotSupported;
    case PIXMORPH_READ_FAILED:
    case PIXMORPH_WRITE_FAILED:
    case PIXMORPH_FAILED: break;
    }
    return EngineOutcome::Kind::Failed;
}

Transcoder& installedTranscoder()
{
    static Transcoder installed;
    return installed;
}

EngineOutcome outcomeOf(const pixmorph::TranscodeResult& result)
{
    EngineOutcome outcome;
    outcome.kind = kindOf(result.status);
    outcome.message = QString::fromStdString(result.message) + QLatin1Char('.');
    outcome.failureSide = static_cast<int>(result.side);
    return outcome;
}

SearchedTarget searchDecodedSource(std::shared_ptr<const pixmorph::DecodedSource> source, const QString& outputFormat,
                                   int target)
{
    // Shared, so every copy of the writer writes the one candidate the search kept.
    const std::shared_ptr<const pixmorph::SmallestOutput> chosen =
        pixmorph::findSmallest(*source, OutputExtensionOf(outputFormat).toStdString(), target);
    const pixmorph::QualityChoice& choice = chosen->choice;
    SearchedTarget result;
    result.outcome = outcomeOf(choice.result);
    result.found = {true, choice.quality, choice.score, choice.reachedTarget, target};
    result.write = [chosen](const QString& outputPath) {
        return outcomeOf(pixmorph::writeChosen(*chosen, outputPath.toUtf8().toStdString()));
    };
    return result;
}

}  // namespace

EngineOutcome TranscodeFile(const QString& inputPath, const QString& outputPath, int quality)
{
    return outcomeOf(
        pixmorph::transcode(inputPath.toUtf8().toStdString(), outputPath.toUtf8().toStdString(), quality));
}

DecodedFile DecodeFile(const QString& inputPath)
{
    std::shared_ptr<const pixmorph::DecodedSource> source = pixmorph::decodeSource(inputPath.toUtf8().toStdString());
    const bool whole = pixmorph::decodedWhole(*source);
    DecodedFile decoded;
    decoded.write = [source](const QString& outputPath, int quality) {
        return outcomeOf(pixmorph::writeTarget(*source, outputPath.toUtf8().toStdString(), quality));
    };
    if (whole)
        decoded.search = [source](const QString& outputFormat, int target) {
            return searchDecodedSource(source, outputFormat, target);
        };
    decoded.whole = whole;
    return decoded;
}

SearchedOutcome TranscodeSmallest(const QString& inputPath, const QString& outputPath, int fixedQuality, int target)
{
    const DecodedFile decoded = DecodeFile(inputPath);
    if (!decoded.whole) {
        FoundQuality fixed;
        fixed.quality = fixedQuality;
        fixed.target = target;
        return {decoded.write(outputPath, fixedQuality), fixed};
    }
    const SearchedTarget searched = decoded.search(FormatNameOfPath(outputPath), target);
    if (!searched.outcome.converted())
        return {searched.outcome, std::nullopt};
    return {searched.write(outputPath), searched.found};
}

ScoreOutcome ScoreFiles(const QString& original, const QString& distorted)
{
    const pixmorph::ScoreResult result =
        pixmorph::scoreFiles(original.toUtf8().toStdString(), distorted.toUtf8().toStdString());
    return {result.ok, result.score, QString::fromStdString(result.message)};
}

const Transcoder& transcoder() { return installedTranscoder(); }

void setTranscoder(Transcoder replacement)
{
    installedTranscoder() = std::move(replacement);
}

}  // namespace pictoria
