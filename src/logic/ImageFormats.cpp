#include "ImageFormats.h"

#include "StrProc.h"

#include <algorithm>
#include <vector>

namespace pictoria {

namespace {

QStringList namesWhere(bool ImageFormat::*flag)
{
    QStringList names;
    for (const ImageFormat& format : ImageFormats())
        if (format.*flag)
            names << format.name;
    return names;
}

}  // namespace

std::span<const ImageFormat> ImageFormats()
{
    // The first four keep the format boxes' entries (and so the saved
    // states' indices) and the folder summary's sentences as they were
    // before the others were added. Columns after the MIME types: read,
    // written, lossy, lossless as a source, named when none, shown by browsers.
    static const std::vector<ImageFormat> table{
        {"BMP", {"bmp"}, {"image/bmp"}, true, true, false, true, true, true},
        {"PNG", {"png"}, {"image/png"}, true, true, false, true, true, true},
        {"JPG", {"jpg", "jpeg"}, {"image/jpeg"}, true, true, true, false, true, true},
        {"GIF", {"gif"}, {"image/gif"}, true, false, false, false, true, true},
        {"WEBP", {"webp"}, {"image/webp"}, true, true, true, false, false, true},
        {"AVIF", {"avif"}, {"image/avif"}, true, true, true, false, false, true},
        {"HEIC", {"heic", "heif", "hif"}, {"image/heic", "image/heif"}, true, false, false, false, false, false},
        {"TIFF", {"tif", "tiff"}, {"image/tiff"}, true, true, false, true, false, false},
    };
    return table;
}

QStringList InputFormatNames() { return namesWhere(&ImageFormat::read); }
QStringList OutputFormatNames() { return namesWhere(&ImageFormat::written); }

const ImageFormat* FormatNamed(const QString& name)
{
    for (const ImageFormat& format : ImageFormats())
        if (format.name == name)
            return &format;
    return nullptr;
}

const ImageFormat* FormatOfPath(const QString& path)
{
    const QString extension = ExtensionOf(path, true);
    if (extension.isEmpty())
        return nullptr;
    for (const ImageFormat& format : ImageFormats())
        if (format.extensions.contains(extension))
            return &format;
    return nullptr;
}

QString FormatNameOfPath(const QString& path)
{
    const ImageFormat* format = FormatOfPath(path);
    return format ? format->name : ExtensionOf(path, true).toUpper();
}

bool BrowsersShow(const QString& path)
{
    const ImageFormat* format = FormatOfPath(path);
    return !format || format->shownByBrowsers;
}

QStringList FileSpecsOf(const QString& name)
{
    if (name == QLatin1String("*"))
        return {QStringLiteral("*.*")};
    QStringList specs;
    if (const ImageFormat* format = FormatNamed(name))
        for (const QString& extension : format->extensions)
            specs << QStringLiteral("*.") + extension;
    return specs;
}

bool MatchesAnyFileSpec(const QString& name, const QStringList& specs)
{
    return std::any_of(specs.begin(), specs.end(),
                       [&name](const QString& spec) { return MatchesFileSpec(name, spec, false); });
}

QString OutputExtensionOf(const QString& name)
{
    const ImageFormat* format = FormatNamed(name);
    return format ? format->extensions.first() : name.toLower();
}

bool IsLossyFormat(const QString& name)
{
    const ImageFormat* format = FormatNamed(name);
    return format && format->lossy;
}

QStringList OutputFormatsInWritingOrder()
{
    QStringList lossless, lossy;
    for (const ImageFormat& format : ImageFormats())
        if (format.written)
            (format.lossy ? lossy : lossless) << format.name;
    return lossless + lossy;
}

QString OpenFileFilter()
{
    std::vector<const ImageFormat*> read;
    for (const ImageFormat& format : ImageFormats())
        if (format.read)
            read.push_back(&format);
    std::sort(read.begin(), read.end(), [](const ImageFormat* a, const ImageFormat* b) { return a->name < b->name; });
    QStringList names, specs;
    for (const ImageFormat* format : read) {
        names << format->name;
        specs << FileSpecsOf(format->name);
    }
    return JoinedFormatNames(names) + QLatin1Char('|') + specs.join(QLatin1Char(';'));
}

QStringList ReadMimeTypes()
{
    QStringList types;
    for (const ImageFormat& format : ImageFormats())
        if (format.read)
            types << format.mimeTypes;
    return types;
}

QString JoinedFormatNames(const QStringList& names, const QString& lastJoint)
{
    if (names.size() < 2)
        return names.value(0);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + lastJoint + names.last();
}

}  // namespace pictoria
