#include "Launch.h"

#include "UserPrompts.h"

namespace pictoria {

namespace {

constexpr int kLastErrorCode = 32;

// The extension as the error message names it: after the last "." of the
// last path segment, lower-cased.
QString addressExtension(const QString& address)
{
    const QString lastSegment = address.mid(address.lastIndexOf(QLatin1Char('/')) + 1);
    const int dot = lastSegment.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : lastSegment.mid(dot + 1).toLower();
}

}  // namespace

bool OpenDocument(const QString& path, bool showError)
{
    if (prompts().launch(path, true) > kLastErrorCode)
        return true;
    if (showError)
        showMessage(nullptr,
                    QStringLiteral("Error opening file ") + path + QStringLiteral(".\r\nPerhaps the file extension is incorrect."),
                    QStringLiteral("Error"), MsgIcon::Exclamation);
    return false;
}

QString WebPageErrorMessage(int code, const QString& address)
{
    QString text = QStringLiteral("Error launching web browser, error code = ") + QString::number(code) + QLatin1Char('.');
    switch (code) {
    case 31:
        text += QStringLiteral("\r\n\r\nFile extension '") + addressExtension(address) +
                QStringLiteral("' is not associated with any application program.");
        break;
    case 8: text += QStringLiteral("\r\n\r\nOut of memory."); break;
    case 2: text += QStringLiteral("\r\n\r\nPlease try once more."); break;
    default: break;
    }
    return text;
}

void OpenWebPage(const QString& address)
{
    const ShellResult result = prompts().launch(address, false);
    if (result <= kLastErrorCode)
        showMessage(nullptr, WebPageErrorMessage(result, address), QStringLiteral("Cannot launch web browser"),
                    MsgIcon::Exclamation);
}

}  // namespace pictoria
