// One conversion run, a batch over a folder or the outputs of a single file.
// It takes everything it needs when it is made, so nothing it does later
// reads a control: editing the window during a run changes nothing for it.
//
// The run lives on the window's thread, which asks the questions and writes
// the report; the engine calls run on a thread pool. A run keeps several
// conversions in flight (a batch's files, a single file's outputs, which are
// written from its source decoded once), yet the report reads exactly as if
// they were converted one after another: an entry is written only when every
// entry before it is.
#pragma once

#include "BatchText.h"
#include "Grafix.h"
#include "ScoredPageEntries.h"
#include "ViewerPageFile.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace pictoria {

/// One conversion of a run: a source file into one target.
struct ConversionItem {
    QString fileName;      ///< bare source name
    QString outputFormat;  ///< a written format's name: "BMP", "WEBP", ...
    int quality = 0;       ///< quality of a format written at one
    QString qualityTag;    ///< "80" for photo_q80.webp; empty for an untagged target
    /// Above 0: the quality is searched for, the lowest whose score reaches
    /// this target; quality is then the one taken when the source cannot be
    /// searched, and a single file's target is named by the quality found.
    int scoreTarget = 0;
};

/// A source of a single-file run with its targets, which go into its own
/// folder, in the order they are written.
struct SourceFile {
    QString folder;       ///< ends in "/"
    QString fileName;     ///< bare name
    QString inputFormat;  ///< its format's name ("JPG" for .jpeg), else the extension in upper case ("TGA", "")
    std::vector<ConversionItem> targets;
};

/// Everything a run needs, captured once when it starts.
struct RunParameters {
    int operation = kConvertBatch;  ///< kConvertBatch or kConvertSingle
    QString inputFolder;            ///< batch: ends in "/"
    QString outputFolder;           ///< batch: ends in "/"
    QString inputFormat;            ///< batch: a read format's name
    bool warnOnOverwrite = false;
    bool viewInBrowser = false;
    int matchingFiles = 0;  ///< the summary's "of N input" (batch)
    std::vector<ConversionItem> items;  ///< batch: one per file of the input folder
    std::vector<SourceFile> sources;    ///< single-file: the picked files in turn
    /// Engine calls in flight at once; in a single-file run also the most
    /// decoded sources held at once.
    int maxInFlight = 1;
};

/// The user's answer to an existing target.
struct TargetChoice {
    enum class Action { Write, SkipFile, CancelAll };
    Action action = Action::SkipFile;
    QString path;  ///< the path to write, for Write
};

/// What a run asks of the window. Every call comes on the window's thread.
class RunHost {
public:
    virtual ~RunHost() = default;
    virtual TargetChoice askExistingTarget(const QString& targetPath, bool singleFile) = 0;
    /// A file could not be measured (it vanished, or is no file); the run goes on.
    virtual void showRunError(const QString& description) = 0;
    /// The viewer page could not be created; the run goes on without it.
    virtual void showViewerPageError(const QString& reason) = 0;
    virtual void appendToReport(const QString& text) = 0;
    /// The progress label's text; empty hides it.
    virtual void showProgress(const QString& text) = 0;
    /// In a single-file run, a conversion of @p source is about to start.
    virtual void conversionStarting(const SourceFile& source, const ConversionItem& item)
    {
        Q_UNUSED(source)
        Q_UNUSED(item)
    }
    /// In a single-file run, a conversion was reported as converted.
    virtual void conversionReported(const ConversionItem& item) { Q_UNUSED(item) }
};

/// The threads the engine calls of every run use: one per core. Not Qt's
/// global pool, which the window's painting also draws on.
QThreadPool& conversionPool();

class ConversionRun : public QObject {
    Q_OBJECT

public:
    ConversionRun(RunParameters parameters, RunHost& host, Transcoder transcoder, QObject* parent = nullptr);
    /// Waits for the conversions still in flight: no file is left half-written.
    ~ConversionRun() override;

    void start();
    /// No further conversion (nor decode) starts; those in flight finish and are reported,
    /// then "Operation stopped." and, for a batch, the summary.
    void stop();

    /// The completed viewer page when it holds images, otherwise empty.
    QString viewerPageWithImages() const;

signals:
    /// Everything is reported and the viewer page is closed.
    void finished();

private:
    // What a worker thread hands back for one conversion: the engine's
    // outcome, the quality it searched, and, for the viewer page, previews of
    // pictures browsers cannot show.
    struct ConvertedFile {
        EngineOutcome outcome;
        std::optional<FoundQuality> found;  // an automatic quality's
        QString sourcePreview, targetPreview;
    };
    // A single-file source as its worker thread reads it.
    struct DecodedSource {
        DecodedFile file;
        QString preview;  // for the viewer page, when browsers cannot show the source
    };
    // One conversion to dispatch: a batch item, or a target of a single-file source.
    struct Job {
        const SourceFile* source;  // null in a batch
        const ConversionItem* item;
    };
    // A single-file source read once for all its conversions.
    struct Decode {
        std::size_t firstJob = 0, lastJob = 0;
        QString sizeText;  // for the progress label while it is decoded
        bool started = false;
        QFutureWatcher<DecodedSource>* watcher = nullptr;  // while decoding
        std::optional<DecodedFile> decoded;  // from its decode until its last conversion has started
        QString preview;  // until the source is on the viewer page
        QString unreadableFormat;  // it failed to read here: its later formats are skipped
    };
    struct Entry {
        ConversionItem item;
        const SourceFile* source = nullptr;  // an entry not complete holds its source's decode
        bool readsInput = true;              // false when its source is held decoded
        QString inputPath;
        QString targetPath;
        QString targetName;
        QString inputSize;
        TargetWriter write;  // of the source held decoded, if it is
        // A single file's automatic output: its search, then the chosen candidate's writer.
        QFutureWatcher<SearchedTarget>* searchWatcher = nullptr;
        std::function<EngineOutcome(const QString& outputPath)> writeChosen;
        bool awaitsStart = false;  // searching, or searched and its question not yet asked
        std::optional<FoundQuality> found;
        bool nameShown = false;
        bool complete = false;
        QString keptTail;                     // the existing target was kept
        std::optional<QString> runTimeError;  // the source could not be measured
        std::optional<EngineOutcome> outcome;
        QString sourcePreview, targetPreview;  // batch: the source's; either: the target's
        QFutureWatcher<ConvertedFile>* watcher = nullptr;  // while in flight
    };

    void pump();
    void dispatch();
    bool mayDispatch();
    Decode* decodeOf(const SourceFile* source);
    bool converting(const SourceFile* source) const;
    void startDecodes();
    bool mayDecode(std::size_t sourceIndex) const;
    void decodeDone(Decode* decode);
    void releaseSpentDecodes();
    QString targetNameOf(const ConversionItem& item) const;
    QString inputPathOf(const Job& job) const;
    QString targetPathOf(const Job& job) const;
    void ConvertOneFile(const Job& job);
    void startConversion(Entry& entry);
    void searchDone(Entry* entry);
    void startSearchedConversion();
    void conversionDone(Entry* entry);
    void noteOutcome(const Entry& entry);
    void report();
    void reportEntry(Entry& entry);
    void showProgress();
    void finishIfDone();
    bool singleFile() const { return parameters_.operation == kConvertSingle; }

    const RunParameters parameters_;
    RunHost& host_;
    const Transcoder transcoder_;

    std::vector<Job> jobs_;
    std::size_t next_ = 0;  // the next job to dispatch
    std::deque<std::unique_ptr<Entry>> entries_;  // dispatched, not yet reported, in item order
    std::vector<Decode> decodes_;  // single-file: one per source, in order
    int inFlight_ = 0;  // engine calls: conversions and decodes
    int converted_ = 0;
    bool stopRequested_ = false;
    std::size_t startsAfterStop_ = 0;  // jobs before it may still start after Stop
    bool stopped() const { return stopRequested_ && next_ >= startsAfterStop_; }
    bool ended_ = false;  // a status of -1 in a batch: nothing more is dispatched
    bool dispatching_ = false;
    bool reporting_ = false;
    bool reportAgain_ = false;
    bool finished_ = false;
    bool viewerTried_ = false;
    ViewerPageFile viewerPage_;
    ScoredPageEntries pageEntries_;
    const SourceFile* shownSource_ = nullptr;  // the single-file source last entered on the page
};

}  // namespace pictoria
