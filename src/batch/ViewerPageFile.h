// The viewer page file of one run: created on the run's first conversion in
// the source folder, written entry by entry, completed at the run's end.
#pragma once

#include "Grafix.h"

#include <QFile>
#include <QString>

#include <memory>

namespace pictoria {

class ViewerPageFile {
public:
    ViewerPageFile() = default;
    ViewerPageFile(const ViewerPageFile&) = delete;
    ViewerPageFile& operator=(const ViewerPageFile&) = delete;
    ~ViewerPageFile();

    /// Creates the next free viewerNN.htm beside @p inputPath and writes its
    /// head. False when it cannot: @p reason then says why, empty when every
    /// number is taken (no page, nothing to tell).
    bool open(const QString& inputPath, QString& reason);
    bool isOpen() const { return file_ != nullptr; }

    /// Writes image entries; the page then has images.
    void write(const QString& entries);
    bool hasImages() const { return hasImages_; }

    /// Writes the tail and closes the page. A page without images is removed.
    void close();
    const QString& path() const { return path_; }

private:
    std::unique_ptr<QFile> file_;
    QString path_;
    bool hasImages_ = false;
};

/// For the page, a picture browsers cannot show (a HEIC or TIFF file): the
/// JPG that @p writeJpg (output path, quality) makes of it in a temporary
/// folder of its own, never one of the user's, returned as a data: address;
/// the JPG is removed. Empty when it cannot be made. Safe on any thread.
QString ViewerPreview(const TargetWriter& writeJpg);

}  // namespace pictoria
