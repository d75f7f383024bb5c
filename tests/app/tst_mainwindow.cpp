// Start-up, the design positions, the timer, focus guidance and launching, on the real window.
#include "Fixtures.h"
#include "FormHelpers.h"
#include "Launch.h"
#include "ScriptedPrompts.h"
#include "Twips.h"

#include <QScreen>

using namespace pictoria;
using namespace pictoria::testing;

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void startsWithDefaults()
    {
        LOAD_MAIN_WINDOW(w);
        QCOMPARE(w.windowTitle(), QStringLiteral("Pictoria 1.00"));
        // The parameters at start-up: brokenDefaultFileStartsWithDefaults in tst_state.
        QVERIFY(!w.chkLargeWindow->isChecked());
        QVERIFY(!w.txbQuality->isVisible());
        QVERIFY(!w.cmdClearFolderForImages[2]->isVisible());
        QVERIFY(w.txbReport->toPlainText().isEmpty());
        QCOMPARE(QDir::currentPath(), QDir::homePath());
        auto items = [](QComboBox* box) {
            QStringList list;
            for (int i = 0; i < box->count(); ++i)
                list << box->itemText(i);
            return list;
        };
        QCOMPARE(items(w.cboFileFormat[0]), (QStringList{"Select", "BMP", "PNG", "JPG", "GIF"}));
        QCOMPARE(items(w.cboFileFormat[1]), (QStringList{"Select", "BMP", "PNG", "JPG"}));
        // The progress label spans the window beside Stop.
        QCOMPARE(w.lblConvertingFile->pos(), w.cmdConvertSingleFile->pos());
        QCOMPARE(w.lblConvertingFile->width(), TwipsToPixels(10635 - 645 - 300));
        QCOMPARE(w.txbReport->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(w.txbFolderForImages[0]->font().family(), QStringLiteral("Tahoma"));
    }

    void controlsStandAtTheirDesignPositions_data()
    {
        columns<QString, QRect, QString>({"name", "twips", "caption"});
        const struct { const char* name; int l, t, w, h; const char* caption; } rows[] = {
            {"cmdConvertSingleFile", 105, 105, 2430, 360, "Convert single file"},
            {"cmdStop", 9850, 105, 645, 285, "Stop"},
            {"cmdFolderForImages_0", 105, 525, 2430, 360, "Input images folder"},
            {"txbFolderForImages_0", 2625, 525, 7150, 360, ""},
            {"cmdClearFolderForImages_0", 9850, 555, 645, 285, "Clear"},
            {"cmdFolderForImages_1", 105, 945, 2430, 360, "Output images folder"},
            {"txbFolderForImages_1", 2625, 945, 7150, 360, ""},
            {"cmdClearFolderForImages_1", 9850, 975, 645, 285, "Clear"},
            {"lblFileFormat_0", 105, 1420, 1695, 330, "Input file format:"},
            {"cboFileFormat_0", 1575, 1440, 960, 315, "Select"},
            {"cmdList_0", 2625, 1440, 645, 285, "List"},
            {"lblFileFormat_1", 4305, 1420, 1905, 330, "Output file format:"},
            {"cboFileFormat_1", 6300, 1440, 1065, 315, "Select"},
            {"cmdList_1", 7455, 1440, 645, 285, "List"},
            {"lblQuality", 8955, 1420, 855, 330, "Quality:"},
            {"txbQuality", 9855, 1440, 645, 315, "80"},
            {"chkWarnOnOverwrite", 140, 1785, 3480, 330, "Warn if about to overwrite existing file"},
            {"chkViewMultipleInBrowser", 5355, 1785, 2115, 330, "View in browser"},
            {"chkLargeWindow", 9100, 1785, 1395, 330, "Large window"},
            {"cmdConvertFiles", 105, 2100, 1905, 360, "Convert files"},
            {"txbReport", 2100, 2110, 8415, 2350, ""},  // height from the normal layout
            {"cmdSaveState_0", 105, 2520, 1905, 360, "Save state"},
            {"cmdSaveState_1", 105, 2940, 1905, 360, "Restore state"},
            {"cmdHelp", 105, 3360, 855, 360, "Help"},
            {"cmdQuit", 1155, 3360, 855, 360, "Quit"},
            {"chkSaveStateOnQuit", 105, 3780, 1905, 330, "Save state on quit"},
            {"cmdClearFolderForImages_2", 2100, 4590, 2355, 285, "Clear report window"},
            {"cmdCopyToClipboard", 8160, 4590, 2355, 285, "Quorvane Systems Software"},
            {"lblOnlineDocumentation", 5303, 4620, 2010, 285, "Online user manual"},  // centred by the layout
            {"lblQuorvaneSystems", 105, 4465, 1905, 285, "Quorvane Systems"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.name) << QString::fromLatin1(r.name) << QRect(r.l, r.t, r.w, r.h)
                                  << QString::fromUtf8(r.caption);
    }
    void controlsStandAtTheirDesignPositions()
    {
        QFETCH(QString, name); QFETCH(QRect, twips); QFETCH(QString, caption);
        LOAD_MAIN_WINDOW(w);
        auto* control = w.findChild<QWidget*>(name);
        QVERIFY2(control, qPrintable(name));
        QCOMPARE(control->geometry(), TwipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
        QCOMPARE(captionOf(control), caption);
        if (!qobject_cast<QLineEdit*>(control) && !qobject_cast<QPlainTextEdit*>(control))
            QCOMPARE(control->font().family(), QStringLiteral("Arial"));
        QVERIFY(!control->font().bold());
    }

    void timerPutsLongFoldersIntoToolTips()
    {
        LOAD_MAIN_WINDOW(w);
        const QString eighty = QStringLiteral("/") + QString(79, QLatin1Char('a'));
        const QString eightyOne = eighty + QLatin1Char('b');
        w.txbFolderForImages[0]->setText(eighty);
        w.txbFolderForImages[1]->setText(eightyOne);
        w.Timer1_Timer();
        QCOMPARE(w.txbFolderForImages[0]->toolTip(), QString());
        QCOMPARE(w.txbFolderForImages[1]->toolTip(), eightyOne);
    }

    void focusGoesWhereTheUserIsNeeded_data()
    {
        // A hidden window leaves the focus alone.
        columns<QString, QString, int, int, bool, bool, QString>(
            {"input", "output", "inputFormat", "outputFormat", "convertEnabled", "hidden", "expected"});
        QTest::newRow("nothing yet") << "" << "" << 0 << 0 << true << false << "cmdConvertSingleFile";
        QTest::newRow("output missing") << "/in/" << "" << 1 << 2 << true << false << "cmdFolderForImages_1";
        QTest::newRow("input missing") << "" << "/out/" << 1 << 2 << true << false << "cmdFolderForImages_0";
        QTest::newRow("input format missing") << "/in/" << "/out/" << 0 << 2 << true << false << "cmdFolderForImages_0";
        QTest::newRow("output format missing") << "/in/" << "/out/" << 1 << 0 << true << false << "cmdFolderForImages_1";
        QTest::newRow("ready") << "/in/" << "/out/" << 1 << 2 << true << false << "cmdConvertFiles";
        QTest::newRow("running") << "/in/" << "/out/" << 1 << 2 << false << false << "txbQuality";
        QTest::newRow("ready, hidden") << "/in/" << "/out/" << 1 << 2 << true << true << "txbQuality";
    }
    void focusGoesWhereTheUserIsNeeded()
    {
        QFETCH(QString, input); QFETCH(QString, output); QFETCH(int, inputFormat); QFETCH(int, outputFormat);
        QFETCH(bool, convertEnabled); QFETCH(bool, hidden); QFETCH(QString, expected);
        LOAD_MAIN_WINDOW(w);
        w.txbQuality->show();
        w.txbQuality->setFocus();  // where the focus stays when no rule applies
        {
            const QSignalBlocker a(w.cboFileFormat[0]), b(w.cboFileFormat[1]);
            w.txbFolderForImages[0]->setText(input);
            w.txbFolderForImages[1]->setText(output);
            w.cboFileFormat[0]->setCurrentIndex(inputFormat);
            w.cboFileFormat[1]->setCurrentIndex(outputFormat);
        }
        w.cmdConvertFiles->setEnabled(convertEnabled);
        w.setVisible(!hidden);
        w.FocusNextControl();
        QCOMPARE(w.focusWidget()->objectName(), expected);
    }

    // While the window is busy its text boxes stay usable.
    void groupHelpersTouchOnlyTheKindsAsked()
    {
        LOAD_MAIN_WINDOW(w);
        SetFormControlsEnabled(w, false, false, false, true);
        QVERIFY(!w.cmdConvertFiles->isEnabled());
        QVERIFY(!w.chkWarnOnOverwrite->isEnabled());
        QVERIFY(!w.cboFileFormat[0]->isEnabled());
        QVERIFY(!w.lblTopLine->isEnabled());
        QVERIFY(w.txbFolderForImages[0]->isEnabled());
        QVERIFY(w.txbReport->isEnabled());
        SetFormControlsEnabled(w, true, false, false, true);
        QVERIFY(w.cmdConvertFiles->isEnabled());
        QVERIFY(w.lblTopLine->isEnabled());
    }

    void webPageFailuresAreExplained_data()
    {
        columns<int, QString, QString>({"code", "address", "message"});
        QTest::newRow("no program") << 31 << "https://host.example/docs/page.XYZ"
                                    << "Error launching web browser, error code = 31.\r\n\r\n"
                                       "File extension 'xyz' is not associated with any application program.";
        QTest::newRow("memory") << 8 << "https://host.example/" << "Error launching web browser, error code = 8.\r\n\r\nOut of memory.";
        QTest::newRow("not found") << 2 << "https://host.example/" << "Error launching web browser, error code = 2.\r\n\r\nPlease try once more.";
        QTest::newRow("other") << 5 << "https://host.example/" << "Error launching web browser, error code = 5.";
    }
    void webPageFailuresAreExplained()
    {
        QFETCH(int, code); QFETCH(QString, address); QFETCH(QString, message);
        ScriptedPrompts scripted;
        scripted.expectLaunch(address, code);
        scripted.expectMessage(message, "Cannot launch web browser", MsgButtons::Ok, MsgIcon::Exclamation);
        OpenWebPage(address);
        VERIFY_PROMPTS(scripted);
    }

    void openDocumentReportsOnlyWhenAsked()
    {
        ScriptedPrompts scripted;
        scripted.expectLaunch("/no/such/page.htm", 2);
        QVERIFY(!OpenDocument("/no/such/page.htm", false));
        scripted.expectLaunch("/no/such/page.htm", 2);
        scripted.expectMessage("Error opening file /no/such/page.htm.\r\nPerhaps the file extension is incorrect.",
                               "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        QVERIFY(!OpenDocument("/no/such/page.htm", true));
        scripted.expectLaunch("/tmp/page.htm", 42);
        QVERIFY(OpenDocument("/tmp/page.htm", true));
        VERIFY_PROMPTS(scripted);
    }

    // The desktop's launcher is a stand-in on PATH that exits as told; a
    // launcher that starts but fails must come back as a shell error.
    void launcherOutcomeBecomesShellResult_data()
    {
        columns<int, int>({"launcherExit", "result"});  // exit -1: no launcher; result 0: launched
        QTest::newRow("opened") << 0 << 0;
        QTest::newRow("no such file") << 2 << 2;
        QTest::newRow("unreadable") << 5 << 5;
        QTest::newRow("no browser") << 3 << 31;
        QTest::newRow("browser failed") << 4 << 31;
        QTest::newRow("refused") << 1 << 31;
        QTest::newRow("no launcher") << -1 << 31;
    }
    void launcherOutcomeBecomesShellResult()
    {
        QFETCH(int, launcherExit); QFETCH(int, result);
        QTemporaryDir bin;
        if (launcherExit >= 0) {
            const QString launcher = bin.filePath("xdg-open");
            QVERIFY(writeBytes(launcher, "#!/bin/sh\nexit " + QByteArray::number(launcherExit) + "\n"));
            QVERIFY(QFile::setPermissions(launcher, QFile::ReadOwner | QFile::ExeOwner));
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        const ShellResult launched = LaunchWithDesktop("https://host.example/manual.htm", false);
        qputenv("PATH", path);
        QCOMPARE(launched > 32 ? 0 : launched, result);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
