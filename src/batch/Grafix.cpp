#include "Grafix.h"

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
    static Transcoder installed = TranscodeFile;
    return installed;
}

}  // namespace

EngineOutcome TranscodeFile(const QString& inputPath, const QString& outputPath, int quality)
{
    const pixmorph::TranscodeResult result =
        pixmorph::transcode(inputPath.toUtf8().toStdString(), outputPath.toUtf8().toStdString(), quality);
    EngineOutcome outcome;
    outcome.kind = kindOf(result.status);
    outcome.message = QString::fromStdString(result.message) + QLatin1Char('.');
    outcome.failureSide = static_cast<int>(result.side);
    return outcome;
}

const Transcoder& transcoder() { return installedTranscoder(); }

void setTranscoder(Transcoder replacement)
{
    installedTranscoder() = replacement ? std::move(replacement) : Transcoder(TranscodeFile);
}

}  // namespace pictoria
