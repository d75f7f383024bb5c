// Paths handed to the window, on the command line or dropped on it: files go
// to the single-file command, a folder into a folder box.
#include "frmMain.h"

#include "OpenedPaths.h"
#include "UserPrompts.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace pictoria {

namespace {

QStringList localPaths(const QMimeData* mime)
{
    QStringList paths;
    if (mime)
        for (const QUrl& url : mime->urls())
            if (url.isLocalFile())
                paths << url.toLocalFile();
    return paths;
}

}  // namespace

void frmMain::OpenPaths(const QStringList& paths, int folderBox)
{
    QList<QPair<QString, PathKind>> probed;
    for (const QString& path : paths)
        probed.append({path, ProbePath(path)});
    const OpenedPaths opened = SortOpenedPaths(probed);
    if (!opened.notTaken.isEmpty())
        showMessage(this, PathsNotTakenMessage(opened.notTaken), QStringLiteral("Error"), MsgIcon::Exclamation);
    if (isQuitting())
        return;
    if (!opened.files.isEmpty())
        ConvertSingleFiles(opened.files);
    else if (!opened.folder.isEmpty())
        FolderChosen(folderBox, opened.folder);
}

bool frmMain::acceptsDrops() const
{
    return !conversionRun_ && !isQuitting() && cmdConvertSingleFile->isEnabled() && !QApplication::activeModalWidget();
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

// While a run or a dialog is busy the drag is refused, so the cursor says so.
void frmMain::dragMoveEvent(QDragMoveEvent* event)
{
    if (acceptsDrops() && !localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void frmMain::dropEvent(QDropEvent* event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (!acceptsDrops() || paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The command may open dialogs: it starts from the event loop, once the
    // drag source has been told that the drop is done (and only when no
    // drop before it has opened a dialog meanwhile).
    const int folderBox = txbFolderForImages[1]->geometry().contains(event->position().toPoint()) ? 1 : 0;
    QTimer::singleShot(0, this, [this, paths, folderBox] {
        if (acceptsDrops())
            OpenPaths(paths, folderBox);
    });
}

}  // namespace pictoria
