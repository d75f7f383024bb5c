// Lines of the image viewer page that shows converted images under their
// sources. Every function returns whole lines ending in "\r\n". Paths and
// names are written as HTML text (non-ASCII letters as character references,
// so the page reads the same in any browser encoding) and image addresses
// are percent-encoded.
#pragma once

#include <QString>

namespace pictoria {

/// @p text with &, <, > and double quotes escaped and every non-ASCII
/// character written as a numeric character reference.
QString HtmlText(const QString& text);

/// The page head, titled with the page's own path @p pagePath.
QString ViewerPageHead(const QString& pagePath);

/// Entry of a source image on the page at @p pagePath: a source in the
/// page's folder is addressed by its bare file name, any other by a file://
/// URL of its absolute path. A picture browsers cannot show comes as
/// @p preview (a data: address) with its own name and size under it.
QString ViewerSourceEntry(const QString& inputPath, const QString& sizeText, const QString& pagePath,
                          const QString& preview = QString());

/// Entry of a converted image, addressed by a file:// URL of its absolute
/// path, or shown as @p preview as a source is; @p scoreNote follows the size.
QString ViewerTargetEntry(const QString& targetPath, const QString& sizeText, const QString& inputFileName,
                          const QString& preview = QString(), const QString& scoreNote = QString());

/// The data: address of a JPG file's @p bytes.
QString JpegDataAddress(const QByteArray& bytes);

/// The page tail.
QString ViewerPageTail();

}  // namespace pictoria
