// The state file: its bytes, the reader's tolerance and failures, the two buttons and the close box.
#include "Fixtures.h"
#include "FolderHelpers.h"
#include "ScriptedPrompts.h"
#include "StateFile.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace pictoria;
using namespace pictoria::testing;

Q_DECLARE_METATYPE(pictoria::SavedState)
Q_DECLARE_METATYPE(std::optional<pictoria::SavedState>)

namespace {
constexpr std::array<int, 2> kListCounts{5, 4};  // "Select" and the formats of each box
const QString kSaveTitle = QStringLiteral("Specify filename for saved state");
const QString kRestoreTitle = QStringLiteral("Specify filename for state to restore");
const QString kFilter = QStringLiteral("State files (*.sta)|*.sta");

// A typical state: folders /In/ and /Out/, JPG in, PNG out, warn on, browser off,
// save on quit on.
const QByteArray kExampleBytes = "\"/In/\"\r\n\"/Out/\"\r\n\" 3\"\r\n\" 2\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n";

SavedState exampleState()
{
    return {QStringLiteral("/In/"), QStringLiteral("/Out/"), 3, 2, true, false, true};
}

SavedState nonDefaultState()
{
    return {QStringLiteral("/data/photos/"), QStringLiteral("/data/out, converted/"), 4, 3, false, true, true};
}

void showState(frmMain& w, const SavedState& s)
{
    w.txbFolderForImages[0]->setText(s.inputFolder);
    w.txbFolderForImages[1]->setText(s.outputFolder);
    w.cboFileFormat[0]->setCurrentIndex(s.inputFormatIndex);
    w.cboFileFormat[1]->setCurrentIndex(s.outputFormatIndex);
    w.chkWarnOnOverwrite->setChecked(s.warnOnOverwrite);
    w.chkViewMultipleInBrowser->setChecked(s.viewInBrowser);
    w.chkSaveStateOnQuit->setChecked(s.saveStateOnQuit);
}

SavedState shownState(const frmMain& w)
{
    return {w.txbFolderForImages[0]->text(),     w.txbFolderForImages[1]->text(),
            w.cboFileFormat[0]->currentIndex(),  w.cboFileFormat[1]->currentIndex(),
            w.chkWarnOnOverwrite->isChecked(),   w.chkViewMultipleInBrowser->isChecked(),
            w.chkSaveStateOnQuit->isChecked()};
}

QString defaultStatePath()
{
    return AppDataSubfolderPath(QStringLiteral("pxfm.sta"), QStringLiteral("Quorvane Systems"));
}

// Lets the process write files of at most @p bytes until destroyed, so that
// a write fails half way as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

}  // namespace

class TestState : public QObject {
    Q_OBJECT

private slots:
    void init() { QFile::remove(defaultStatePath()); }
    void cleanupTestCase() { QFile::remove(defaultStatePath()); }

    // The window's controls are mapped to the file by the Save, Restore and
    // close-box tests below.
    void roundTripsEveryParameter_data()
    {
        QTest::addColumn<SavedState>("state");
        QTest::newRow("all options the other way") << SavedState{{}, {}, 0, 0, false, true, true};
        QTest::newRow("quote then comma") << SavedState{"/a\",b/", "/\"\"/", 2, 2, true, false, false};
        QTest::newRow("blanks kept") << SavedState{"  /lead/", "/trail/  ", 1, 1, true, false, false};
        QTest::newRow("accents") << SavedState{"/Bilder/Größe/", "/фото/", 1, 2, true, false, false};
        QTest::newRow("line break in folder") << SavedState{"/two\nlines/", "/x\r\ny/", 1, 2, true, false, false};
    }
    void roundTripsEveryParameter()
    {
        QFETCH(SavedState, state);
        const std::optional<SavedState> back = ParseStateFile(FormatStateFile(state), kListCounts);
        QVERIFY(back.has_value());
        QCOMPARE(*back, state);
    }

    void parsesHandWrittenFiles_data()
    {
        columns<QByteArray, std::optional<SavedState>>({"bytes", "expected"});
        const std::optional<SavedState> fails;
        const SavedState example = exampleState();
        auto with = [](SavedState s, auto change) { change(s); return std::optional<SavedState>(s); };

        QTest::newRow("example") << kExampleBytes << std::optional(example);
        QTest::newRow("LF line ends") << QByteArray(kExampleBytes).replace("\r\n", "\n") << std::optional(example);
        QTest::newRow("lines after the seventh") << kExampleBytes + "\"junk\"\r\nmore\r\n" << std::optional(example);
        QTest::newRow("UTF-8 mark") << "\xEF\xBB\xBF" + kExampleBytes << std::optional(example);
        QTest::newRow("all on one line")
            << QByteArray("\"/In/\",\"/Out/\",\" 3\",\" 2\",\"1\",\"0\",\"1\"\r\n") << std::optional(example);
        QTest::newRow("unquoted values")
            << QByteArray("/In/\r\n  /Out/  \r\n3\r\n2\r\n1\r\n0\r\n1\r\n") << std::optional(example);
        QTest::newRow("unquoted value ends at a comma")
            << QByteArray("/a,/b\r\n 3\r\n 2\r\n1\r\n0\r\n1\r\n")
            << with(example, [](SavedState& s) { s.inputFolder = "/a"; s.outputFolder = "/b"; });
        QTest::newRow("lone quote of an older file")
            << QByteArray("\"/my \"best\" pics/\"\r\n\"/Out/\"\r\n\" 3\"\r\n\" 2\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n")
            << with(example, [](SavedState& s) { s.inputFolder = "/my \"best\" pics/"; });
        QTest::newRow("no format chosen (-1)")
            << QByteArray("\"/In/\"\r\n\"/Out/\"\r\n\"-1\"\r\n\"-1\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n")
            << with(example, [](SavedState& s) { s.inputFormatIndex = 0; s.outputFormatIndex = 0; });
        QTest::newRow("only exactly 1 ticks an option")
            << QByteArray(kExampleBytes).replace("\"1\"\r\n\"0\"\r\n\"1\"", "\" 1\"\r\n\"1\"\r\n\"True\"")
            << with(example, [](SavedState& s) { s.warnOnOverwrite = false; s.viewInBrowser = true; s.saveStateOnQuit = false; });
        QTest::newRow("index rounds half to even")
            << QByteArray("\"/In/\"\r\n\"/Out/\"\r\n\" 2.5\"\r\n\"1.5\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n")
            << with(example, [](SavedState& s) { s.inputFormatIndex = 2; s.outputFormatIndex = 2; });

        QTest::newRow("empty file") << QByteArray() << fails;
        QTest::newRow("six lines") << kExampleBytes.left(kExampleBytes.lastIndexOf("\"1\"")) << fails;
        QTest::newRow("input index 5") << QByteArray(kExampleBytes).replace("\" 3\"", "\" 5\"") << fails;
        QTest::newRow("output index 4 (no GIF output)")
            << QByteArray(kExampleBytes).replace("\" 2\"", "\" 4\"") << fails;
        QTest::newRow("index -2") << QByteArray(kExampleBytes).replace("\" 3\"", "\"-2\"") << fails;
        QTest::newRow("index nan") << QByteArray(kExampleBytes).replace("\" 3\"", "\"nan\"") << fails;
        QTest::newRow("unterminated quote") << QByteArray("\"/In/\r\n") << fails;
        QTest::newRow("not UTF-8") << QByteArray(kExampleBytes).replace("/In/", "/Gr\xF6\xDF" "e/") << fails;
    }
    void parsesHandWrittenFiles()
    {
        QFETCH(QByteArray, bytes); QFETCH(std::optional<SavedState>, expected);
        const std::optional<SavedState> parsed = ParseStateFile(bytes, kListCounts);
        QCOMPARE(parsed.has_value(), expected.has_value());
        if (expected)
            QCOMPARE(*parsed, *expected);
    }

    void failedReadResetsEverythingSilently_data()
    {
        columns<QByteArray>({"bytes"});
        QTest::newRow("missing file") << QByteArray("missing");
        QTest::newRow("a folder, not a file") << QByteArray("folder");
        QTest::newRow("far too large") << kExampleBytes + QByteArray(2 << 20, ' ');
    }
    void failedReadResetsEverythingSilently()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = bytes == "folder" ? dir.path() : dir.filePath("bad.sta");
        QVERIFY(bytes == "folder" || bytes == "missing" || writeBytes(path, bytes));
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        showState(w, nonDefaultState());
        w.ReadState(path);
        QCOMPARE(shownState(w), SavedState{});
        QVERIFY(!w.chkLargeWindow->isChecked());
        QCOMPARE(w.focusWidget(), w.cmdConvertSingleFile);
        VERIFY_PROMPTS(scripted);
    }

    // The file is written as typed, without an added extension; one that
    // exists is overwritten only when the user agrees.
    void saveButtonWritesTheChosenFile_data()
    {
        columns<QString, MsgAnswer>({"name", "answer"});
        QTest::newRow("new file, no extension") << "no-extension" << MsgAnswer::Ok;
        QTest::newRow("existing, keep") << "old.sta" << MsgAnswer::No;
    }
    void saveButtonWritesTheChosenFile()
    {
        QFETCH(QString, name); QFETCH(MsgAnswer, answer);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        const QByteArray oldBytes = FormatStateFile(nonDefaultState());
        ScriptedPrompts scripted;
        scripted.expectSaveFile(kSaveTitle, path);
        if (answer != MsgAnswer::Ok) {
            QVERIFY(writeBytes(path, oldBytes));
            scripted.expectMessage("The state file " + path + "\r\nalready exists and will be overwritten.  Is this OK?",
                                   "Confirm overwrite of file", MsgButtons::YesNo, MsgIcon::None, answer);
        }
        LOAD_MAIN_WINDOW(w);
        showState(w, exampleState());
        QTest::mouseClick(w.cmdSaveState[0], Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(scripted.calls().constFirst().title, kFilter);
        QCOMPARE(readAll(path), answer == MsgAnswer::No ? oldBytes : kExampleBytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
        QCOMPARE(w.focusWidget(), w.cmdConvertFiles);
    }

    void cancelledDialogsDoNothing()
    {
        QTemporaryDir dir;
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        showState(w, exampleState());
        scripted.expectSaveFile(kSaveTitle, QString());
        scripted.expectOpenFile(kRestoreTitle, QString());
        w.cmdSaveState_Click(0);
        w.cmdSaveState_Click(1);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(shownState(w), exampleState());
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // Restoring a saved file runs end to end; a typed name that is not there
    // resets the window.
    void restoringAMissingFileResets()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("saved.sta");
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        showState(w, nonDefaultState());
        scripted.expectOpenFile(kRestoreTitle, path);
        QTest::mouseClick(w.cmdSaveState[1], Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(scripted.calls().constFirst().title, kFilter);
        QCOMPARE(shownState(w), SavedState{});
    }

    void failedSaveKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("keep.sta");
        const QByteArray oldBytes = FormatStateFile(nonDefaultState());
        QVERIFY(writeBytes(path, oldBytes));
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        showState(w, SavedState{QString(200, 'i'), QString(200, 'o'), 1, 1, true, false, false});
        scripted.expectAnyMessage();
        {
            const FileSizeLimit limit(16);  // the write stops after 16 bytes
            w.WriteState(path);
        }
        VERIFY_PROMPTS(scripted);
        QCOMPARE(scripted.calls().constLast().title, QStringLiteral("Save state"));
        QCOMPARE(scripted.calls().constLast().icon, MsgIcon::Exclamation);
        QCOMPARE(scripted.calls().constLast().buttons, MsgButtons::Ok);
        QCOMPARE(scripted.calls().constLast().text, QStringLiteral("Error when attempting to save the state: ") +
                                                        QString::fromLocal8Bit(strerror(EFBIG)));
        QCOMPARE(readAll(path), oldBytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.sta"});
    }

    // Quit itself is covered end to end; the close box must save the same way.
    void closeBoxSavesAndNextStartRestores()
    {
        const SavedState state = nonDefaultState();
        {
            ScriptedPrompts scripted;
            LOAD_MAIN_WINDOW(w);
            QCOMPARE(w.DefaultStatePath, defaultStatePath());
            QVERIFY(w.DefaultStatePath.startsWith(QDir::homePath()));
            showState(w, state);
            w.close();
            for (const testing::PromptCall& call : scripted.calls())
                QVERIFY2(call.kind != "message", qPrintable(call.text));
        }
        QCOMPARE(readAll(defaultStatePath()), FormatStateFile(state));
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(next);
        QCOMPARE(shownState(next), state);
        VERIFY_PROMPTS(scripted);
    }

    void brokenDefaultFileStartsWithDefaults()
    {
        QVERIFY(writeBytes(defaultStatePath(), "\"/only/\"\r\n\"/two/\"\r\n"));
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        QCOMPARE(shownState(w), SavedState{});
        QCOMPARE(w.focusWidget(), w.cmdConvertSingleFile);
        VERIFY_PROMPTS(scripted);
    }
};

QTEST_MAIN(TestState)
#include "tst_state.moc"
