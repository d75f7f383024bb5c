// Inside the engine seam: the engine's search for the lowest quality, kept
// apart from Grafix.cpp because it builds only against an engine that scores.
#pragma once

#include "Grafix.h"

#include <pixmorph/transcode.hpp>

#include <memory>

namespace pictoria {

/// The engine's result as the report needs it.
EngineOutcome OutcomeOf(const pixmorph::TranscodeResult& result);

/// Searches @p source for the lowest quality of @p outputFormat whose score
/// reaches @p target, keeping the chosen candidate to be written.
SearchedTarget SearchDecodedSource(std::shared_ptr<const pixmorph::DecodedSource> source, const QString& outputFormat,
                                   int target);

}  // namespace pictoria
