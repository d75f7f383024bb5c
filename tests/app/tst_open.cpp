// Paths handed to the program: its command line, and files and folders dropped on its window.
#include "CommandLine.h"
#include "Fixtures.h"
#include "Language.h"
#include "OpenedPaths.h"

using namespace pictoria;
using namespace pictoria::testing;

namespace {

// Drags @p paths over @p target and drops them there, offered as file
// addresses and as text, as a file manager does. Whether the drag and the drop were taken.
std::pair<bool, bool> drop(QWidget* target, const QStringList& paths)
{
    QMimeData mime;
    for (const QString& path : paths)
        mime.setUrls(mime.urls() << QUrl::fromLocalFile(path));
    mime.setText(paths.join('\n'));
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QDropEvent dropped(target->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QApplication::sendEvent(target, &dropped);
    QTest::qWait(1);  // the command starts from the event loop
    return {enter.isAccepted(), dropped.isAccepted()};
}
const std::pair kTaken(true, true), kRefused(false, false);

}  // namespace

class TestOpen : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString one_ = dir_.filePath("one/"), two_ = dir_.filePath("two/");

private slots:
    void init() { QDir(dir_.path()).removeRecursively(), QDir().mkpath(one_), QDir().mkpath(two_); }

    // Qt's own options and their values are no paths; relative paths are
    // taken against the start directory. One folder is taken, no second, and
    // none with files.
    void commandLine()
    {
        const CommandLine line = ReadCommandLine({"pictoria", "-platform", "xcb", "a.jpg", "--session", "s1", "-reverse",
                                                  "../b/./c.png", "/abs//d.gif"}, "/start/here");
        QCOMPARE(line.paths, (QStringList{"/start/here/a.jpg", "/start/b/c.png", "/abs/d.gif"}));
        const OpenedPaths folders = SortOpenedPaths({{"/a/", PathKind::Folder}, {"/b", PathKind::Folder}, {"/c", PathKind::Unreadable}});
        QCOMPARE(folders.folder + '|' + folders.notTaken.join('|'), "/a/|/b/: only one folder is opened at a time|/c: cannot be read");
        const OpenedPaths files = SortOpenedPaths({{"/a", PathKind::Folder}, {"/f", PathKind::File}});
        QCOMPARE(files.files.join('|') + '|' + files.notTaken.join('|'), "/f|/a/: a folder is not opened together with files");
    }

    // One file dropped anywhere goes to the single-file command; while its
    // dialog is open or its run busy, no drop is taken.
    void oneFileDropped()
    {
        QVERIFY(writeImage(one_ + "a.jpg"));
        LOAD_MAIN_WINDOW(w);
        HeldTranscoder held;
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, {}, {.png = true, .look = [&](frmConvertSingleFile& d) {
            QCOMPARE(d.txbFile->text(), one_ + "a.jpg");
            QCOMPARE(drop(&w, {one_ + "a.jpg"}), kRefused);
        }});
        QCOMPARE(drop(w.txbReport->viewport(), {one_ + "a.jpg"}), kTaken);
        QCOMPARE(drop(w.txbFolderForImages[1], {two_}), kRefused);
        held.releaseAll();
        VERIFY_RUN_ENDED(w, scripted);
        QVERIFY(w.ReportText().startsWith("a.jpg (") && QFileInfo(one_ + "a.png").size() > 0);
    }

    // Several files from two folders: each converted beside itself, in the
    // order given, to the formats it can take; a source that cannot be read
    // ends only its own formats. One page, in the first file's folder. The
    // boxes end as for the last file.
    void severalFilesFromTwoFolders()
    {
        QVERIFY(makeFiles(one_, {"a.bmp", "b.png"}) && makeFiles(two_, {"bad.gif=no picture", "c.jpg"}));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, {}, {.bmp = true, .png = true, .view = true, .look = [&](frmConvertSingleFile& d) {
            QCOMPARE(d.txbFile->text(), one_ + "a.bmp (+3 more)");
            QVERIFY(d.chkBMP->isEnabled() && d.chkPNG->isEnabled());
        }});
        scripted.expectLaunch(one_ + "viewer01.htm");
        QCOMPARE(drop(&w, {one_ + "a.bmp", two_ + "bad.gif", one_ + "b.png", two_ + "c.jpg"}), kTaken);
        QVERIFY(waitForRun(w));
        QCOMPARE(withoutSizes(w.ReportText()),
                 "a.bmp converted to\r\na.png.\r\n\r\nbad.gif\r\n*** Read error: Not a valid GIF file.\r\n\r\n"
                 "b.png converted to\r\nb.bmp.\r\n\r\nc.jpg converted to\r\nc.bmp.\r\n\r\nc.jpg converted to\r\nc.png.\r\n\r\n"
                 "Viewer file: " + one_ + "viewer01.htm\r\n");
        QCOMPARE(QDir(one_).entryList(QDir::Files) + QDir(two_).entryList(QDir::Files),
                 (QStringList{"a.bmp", "a.png", "b.bmp", "b.png", "viewer01.htm", "bad.gif", "c.bmp", "c.jpg", "c.png"}));
        const QString page = readAll(one_ + "viewer01.htm"), image = "<IMG SRC=\"%1\"";  // each source once
        QVERIFY(page.count(image.arg("a.bmp")) + page.count(image.arg(QUrl::fromLocalFile(two_ + "c.jpg").toString())) == 2);
        QCOMPARE(w.txbFolderForImages[1]->text() + w.cboFileFormat[0]->currentText() + w.cboFileFormat[1]->currentText(), two_ + "JPGPNG");

        // Every file a BMP: no BMP offered. The next file is decoded while the
        // outputs before it convert, with at most two sources (the pool's
        // threads) held at once; Stop lets the outputs in flight finish and
        // decodes no further source.
        for (const QString& png : {one_ + "a.png", one_ + "b.png", two_ + "c.png"})
            QVERIFY(QFile::remove(png));
        QVERIFY(writeImage(two_ + "d.bmp"));
        conversionPool().setMaxThreadCount(2);
        HeldTranscoder engine;
        expectSingleFileRun(scripted, {}, {.png = true, .look = [](frmConvertSingleFile& d) {
            QVERIFY(!d.chkBMP->isEnabled() && d.chkPNG->isEnabled());
        }});
        QCOMPARE(drop(&w, {one_ + "a.bmp", one_ + "b.bmp", two_ + "c.bmp", two_ + "d.bmp"}), kTaken);
        engine.release("a.bmp");
        QVERIFY(engine.waitForStarted(3));
        QTest::qWait(50);
        QCOMPARE(engine.started(), (QStringList{"a.bmp", "a.png", "b.bmp"}));
        engine.release("a.png");
        engine.release("b.bmp");
        QVERIFY(engine.waitForStarted(5));
        QCOMPARE(engine.started(), (QStringList{"a.bmp", "a.png", "b.bmp", "b.png", "c.bmp"}));
        w.cmdStop->click();
        engine.releaseAll();
        VERIFY_RUN_ENDED(w, scripted);
        QCOMPARE(engine.started(), (QStringList{"a.bmp", "a.png", "b.bmp", "b.png", "c.bmp"}));
        QVERIFY(QFile::exists(one_ + "a.png") && QFile::exists(one_ + "b.png") && !QFile::exists(two_ + "c.png"));
        QVERIFY(w.ReportText().endsWith(".\r\n\r\nOperation stopped.\r\n"));
    }

    // "Cancel all" at the first output's question ends the run: the source
    // decoded ahead finishes, and no later one is decoded.
    void cancelAllDecodesNoFurther()
    {
        QVERIFY(makeFiles(one_, {"a.bmp", "b.bmp", "c.bmp", "a.png=old"}));
        LOAD_MAIN_WINDOW(w);
        conversionPool().setMaxThreadCount(2);
        HeldTranscoder engine;
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, {}, {.png = true});
        scripted.expectModal("frmTargetFileExists", [](QDialog& shown) {
            auto& dialog = static_cast<frmTargetFileExists&>(shown);
            dialog.optCancelOperationAllFiles->click();
            QTest::keyClick(&dialog, Qt::Key_Return);
        });
        QCOMPARE(drop(&w, {one_ + "a.bmp", one_ + "b.bmp", one_ + "c.bmp"}), kTaken);
        QVERIFY(engine.waitForStarted(2));
        engine.release("a.bmp");
        QVERIFY(QTest::qWaitFor([&] { return w.ReportText().contains("Operation cancelled."); }));
        engine.releaseAll();
        VERIFY_RUN_ENDED(w, scripted);
        QCOMPARE(engine.started(), (QStringList{"a.bmp", "b.bmp"}));
    }

    // A folder dropped on the output box becomes the output folder, anywhere
    // else the input folder, as chosen through its button; the box does not
    // take the dropped text. Paths not taken are named in one message first.
    void folderOnEachBox()
    {
        QVERIFY(writeImage(one_ + "a.jpg"));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        scripted.expectMessage("Not opened:\r\n" + one_ + "gone.png: not found\r\n/dev/null: neither a file nor a folder", "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        scripted.expectMessage("The input images folder presently contains one JPG file.", GetProgramText(6), MsgButtons::Ok, MsgIcon::None);
        scripted.expectMessage("Output images folder the same?", "Output images folder", MsgButtons::YesNo, MsgIcon::None, MsgAnswer::No);
        QCOMPARE(drop(w.txbFolderForImages[0], {one_ + "gone.png", dir_.filePath("one"), "/dev/null"}), kTaken);
        QCOMPARE(w.focusWidget(), w.cmdFolderForImages[1]);
        scripted.expectMessage("The output images folder presently contains no graphics files (BMP, PNG, JPG, GIF).", GetProgramText(5), MsgButtons::Ok, MsgIcon::None);
        QCOMPARE(drop(w.txbFolderForImages[1], {two_}), kTaken);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[0]->text() + '|' + w.txbFolderForImages[1]->text(), one_ + '|' + two_);
    }
};

QTEST_MAIN(TestOpen)
#include "tst_open.moc"
