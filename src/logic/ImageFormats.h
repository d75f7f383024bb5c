// The picture formats the program knows, in one table: every list of formats
// the user meets (the format boxes, the folder summary, the listing, the
// open-file filter, the single-file dialog's outputs, the help text) is made
// from it, so a new format is one new row.
#pragma once

#include <QString>
#include <QStringList>

#include <span>

namespace pictoria {

struct ImageFormat {
    QString name;            ///< as shown: "JPG"
    QStringList extensions;  ///< lower case; the first names outputs: {"jpg", "jpeg"}
    QStringList mimeTypes;   ///< {"image/jpeg"}
    bool read = false;       ///< offered as an input format
    bool written = false;    ///< offered as an output format
    bool lossy = false;      ///< written at a quality (10..100)
    /// Written without loss, so a source of this format is not offered its
    /// own format again by the single-file dialog.
    bool losslessSource = false;
    /// Named by the folder summary even when the folder holds none.
    bool namedWhenNone = false;
    /// Web browsers show it; the viewer page shows any other as a preview.
    bool shownByBrowsers = false;
};

/// Every format, in the order of the format boxes.
std::span<const ImageFormat> ImageFormats();

/// Names of the formats read (input box) or written (output box), in box order.
QStringList InputFormatNames();
QStringList OutputFormatNames();

/// The format called @p name ("JPG"); null when none is.
const ImageFormat* FormatNamed(const QString& name);

/// The format whose extensions hold the extension of @p path, case ignored
/// ("scan.TIFF" is TIFF); null for any other extension or none.
const ImageFormat* FormatOfPath(const QString& path);

/// The shown name of @p path's format ("photo.jpeg" gives "JPG"); for an
/// extension no format has, that extension in upper case ("TGA", "").
QString FormatNameOfPath(const QString& path);

/// False when web browsers cannot show the picture @p path holds, judged
/// by its extension (an extension no format has counts as shown).
bool BrowsersShow(const QString& path);

/// The file specifications of the format called @p name: one "*.ext" per
/// extension; {"*.*"} for "*" (every file); none for a name no format has.
QStringList FileSpecsOf(const QString& name);

/// True when the file name @p name fits one of @p specs, case ignored.
bool MatchesAnyFileSpec(const QString& name, const QStringList& specs);

/// The extension the program gives a file written in the format @p name.
QString OutputExtensionOf(const QString& name);

/// True when the format called @p name is written at a quality.
bool IsLossyFormat(const QString& name);

/// The single-file outputs in the order they are written: the lossless
/// formats, then each lossy one (whose qualities follow one another).
QStringList OutputFormatsInWritingOrder();

/// The open-file dialog's filter: "AVIF, BMP, ... and WEBP|*.avif;*.bmp;..."
/// (names in alphabetical order, then every extension of each).
QString OpenFileFilter();

/// Every MIME type of the formats read, in table order.
QStringList ReadMimeTypes();

/// @p names joined as an English list: "BMP, PNG and JPG" (or, with
/// @p lastJoint " or ", "BMP, PNG or JPG").
QString JoinedFormatNames(const QStringList& names, const QString& lastJoint = QStringLiteral(" and "));

}  // namespace pictoria
