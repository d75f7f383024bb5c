#include "ViewerPage.h"

#include <QFileInfo>
#include <QUrl>

namespace pictoria {

namespace {

const QString kBreak = QStringLiteral("\r\n");

QString fileAddress(const QString& path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
}

QString imageLine(const QString& address)
{
    return QStringLiteral("<IMG SRC=\"") + HtmlText(address) + QStringLiteral("\" BORDER=\"1\"><P>") + kBreak;
}

// The file's picture, or its preview with the file's own name and size under it.
QString pictureLines(const QString& path, const QString& sizeText, const QString& address, const QString& preview)
{
    if (preview.isEmpty())
        return imageLine(address);
    return QStringLiteral("<IMG SRC=\"") + preview + QStringLiteral("\" BORDER=\"1\"><BR>") + kBreak +
           HtmlText(QFileInfo(path).fileName() + QStringLiteral(", ") + sizeText) + QStringLiteral("<P>") + kBreak;
}

}  // namespace

QString HtmlText(const QString& text)
{
    QString html;
    html.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        switch (c) {
        case U'&': html += QStringLiteral("&amp;"); break;
        case U'<': html += QStringLiteral("&lt;"); break;
        case U'>': html += QStringLiteral("&gt;"); break;
        case U'"': html += QStringLiteral("&quot;"); break;
        default:
            if (c < 0x80)
                html += QChar(char16_t(c));
            else
                html += QStringLiteral("&#") + QString::number(quint32(c)) + QLatin1Char(';');
        }
    }
    return html;
}

QString ViewerPageHead(const QString& pagePath)
{
    return QStringLiteral("<HTML><HEAD><TITLE>") + kBreak + HtmlText(pagePath) + kBreak +
           QStringLiteral("</TITLE></HEAD>") + kBreak + kBreak +
           QStringLiteral("<BODY BGCOLOR=\"#000000\" TEXT=\"#FFFFFF\"><CENTER>") + kBreak + kBreak;
}

QString ViewerSourceEntry(const QString& inputPath, const QString& sizeText, const QString& pagePath,
                          const QString& preview)
{
    const QFileInfo input(inputPath);
    const QString address = input.absolutePath() == QFileInfo(pagePath).absolutePath()
                                ? QString::fromLatin1(QUrl::toPercentEncoding(input.fileName()))
                                : fileAddress(inputPath);
    return HtmlText(inputPath + QStringLiteral(", ") + sizeText) + QStringLiteral("<BR>") + kBreak +
           pictureLines(inputPath, sizeText, address, preview) + kBreak;
}

QString ViewerTargetEntry(const QString& targetPath, const QString& sizeText, const QString& inputFileName,
                          const QString& preview, const QString& scoreNote)
{
    return HtmlText(targetPath + QStringLiteral(", ") + sizeText + scoreNote + QStringLiteral(" (from ") + inputFileName +
                    QLatin1Char(')')) +
           QStringLiteral("<BR>") + kBreak + pictureLines(targetPath, sizeText, fileAddress(targetPath), preview) +
           kBreak;
}

QString JpegDataAddress(const QByteArray& bytes)
{
    return QStringLiteral("data:image/jpeg;base64,") + QString::fromLatin1(bytes.toBase64());
}

QString ViewerPageTail()
{
    return QStringLiteral("</CENTER></BODY></HTML>") + kBreak + kBreak;
}

}  // namespace pictoria
