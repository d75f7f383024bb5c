#include "ViewerPageFile.h"

#include "FileProc.h"
#include "StrProc.h"
#include "ViewerPage.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace pictoria {

ViewerPageFile::~ViewerPageFile()
{
    if (isOpen())
        close();
}

bool ViewerPageFile::open(const QString& inputPath, QString& reason)
{
    reason.clear();
    const QString folder = FolderOf(inputPath, false);
    QString unusedReason;
    // The free name is not reserved: when another writer creates it first,
    // the next free number is taken.
    for (int attempt = 0; attempt < 99; ++attempt) {
        path_ = MakeNumberedFileName(folder, QStringLiteral("viewer"), QStringLiteral("htm"), unusedReason);
        if (path_.isEmpty())
            return false;
        auto page = std::make_unique<QFile>(path_);
        if (!page->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(path_))
                continue;
            reason = page->errorString();
            break;
        }
        const QByteArray head = ViewerPageHead(path_).toUtf8();
        if (page->write(head) == head.size() && page->flush()) {
            file_ = std::move(page);
            return true;
        }
        // A page that could not be written whole is not left behind.
        reason = page->errorString();
        page->close();
        page->remove();
        break;
    }
    path_.clear();
    return false;
}

void ViewerPageFile::write(const QString& entries)
{
    if (!file_)
        return;
    file_->write(entries.toUtf8());
    hasImages_ = true;
}

void ViewerPageFile::close()
{
    if (!file_)
        return;
    file_->write(ViewerPageTail().toUtf8());
    file_->close();
    file_.reset();
    if (!hasImages_)
        QFile::remove(path_);
}

QString ViewerPreview(const TargetWriter& writeJpg)
{
    // A quality that keeps the page small; it only needs to look right.
    constexpr int kPreviewQuality = 80;
    const QTemporaryDir folder;
    if (!folder.isValid())
        return QString();
    const QString jpg = folder.filePath(QStringLiteral("preview.jpg"));
    if (!writeJpg(jpg, kPreviewQuality).converted())
        return QString();
    QFile preview(jpg);
    if (!preview.open(QIODevice::ReadOnly))
        return QString();
    return JpegDataAddress(preview.readAll());
}

}  // namespace pictoria
