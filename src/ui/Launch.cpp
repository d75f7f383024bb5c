#include "Launch.h"

#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QUrl>

namespace pictoria {

namespace {

constexpr int kLastErrorCode = 32;
constexpr ShellResult kLaunched = 42;
constexpr ShellResult kFileNotFound = 2;
constexpr ShellResult kAccessDenied = 5;
constexpr ShellResult kNoAssociation = 31;

// Long enough for xdg-open to find that nothing can open the target (it
// fails within a fraction of a second), short enough not to hold the window
// up: a launcher still running by then waits on the browser it started in
// the foreground, so the launch has succeeded.
constexpr int kLauncherVerdictMs = 3000;

// xdg-open's exit status as the shell's result code.
ShellResult shellResultOfLauncherExit(int status)
{
    switch (status) {
    case 0: return kLaunched;
    case 2: return kFileNotFound;
    case 5: return kAccessDenied;  // the file is not readable
    // 3: no program for it (no browser set up), 4: that program failed,
    // 1: the argument was refused; to the user all mean nothing opens it.
    default: return kNoAssociation;
    }
}

// The extension as the error message names it: after the last "." of the
// last path segment, lower-cased.
QString addressExtension(const QString& address)
{
    const QString lastSegment = address.mid(address.lastIndexOf(QLatin1Char('/')) + 1);
    const int dot = lastSegment.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : lastSegment.mid(dot + 1).toLower();
}

}  // namespace

ShellResult LaunchWithDesktop(const QString& target, bool isFile)
{
    QUrl url(target);
    if (isFile) {
        if (!QFileInfo::exists(target))
            return kFileNotFound;
        url = QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
    }
    // Without a parent: a launcher still running when its verdict is due is
    // left to end on its own, and deletes itself then.
    auto* launcher = new QProcess;
    launcher->setProcessChannelMode(QProcess::ForwardedChannels);
    launcher->setStandardInputFile(QProcess::nullDevice());
    launcher->start(QStringLiteral("xdg-open"), {QString::fromUtf8(url.toEncoded())});
    if (launcher->state() != QProcess::NotRunning) {
        // The window keeps painting while it waits; clicks wait for the
        // verdict, so no second launch or closing can come in between.
        QEventLoop verdict;
        QObject::connect(launcher, &QProcess::finished, &verdict, &QEventLoop::quit);
        QObject::connect(launcher, &QProcess::errorOccurred, &verdict, &QEventLoop::quit);
        QTimer::singleShot(kLauncherVerdictMs, &verdict, &QEventLoop::quit);
        verdict.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (launcher->state() != QProcess::NotRunning) {
        QObject::connect(launcher, &QProcess::finished, launcher, &QObject::deleteLater);
        return kLaunched;
    }
    const bool started = launcher->error() != QProcess::FailedToStart;
    const bool crashed = launcher->exitStatus() == QProcess::CrashExit;
    const int status = launcher->exitCode();
    delete launcher;
    // Without xdg-open, Qt's own search for a browser or viewer is the rest.
    if (!started)
        return QDesktopServices::openUrl(url) ? kLaunched : kNoAssociation;
    return crashed ? kNoAssociation : shellResultOfLauncherExit(status);
}

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
