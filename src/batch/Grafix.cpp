#include "Grafix.h"

#include <pixmorph/transcode.h>

#include <QByteArray>

#include <algorithm>
#include <array>

namespace pictoria {

QString TranscodeFile(const QString& inputPath, const QString& outputPath, int quality, int option,
                      int& failureSide)
{
    const QByteArray input = inputPath.toUtf8();
    const QByteArray output = outputPath.toUtf8();
    const int32_t inputIsBmp = inputPath.endsWith(QLatin1String("bmp"), Qt::CaseInsensitive) ? 1 : 0;
    std::array<char, PIXMORPH_MESSAGE_CAPACITY> buffer{};
    int32_t side = 0;
    const int32_t written = transcode_picture_file_2("", input.constData(), "", output.constData(), 0, quality,
                                                     inputIsBmp, option, buffer.data(), &side);
    failureSide = side;
    // A count outside the buffer is not trusted beyond the buffer's end, and
    // the message never runs past its terminating NUL.
    const auto begin = buffer.begin();
    const auto end = begin + std::clamp<int32_t>(written, 0, PIXMORPH_MESSAGE_CAPACITY);
    const auto stop = std::find(begin, end, '\0');
    return QString::fromUtf8(buffer.data(), stop - begin) + QLatin1Char('.');
}

}  // namespace pictoria
