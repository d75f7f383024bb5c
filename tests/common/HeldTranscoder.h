// A stand-in for the engine whose conversions wait on their worker threads
// until the test lets them go, so a test decides the order in which they end.
#pragma once

#include "Grafix.h"

#include <QStringList>

#include <condition_variable>
#include <mutex>

namespace pictoria::testing {

class HeldTranscoder {
public:
    HeldTranscoder();   // installs itself
    ~HeldTranscoder();  // lets everything go and restores the engine

    /// Waits (running the event loop) until @p count conversions have started.
    bool waitForStarted(int count);
    /// Source names of the conversions started so far, in the order they started.
    QStringList started() const;
    /// Lets the conversion of the source @p fileName finish with the real engine.
    void release(const QString& fileName);
    void releaseAll();

private:
    EngineOutcome convert(const QString& inputPath, const QString& outputPath, int quality);

    mutable std::mutex mutex_;
    std::condition_variable released_;
    QStringList started_;
    QStringList releasedNames_;
    bool releaseAll_ = false;
};

}  // namespace pictoria::testing
