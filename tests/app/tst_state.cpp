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

namespace {
const QString kSaveTitle = "Specify filename for saved state", kRestoreTitle = "Specify filename for state to restore";
// Folders /In/ and /Out/, JPG in, PNG out, warn on, browser off, save on quit on.
const QByteArray kExampleBytes = "\"/In/\"\r\n\"/Out/\"\r\n\" 3\"\r\n\" 2\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n";
const SavedState kExample{"/In/", "/Out/", 3, 2, true, false, true};
const SavedState kOther{"/data/photos/", "/data/out, converted/", 4, 3, false, true, true};
constexpr std::array<int, 2> kListCounts{5, 4};  // "Select" and the formats of each box

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
    return {w.txbFolderForImages[0]->text(), w.txbFolderForImages[1]->text(), w.cboFileFormat[0]->currentIndex(),
            w.cboFileFormat[1]->currentIndex(), w.chkWarnOnOverwrite->isChecked(),
            w.chkViewMultipleInBrowser->isChecked(), w.chkSaveStateOnQuit->isChecked()};
}

QString defaultStatePath() { return AppDataSubfolderPath("pxfm.sta", "Quorvane Systems"); }
}  // namespace

class TestState : public QObject {
    Q_OBJECT

private slots:
    void init() { QFile::remove(defaultStatePath()); }
    void cleanupTestCase() { QFile::remove(defaultStatePath()); }

    void formatsAndParses()
    {
        QCOMPARE(FormatStateFile(kExample), kExampleBytes);
        for (const SavedState& s : {SavedState{"  /a\",b/Größe", "/\"\"/two\r\nlines/  ", 2, 2, true, false, false},
                                    SavedState{{}, {}, 0, 0, false, true, true}})
            QCOMPARE(ParseStateFile(FormatStateFile(s), kListCounts), std::optional(s));
        const QByteArray six = kExampleBytes.left(kExampleBytes.lastIndexOf("\"1\""));
        const struct { QByteArray bytes; std::optional<SavedState> expected; } rows[] = {
            {QByteArray(kExampleBytes).replace("\r\n", "\n"), kExample},
            {"\"/In/\",\"/Out/\",\" 3\",\" 2\",\"1\",\"0\",\"1\"\r\n", kExample},
            {"/In/,  /Out/  \r\n3\r\n2\r\n1\r\n0\r\n1\r\n", kExample},  // unquoted, ending at a comma
            {"\"/my \"best\" pics/\"\r\n\"/Out/\"\r\n\" 3\"\r\n\" 2\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n",  // a lone quote of an older file
             SavedState{"/my \"best\" pics/", "/Out/", 3, 2, true, false, true}},
            // No format chosen is -1; an index rounds half to even; only exactly "1" ticks an option.
            {"\"/In/\"\r\n\"/Out/\"\r\n\"-1\"\r\n\"1.5\"\r\n\" 1\"\r\n\"1\"\r\n\"True\"\r\n",
             SavedState{"/In/", "/Out/", 0, 2, false, true, false}},
            {six, {}}, {"\"/In/\r\n", {}}, {QByteArray(kExampleBytes).replace("/In/", "/Gr\xF6\xDF" "e/"), {}},
            {QByteArray(kExampleBytes).replace("\" 3\"", "\" 5\""), {}}, {QByteArray(kExampleBytes).replace("\" 2\"", "\" 4\""), {}},
            {QByteArray(kExampleBytes).replace("\" 3\"", "\"-2\""), {}}, {QByteArray(kExampleBytes).replace("\" 3\"", "\"nan\""), {}}};
        for (const auto& r : rows)
            QCOMPARE(ParseStateFile(r.bytes, kListCounts), r.expected);
    }

    // Save writes the file as typed, without an added extension, and
    // overwrites one only when the user agrees; a cancelled dialog does
    // nothing. Restore resets every parameter, without a word, from a file that
    // cannot be read or is no state file. A write that fails half way, as on a
    // full disk, is reported and leaves the old file as it was.
    void buttonsWriteAndReadTheChosenFile()
    {
        QTemporaryDir dir;
        const QString fresh = dir.filePath("no-extension"), old = dir.filePath("old.sta");
        const QByteArray oldBytes = FormatStateFile(kOther);
        QVERIFY(writeBytes(old, oldBytes) && writeBytes(dir.filePath("huge"), kExampleBytes + QByteArray(2 << 20, ' ')));
        const QString question = "The state file " + old + "\r\nalready exists and will be overwritten.  Is this OK?";
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        showState(w, kExample);
        scripted.expectSaveFile(kSaveTitle, fresh);
        scripted.expectSaveFile(kSaveTitle, old);
        scripted.expectMessage(question, "Confirm overwrite of file", MsgButtons::YesNo, MsgIcon::None, MsgAnswer::No);
        scripted.expectSaveFile(kSaveTitle, QString());
        scripted.expectOpenFile(kRestoreTitle, QString());
        for (int click : {0, 0, 0, 1})
            QTest::mouseClick(w.cmdSaveState[click], Qt::LeftButton);
        QCOMPARE(scripted.calls().constFirst().title, QStringLiteral("State files (*.sta)|*.sta"));
        QCOMPARE((QList<QByteArray>{readAll(fresh), readAll(old)}), (QList<QByteArray>{kExampleBytes, oldBytes}));
        QCOMPARE(shownState(w), kExample);
        QCOMPARE(w.focusWidget(), w.cmdConvertFiles);
        scripted.expectSaveFile(kSaveTitle, old);
        scripted.expectMessage(question, "Confirm overwrite of file", MsgButtons::YesNo, MsgIcon::None, MsgAnswer::Yes);
        QTest::mouseClick(w.cmdSaveState[0], Qt::LeftButton);
        QCOMPARE(readAll(old), kExampleBytes);

        const struct { QString name; SavedState expected; } restores[] = {
            {"old.sta", kExample}, {"missing", {}}, {"", {}} /* the folder */, {"huge", {}}};
        for (const auto& r : restores) {
            showState(w, kOther);
            scripted.expectOpenFile(kRestoreTitle, dir.filePath(r.name));
            QTest::mouseClick(w.cmdSaveState[1], Qt::LeftButton);
            QCOMPARE(shownState(w), r.expected);
        }

        showState(w, SavedState{QString(200, 'i'), QString(200, 'o'), 1, 1, true, false, false});
        scripted.expectMessage("Error when attempting to save the state: " + QString::fromLocal8Bit(strerror(EFBIG)),
                               "Save state", MsgButtons::Ok, MsgIcon::Exclamation);
        rlimit unlimited{}, limit{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        limit = {16, unlimited.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        w.WriteState(old);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(readAll(old), kExampleBytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"huge", "no-extension", "old.sta"}));
        VERIFY_PROMPTS(scripted);
    }

    // Quit itself is covered end to end; the close box must save the same way.
    void closeBoxSaves()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        showState(w, kOther);
        w.close();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(readAll(defaultStatePath()), FormatStateFile(kOther));
    }
};

QTEST_MAIN(TestState)
#include "tst_state.moc"
