// Choosing the images folders on the real window: browser, summary, typed folders, "Clear", quality.
#include "Fixtures.h"
#include "FolderHelpers.h"
#include "Language.h"
#include "ScriptedPrompts.h"

#include <unistd.h>

using namespace pictoria;
using namespace pictoria::testing;

namespace {

// Restores the current directory the window set at start-up.
struct CurrentDirGuard {
    QString saved = QDir::currentPath();
    ~CurrentDirGuard() { QDir::setCurrent(saved); }
};

}  // namespace

class TestFolderChoice : public QObject {
    Q_OBJECT

private slots:
    void browsedInputFolder_data()
    {
        columns<bool, bool>({"answerWithSlash", "sameForOutput"});
        QTest::newRow("without slash, output stays empty") << false << false;
        QTest::newRow("with slash, output the same") << true << true;
    }
    void browsedInputFolder()
    {
        QFETCH(bool, answerWithSlash); QFETCH(bool, sameForOutput);
        QTemporaryDir input;
        QVERIFY(makeFiles(input.path(), {"PHOTO.JPG", "photo.jpeg"}));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3), answerWithSlash ? input.path() + '/' : input.path());
        scripted.expectMessage("The input images folder presently contains one JPG file.", GetProgramText(6),
                               MsgButtons::Ok, MsgIcon::None);
        scripted.expectMessage("Output images folder the same?", "Output images folder", MsgButtons::YesNo,
                               MsgIcon::None, sameForOutput ? MsgAnswer::Yes : MsgAnswer::No);
        w.cmdFolderForImages_Click(0);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[0]->text(), input.path() + '/');
        QCOMPARE(w.txbFolderForImages[1]->text(), sameForOutput ? input.path() + '/' : QString());
        if (!sameForOutput)
            QCOMPARE(w.focusWidget(), w.cmdFolderForImages[1]);
    }

    void browsedRootKeepsItsOnlySlash()
    {
        LOAD_MAIN_WINDOW(w);
        w.txbFolderForImages[1]->setText(QDir::homePath() + '/');
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3), "/");
        scripted.expectAnyMessage();  // whatever the root holds
        w.cmdFolderForImages_Click(0);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[0]->text(), QStringLiteral("/"));
    }

    void browsingChecksTheOutputBox()
    {
        // Choosing the input folder while the output box names a folder that
        // has gone: the summary, then the output box's complaint, no question.
        QTemporaryDir input;
        LOAD_MAIN_WINDOW(w);
        w.txbFolderForImages[1]->setText(input.path() + "/gone/");
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3), input.path());
        scripted.expectMessage("The input images folder presently contains no graphics files (BMP, PNG, JPG, "
                               "GIF).\r\nPlease check that you selected the intended folder.",
                               GetProgramText(5), MsgButtons::Ok, MsgIcon::None);
        scripted.expectMessage("Output images folder not found!", "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        w.cmdFolderForImages_Click(0);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[1]->text(), input.path() + "/gone/");
    }

    void summaryOfBrowsedFolder_data()
    {
        // No files at all: the browser hands back a folder that vanished meanwhile.
        columns<int, QStringList, QString, QString>({"index", "files", "sentence", "title"});
        const QString none = GetProgramText(5), some = GetProgramText(6);
        QTest::newRow("input, nothing") << 0 << QStringList{"notes.txt", "photo.jpeg", "scan.tif"}
                                        << "The input images folder presently contains no graphics files (BMP, PNG, "
                                           "JPG, GIF).\r\nPlease check that you selected the intended folder." << none;
        QTest::newRow("output, nothing") << 1 << QStringList{"sub.png/"}
                                         << "The output images folder presently contains no graphics files (BMP, "
                                            "PNG, JPG, GIF)." << none;
        QTest::newRow("one JPG in upper case") << 0 << QStringList{"PHOTO.JPG", "photo.jpeg"}
                                               << "The input images folder presently contains one JPG file." << some;
        QStringList mixed{"a.bmp", "b.BMP", "c.jpg"};
        for (int i = 1; i <= 12; ++i)
            mixed << QStringLiteral("g%1.gif").arg(i);
        QTest::newRow("mixed") << 1 << mixed
                               << "The output images folder presently contains 15 graphics files as follows: 2 BMP "
                                  "files, no PNG files, 1 JPG file and 12 GIF files." << some;
        QTest::newRow("vanished") << 0 << QStringList()
            << "The input images folder cannot be read: No such file or directory." << "Error";
    }
    void summaryOfBrowsedFolder()
    {
        QFETCH(int, index); QFETCH(QStringList, files); QFETCH(QString, sentence); QFETCH(QString, title);
        QTemporaryDir parent;
        const QString folder = parent.path() + (files.isEmpty() ? "/gone" : "/f");
        QVERIFY(files.isEmpty() || makeFiles(folder, files));
        LOAD_MAIN_WINDOW(w);
        // The other box holds a valid folder: no question, no complaint.
        w.txbFolderForImages[1 - index]->setText(QDir::homePath() + '/');
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3 + index), folder);
        scripted.expectMessage(sentence, title, MsgButtons::Ok, files.isEmpty() ? MsgIcon::Exclamation : MsgIcon::None);
        w.cmdFolderForImages_Click(index);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[index]->text(), folder + '/');
    }

    void summaryOfRefusedFolder()
    {
        if (geteuid() == 0)
            QSKIP("the superuser may read any folder");
        QTemporaryDir locked;
        QVERIFY(makeFiles(locked.path(), {"a.jpg"}));
        QVERIFY(QFile::setPermissions(locked.path(), QFileDevice::ExeOwner));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(4), locked.path());
        scripted.expectMessage("Access to the output images folder was denied.", "Error", MsgButtons::Ok,
                               MsgIcon::Exclamation);
        w.cmdFolderForImages_Click(1);
        QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        VERIFY_PROMPTS(scripted);
    }

    void leavingTheBoxChecksIt()
    {
        QTemporaryDir current;
        LOAD_MAIN_WINDOW(w);
        CurrentDirGuard guard;
        QVERIFY(QDir::setCurrent(current.path()));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.txbFolderForImages[0]->setFocus();
        QTest::keyClicks(w.txbFolderForImages[0], " missing");
        ScriptedPrompts scripted;
        scripted.expectMessage("Input images folder not found!", "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        QTest::keyClick(w.txbFolderForImages[0], Qt::Key_Tab);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[0]->text(), current.path() + "/missing/");
    }

    // A cancelled browser changes nothing; "Clear" empties only its own box.
    void cancelOrClearTouchesOnlyItsBox_data()
    {
        columns<int, bool, QString, QString>({"index", "clear", "input", "output"});
        QTest::newRow("input, browser cancelled") << 0 << false << "/in/" << "/out/";
        QTest::newRow("input, Clear") << 0 << true << "" << "/out/";
        QTest::newRow("output, Clear") << 1 << true << "/in/" << "";
    }
    void cancelOrClearTouchesOnlyItsBox()
    {
        QFETCH(int, index); QFETCH(bool, clear); QFETCH(QString, input); QFETCH(QString, output);
        LOAD_MAIN_WINDOW(w);
        w.txbFolderForImages[0]->setText("/in/");
        w.txbFolderForImages[1]->setText("/out/");
        ScriptedPrompts scripted;
        if (clear) {
            QTest::mouseClick(w.cmdClearFolderForImages[index], Qt::LeftButton);
        } else {
            scripted.expectFolder(GetProgramText(3 + index), "");
            w.cmdFolderForImages_Click(index);
        }
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[0]->text(), input);
        QCOMPARE(w.txbFolderForImages[1]->text(), output);
    }

    void qualityControlsFollowOutputFormat_data()
    {
        columns<int, bool>({"outputEntry", "shown"});
        QTest::newRow("Select") << 0 << false;
        QTest::newRow("PNG") << 2 << false;
        QTest::newRow("JPG") << 3 << true;
    }
    void qualityControlsFollowOutputFormat()
    {
        QFETCH(int, outputEntry); QFETCH(bool, shown);
        LOAD_MAIN_WINDOW(w);
        // Start from the opposite visibility so that the change is seen.
        w.cboFileFormat[1]->setCurrentIndex(shown ? 1 : 3);
        w.cboFileFormat[1]->setCurrentIndex(outputEntry);
        QCOMPARE(w.lblQuality->isVisible(), shown);
        QCOMPARE(w.txbQuality->isVisible(), shown);
        // The input format box never changes them.
        for (int entry : {3, 1, 4, 0}) {
            w.cboFileFormat[0]->setCurrentIndex(entry);
            QCOMPARE(w.lblQuality->isVisible(), shown);
            QCOMPARE(w.txbQuality->isVisible(), shown);
        }
    }
};

QTEST_MAIN(TestFolderChoice)
#include "tst_folderchoice.moc"
