// The existing-target dialog: its choices, the checks of an edited name, and each showing afresh.
#include "Fixtures.h"
#include "ScriptedPrompts.h"
#include "Twips.h"
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

    void controlsStandAtTheirDesignPositions_data()
    {
        columns<QString, QString, QRect>({"name", "caption", "twips"});
        QTest::newRow("path box") << "txbFilepath" << "" << QRect(105, 105, 4845, 330);
        QTest::newRow("exists") << "lblFileExists" << "This file already exists.   Please select from:" << QRect(105, 525, 4740, 330);
        QTest::newRow("overwrite") << "optOverwrite" << "Overwrite this file" << QRect(105, 840, 4500, 435);
        QTest::newRow("other name") << "optChooseFilename" << "Choose a different filename" << QRect(105, 1260, 4500, 435);
        QTest::newRow("this file") << "optCancelOperationThisFile" << "Cancel the operation on this file" << QRect(105, 1680, 4500, 435);
        QTest::newRow("all files") << "optCancelOperationAllFiles" << "Cancel the operation on all files" << QRect(105, 2100, 4500, 435);
        QTest::newRow("edit hint") << "lblEditFilename" << "Edit filename in the box above." << QRect(105, 2865, 4740, 330);
        QTest::newRow("continue") << "cmdContinue" << "Continue" << QRect(3675, 2865, 1275, 330);
    }
    void controlsStandAtTheirDesignPositions()
    {
        QFETCH(QString, name); QFETCH(QString, caption); QFETCH(QRect, twips);
        frmTargetFileExists dialog(&mainWindow_);
        auto* control = dialog.findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), TwipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
        QCOMPARE(captionOf(control), caption);
        QCOMPARE(dialog.width(), TwipsToPixels(5055));
    }

    // The colour is given in Windows order and applied at the first showing,
    // to the window, its labels and option buttons; the path box and the
    // button keep the system's colours. Fonts become Arial, not bold.
    void loadAppliesColourAndFonts()
    {
        frmTargetFileExists dialog(&mainWindow_);
        dialog.lngBackColor = 0x123456;
        ScriptedPrompts scripted;
        expectDialog(scripted, [](frmTargetFileExists& d) { d.close(); });
        show(dialog, entry_, false);
        VERIFY_PROMPTS(scripted);
        const QColor expected(0x56, 0x34, 0x12);
        for (QWidget* w : std::initializer_list<QWidget*>{&dialog, dialog.lblFileExists, dialog.optOverwrite,
                                                          dialog.optChooseFilename, dialog.optCancelOperationThisFile,
                                                          dialog.optCancelOperationAllFiles, dialog.lblEditFilename})
            QCOMPARE(w->palette().color(QPalette::Window), expected);
        QVERIFY(dialog.txbFilepath->palette().color(QPalette::Base) != expected);
        QVERIFY(dialog.cmdContinue->palette().color(QPalette::Button) != expected);
        for (QWidget* w : std::initializer_list<QWidget*>{dialog.txbFilepath, dialog.optOverwrite, dialog.cmdContinue,
                                                          dialog.lblFileExists}) {
            QCOMPARE(w->font().family(), QStringLiteral("Arial"));
            QVERIFY(!w->font().bold());
        }
    }

    // The four choices and what each leaves for the caller, after a showing
    // that overwrote another file. Leaving without "Continue" (close box or
    // Escape) skips the file, whatever option was selected.
    void choicesGiveTheirResults_data()
    {
        columns<QString, QString, bool, bool, bool, bool>({"option", "leave", "singleFile", "cancelThis", "cancelAll", "exitIsEntry"});
        QTest::newRow("overwrite") << "optOverwrite" << "continue" << false << false << false << true;
        QTest::newRow("skip this file") << "optCancelOperationThisFile" << "continue" << false << true << false << false;
        QTest::newRow("stop all files") << "optCancelOperationAllFiles" << "continue" << false << true << true << false;
        QTest::newRow("other name left unchanged") << "optChooseFilename" << "continue" << false << false << false << true;
        QTest::newRow("overwrite, close box") << "optOverwrite" << "close" << false << true << false << false;
        QTest::newRow("other name, Escape") << "optChooseFilename" << "escape" << false << true << false << false;
    }
    void choicesGiveTheirResults()
    {
        QFETCH(QString, option); QFETCH(QString, leave); QFETCH(bool, singleFile); QFETCH(bool, cancelThis);
        QFETCH(bool, cancelAll); QFETCH(bool, exitIsEntry);
        frmTargetFileExists dialog(&mainWindow_);
        ScriptedPrompts scripted;
        // A previous showing that overwrote must leave nothing behind.
        expectDialog(scripted, choose("optOverwrite"));
        show(dialog, other_, false);
        QCOMPARE(dialog.strExitFilepath, other_);
        expectDialog(scripted, choose(option, leave));
        show(dialog, entry_, singleFile);
        VERIFY_PROMPTS(scripted);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.blnCancelOperationThisFile, cancelThis);
        QCOMPARE(dialog.blnCancelOperationAllFiles, cancelAll);
        QCOMPARE(dialog.strExitFilepath, exitIsEntry ? entry_ : QString());
    }

    // The option to stop everything, the height, the button that follows the
    // height, and the place in the main window's lower right corner.
    void singleFileRunHidesStopAll_data()
    {
        columns<bool, int>({"singleFile", "heightTwips"});
        QTest::newRow("single file") << true << 3200;
        QTest::newRow("batch") << false << 3600;
    }
    void singleFileRunHidesStopAll()
    {
        QFETCH(bool, singleFile); QFETCH(int, heightTwips);
        frmTargetFileExists dialog(&mainWindow_);
        ScriptedPrompts scripted;
        // The other kind of run first: each showing sets these afresh.
        expectDialog(scripted, [](frmTargetFileExists& d) { d.close(); });
        show(dialog, entry_, !singleFile);
        expectDialog(scripted, [=, this](frmTargetFileExists& d) {
            QCOMPARE(d.optCancelOperationAllFiles->isVisible(), !singleFile);
            QCOMPARE(d.heightTwips(), heightTwips);
            QCOMPARE(d.height(), TwipsToPixels(heightTwips));
            QCOMPARE(d.cmdContinue->y(), TwipsToPixels(heightTwips - 1000));
            const int gap = TwipsToPixels(100);
            QCOMPARE(d.geometry().bottomRight(), mainWindow_.geometry().bottomRight() - QPoint(gap, gap));
            d.close();
        });
        show(dialog, entry_, singleFile);
        VERIFY_PROMPTS(scripted);
    }

    // Every showing starts from skipping this file with the path box locked,
    // whatever the previous one left selected, and shows the trimmed entry path.
    void eachShowingStartsAfresh()
    {
        frmTargetFileExists dialog(&mainWindow_);
        ScriptedPrompts scripted;
        expectDialog(scripted, [](frmTargetFileExists& d) {
            d.optChooseFilename->click();
            d.txbFilepath->setText(QStringLiteral("/left/over.jpg"));
            d.close();
        });
        show(dialog, other_, false);
        expectDialog(scripted, [this](frmTargetFileExists& d) {
            QVERIFY(d.optCancelOperationThisFile->isChecked());
            QVERIFY(d.txbFilepath->isReadOnly());
            QVERIFY(!d.lblEditFilename->isVisible());
            QCOMPARE(d.txbFilepath->text(), entry_);
            QCOMPARE(d.strEntryFilepath, entry_);
            QCOMPARE(d.strExtension, QStringLiteral("jpg"));
            QVERIFY(skipsThisFileOnly(d));
            d.cmdContinue->click();
        });
        show(dialog, "  " + entry_ + "  ", true);
        VERIFY_PROMPTS(scripted);
        QVERIFY(skipsThisFileOnly(dialog));
    }

    // Only "Choose a different filename" unlocks the box and shows the hint
    // beside "Continue"; going to "Overwrite this file" drops the edit.
    void onlyAnotherNameUnlocksThePath()
    {
        frmTargetFileExists dialog(&mainWindow_);
        ScriptedPrompts scripted;
        const QString path = out_ + "P.JPG";
        expectDialog(scripted, [&](frmTargetFileExists& d) {
            const auto locked = [&d] { return d.txbFilepath->isReadOnly() && !d.lblEditFilename->isVisible(); };
            QCOMPARE(d.strExtension, QStringLiteral("jpg"));
            QTest::keyClicks(d.txbFilepath, "zz");
            QCOMPARE(d.txbFilepath->text(), path);
            d.optChooseFilename->click();
            QVERIFY(!d.txbFilepath->isReadOnly() && d.lblEditFilename->isVisible());
            QCOMPARE(d.lblEditFilename->y(), d.cmdContinue->y());
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
        show(dialog, path, false);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(dialog.strExitFilepath, path);
        QVERIFY(!dialog.blnCancelOperationThisFile);
    }

    // An edited name: each failed check tells why and keeps the dialog open
    // with the trimmed text; an accepted one is the path to write. "%1" stands
    // for the output folder. Another existing file is asked about: No keeps
    // the dialog open, Yes takes that path.
    void editedNameIsChecked_data()
    {
        columns<QString, bool, QString, bool>({"typed", "sameExtension", "message", "exclamation"});
        QTest::newRow("other extension") << "%1b.png" << true << kNeedsJpg << false;
        QTest::newRow("empty") << "" << true << kNeedsJpg << false;
        QTest::newRow("blanks only, any extension") << "   " << false << kNoFolder << true;
        QTest::newRow("folder part only, any extension") << "%1" << false << kInvalid << true;
        QTest::newRow("no such folder") << "%1nosuchfolder/b.jpg" << true << kNoFolder << true;
        QTest::newRow("extension without name") << "%1.jpg" << true << kInvalid << true;
        QTest::newRow("a folder named like an image") << "%1sub.jpg" << true << kInvalid << true;
        QTest::newRow("parent folder, any extension") << "%1.." << false << kInvalid << true;
        QTest::newRow("another existing file") << "%1other.jpg" << true << kInUse << false;
        QTest::newRow("new name") << "%1b.jpg" << true << "" << false;
        QTest::newRow("extension in capitals") << "%1B.JPG" << true << "" << false;
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
            QVERIFY(d.optChooseFilename->isChecked());
            QVERIFY(skipsThisFileOnly(d));
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
            QVERIFY(!dialog.blnCancelOperationThisFile);
            QVERIFY(!dialog.blnCancelOperationAllFiles);
        } else {
            QVERIFY(skipsThisFileOnly(dialog));
        }
    }
};

QTEST_MAIN(TestTargetExists)
#include "tst_targetexists.moc"
