// The viewer page's entries of a run, held until the scores of their lossy
// outputs are known. Each source's outputs are compared with one another (the
// smallest that looks the same is marked), so a source's entries go onto the
// page together, in run order, once the last of its scores has come back.
// The scores are measured on the conversion threads.
#pragma once

#include "Grafix.h"
#include "SmallestQuality.h"
#include "ViewerPageFile.h"

#include <QFutureWatcher>
#include <QObject>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace pictoria {

class ScoredPageEntries : public QObject {
    Q_OBJECT

public:
    using Scorer = std::function<ScoreOutcome(const QString& original, const QString& distorted)>;

    ScoredPageEntries(ViewerPageFile& page, Scorer scorer, QObject* parent = nullptr);
    /// Waits for the scores still being measured.
    ~ScoredPageEntries() override;

    /// Starts the entries of a source (@p preview as the page takes it); the
    /// outputs added next go under it.
    void addSource(const QString& inputPath, const QString& sizeText, const QString& preview);
    /// A converted output of the source added last. A lossy one is shown with
    /// its score: @p knownScore, or measured now against @p inputPath.
    void addOutput(const QString& inputPath, const QString& targetPath, qint64 size, const QString& sizeText,
                   const QString& preview, bool lossy, std::optional<double> knownScore);
    /// No more outputs come: what is complete is written.
    void close();
    /// Every entry added is on the page.
    bool written() const { return sources_.empty(); }

signals:
    /// Entries went onto the page.
    void entriesWritten();

private:
    struct Output {
        QString targetPath;
        QString sizeText;
        QString preview;
        PageOutput compared;
        QString failure;  // why a lossy output has no score
        bool measuring = false;
        QFutureWatcher<ScoreOutcome>* watcher = nullptr;
    };
    struct Source {
        QString entry;
        QString inputFileName;
        std::vector<std::unique_ptr<Output>> outputs;
        bool closed = false;
    };

    void writeComplete();

    ViewerPageFile& page_;
    const Scorer scorer_;
    std::deque<Source> sources_;
};

}  // namespace pictoria
