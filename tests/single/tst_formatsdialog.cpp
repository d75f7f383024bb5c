// The output formats dialog: what each showing resets or keeps, and "Convert file"'s checks.
#include "Fixtures.h"
#include "ScriptedPrompts.h"
#include "frmConvertSingleFile.h"

using namespace pictoria;
using namespace pictoria::testing;

namespace {

// Shows the dialog for @p path the way the command does and runs @p act while it is open.
void showFor(frmConvertSingleFile& dialog, ScriptedPrompts& scripted, const QString& path,
             std::function<void(frmConvertSingleFile&)> act)
{
    scripted.expectModal("frmConvertSingleFile", [&dialog, act](QDialog&) { act(dialog); });
    dialog.strFilepath = path;
    dialog.txbFile->setText(path);
    prompts().showModal(dialog);
}

}  // namespace

class TestFormatsDialog : public QObject {
    Q_OBJECT

private slots:
    // "after": the two quality boxes, then the range kept (-7: left alone).
    void convertFileChecksTheChoice_data()
    {
        columns<bool, bool, QString, QString, int, QString, MsgIcon, QString>(
            {"bmp", "jpg", "first", "last", "stepIndex", "message", "icon", "after"});
        const QString range = "For conversion to JPG the quality must be in the range 10 through 100.";
        const auto none = MsgIcon::None, warn = MsgIcon::Exclamation;
        QTest::newRow("nothing checked") << false << false << "80" << "" << 1 << "No file format selected." << warn
                                         << "80||-7|-7|-7";
        QTest::newRow("BMP only ignores the range") << true << false << "x" << "" << 1 << "" << none << "x||-7|-7|-7";
        QTest::newRow("last copied from first") << false << true << "80" << "" << 1 << "" << none << "80|80|80|80|10";
        QTest::newRow("first copied from last") << false << true << "" << "50" << 1 << "" << none << "50|50|50|50|10";
        QTest::newRow("rising by 5") << true << true << "10" << "100" << 0 << "" << none << "10|100|10|100|5";
        QTest::newRow("falling by 20") << false << true << "9x0" << "30" << 2 << "" << none << "90|30|90|30|-20";
        QTest::newRow("nothing but junk") << false << true << "ab" << "-.%" << 1 << "No qualitiy specified." << warn
                                          << "||-7|-7|-7";
        QTest::newRow("first below the limit") << false << true << "9" << "" << 1 << range << none << "9|9|-7|-7|-7";
        QTest::newRow("last above the limit") << false << true << "80" << "101" << 1 << range << none
                                              << "80|101|-7|-7|-7";
    }
    void convertFileChecksTheChoice()
    {
        QFETCH(bool, bmp); QFETCH(bool, jpg); QFETCH(QString, first); QFETCH(QString, last); QFETCH(int, stepIndex);
        QFETCH(QString, message); QFETCH(MsgIcon, icon); QFETCH(QString, after);
        LOAD_MAIN_WINDOW(w);
        frmConvertSingleFile& dialog = *w.singleFileDialog();
        dialog.intQualityFrom = dialog.intQualityTo = dialog.intQualityStep = -7;
        ScriptedPrompts scripted;
        bool stayedOpen = false;
        showFor(dialog, scripted, "/pics/a.gif", [&](frmConvertSingleFile& d) {
            d.chkBMP->setChecked(bmp);
            d.chkJPG->setChecked(jpg);
            d.txbQuality[0]->setText(first);
            d.txbQuality[1]->setText(last);
            d.cboStep->setCurrentIndex(stepIndex);
            if (!message.isEmpty())
                scripted.expectMessage(message, "Input error", MsgButtons::Ok, icon);
            d.cmdDoIt->click();
            stayedOpen = d.isVisible();
            if (stayedOpen)
                d.cmdCancel->click();
        });
        VERIFY_PROMPTS(scripted);
        QCOMPARE(stayedOpen, !message.isEmpty());
        QCOMPARE(dialog.blnProceed, message.isEmpty());
        const QStringList state{dialog.txbQuality[0]->text(), dialog.txbQuality[1]->text(),
                                QString::number(dialog.intQualityFrom), QString::number(dialog.intQualityTo),
                                QString::number(dialog.intQualityStep)};
        QCOMPARE(state.join('|'), after);
    }

    // Each showing resets the formats (the source's own one not offered), the
    // warning and blnProceed; the qualities of a range, the step and "View in
    // browser" stay, while a single quality is left in the first box only.
    void eachShowingResetsTheFormats()
    {
        LOAD_MAIN_WINDOW(w);
        frmConvertSingleFile& dialog = *w.singleFileDialog();
        ScriptedPrompts scripted;
        showFor(dialog, scripted, "/PICS/A.BMP", [](frmConvertSingleFile& d) {
            QVERIFY(!d.chkBMP->isEnabled() && d.chkPNG->isEnabled());
            QCOMPARE(d.focusWidget(), d.cmdCancel);
            d.chkJPG->click();
            QVERIFY(d.fraQuality->isVisible());
            d.chkWarnOnOverwrite->click();
            d.chkViewInBrowser->click();
            d.cboStep->setCurrentIndex(2);
            d.txbQuality[0]->setText("70");
            d.txbQuality[1]->setText("90");
            d.cmdDoIt->click();
        });
        QVERIFY(dialog.blnProceed && !dialog.chkWarnOnOverwrite->isChecked());
        showFor(dialog, scripted, "/pics/a.png", [](frmConvertSingleFile& d) {
            QVERIFY(!d.blnProceed);
            QVERIFY(d.chkBMP->isEnabled() && !d.chkPNG->isEnabled() && d.chkJPG->isEnabled());
            QVERIFY(!d.chkBMP->isChecked() && !d.chkJPG->isChecked() && !d.fraQuality->isVisible());
            QVERIFY(d.chkWarnOnOverwrite->isChecked() && d.chkViewInBrowser->isChecked());
            QCOMPARE(d.cboStep->currentText(), QStringLiteral("20"));
            QCOMPARE(d.txbQuality[0]->text() + '-' + d.txbQuality[1]->text(), QStringLiteral("70-90"));
            d.txbQuality[1]->setText("70");
            d.close();
        });
        showFor(dialog, scripted, "/pics/a.jpg", [](frmConvertSingleFile& d) {
            QVERIFY(d.chkBMP->isEnabled() && d.chkPNG->isEnabled() && d.chkJPG->isEnabled());
            QCOMPARE(d.txbQuality[0]->text() + '-' + d.txbQuality[1]->text(), QStringLiteral("70-"));
            d.cmdCancel->click();
        });
        VERIFY_PROMPTS(scripted);
        QVERIFY(!dialog.blnProceed);
    }
};

QTEST_MAIN(TestFormatsDialog)
#include "tst_formatsdialog.moc"
