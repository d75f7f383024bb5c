// The user manual shown in the help window, built without any window.
#pragma once

#include <QString>

namespace pictoria {

/// The whole manual, lines ending in CR LF: where the illustrated manual is
/// (@p onlineManualUrl), a note on resizing, then eight numbered sections.
QString BuildHelpText(const QString& onlineManualUrl);

}  // namespace pictoria
