#include "HeldTranscoder.h"

#include <QFileInfo>
#include <QTest>

namespace pictoria::testing {

HeldTranscoder::HeldTranscoder()
{
    setTranscoder([this](const QString& in, const QString& out, int quality) { return convert(in, out, quality); });
}

HeldTranscoder::~HeldTranscoder()
{
    releaseAll();
    setTranscoder({});
}

EngineOutcome HeldTranscoder::convert(const QString& inputPath, const QString& outputPath, int quality)
{
    const QString name = QFileInfo(inputPath).fileName();
    {
        std::unique_lock lock(mutex_);
        started_ << name;
        released_.wait(lock, [&] { return releaseAll_ || releasedNames_.contains(name); });
    }
    return TranscodeFile(inputPath, outputPath, quality);
}

bool HeldTranscoder::waitForStarted(int count)
{
    return QTest::qWaitFor([&] { return started().size() >= count; }, 10000);
}

QStringList HeldTranscoder::started() const
{
    std::lock_guard lock(mutex_);
    return started_;
}

void HeldTranscoder::release(const QString& fileName)
{
    std::lock_guard lock(mutex_);
    releasedNames_ << fileName;
    released_.notify_all();
}

void HeldTranscoder::releaseAll()
{
    std::lock_guard lock(mutex_);
    releaseAll_ = true;
    released_.notify_all();
}

}  // namespace pictoria::testing
