#include "ConversionRun.h"

#include "FileProc.h"
#include "FolderFiles.h"
#include "ImageFormats.h"
#include "StrProc.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace pictoria {

namespace {

const QString kBreak = QStringLiteral("\r\n");

QString pathOf(const SourceFile& source) { return source.folder + source.fileName; }

}  // namespace

QThreadPool& conversionPool()
{
    static QThreadPool pool;
    return pool;
}

ConversionRun::ConversionRun(RunParameters parameters, RunHost& host, Transcoder transcoder, QObject* parent)
    : QObject(parent),
      parameters_(std::move(parameters)),
      host_(host),
      transcoder_(std::move(transcoder)),
      pageEntries_(viewerPage_, transcoder_.score)
{
    // Queued: the entries are also written from within the run's own calls.
    connect(&pageEntries_, &ScoredPageEntries::entriesWritten, this, [this] { pump(); }, Qt::QueuedConnection);
    for (const ConversionItem& item : parameters_.items)
        jobs_.push_back({nullptr, &item});
    for (const SourceFile& source : parameters_.sources) {
        Decode& decode = decodes_.emplace_back();
        decode.firstJob = jobs_.size();
        for (const ConversionItem& target : source.targets)
            jobs_.push_back({&source, &target});
        decode.lastJob = jobs_.size() - 1;
    }
}

ConversionRun::~ConversionRun()
{
    for (const auto& entry : entries_) {
        if (entry->watcher)
            entry->watcher->waitForFinished();
        if (entry->searchWatcher)
            entry->searchWatcher->waitForFinished();
    }
    for (const Decode& decode : decodes_)
        if (decode.watcher)
            decode.watcher->waitForFinished();
}

void ConversionRun::start() { pump(); }

void ConversionRun::stop()
{
    // A run waiting only for a file's decode has, as a run converting one
    // output at a time would, already started that file's first output.
    if (!stopRequested_ && next_ < jobs_.size() &&
        std::none_of(entries_.begin(), entries_.end(), [](const auto& entry) { return !entry->complete; })) {
        const Decode* decode = decodeOf(jobs_[next_].source);
        if (decode && decode->watcher && decode->firstJob == next_)
            startsAfterStop_ = next_ + 1;
    }
    stopRequested_ = true;
    pump();
}

QString ConversionRun::viewerPageWithImages() const
{
    return viewerPage_.hasImages() ? viewerPage_.path() : QString();
}

// Every change (start, a finished conversion, Stop) comes through here.
// Questions and messages run nested event loops, in which further changes
// arrive; the flags keep one report pass and one dispatch loop at a time,
// and the outer ones pick up what the nested calls left.
void ConversionRun::pump()
{
    if (finished_)
        return;
    report();
    dispatch();
    releaseSpentDecodes();
    finishIfDone();
}

ConversionRun::Decode* ConversionRun::decodeOf(const SourceFile* source)
{
    return source ? &decodes_[std::size_t(source - parameters_.sources.data())] : nullptr;
}

// Conversions of @p source started and not ended, each holding its decode.
bool ConversionRun::converting(const SourceFile* source) const
{
    for (const auto& entry : entries_)
        if (entry->source == source && !entry->complete)
            return true;
    return false;
}

bool ConversionRun::mayDispatch()
{
    // A single-file source that cannot be read is not tried for further
    // formats; the other qualities of a JPG range are each their own file.
    for (Decode* d = next_ < jobs_.size() ? decodeOf(jobs_[next_].source) : nullptr;
         d && !d->unreadableFormat.isEmpty() && next_ <= d->lastJob &&
         jobs_[next_].item->outputFormat != d->unreadableFormat;
         d = next_ < jobs_.size() ? decodeOf(jobs_[next_].source) : nullptr)
        ++next_;
    if (ended_ || stopped() || next_ >= jobs_.size() || inFlight_ >= parameters_.maxInFlight)
        return false;
    // An automatic output's question waits for its search; the outputs after
    // it wait for that question, so the questions keep their order.
    if (std::any_of(entries_.begin(), entries_.end(), [](const auto& entry) { return entry->awaitsStart; }))
        return false;
    // A single file's conversions start once its decode has ended, so a
    // source that cannot be read is known before any of its questions.
    const Job& job = jobs_[next_];
    const Decode* decode = decodeOf(job.source);
    if (decode && !decode->decoded)
        return false;
    // A conversion whose source or target another conversion in flight
    // writes or reads waits for it, so that it meets the finished file as a
    // one-at-a-time run would (x.JPG onto x.jpg, two sources with one target
    // name). A source held decoded is no longer read, so a JPG may replace
    // its own source while its other formats are written; one not held whole
    // counts as read by each of its conversions, which thus go one at a
    // time, each failing as it would alone.
    const QString input = inputPathOf(job);
    const QString target = targetPathOf(job);
    const bool readsInput = !decode || !decode->decoded->whole;
    for (const auto& entry : entries_) {
        if (entry->complete)
            continue;
        if (target == entry->targetPath || (entry->readsInput && target == entry->inputPath) ||
            (readsInput && (input == entry->targetPath || (entry->readsInput && input == entry->inputPath))))
            return false;
    }
    return true;
}

// Sources are decoded in order, ahead of their conversions, on the threads
// these leave free, with at most maxInFlight sources held at once.
void ConversionRun::startDecodes()
{
    if (decodes_.empty() || ended_ || stopped() || next_ >= jobs_.size())
        return;
    int held = 0;
    for (std::size_t i = 0; i < decodes_.size(); ++i)
        held += decodes_[i].watcher || decodes_[i].decoded || converting(&parameters_.sources[i]) ? 1 : 0;
    for (std::size_t i = std::size_t(jobs_[next_].source - parameters_.sources.data()); i < decodes_.size(); ++i) {
        Decode& decode = decodes_[i];
        if (decode.started)
            continue;
        if (inFlight_ >= parameters_.maxInFlight || held >= parameters_.maxInFlight || !mayDecode(i))
            return;
        decode.started = true;
        ++held;
        ++inFlight_;
        const QString path = pathOf(parameters_.sources[i]);
        QString error;
        const std::optional<qint64> length = FileLength(path, error);
        decode.sizeText = length ? SizeText(*length) : QString();
        decode.watcher = new QFutureWatcher<DecodedSource>(this);
        Decode* started = &decode;
        connect(decode.watcher, &QFutureWatcherBase::finished, this, [this, started] { decodeDone(started); });
        const bool preview = parameters_.viewInBrowser && !BrowsersShow(path);
        decode.watcher->setFuture(QtConcurrent::run(&conversionPool(), [transcoder = transcoder_, path, preview] {
            DecodedSource source{transcoder.decode(path), QString()};
            // From the decoded source: the file is not read a second time.
            if (preview)
                source.preview = ViewerPreview(source.file.write);
            return source;
        }));
    }
}

// A file that an earlier conversion writes (a.png to a.bmp, then a.bmp) is
// read once that conversion has ended, as one at a time.
bool ConversionRun::mayDecode(std::size_t sourceIndex) const
{
    const QString path = pathOf(parameters_.sources[sourceIndex]);
    for (const auto& entry : entries_)
        if (!entry->complete && entry->targetPath == path)
            return false;
    for (std::size_t i = next_; i < decodes_[sourceIndex].firstJob; ++i)
        if (targetPathOf(jobs_[i]) == path)
            return false;
    return true;
}

void ConversionRun::decodeDone(Decode* decode)
{
    --inFlight_;
    const DecodedSource source = decode->watcher->result();
    decode->decoded = source.file;
    decode->preview = source.preview;
    decode->watcher->deleteLater();
    decode->watcher = nullptr;
    pump();
}

// A decode is let go once its source's last conversion has started (those
// in flight hold it until they end), or when nothing more will start.
void ConversionRun::releaseSpentDecodes()
{
    for (Decode& decode : decodes_)
        if (decode.decoded && (next_ > decode.lastJob || ended_ || stopped()))
            decode.decoded.reset();
}

// Only a single-file JPG range tags its targets with the quality.
QString ConversionRun::targetNameOf(const ConversionItem& item) const
{
    return TargetFileName(item.fileName, item.outputFormat, singleFile() ? item.qualityTag : QString());
}

QString ConversionRun::inputPathOf(const Job& job) const
{
    return (job.source ? job.source->folder : parameters_.inputFolder) + job.item->fileName;
}

// A single-file source's targets go beside it.
QString ConversionRun::targetPathOf(const Job& job) const
{
    return (job.source ? job.source->folder : parameters_.outputFolder) + targetNameOf(*job.item);
}

void ConversionRun::dispatch()
{
    if (dispatching_)
        return;
    dispatching_ = true;
    startSearchedConversion();
    for (;;) {
        if (mayDispatch()) {
            ConvertOneFile(jobs_[next_++]);
            report();
        } else {
            const int before = inFlight_;
            startDecodes();
            if (inFlight_ == before)
                break;
        }
    }
    dispatching_ = false;
    showProgress();
}

void ConversionRun::ConvertOneFile(const Job& job)
{
    const ConversionItem& item = *job.item;
    if (job.source)
        host_.conversionStarting(*job.source, item);
    auto owned = std::make_unique<Entry>();
    Entry& entry = *owned;
    entry.item = item;
    entry.source = job.source;
    // Taken now: once its last conversion has started, the run lets the
    // decode go, and the question may outlast that.
    Decode* decode = decodeOf(job.source);
    entry.write = decode ? decode->decoded->write : TargetWriter();
    entry.readsInput = !decode || !decode->decoded->whole;
    entry.inputPath = inputPathOf(job);
    entries_.push_back(std::move(owned));

    if (decode && item.scoreTarget > 0) {
        if (decode->decoded->search) {
            // Named by the quality it finds: the search comes before the question.
            entry.awaitsStart = true;
            report();
            QString error;
            const std::optional<qint64> inputLength = FileLength(entry.inputPath, error);
            if (!inputLength) {
                entry.awaitsStart = false;
                entry.runTimeError = error;
                decode->unreadableFormat = item.outputFormat;
                entry.complete = true;
                return;
            }
            entry.inputSize = SizeText(*inputLength);
            entry.searchWatcher = new QFutureWatcher<SearchedTarget>(this);
            Entry* searching = &entry;
            connect(entry.searchWatcher, &QFutureWatcherBase::finished, this, [this, searching] { searchDone(searching); });
            ++inFlight_;
            entry.searchWatcher->setFuture(QtConcurrent::run(&conversionPool(), decode->decoded->search,
                                                             item.outputFormat, item.scoreTarget));
            return;
        }
        // A source not held whole cannot be searched: it is written at the fixed quality.
        entry.found = FoundQuality{false, item.quality, 0, false, item.scoreTarget};
    }
    entry.targetName = targetNameOf(item);
    entry.targetPath = targetPathOf(job);
    // The file's name shows while its question is asked, when nothing before it is pending.
    report();
    startConversion(entry);
}

void ConversionRun::searchDone(Entry* entry)
{
    --inFlight_;
    const SearchedTarget searched = entry->searchWatcher->result();
    entry->searchWatcher->deleteLater();
    entry->searchWatcher = nullptr;
    if (!searched.outcome.converted()) {
        entry->awaitsStart = false;
        entry->outcome = searched.outcome;
        entry->complete = true;
        noteOutcome(*entry);
    } else {
        entry->found = searched.found;
        entry->item.quality = searched.found.quality;
        entry->item.qualityTag = QString::number(searched.found.quality);
        entry->targetName = targetNameOf(entry->item);
        entry->targetPath = entry->source->folder + entry->targetName;
        entry->writeChosen = searched.write;
    }
    pump();
}

// A searched output starts once no conversion in flight writes its target,
// as it would have met that file one at a time.
void ConversionRun::startSearchedConversion()
{
    const auto searched = std::find_if(entries_.begin(), entries_.end(), [](const auto& entry) {
        return entry->awaitsStart && !entry->searchWatcher;
    });
    if (searched == entries_.end())
        return;
    Entry& entry = **searched;
    for (const auto& other : entries_)
        if (other.get() != &entry && !other->complete &&
            (other->targetPath == entry.targetPath || (other->readsInput && other->inputPath == entry.targetPath)))
            return;
    entry.awaitsStart = false;
    startConversion(entry);
}

void ConversionRun::startConversion(Entry& entry)
{
    const ConversionItem& item = entry.item;
    if (parameters_.warnOnOverwrite && FileExists(entry.targetPath)) {
        const TargetChoice choice = host_.askExistingTarget(entry.targetPath, singleFile());
        if (choice.action != TargetChoice::Action::Write) {
            const bool cancelAll = choice.action == TargetChoice::Action::CancelAll;
            entry.keptTail = TargetKeptTail(item.outputFormat, cancelAll);
            ended_ = ended_ || cancelAll;
            entry.complete = true;
            return;
        }
        if (choice.path != entry.targetPath) {
            entry.targetPath = choice.path;
            entry.targetName = FileNameOf(choice.path, false);
        }
    }

    QString error;
    const std::optional<qint64> inputLength = FileLength(entry.inputPath, error);
    if (!inputLength) {
        // An unreadable source ends its own later formats, as a read failure does.
        entry.runTimeError = error;
        if (Decode* decode = decodeOf(entry.source))
            decode->unreadableFormat = item.outputFormat;
        entry.complete = true;
        return;
    }
    entry.inputSize = SizeText(*inputLength);

    if (parameters_.viewInBrowser && !viewerTried_) {
        viewerTried_ = true;
        QString reason;
        if (!viewerPage_.open(entry.inputPath, reason) && !reason.isEmpty())
            host_.showViewerPageError(reason);
    }

    entry.watcher = new QFutureWatcher<ConvertedFile>(this);
    Entry* started = &entry;
    connect(entry.watcher, &QFutureWatcherBase::finished, this, [this, started] { conversionDone(started); });
    ++inFlight_;
    // Previews are conversions too, so they are made here, off the window's
    // thread; a single file's source has its preview made with its decode.
    const bool previewSource = viewerPage_.isOpen() && !entry.source && !BrowsersShow(entry.inputPath);
    const bool previewTarget = viewerPage_.isOpen() && !BrowsersShow(entry.targetPath);
    entry.watcher->setFuture(QtConcurrent::run(
        &conversionPool(), [transcoder = transcoder_, write = entry.write, writeChosen = entry.writeChosen,
                            input = entry.inputPath, target = entry.targetPath, quality = item.quality,
                            scoreTarget = item.scoreTarget, previewSource, previewTarget] {
            ConvertedFile done;
            if (writeChosen) {
                done.outcome = writeChosen(target);
            } else if (write) {
                done.outcome = write(target, quality);
            } else if (scoreTarget > 0) {
                const SearchedOutcome searched = transcoder.convertSmallest(input, target, quality, scoreTarget);
                done.outcome = searched.outcome;
                done.found = searched.found;
            } else {
                done.outcome = transcoder.convert(input, target, quality);
            }
            if (done.outcome.converted()) {
                const auto previewOf = [&transcoder](const QString& path) {
                    return ViewerPreview([&](const QString& jpg, int quality) { return transcoder.convert(path, jpg, quality); });
                };
                if (previewSource)
                    done.sourcePreview = previewOf(input);
                if (previewTarget)
                    done.targetPreview = previewOf(target);
            }
            return done;
        }));
}

void ConversionRun::conversionDone(Entry* entry)
{
    --inFlight_;
    ConvertedFile done = entry->watcher->result();
    entry->outcome = done.outcome;
    if (done.found)
        entry->found = done.found;
    entry->sourcePreview = std::move(done.sourcePreview);
    entry->targetPreview = std::move(done.targetPreview);
    // Reporting may destroy the entry, and the watcher is still emitting.
    entry->watcher->deleteLater();
    entry->watcher = nullptr;
    entry->complete = true;
    noteOutcome(*entry);
    pump();
}

// What ends a batch ends only the formats of its own source in a single-file run.
void ConversionRun::noteOutcome(const Entry& entry)
{
    const EngineOutcome& outcome = *entry.outcome;
    if (entry.source && (outcome.failureSide == 1 || outcome.kind == EngineOutcome::Kind::FormatNotSupported)) {
        decodeOf(entry.source)->unreadableFormat = entry.item.outputFormat;
    } else if (outcome.kind == EngineOutcome::Kind::FormatNotSupported) {
        ended_ = true;
    }
}

void ConversionRun::report()
{
    if (reporting_) {
        reportAgain_ = true;
        return;
    }
    reporting_ = true;
    do {
        reportAgain_ = false;
        while (!entries_.empty()) {
            Entry& head = *entries_.front();
            if (!head.nameShown) {
                host_.appendToReport(head.item.fileName);
                head.nameShown = true;
            }
            if (!head.complete)
                break;
            // Taken off first: the entry's messages run nested event loops,
            // in which later entries may be reported.
            std::unique_ptr<Entry> done = std::move(entries_.front());
            entries_.pop_front();
            reportEntry(*done);
        }
    } while (reportAgain_);
    reporting_ = false;
}

void ConversionRun::reportEntry(Entry& entry)
{
    if (!entry.keptTail.isEmpty()) {
        host_.appendToReport(entry.keptTail);
        return;
    }
    auto runTimeError = [&](const QString& description) {
        host_.appendToReport(kBreak);
        host_.showRunError(description);
    };
    if (entry.runTimeError) {
        runTimeError(*entry.runTimeError);
        return;
    }
    if (singleFile())
        host_.appendToReport(QStringLiteral(" (") + entry.inputSize + QLatin1Char(')'));
    const EngineOutcome& outcome = *entry.outcome;
    if (!outcome.converted()) {
        const QString& inputFormat = entry.source ? entry.source->inputFormat : parameters_.inputFormat;
        host_.appendToReport(FailureTail(outcome, inputFormat, entry.item.outputFormat));
        return;
    }
    QString error;
    const std::optional<qint64> outputLength = FileLength(entry.targetPath, error);
    if (!outputLength) {
        runTimeError(error);
        return;
    }
    const QString outputSize = SizeText(*outputLength);
    if (singleFile()) {
        // A single file's automatic output is named by, and written at, its quality found.
        const ImageFormat* written = FormatOfPath(entry.targetPath);
        const bool atQuality = written && written->lossy;
        host_.appendToReport(SingleSuccessTail(entry.targetName, outputSize,
                                               atQuality ? std::optional<int>(entry.item.quality) : std::nullopt,
                                               entry.found ? FoundScoreNote(*entry.found) : QString()));
    } else {
        host_.appendToReport(BatchSuccessTail(entry.targetName, entry.found ? FoundQualityNote(*entry.found) : QString()));
    }
    ++converted_;
    if (singleFile())
        host_.conversionReported(entry.item);
    if (viewerPage_.isOpen()) {
        // A single-file run shows each source once, above all its targets.
        if (!entry.source) {
            pageEntries_.addSource(entry.inputPath, entry.inputSize, entry.sourcePreview);
        } else if (entry.source != shownSource_) {
            QString& preview = decodeOf(entry.source)->preview;
            pageEntries_.addSource(entry.inputPath, entry.inputSize, preview);
            preview.clear();  // shown once: its memory is not held to the end of the run
        }
        shownSource_ = entry.source;
        const std::optional<double> searchedScore =
            entry.found && entry.found->searched ? std::optional<double>(entry.found->score) : std::nullopt;
        pageEntries_.addOutput(entry.inputPath, entry.targetPath, *outputLength, outputSize, entry.targetPreview,
                               IsLossyFormat(entry.item.outputFormat), searchedScore);
    }
}

void ConversionRun::showProgress()
{
    for (const auto& entry : entries_) {
        if (entry->watcher || entry->searchWatcher) {
            host_.showProgress(ConvertingLabel(entry->item.fileName, entry->inputSize));
            return;
        }
    }
    for (std::size_t i = 0; i < decodes_.size(); ++i) {
        if (decodes_[i].watcher && !decodes_[i].sizeText.isEmpty()) {
            host_.showProgress(ConvertingLabel(parameters_.sources[i].fileName, decodes_[i].sizeText));
            return;
        }
    }
    host_.showProgress(QString());
}

void ConversionRun::finishIfDone()
{
    if (finished_ || dispatching_ || reporting_ || !entries_.empty() || inFlight_ > 0)
        return;
    if (!ended_ && !stopped() && next_ < jobs_.size())
        return;
    // The page's last entries wait for their scores.
    pageEntries_.close();
    if (!pageEntries_.written())
        return;
    finished_ = true;
    host_.showProgress(QString());
    if (stopRequested_ && !ended_)
        host_.appendToReport(QStringLiteral("Operation stopped.") + kBreak);
    if (parameters_.operation == kConvertBatch)
        host_.appendToReport(kBreak +
                             SummaryLine(kConvertBatch, parameters_.inputFormat, QString(), converted_,
                                         parameters_.matchingFiles) +
                             kBreak);
    // A stopped run completes its page too, so what was converted can be seen.
    viewerPage_.close();
    if (viewerPage_.hasImages())
        host_.appendToReport(QStringLiteral("Viewer file: ") + viewerPage_.path() + kBreak);
    emit finished();
}

}  // namespace pictoria
