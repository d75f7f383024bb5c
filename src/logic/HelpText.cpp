#include "HelpText.h"

#include "ImageFormats.h"

#include <QStringList>

namespace pictoria {

namespace {

const QString kLineBreak = QStringLiteral("\r\n");
const QString kBlankLine = QStringLiteral("\r\n\r\n");

struct Section {
    QString heading;
    QStringList paragraphs;  // each followed by a blank line
    QStringList lines;       // closing lines, each followed by a single line break
};

// Headings carry a no-break space after the number's point (all but the
// second), so the titles line up in the proportional font.
QString heading(int number, const char* title)
{
    const QString gap = number == 2 ? QStringLiteral(" ") : QStringLiteral("\u00A0 ");
    return QString::number(number) + QLatin1Char('.') + gap + QString::fromLatin1(title);
}

QList<Section> sections()
{
    QStringList read, written, lossy, losslessSources, browserless, extensions;
    for (const ImageFormat& format : ImageFormats()) {
        if (format.read)
            read << format.name;
        if (format.written)
            written << format.name;
        if (format.lossy)
            lossy << format.name;
        if (format.losslessSource)
            losslessSources << format.name;
        if (!format.shownByBrowsers)
            browserless << format.name;
        QStringList dotted;
        for (const QString& extension : format.extensions)
            dotted << QLatin1Char('.') + extension;
        extensions << format.name + QStringLiteral(" ") + dotted.join(QStringLiteral(" "));
    }
    const QString extensionsText = extensions.join(QStringLiteral(", "));
    return {
        {heading(1, "INTRODUCTION"),
         {QStringLiteral("Pictoria converts image files between the formats ") + JoinedFormatNames(read) +
              QStringLiteral(". It reads all of them and writes ") + JoinedFormatNames(written) +
              QStringLiteral("."),
          QStringLiteral("It has two uses: (i) converting one image file into any or all of the other formats "
                         "it writes; (ii) converting a set of image files, all of one format, into any other "
                         "format it writes."),
          QStringLiteral("A format's files are known by any of their extensions, in capitals or not: ") +
              extensionsText + QStringLiteral(".")},
         {}},
        {heading(2, "CONVERTING A SINGLE IMAGE FILE"),
         {QStringLiteral("Click \"Convert single file\" and pick the image file in the file selection dialog. "
                         "A small window then opens in which you check one or more output formats."),
          QStringLiteral("For ") + JoinedFormatNames(lossy) +
              QStringLiteral(" you also give the quality, from 10 to 100; it applies to each of them that you "
                             "check, and each gives its own files. A quality of 100 means the "
                         "least compression and the largest file; a value from 60 to 80 is usually a good "
                         "trade-off between file size and picture quality. To compare several qualities, "
                         "give a range (a first and a last quality) and a step, for example 5, 10 or 20: "
                         "each quality of the range gives its own file."),
          QStringLiteral("The output files are written to the folder of the input file and take its name "
                         "with the new format's extension in place of the whole old one (photo.jpeg gives "
                         "photo.png, scan.tiff gives scan.jpg)."),
          QStringLiteral("A file in a format that keeps every pixel (") + JoinedFormatNames(losslessSources) +
              QStringLiteral(") is not offered its own format again."),
          QStringLiteral("When \"Warn on overwrite\" is ticked, you are asked before an existing file is "
                         "replaced, and you can still cancel the conversion at that point.")},
         {}},
        {heading(3, "CONVERTING MULTIPLE IMAGE FILES"),
         {QStringLiteral("Click \"Input images folder\" and choose the folder that holds the files to be "
                         "converted, then click \"Output images folder\" and choose the folder the "
                         "converted files are to be written to. Both may be the same folder. In the "
                         "folder browser, open a folder (double-click it) so that its contents are shown "
                         "before you confirm it; only then is it the folder selected."),
          QStringLiteral("Choose the input file format and the output file format in the two lists; for ") +
              JoinedFormatNames(lossy, QStringLiteral(" or ")) +
              QStringLiteral(" output, also type the quality. Then click \"Convert files\". Every file of the "
                             "input format in the input images folder is converted, and the report window "
                             "shows one line per file."),
          QStringLiteral("\"Stop\" ends the run before the next file; the file being converted when you "
                         "click it is finished first.")},
         {}},
        {heading(4, "VIEWING RESULTING IMAGE FILES"),
         {QStringLiteral("The converted images can be shown beside their originals in your default web "
                         "browser. Tick \"View in browser\" in the single-file window or in the main window "
                         "before the conversion starts."),
          QStringLiteral("Pictures that browsers cannot show (") + JoinedFormatNames(browserless) +
              QStringLiteral(") appear on the page as a JPG preview, with their own name and size under it; "
                             "the preview is kept in the page, never written beside your files.")},
         {}},
        {heading(5, "OPTIMIZING JPG FILES"),
         {QStringLiteral("A JPG file can often be made much smaller without a visible loss. Convert it to "
                         "JPG over a range of qualities, for example from 90 to 10 in steps of 20, view "
                         "the results, and keep the smallest file that still looks the same as the "
                         "original. Check ") + JoinedFormatNames(lossy) +
              QStringLiteral(" together to compare the formats too: each quality gives a file of each."),
          QStringLiteral("Or let the program measure it: tick \"Smallest that looks the same\" and give a "
                         "target score from 30 to 99 (90, the default, means visually lossless). Each "
                         "output is then written at the lowest quality whose perceptual score against its "
                         "original reaches the target, and the report tells the quality found and its "
                         "score. On the viewer page every output shows its score and how it reads: "
                         "visually lossless (90 and above), very high (80), high (70), medium (50) or "
                         "low.")},
         {}},
        {heading(6, "ERROR MESSAGES"),
         {QStringLiteral("Not every file can be converted: a file may be damaged, or use a variant of its "
                         "format that is not supported. The report line of such a file says whether "
                         "reading the input file or writing the output file failed, and the run goes on "
                         "with the next file.")},
         {}},
        {heading(7, "SAVING AND RESTORING THE STATE"),
         {QStringLiteral("The state is the set of parameters defined so far: the two images folders, the "
                         "two file formats and the options \"Warn if about to overwrite existing file\", "
                         "\"View in browser\" and \"Save state on quit\"."),
          QStringLiteral("\"Save state\" writes it to a file with the extension .sta and \"Restore state\" "
                         "reads such a file back, both through the usual save and open dialogs. When "
                         "\"Save state on quit\" is ticked, the state is saved on quitting and restored "
                         "at the next start.")},
         {}},
        {heading(8, "ACKNOWLEDGEMENTS"),
         {QStringLiteral("Pictoria is written by Quorvane Systems. Its conversion engine, pixmorph, reads and "
                         "writes the image files with the help of the libraries below; the BMP codec is "
                         "Quorvane Systems' own. The window is built with Qt 6, used under the GNU Lesser "
                         "General Public License version 3."),
          QStringLiteral("This software is based in part on the work of the Independent JPEG Group.")},
         {QStringLiteral("JPEG: libjpeg-turbo, under the IJG licence and BSD-style licences."),
          QStringLiteral("PNG: libpng, under the PNG Reference Library License."),
          QStringLiteral("Compression: zlib by Jean-loup Gailly and Mark Adler, under the zlib licence."),
          QStringLiteral("GIF: giflib, under an MIT-style licence.")}},
    };
}

}  // namespace

QString BuildHelpText(const QString& onlineManualUrl)
{
    QString text = QStringLiteral("An illustrated verson of this user manual can be found at ") + onlineManualUrl +
                   QLatin1Char('.') + kBlankLine;
    text += QStringLiteral("This help screen can be resized for easier reading.") + kBlankLine;
    for (const Section& section : sections()) {
        text += section.heading + kBlankLine;
        for (const QString& paragraph : section.paragraphs)
            text += paragraph + kBlankLine;
        for (const QString& line : section.lines)
            text += line + kLineBreak;
    }
    return text;
}

}  // namespace pictoria
