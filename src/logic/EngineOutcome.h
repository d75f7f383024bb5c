// What the engine made of one conversion, as the report needs it.
#pragma once

#include <QString>

namespace pictoria {

/// What the engine made of one conversion.
struct EngineOutcome {
    enum class Kind { Converted, UnsupportedOption, InvalidBitsPerPixel, FormatNotSupported, Failed };
    Kind kind = Kind::Failed;
    /// The engine's message followed by ".", so success reads "No Error.".
    QString message;
    /// 1 when reading the input failed, -1 when writing the output failed, 0 otherwise.
    int failureSide = 0;

    bool converted() const { return kind == Kind::Converted; }
};

}  // namespace pictoria
