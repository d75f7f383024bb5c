// The existing-target dialog: its choices, the checks of an edited name, and each showing afresh.
#include "Fixtures.h"
#include "ScriptedPrompts.h"
#include "frmTargetFileExists.h"

using namespace pictoria;
using namespace pictoria::testing;

namespace {

const QString kDialog = QStringLiteral("frmTargetFileExists");
const QString kInUse = QStringLiteral("New filename already in use.  Overwrite file?");
const QString kNoFolder = QStringLiteral("Subdirectory does not exist.");
const QString kInvalid = QStringLiteral("New filename is invalid.");
const QString kNeedsJpg = QStringLiteral("New filename must have extension .jpg.");

using Act = std::function<void(frmTargetFileExists&)>;

// Scripts the next showing of the dialog: @p act runs while it is open.
void expectDialog(ScriptedPrompts& scripted, const Act& act)
{
    scripted.expectModal(kDialog, [act](QDialog& d) {
        // The script replaces this lambda when the dialog asks its first
        // question, so the act runs from a copy of its own.
        const Act run = act;
        run(static_cast<frmTargetFileExists&>(d));
    });
}

// Shows @p dialog as the conversion of one file does.
void show(frmTargetFileExists& dialog, const QString& entry, bool singleFile, bool sameExtension = true)
{
    dialog.strEntryFilepath = entry;
    dialog.blnSingleFileOperation = singleFile;
    dialog.blnSameFileExtensionMandatory = sameExtension;
    prompts().showModal(dialog);
}

// Selects @p option and leaves by "Continue", Escape or the close box.
Act choose(const QString& option, const QString& leave = "continue")
{
    return [=](frmTargetFileExists& d) {
        d.findChild<QRadioButton*>(option)->click();
        if (leave == "continue")
            d.cmdContinue->click();
        else if (leave == "escape")
            QTest::keyClick(&d, Qt::Key_Escape);
        else
            d.close();
    };
}

bool skipsThisFileOnly(const frmTargetFileExists& d)
{
    return d.blnCancelOperationThisFile && !d.blnCancelOperationAllFiles && d.strExitFilepath.isEmpty();
}

}  // namespace

class TestTargetExists : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp_;
    QString out_;    // output folder, ending with "/"
    QString entry_;  // the existing target
    QString other_;  // another existing file of the same type
    QWidget mainWindow_;

private slots:
    void initTestCase()
    {
        out_ = tmp_.path() + QStringLiteral("/out/");
        entry_ = out_ + QStringLiteral("a.jpg");
        other_ = out_ + QStringLiteral("other.jpg");
        QVERIFY(makeFiles(out_, {"sub.jpg/", "a.jpg=x", "other.jpg=x"}));  // a folder named like an image
        mainWindow_.setGeometry(20, 30, 560, 420);
    }

    // The four choices and what each leaves for the caller, after a showing
    // that overwrote another file. Leaving without "Continue" (close box or
    // Escape) skips the file, whatever option was selected.
    void choicesGiveTheirResults_data()
    {
        columns<QString, QString, bool, bool, bool>({"option", "leave", "cancelThis", "cancelAll", "exitIsEntry"});
        QTest::newRow("overwrite") << "optOverwrite" << "continue" << false << false << true;
        QTest::newRow("skip this file") << "optCancelOperationThisFile" << "continue" << true << false << false;
        QTest::newRow("stop all files") << "optCancelOperationAllFiles" << "continue" << true << true << false;
        QTest::newRow("other name left unchanged") << "optChooseFilename" << "continue" << false << false << true;
        QTest::newRow("overwrite, close box") << "optOverwrite" << "close" << true << false << false;
        QTest::newRow("other name, Escape") << "optChooseFilename" << "escape" << true << false << false;
    }
    void choicesGiveTheirResults()
    {
        QFETCH(QString, option); QFETCH(QString, leave); QFETCH(bool, cancelThis); QFETCH(bool, cancelAll);
        QFETCH(bool, exitIsEntry);
        frmTargetFileExists dialog(&mainWindow_);
        ScriptedPrompts scripted;
        // A previous showing that overwrote must leave nothing behind.
        expectDialog(scripted, choose("optOverwrite"));
        show(dialog, other_, false);
        QCOMPARE(dialog.strExitFilepath, other_);
        expectDialog(scripted, choose(option, leave));
        show(dialog, entry_, false);
        VERIFY_PROMPTS(scripted);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.blnCancelOperationThisFile, cancelThis);
        QCOMPARE(dialog.blnCancelOperationAllFiles, cancelAll);
        QCOMPARE(dialog.strExitFilepath, exitIsEntry ? entry_ : QString());
    }

    // Each showing starts from skipping this file with the path box locked and
    // the trimmed entry path; only "Choose a different filename" unlocks the
    // box and shows the hint, and going to "Overwrite" drops the edit.
    void onlyAnotherNameUnlocksThePath()
    {
        frmTargetFileExists dialog(&mainWindow_);
        ScriptedPrompts scripted;
        const QString path = out_ + "P.JPG";
        expectDialog(scripted, choose("optChooseFilename", "close"));
        show(dialog, other_, false);
        expectDialog(scripted, [&](frmTargetFileExists& d) {
            const auto locked = [&d] { return d.txbFilepath->isReadOnly() && !d.lblEditFilename->isVisible(); };
            QVERIFY(d.optCancelOperationThisFile->isChecked() && locked() && skipsThisFileOnly(d));
            QCOMPARE(d.txbFilepath->text(), path);
            QCOMPARE(d.strExtension, QStringLiteral("jpg"));
            d.optChooseFilename->click();
            QVERIFY(!locked());
            QTest::keyClicks(d.txbFilepath, "zz");
            QCOMPARE(d.txbFilepath->text(), path + "zz");
            d.optCancelOperationAllFiles->click();
            QVERIFY(locked());
            d.optChooseFilename->click();
            d.optOverwrite->click();
            QVERIFY(locked());
            QCOMPARE(d.txbFilepath->text(), path);
            d.cmdContinue->click();
        });
        show(dialog, "  " + path + "  ", false);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(dialog.strExitFilepath, path);
    }

    // An edited name: each failed check tells why and keeps the dialog open
    // with the trimmed text; an accepted one is the path to write. "%1" stands
    // for the output folder. Another existing file is asked about: No keeps
    // the dialog open, Yes takes that path.
    void editedNameIsChecked_data()
    {
        columns<QString, bool, QString, bool>({"typed", "sameExtension", "message", "exclamation"});
        QTest::newRow("other extension") << "%1b.png" << true << kNeedsJpg << false;
        QTest::newRow("no such folder") << "%1nosuchfolder/b.jpg" << true << kNoFolder << true;
        QTest::newRow("extension without name") << "%1.jpg" << true << kInvalid << true;
        QTest::newRow("a folder named like an image") << "%1sub.jpg" << true << kInvalid << true;
        QTest::newRow("another existing file") << "%1other.jpg" << true << kInUse << false;
        QTest::newRow("extension in capitals, blanks") << " %1B.JPG  " << true << "" << false;
        QTest::newRow("other extension allowed") << "%1b.png" << false << "" << false;
    }
    void editedNameIsChecked()
    {
        QFETCH(QString, typed); QFETCH(bool, sameExtension); QFETCH(QString, message); QFETCH(bool, exclamation);
        const QString path = QString(typed).replace(QStringLiteral("%1"), out_);
        const QString trimmed = path.trimmed();
        const bool inUse = message == kInUse;
        frmTargetFileExists dialog(&mainWindow_);
        ScriptedPrompts scripted;
        expectDialog(scripted, [=](frmTargetFileExists& d) {
            d.optChooseFilename->click();
            d.txbFilepath->setText(path);
            d.cmdContinue->click();
            if (message.isEmpty())
                return;
            QVERIFY(d.isVisible());
            QCOMPARE(d.txbFilepath->text(), trimmed);
            QVERIFY(d.optChooseFilename->isChecked() && skipsThisFileOnly(d));
            if (inUse)  // asked again, answered Yes
                d.cmdContinue->click();
            else
                d.close();
        });
        if (inUse) {
            scripted.expectMessage(kInUse, "File exists", MsgButtons::YesNo, MsgIcon::None, MsgAnswer::No);
            scripted.expectMessage(kInUse, "File exists", MsgButtons::YesNo, MsgIcon::None, MsgAnswer::Yes);
        } else if (!message.isEmpty()) {
            scripted.expectMessage(message, "Error", MsgButtons::Ok, exclamation ? MsgIcon::Exclamation : MsgIcon::None);
        }
        show(dialog, entry_, false, sameExtension);
        VERIFY_PROMPTS(scripted);
        QVERIFY(!dialog.isVisible());
        if (message.isEmpty() || inUse) {
            QCOMPARE(dialog.strExitFilepath, trimmed);
            QVERIFY(!dialog.blnCancelOperationThisFile && !dialog.blnCancelOperationAllFiles);
        } else {
            QVERIFY(skipsThisFileOnly(dialog));
        }
    }
};

QTEST_MAIN(TestTargetExists)
#include "tst_targetexists.moc"
