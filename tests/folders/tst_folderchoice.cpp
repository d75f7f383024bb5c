// Choosing and checking the images folders on the real main window: the
// folder browser with its summary, typed folders, the "Clear" buttons and the
// quality controls that follow the output format.
#include "FolderHelpers.h"
#include "Language.h"
#include "ScriptedPrompts.h"
#include "frmMain.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace pictoria;
using pictoria::testing::ScriptedPrompts;

namespace {

void makeFiles(const QString& folder, const QStringList& names)
{
    for (const QString& name : names) {
        if (name.endsWith('/')) {
            QVERIFY(QDir(folder).mkpath(name));
            continue;
        }
        QFile file(QDir(folder).filePath(name));
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(name));
        file.write("x");
    }
}

// One row per side: the input (0) and the output (1) images folder.
void sideRows()
{
    QTest::addColumn<int>("index");
    QTest::newRow("input") << 0;
    QTest::newRow("output") << 1;
}

// Restores the current directory the window set at start-up.
struct CurrentDirGuard {
    QString saved = QDir::currentPath();
    ~CurrentDirGuard() { QDir::setCurrent(saved); }
};

}  // namespace

class TestFolderChoice : public QObject {
    Q_OBJECT

private slots:
    // ---- Browsing ---------------------------------------------------------------

    void browsedInputFolder_data()
    {
        QTest::addColumn<bool>("answerWithSlash");
        QTest::addColumn<bool>("sameForOutput");
        QTest::newRow("without slash, output stays empty") << false << false;
        QTest::newRow("with slash, output the same") << true << true;
    }
    void browsedInputFolder()
    {
        QFETCH(bool, answerWithSlash);
        QFETCH(bool, sameForOutput);
        QTemporaryDir input;
        makeFiles(input.path(), {"PHOTO.JPG", "photo.jpeg"});
        frmMain w;
        QVERIFY(w.Form_Load());
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
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[1]->setText(QDir::homePath() + '/');
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3), "/");
        scripted.expectAnyMessage();  // whatever the root holds
        w.cmdFolderForImages_Click(0);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[0]->text(), QStringLiteral("/"));
    }

    void cancelledBrowserChangesNothing_data() { sideRows(); }
    void cancelledBrowserChangesNothing()
    {
        QFETCH(int, index);
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[0]->setText("/before/in/");
        w.txbFolderForImages[1]->setText("/before/out/");
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3 + index), "");
        w.cmdFolderForImages_Click(index);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[0]->text(), QStringLiteral("/before/in/"));
        QCOMPARE(w.txbFolderForImages[1]->text(), QStringLiteral("/before/out/"));
    }

    void browsingChecksTheOutputBox()
    {
        // Choosing the input folder while the output box names a folder that
        // has gone: the summary, then the output box's complaint, no question.
        QTemporaryDir input;
        frmMain w;
        QVERIFY(w.Form_Load());
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

    // ---- The summary over real folders ---------------------------------------------

    void summaryOfBrowsedFolder_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<int>("titleText");
        QTest::newRow("input, nothing") << 0 << QStringList{"notes.txt", "photo.jpeg", "scan.tif"}
                                        << "The input images folder presently contains no graphics files (BMP, PNG, "
                                           "JPG, GIF).\r\nPlease check that you selected the intended folder."
                                        << 5;
        QTest::newRow("output, nothing") << 1 << QStringList{"sub.png/"}
                                         << "The output images folder presently contains no graphics files (BMP, "
                                            "PNG, JPG, GIF)."
                                         << 5;
        QTest::newRow("one JPG in upper case") << 0 << QStringList{"PHOTO.JPG", "photo.jpeg"}
                                               << "The input images folder presently contains one JPG file." << 6;
        QTest::newRow("one BMP and one GIF") << 0 << QStringList{"a.bmp", "z.GIF", "x.txt"}
                                             << "The input images folder presently contains 2 graphics files as "
                                                "follows: 1 BMP file, no PNG files, no JPG files and 1 GIF file."
                                             << 6;
        QStringList mixed{"a.bmp", "b.BMP", "c.jpg"};
        for (int i = 1; i <= 12; ++i)
            mixed << QStringLiteral("g%1.gif").arg(i);
        QTest::newRow("mixed") << 1 << mixed
                               << "The output images folder presently contains 15 graphics files as follows: 2 BMP "
                                  "files, no PNG files, 1 JPG file and 12 GIF files."
                               << 6;
    }
    void summaryOfBrowsedFolder()
    {
        QFETCH(int, index);
        QFETCH(QStringList, files);
        QFETCH(QString, sentence);
        QFETCH(int, titleText);
        QTemporaryDir folder;
        makeFiles(folder.path(), files);
        frmMain w;
        QVERIFY(w.Form_Load());
        // The other box holds a valid folder: no question, no complaint.
        w.txbFolderForImages[1 - index]->setText(QDir::homePath() + '/');
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3 + index), folder.path());
        scripted.expectMessage(sentence, GetProgramText(titleText), MsgButtons::Ok, MsgIcon::None);
        w.cmdFolderForImages_Click(index);
        VERIFY_PROMPTS(scripted);
    }

    void summaryOfUnreadableFolder()
    {
        // The browser hands back a folder that vanished meanwhile.
        QTemporaryDir parent;
        const QString gone = parent.path() + "/gone";
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[1]->setText(QDir::homePath() + '/');
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3), gone);
        scripted.expectMessage("The input images folder cannot be read: No such file or directory.", "Error",
                               MsgButtons::Ok, MsgIcon::Exclamation);
        w.cmdFolderForImages_Click(0);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[0]->text(), gone + '/');
    }

    void summaryOfRefusedFolder()
    {
        if (geteuid() == 0)
            QSKIP("the superuser may read any folder");
        QTemporaryDir locked;
        makeFiles(locked.path(), {"a.jpg"});
        QVERIFY(QFile::setPermissions(locked.path(), QFileDevice::ExeOwner));
        frmMain w;
        QVERIFY(w.Form_Load());
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(4), locked.path());
        scripted.expectMessage("Access to the output images folder was denied.", "Error", MsgButtons::Ok,
                               MsgIcon::Exclamation);
        w.cmdFolderForImages_Click(1);
        QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        VERIFY_PROMPTS(scripted);
    }

    // ---- Typed folders -------------------------------------------------------------

    void typedFolder_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");  // "@" stands for the current directory, "~" for home
        QTest::addColumn<bool>("notFound");
        QTest::newRow("relative, missing") << 0 << "  photos  " << "@/photos/" << true;
        QTest::newRow("relative, existing, blanks") << 1 << " sub " << "@/sub/" << false;
        QTest::newRow("relative with slashes") << 0 << "sub//" << "@/sub/" << false;
        QTest::newRow("absolute, existing") << 1 << "@/sub" << "@/sub/" << false;
        QTest::newRow("absolute, missing, output") << 1 << "/no/such/folder" << "/no/such/folder/" << true;
        QTest::newRow("home") << 0 << "~" << "~/" << false;
        QTest::newRow("inside home") << 0 << " ~/inside-home" << "~/inside-home/" << false;
        QTest::newRow("tilde name is relative") << 0 << "~nobody" << "@/~nobody/" << true;
        QTest::newRow("colon is ordinary") << 0 << "Photos:old" << "@/Photos:old/" << true;
        QTest::newRow("blanks only") << 1 << "   " << "" << false;
        QTest::newRow("empty") << 0 << "" << "" << false;
    }
    void typedFolder()
    {
        QFETCH(int, index);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, notFound);
        QTemporaryDir current;
        makeFiles(current.path(), {"sub/"});
        makeFiles(QDir::homePath(), {"inside-home/"});
        frmMain w;
        QVERIFY(w.Form_Load());
        CurrentDirGuard guard;
        QVERIFY(QDir::setCurrent(current.path()));
        auto expand = [&](QString text, bool home) {
            if (text.startsWith('@'))
                text = current.path() + text.mid(1);
            else if (home && text.startsWith('~'))
                text = QDir::homePath() + text.mid(1);
            return text;
        };
        ScriptedPrompts scripted;
        if (notFound)
            scripted.expectMessage(index == 0 ? "Input images folder not found!" : "Output images folder not found!",
                                   "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        w.txbFolderForImages[index]->setText(expand(typed, false));
        w.txbFolderForImages_LostFocus(index);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[index]->text(), expand(shown, true));
        QVERIFY(w.txbFolderForImages[1 - index]->text().isEmpty());
    }

    void leavingTheBoxChecksIt()
    {
        QTemporaryDir current;
        frmMain w;
        QVERIFY(w.Form_Load());
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

    // ---- Clear buttons and quality controls -------------------------------------------

    void clearEmptiesOnlyItsBox_data() { sideRows(); }
    void clearEmptiesOnlyItsBox()
    {
        QFETCH(int, index);
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[0]->setText("/in/");
        w.txbFolderForImages[1]->setText("/out/");
        ScriptedPrompts scripted;
        QTest::mouseClick(w.cmdClearFolderForImages[index], Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QVERIFY(w.txbFolderForImages[index]->text().isEmpty());
        QCOMPARE(w.txbFolderForImages[1 - index]->text(), index == 0 ? QStringLiteral("/out/") : QStringLiteral("/in/"));
    }

    void qualityControlsFollowOutputFormat_data()
    {
        QTest::addColumn<int>("outputEntry");
        QTest::addColumn<bool>("shown");
        QTest::newRow("Select") << 0 << false;
        QTest::newRow("BMP") << 1 << false;
        QTest::newRow("PNG") << 2 << false;
        QTest::newRow("JPG") << 3 << true;
    }
    void qualityControlsFollowOutputFormat()
    {
        QFETCH(int, outputEntry);
        QFETCH(bool, shown);
        frmMain w;
        QVERIFY(w.Form_Load());
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
