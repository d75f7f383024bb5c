// Shared by the window tests: files made in code, a loaded main window, a
// scripted stand-in for every user answer, and an engine stand-in whose
// conversions end when a test says so.
#pragma once

#include "Grafix.h"
#include "UserPrompts.h"
#include "frmConvertSingleFile.h"
#include "frmMain.h"
#include "frmTargetFileExists.h"

#include <QtTest>
#include <QtWidgets>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace pictoria::testing {

/// Declares the columns of a QtTest data table: columns<QString, bool>({"text", "ok"}).
template <typename... T>
void columns(const std::array<const char*, sizeof...(T)>& names)
{
    std::size_t i = 0;
    (QTest::addColumn<T>(names[i++]), ...);
}

/// A plain 20 by 20 picture (a 1,254-byte BMP) in the format the extension names.
bool writeImage(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);
/// Makes @p folder and fills it: "name/" makes a folder, "name=text" a file holding text,
/// a name with an image extension a picture, any other name a file holding "x".
bool makeFiles(const QString& folder, const QStringList& specs);
QByteArray readAll(const QString& path);
/// A report without the files' sizes, which vary with the encoders.
inline QString withoutSizes(QString report) { return report.remove(QRegularExpression(" \\([0-9,]+ bytes\\)")); }
/// Waits until the conversion run in progress, if any, has ended.
bool waitForRun(frmMain& w);

/// A loaded main window with empty folders "in/" and "out/" of its own in its folder boxes.
struct Bench {
    bool load(int inputFormat, int outputFormat);
    QTemporaryDir dir;
    QString in = dir.filePath("in/"), out = dir.filePath("out/");
    frmMain w;  // closed before its folders go
};

struct PromptCall {
    QString kind{};   // "message", "open", "save", "folder", "modal", "launch"
    QString text{};   // message text, dialog title, dialog object name or launch target
    QString title{};  // message title or file filter
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    bool operator==(const PromptCall&) const = default;
};

/// Every question the program asks is recorded and answered from a queue the
/// test filled beforehand; a question nobody scripted, or an answer left unused, is a problem.
class ScriptedPrompts final : public UserPrompts {
public:
    ScriptedPrompts() { setPrompts(this); }
    ~ScriptedPrompts() override { setPrompts(nullptr); }

    void expectMessage(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon,
                       MsgAnswer answer = MsgAnswer::Ok) { queue_.push_back({{"message", text, title, buttons, icon}, answer}); }
    void expectOpenFile(const QString& title, const QString& answer) { queue_.push_back({{"open", title}, {}, answer}); }
    void expectSaveFile(const QString& title, const QString& answer) { queue_.push_back({{"save", title}, {}, answer}); }
    void expectFolder(const QString& title, const QString& answer) { queue_.push_back({{"folder", title}, {}, answer}); }
    /// @p act runs while the dialog is shown and must hide it (normally by clicking one of its buttons).
    void expectModal(const QString& objectName, std::function<void(QDialog&)> act)
    { queue_.push_back({{"modal", objectName}, {}, {}, 42, std::move(act)}); }
    /// Answered with @p result (above 32 is success).
    void expectLaunch(const QString& target, ShellResult result = 42) { queue_.push_back({{"launch", target}, {}, {}, result}); }

    const QList<PromptCall>& calls() const { return calls_; }
    /// What went wrong; empty when the script was followed.
    QString problems() const;

    MsgAnswer message(QWidget*, const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) override
    { return next({"message", text, title, buttons, icon}).answer; }
    QString openFileName(QWidget*, const QString& title, const QString& filter) override { return next({"open", title, filter}).textAnswer; }
    QString saveFileName(QWidget*, const QString& title, const QString& filter) override { return next({"save", title, filter}).textAnswer; }
    QString browseForFolder(QWidget*, const QString& title) override { return next({"folder", title}).textAnswer; }
    void showModal(QDialog& dialog) override;
    ShellResult launch(const QString& target, bool isFile) override { return next({"launch", target, isFile ? "file" : "web"}).shellResult; }

private:
    struct Expected {
        PromptCall call{};
        MsgAnswer answer = MsgAnswer::Ok;
        QString textAnswer{};
        ShellResult shellResult = 42;
        std::function<void(QDialog&)> act{};
        bool matched = true;
    };
    // A copy, so an answer that asks further questions cannot overwrite the one still running.
    Expected next(const PromptCall& call);

    std::deque<Expected> queue_;
    QList<PromptCall> calls_;
    QStringList unexpected_;
};

/// An answer to the formats dialog of "Convert single file": @p look runs first, while the dialog
/// shows what the program put there; then the boxes are set and "Convert file" (or Cancel) clicked.
struct FormatsChoice {
    bool bmp = false, png = false, jpg = false;
    QString first = "80", last{}, step = "10";
    bool warn = true, view = false, cancel = false;
    std::function<void(frmConvertSingleFile&)> look{};
    bool smallest = false;  ///< "Smallest that looks the same:"
    QString target = "90";
};
/// Scripts the open-file dialog answering @p path (none when empty), then the formats dialog.
void expectSingleFileRun(ScriptedPrompts& scripted, const QString& path, const FormatsChoice& choice);

/// An engine whose calls wait on their worker threads until the test lets
/// them go: a batch's conversion and a single file's decode by the source's
/// name, each write of a decoded source by its target's name, a decoded
/// source's quality search by its name and " search". The searches and the
/// scores give what the test scripted; outputs are written for real.
class HeldTranscoder {
public:
    HeldTranscoder();
    ~HeldTranscoder();  // lets everything go and restores the engine
    /// Waits (running the event loop) until @p count calls have started.
    bool waitForStarted(int count) { return QTest::qWaitFor([&] { return started().size() >= count; }, 10000); }
    /// Names of the calls started so far, sorted.
    QStringList started() const { return sorted(started_); }
    /// The outputs scored so far, sorted.
    QStringList scored() const { return sorted(scored_); }
    void release(const QString& fileName);
    void releaseAll() { release({}); }

    // Scripted before the run starts, by file name. What a source's search
    // finds (the target asked for is filled in; unscripted: quality 70, score
    // 91.25, reached); the sources that decode but are not held whole; the
    // score of an output (none: it cannot be scored; unscripted: 95).
    QHash<QString, FoundQuality> found;
    QStringList notWhole;
    QHash<QString, std::optional<double>> scores;

private:
    void hold(const QString& path);
    QStringList sorted(const QStringList& names) const;

    mutable std::mutex mutex_;
    std::condition_variable released_;
    QStringList started_, releasedNames_, scored_;
};

/// An engine stand-in for the formats this engine does not write yet: each
/// target gets "made from <source name> at <quality>"; a source whose bytes
/// begin "no picture" cannot be read. Restores the engine when it ends.
class StandInCodecs {
public:
    StandInCodecs();
    ~StandInCodecs() { setTranscoder({}); }
    /// The bytes written for a conversion of @p sourcePath at @p quality.
    static QByteArray madeFrom(const QString& sourcePath, int quality);
};

}  // namespace pictoria::testing

#define VERIFY_PROMPTS(scripted) QVERIFY2((scripted).problems().isEmpty(), qPrintable((scripted).problems()))
/// The run in progress has ended and asked what the script said.
#define VERIFY_RUN_ENDED(w, scripted) do { QVERIFY(pictoria::testing::waitForRun(w)); VERIFY_PROMPTS(scripted); } while (false)
#define LOAD_MAIN_WINDOW(w) \
    pictoria::frmMain w;    \
    QVERIFY((w).Form_Load())
