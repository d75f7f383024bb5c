// The output formats dialog: design, what each showing resets or keeps, and "Convert file"'s checks.
#include "Fixtures.h"
#include "ScriptedPrompts.h"
#include "Twips.h"
#include "frmConvertSingleFile.h"

using namespace pictoria;
using namespace pictoria::testing;

namespace {

const QString kDialog = QStringLiteral("frmConvertSingleFile");
const QString kInputError = QStringLiteral("Input error");
const QString kRangeMessage = QStringLiteral("For conversion to JPG the quality must be in the range 10 through 100.");
constexpr int kUntouched = -7;

// Shows the dialog for @p path the way the command does, runs @p act while it
// is open, and checks that the script was followed.
using Act = std::function<void(frmConvertSingleFile&)>;

void showFor(frmConvertSingleFile& dialog, ScriptedPrompts& scripted, const QString& path, Act act)
{
    scripted.expectModal(kDialog, [&dialog, act](QDialog&) { act(dialog); });
    dialog.strFilepath = path;
    dialog.txbFile->setText(path);
    prompts().showModal(dialog);
}

}  // namespace

Q_DECLARE_METATYPE(Act)

class TestFormatsDialog : public QObject {
    Q_OBJECT

private slots:
    void loadedHiddenWithTheMainWindow()
    {
        LOAD_MAIN_WINDOW(w);
        frmConvertSingleFile* dialog = w.singleFileDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->parentWidget(), &w);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Convert single file"));
        QCOMPARE(dialog->cboStep->count(), 4);
        QCOMPARE(dialog->cboStep->itemText(0), QStringLiteral("5"));
        QCOMPARE(dialog->cboStep->itemText(3), QStringLiteral("30"));
        QVERIFY(!dialog->cboStep->isEditable());
        QCOMPARE(dialog->txbQuality[0]->maxLength(), 3);
        QVERIFY(dialog->txbFile->isReadOnly());
        QCOMPARE(dialog->palette().color(QPalette::Window), QColor(0xC0, 0xFF, 0xFF));
        QVERIFY(dialog->txbFile->palette().color(QPalette::Base) != QColor(0xC0, 0xFF, 0xFF));
        // The main window's busy state must not reach into its dialogs.
        w.cmdConvertFiles->setEnabled(false);
        QVERIFY(dialog->cmdDoIt->isEnabled());
    }

    // Design positions, each control 50 twips lower after loading; the
    // quality controls relative to their frame.
    void controlsStandAtTheirDesignPositions_data()
    {
        columns<QString, QString, QRect>({"name", "caption", "twips"});
        QTest::newRow("label") << "lblToBeConvertedTo_1" << "(check one or more):" << QRect(105, 890, 2325, 330);
        QTest::newRow("check box") << "chkJPG" << "JPG" << QRect(105, 1835, 855, 330);
        QTest::newRow("frame") << "fraQuality" << "" << QRect(105, 2150, 3480, 435);
        QTest::newRow("in the frame") << "txbQuality_0" << "80" << QRect(870, 50, 500, 360);
        QTest::newRow("list in the frame") << "cboStep" << "10" << QRect(2700, 50, 645, 360);
        QTest::newRow("button") << "cmdCancel" << "Cancel" << QRect(3675, 1730, 1800, 360);
    }
    void controlsStandAtTheirDesignPositions()
    {
        QFETCH(QString, name); QFETCH(QString, caption); QFETCH(QRect, twips);
        LOAD_MAIN_WINDOW(w);
        frmConvertSingleFile& dialog = *w.singleFileDialog();
        auto* control = dialog.findChild<QWidget*>(name);
        QVERIFY2(control, qPrintable(name));
        QCOMPARE(dialog.twipsGeometry(control), twips);
        QCOMPARE(control->geometry(), TwipsRect(twips.left(), twips.top(), twips.width(), twips.height()));
        QCOMPARE(captionOf(control), caption);
        QCOMPARE(control->font().family(), QStringLiteral("Arial"));
        QVERIFY(!control->font().bold());
    }

    // Placed over the folder box; JPG shows the quality frame and makes the
    // dialog taller, moving the buttons with its bottom.
    void showingPlacesItOverTheMainWindow()
    {
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        showFor(*w.singleFileDialog(), scripted, "/pics/a.bmp", [&w](frmConvertSingleFile& d) {
            const auto heightIs = [&d](int twips) {
                QCOMPARE(d.heightTwips(), twips);
                QCOMPARE(d.height(), TwipsToPixels(twips));
                QCOMPARE(d.twipsGeometry(d.cmdDoIt).top(), twips - 1340);
                QCOMPARE(d.twipsGeometry(d.cmdCancel).top(), twips - 920);
            };
            const int width = PixelsToTwips(w.txbFolderForImages[0]->width());
            QCOMPARE(d.widthTwips(), width);
            QCOMPARE(d.heightTwips(), 2800);
            QCOMPARE(d.x(), TwipsToPixels(PixelsToTwips(w.x()) + PixelsToTwips(w.txbFolderForImages[0]->x()) + 10));
            QCOMPARE(d.y(), TwipsToPixels(PixelsToTwips(w.y()) + PixelsToTwips(w.lblTopLine->y()) + 300));
            const int fileWidth = width - 105 - 200;
            QCOMPARE(d.twipsGeometry(d.txbFile), QRect(105, 155, fileWidth, 330));
            QCOMPARE(d.twipsGeometry(d.cmdDoIt).left(), width - 1800 - 200);
            QCOMPARE(d.twipsGeometry(d.cmdCancel).left(), width - 1800 - 200);
            QCOMPARE(d.twipsGeometry(d.chkWarnOnOverwrite), QRect(105 + fileWidth - 2325, 575, 2325, 330));
            QCOMPARE(d.twipsGeometry(d.chkViewInBrowser), QRect(105 + fileWidth - 2325, 905, 2325, 330));
            QCOMPARE(d.txbFile->cursorPosition(), d.txbFile->text().size());
            QVERIFY(!d.fraQuality->isVisible());
            QCOMPARE(d.focusWidget(), d.cmdCancel);
            d.chkJPG->click();
            QVERIFY(d.fraQuality->isVisible());
            heightIs(3150);
            QCOMPARE(d.focusWidget(), d.cmdDoIt);
            d.chkJPG->click();
            QVERIFY(!d.fraQuality->isVisible());
            heightIs(2800);
            d.cmdCancel->click();
        });
        VERIFY_PROMPTS(scripted);
    }

    void sourceFormatIsNotOffered_data()
    {
        columns<QString, bool, bool, bool>({"path", "bmp", "png", "jpg"});
        QTest::newRow("bmp") << "/pics/a.bmp" << false << true << true;
        QTest::newRow("jpg converts to jpg again") << "/pics/a.jpg" << true << true << true;
        QTest::newRow("tif, typed by hand") << "/pics/a.tif" << true << true << true;
        QTest::newRow("upper case") << "/PICS/A.BMP" << false << true << true;
        QTest::newRow("name ending in bmp without a dot") << "/pics/abmp" << false << true << true;
        QTest::newRow("empty") << "" << true << true << true;
    }
    void sourceFormatIsNotOffered()
    {
        QFETCH(QString, path); QFETCH(bool, bmp); QFETCH(bool, png); QFETCH(bool, jpg);
        LOAD_MAIN_WINDOW(w);
        frmConvertSingleFile& dialog = *w.singleFileDialog();
        ScriptedPrompts scripted;
        // A BMP source first, so a box it disabled must come back.
        showFor(dialog, scripted, "/pics/first.bmp", [](frmConvertSingleFile& d) { d.cmdCancel->click(); });
        showFor(dialog, scripted, path, [&](frmConvertSingleFile& d) {
            QCOMPARE(d.chkBMP->isEnabled(), bmp);
            QCOMPARE(d.chkPNG->isEnabled(), png);
            QCOMPARE(d.chkJPG->isEnabled(), jpg);
            d.cmdCancel->click();
        });
        VERIFY_PROMPTS(scripted);
    }

    void convertFileChecksTheChoice_data()
    {
        columns<bool, bool, QString, QString, int, QString, int, QString, QString, int, int, int>(
            {"bmp", "jpg", "first", "last", "stepIndex", "message", "icon", "firstAfter", "lastAfter", "from", "to", "step"});  // "" when accepted; main window's range afterwards

        const int none = int(MsgIcon::None);
        const int excl = int(MsgIcon::Exclamation);
        const QString noFormat = QStringLiteral("No file format selected.");
        const QString noQuality = QStringLiteral("No qualitiy specified.");
        const int u = kUntouched;
        QTest::newRow("nothing checked") << false << false << "80" << "" << 1 << noFormat << excl << "80" << "" << u << u << u;
        QTest::newRow("BMP only leaves the range") << true << false << "x" << "" << 1 << "" << none << "x" << "" << u << u << u;
        QTest::newRow("last copied from first") << false << true << "80" << "" << 1 << "" << none << "80" << "80" << 80 << 80 << 10;
        QTest::newRow("first copied from last") << false << true << "" << "50" << 1 << "" << none << "50" << "50" << 50 << 50 << 10;
        QTest::newRow("rising by 5") << true << true << "10" << "100" << 0 << "" << none << "10" << "100" << 10 << 100 << 5;
        QTest::newRow("falling by 20") << false << true << "90" << "30" << 2 << "" << none << "90" << "30" << 90 << 30 << -20;
        QTest::newRow("equal bounds keep a rising step") << false << true << "50" << "50" << 1 << "" << none << "50" << "50" << 50 << 50 << 10;
        QTest::newRow("minus after plus dropped") << false << true << "+80" << "+-9" << 1 << kRangeMessage << none << "+80" << "+9" << u << u << u;
        QTest::newRow("both empty") << false << true << "" << "" << 1 << noQuality << excl << "" << "" << u << u << u;
        QTest::newRow("nothing but junk") << false << true << "ab" << "-.%" << 1 << noQuality << excl << "" << "" << u << u << u;
        QTest::newRow("first below the limit") << false << true << "5" << "" << 1 << kRangeMessage << none << "5" << "5" << u << u << u;
        QTest::newRow("last above the limit") << false << true << "80" << "101" << 1 << kRangeMessage << none << "80" << "101" << u << u << u;
        QTest::newRow("lone plus reads as 0") << false << true << "+" << "" << 1 << kRangeMessage << none << "+" << "+" << u << u << u;
    }
    void convertFileChecksTheChoice()
    {
        QFETCH(bool, bmp); QFETCH(bool, jpg); QFETCH(QString, first); QFETCH(QString, last); QFETCH(int, stepIndex);
        QFETCH(QString, message); QFETCH(int, icon); QFETCH(QString, firstAfter); QFETCH(QString, lastAfter);
        QFETCH(int, from); QFETCH(int, to); QFETCH(int, step);

        LOAD_MAIN_WINDOW(w);
        frmConvertSingleFile& dialog = *w.singleFileDialog();
        dialog.intQualityFrom = dialog.intQualityTo = dialog.intQualityStep = kUntouched;
        ScriptedPrompts scripted;
        bool stayedOpen = false;
        scripted.expectModal(kDialog, [&](QDialog&) {
            dialog.chkBMP->setChecked(bmp);
            dialog.chkJPG->setChecked(jpg);
            dialog.txbQuality[0]->setText(first);
            dialog.txbQuality[1]->setText(last);
            dialog.cboStep->setCurrentIndex(stepIndex);
            dialog.cmdDoIt->click();
            stayedOpen = dialog.isVisible();
            if (stayedOpen)
                dialog.cmdCancel->click();
        });
        if (!message.isEmpty())
            scripted.expectMessage(message, kInputError, MsgButtons::Ok, MsgIcon(icon));
        dialog.strFilepath = QStringLiteral("/pics/a.gif");
        prompts().showModal(dialog);
        VERIFY_PROMPTS(scripted);

        QCOMPARE(stayedOpen, !message.isEmpty());
        QCOMPARE(dialog.blnProceed, message.isEmpty());
        QCOMPARE(dialog.txbQuality[0]->text(), firstAfter);
        QCOMPARE(dialog.txbQuality[1]->text(), lastAfter);
        QCOMPARE(dialog.intQualityFrom, from);
        QCOMPARE(dialog.intQualityTo, to);
        QCOMPARE(dialog.intQualityStep, step);
    }

    // Leaving the dialog: an unchecked JPG ignores its quality boxes, the close
    // box cancels (Enter in a quality box runs end to end).
    void howTheDialogIsLeft_data()
    {
        columns<Act, bool, QString, int>({"act", "proceed", "firstAfter", "from"});
        QTest::newRow("JPG unchecked again") << Act([](frmConvertSingleFile& d) {
            d.chkJPG->click();
            d.txbQuality[0]->setText("5x");
            d.chkJPG->click();
            d.chkPNG->click();
            d.cmdDoIt->click();
        }) << true << "5x" << kUntouched;
        QTest::newRow("close box") << Act([](frmConvertSingleFile& d) {
            d.chkPNG->click();
            d.close();
        }) << false << "80" << kUntouched;
    }
    void howTheDialogIsLeft()
    {
        QFETCH(Act, act); QFETCH(bool, proceed); QFETCH(QString, firstAfter); QFETCH(int, from);
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        frmConvertSingleFile& d = *w.singleFileDialog();
        d.intQualityFrom = d.intQualityTo = d.intQualityStep = kUntouched;
        showFor(d, scripted, "/pics/a.gif", act);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(d.blnProceed, proceed);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.txbQuality[0]->text(), firstAfter);
        QCOMPARE(d.intQualityFrom, from);
        if (from == kUntouched)
            QCOMPARE(d.intQualityStep, kUntouched);
    }

    // Each showing resets the formats, the frame, the height, the warning and
    // blnProceed; the typed qualities, the step and "View in browser" stay.
    void secondShowingKeepsTheUsersSettings()
    {
        LOAD_MAIN_WINDOW(w);
        frmConvertSingleFile& dialog = *w.singleFileDialog();
        ScriptedPrompts scripted;
        showFor(dialog, scripted, "/pics/a.gif", [](frmConvertSingleFile& d) {
            d.chkBMP->click();
            d.chkJPG->click();
            d.chkWarnOnOverwrite->click();
            d.chkViewInBrowser->click();
            d.cboStep->setCurrentIndex(2);
            d.txbQuality[0]->setText("7z0");
            d.txbQuality[1]->clear();
            d.cmdDoIt->click();
        });
        QVERIFY(dialog.blnProceed);
        QCOMPARE(dialog.txbQuality[1]->text(), QStringLiteral("70"));
        QVERIFY(!dialog.chkWarnOnOverwrite->isChecked());
        showFor(dialog, scripted, "/pics/b.jpg", [](frmConvertSingleFile& d) {
            QVERIFY(!d.blnProceed);
            QVERIFY(!d.chkBMP->isChecked());
            QVERIFY(!d.chkPNG->isChecked());
            QVERIFY(!d.chkJPG->isChecked());
            QVERIFY(!d.fraQuality->isVisible());
            QCOMPARE(d.heightTwips(), 2800);
            QVERIFY(d.chkWarnOnOverwrite->isChecked());
            QVERIFY(d.chkViewInBrowser->isChecked());
            QCOMPARE(d.cboStep->currentText(), QStringLiteral("20"));
            QCOMPARE(d.txbQuality[0]->text(), QStringLiteral("70"));
            QVERIFY(d.txbQuality[1]->text().isEmpty());
            QCOMPARE(d.focusWidget(), d.cmdCancel);
            // A range is not folded back to one value.
            d.chkJPG->click();
            d.txbQuality[1]->setText("90");
            d.cmdDoIt->click();
        });
        showFor(dialog, scripted, "/pics/c.jpg", [](frmConvertSingleFile& d) {
            QCOMPARE(d.txbQuality[0]->text(), QStringLiteral("70"));
            QCOMPARE(d.txbQuality[1]->text(), QStringLiteral("90"));
            d.cmdCancel->click();
        });
        VERIFY_PROMPTS(scripted);
        QVERIFY(!dialog.blnProceed);
    }

};

QTEST_MAIN(TestFormatsDialog)
#include "tst_formatsdialog.moc"
