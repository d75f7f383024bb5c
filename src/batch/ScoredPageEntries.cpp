#include "ScoredPageEntries.h"

#include "ConversionRun.h"
#include "StrProc.h"
#include "ViewerPage.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace pictoria {

ScoredPageEntries::ScoredPageEntries(ViewerPageFile& page, Scorer scorer, QObject* parent)
    : QObject(parent), page_(page), scorer_(std::move(scorer))
{
}

ScoredPageEntries::~ScoredPageEntries()
{
    for (const Source& source : sources_)
        for (const auto& output : source.outputs)
            if (output->watcher)
                output->watcher->waitForFinished();
}

void ScoredPageEntries::addSource(const QString& inputPath, const QString& sizeText, const QString& preview)
{
    if (!sources_.empty())
        sources_.back().closed = true;
    Source& source = sources_.emplace_back();
    source.entry = ViewerSourceEntry(inputPath, sizeText, page_.path(), preview);
    source.inputFileName = FileNameOf(inputPath, false);
    writeComplete();
}

void ScoredPageEntries::addOutput(const QString& inputPath, const QString& targetPath, qint64 size,
                                  const QString& sizeText, const QString& preview, bool lossy,
                                  std::optional<double> knownScore)
{
    auto owned = std::make_unique<Output>();
    Output& output = *owned;
    output.targetPath = targetPath;
    output.sizeText = sizeText;
    output.preview = preview;
    output.compared = {size, lossy, knownScore};
    sources_.back().outputs.push_back(std::move(owned));
    if (lossy && !knownScore) {
        output.measuring = true;
        output.watcher = new QFutureWatcher<ScoreOutcome>(this);
        Output* measured = &output;
        connect(output.watcher, &QFutureWatcherBase::finished, this, [this, measured] {
            const ScoreOutcome outcome = measured->watcher->result();
            measured->watcher->deleteLater();
            measured->watcher = nullptr;
            measured->measuring = false;
            if (outcome.ok)
                measured->compared.score = outcome.score;
            else
                measured->failure = outcome.message;
            writeComplete();
        });
        output.watcher->setFuture(QtConcurrent::run(&conversionPool(), scorer_, inputPath, targetPath));
    }
}

void ScoredPageEntries::close()
{
    if (!sources_.empty())
        sources_.back().closed = true;
    writeComplete();
}

void ScoredPageEntries::writeComplete()
{
    bool wrote = false;
    while (!sources_.empty()) {
        const Source& source = sources_.front();
        if (!source.closed || std::any_of(source.outputs.begin(), source.outputs.end(),
                                          [](const auto& output) { return output->measuring; }))
            break;
        std::vector<PageOutput> compared;
        for (const auto& output : source.outputs)
            compared.push_back(output->compared);
        const std::optional<std::size_t> smallest = SmallestLookingTheSame(compared);
        QString entries = source.entry;
        for (std::size_t i = 0; i < source.outputs.size(); ++i) {
            const Output& output = *source.outputs[i];
            const QString note = output.compared.lossy
                                     ? ViewerScoreNote(output.compared.score, output.failure, smallest == i)
                                     : QString();
            entries += ViewerTargetEntry(output.targetPath, output.sizeText, source.inputFileName, output.preview, note);
        }
        page_.write(entries);
        sources_.pop_front();
        wrote = true;
    }
    if (wrote)
        emit entriesWritten();
}

}  // namespace pictoria
