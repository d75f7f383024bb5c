// The main window: start-up, the two layouts, the timer, focus guidance and launching.
#include "Fixtures.h"
#include "FormHelpers.h"
#include "Launch.h"
#include "Layout.h"
#include "ScriptedPrompts.h"
#include "Twips.h"

#include <QScreen>

using namespace pictoria;
using namespace pictoria::testing;

namespace {
QList<int> figures(const MainLayout& l)
{
    return {l.windowHeight, l.windowTop, l.bottomButtonsTop, l.reportHeight, l.manualLinkTop, l.manualLinkLeft};
}

// The window and the controls the layout moves stand where @p l says.
void verifyLayout(const frmMain& w, const MainLayout& l)
{
    QCOMPARE((QList<int>{w.windowHeightTwips(), w.windowTopTwips(), w.height(), w.cmdClearFolderForImages[2]->y(),
                         w.cmdCopyToClipboard->y(), w.txbReport->height(), w.lblOnlineDocumentation->y(),
                         w.lblOnlineDocumentation->x()}),
             (QList<int>{l.windowHeight, l.windowTop, TwipsToPixels(l.windowHeight), TwipsToPixels(l.bottomButtonsTop),
                         TwipsToPixels(l.bottomButtonsTop), TwipsToPixels(l.reportHeight),
                         TwipsToPixels(l.manualLinkTop), TwipsToPixels(l.manualLinkLeft)}));
}
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    // The link is centred in the gap between the bottom buttons: 847.5 twips
    // rounds to the even 848, a link two twips wider leaves 846.5, rounded to 846.
    void layoutFigures()
    {
        LayoutDesign wider;
        wider.manualLinkWidth += 2;
        QCOMPARE(figures(NormalLayout(5450, 12000)), (QList<int>{5450, 3275, 4590, 2350, 4620, 5303}));
        QCOMPARE(figures(LargeLayout(11520)), (QList<int>{10368, 300, 9508, 7268, 9538, 5303}));
        QCOMPARE(figures(NormalLayout(5450, 12000, wider)), (QList<int>{5450, 3275, 4590, 2350, 4620, 5301}));
    }

    // Start-up; then the timer shows "Large window" and "Clear report window"
    // only beside a report and puts long folders into tool tips.
    void largeWindowThenClearReportOrResetReturnsToNormal()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        QCOMPARE(QDir::currentPath(), QDir::homePath());  // the start directory
        const int screen = PixelsToTwips(w.screen()->geometry().height());
        verifyLayout(w, NormalLayout(w.NormalHeight, screen));
        QVERIFY(qAbs(w.x() - (w.screen()->geometry().width() - w.width()) / 2) <= 1);  // centred
        const QString eighty = "/" + QString(79, 'a');
        w.txbFolderForImages[0]->setText(eighty);
        w.txbFolderForImages[1]->setText(eighty + "b");
        w.Timer1_Timer();
        QVERIFY(!w.chkLargeWindow->isVisible());
        QCOMPARE((QStringList{w.txbFolderForImages[0]->toolTip(), w.txbFolderForImages[1]->toolTip()}), (QStringList{"", eighty + "b"}));

        w.AppendToReport("a report line\r\n");
        w.Timer1_Timer();
        QVERIFY(w.chkLargeWindow->isVisible() && w.cmdClearFolderForImages[2]->isVisible());
        QTest::mouseClick(w.chkLargeWindow, Qt::LeftButton);
        verifyLayout(w, LargeLayout(screen));
        QTest::mouseClick(w.cmdClearFolderForImages[2], Qt::LeftButton);
        QVERIFY(w.ReportText().isEmpty() && !w.chkLargeWindow->isChecked());
        verifyLayout(w, NormalLayout(w.NormalHeight, screen));
        w.Timer1_Timer();
        QVERIFY(!w.chkLargeWindow->isVisible() && !w.cmdClearFolderForImages[2]->isVisible());
        w.chkLargeWindow->setChecked(true);
        w.ResetParameters();
        verifyLayout(w, NormalLayout(w.NormalHeight, screen));
        VERIFY_PROMPTS(scripted);
    }

    // Where the focus goes after each step; when no rule applies (a run has
    // disabled Convert files, or the window is hidden) it stays.
    void focusGoesWhereTheUserIsNeeded()
    {
        LOAD_MAIN_WINDOW(w);
        w.txbQuality->show();
        const struct { QString input, output; int inputFormat, outputFormat; bool convertEnabled, visible; QWidget* focus; } rows[] = {
            {"", "", 0, 0, true, true, w.cmdConvertSingleFile},          {"/in/", "", 1, 2, true, true, w.cmdFolderForImages[1]},
            {"", "/out/", 1, 2, true, true, w.cmdFolderForImages[0]},     {"/in/", "/out/", 0, 2, true, true, w.cmdFolderForImages[0]},
            {"/in/", "/out/", 1, 0, true, true, w.cmdFolderForImages[1]}, {"/in/", "/out/", 1, 2, true, true, w.cmdConvertFiles},
            {"/in/", "/out/", 1, 2, false, true, w.txbQuality},           {"/in/", "/out/", 1, 2, true, false, w.txbQuality}};
        for (const auto& r : rows) {
            w.txbQuality->setFocus();
            const QSignalBlocker quietInput(w.cboFileFormat[0]), quietOutput(w.cboFileFormat[1]);
            w.txbFolderForImages[0]->setText(r.input);
            w.txbFolderForImages[1]->setText(r.output);
            w.cboFileFormat[0]->setCurrentIndex(r.inputFormat);
            w.cboFileFormat[1]->setCurrentIndex(r.outputFormat);
            w.cmdConvertFiles->setEnabled(r.convertEnabled);
            w.setVisible(r.visible);
            w.FocusNextControl();
            QCOMPARE(w.focusWidget(), r.focus);
        }
        // While busy the window keeps its text boxes usable.
        SetFormControlsEnabled(w, false, false, false, true);
        QVERIFY(!w.cmdConvertFiles->isEnabled() && !w.chkWarnOnOverwrite->isEnabled() && !w.cboFileFormat[0]->isEnabled());
        QVERIFY(!w.lblTopLine->isEnabled() && w.txbFolderForImages[0]->isEnabled() && w.txbReport->isEnabled());
    }

    // Above 32 a launch succeeded; otherwise the user is told why, for a
    // document only when the caller asks.
    void launchFailuresAreExplained()
    {
        const QString lead = "Error launching web browser, error code = ", site = "https://host.example/";
        QCOMPARE(WebPageErrorMessage(31, site + "docs/page.XYZ"),
                 lead + "31.\r\n\r\nFile extension 'xyz' is not associated with any application program.");
        QCOMPARE(WebPageErrorMessage(8, site), lead + "8.\r\n\r\nOut of memory.");
        QCOMPARE(WebPageErrorMessage(2, site), lead + "2.\r\n\r\nPlease try once more.");
        QCOMPARE(WebPageErrorMessage(5, site), lead + "5.");
        ScriptedPrompts scripted;
        scripted.expectLaunch("/no/such/page.htm", 32);
        QVERIFY(!OpenDocument("/no/such/page.htm", false));
        scripted.expectLaunch("/no/such/page.htm", 32);
        scripted.expectMessage("Error opening file /no/such/page.htm.\r\nPerhaps the file extension is incorrect.",
                               "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        QVERIFY(!OpenDocument("/no/such/page.htm", true));
        scripted.expectLaunch("/tmp/page.htm", 33);
        QVERIFY(OpenDocument("/tmp/page.htm", true));
        VERIFY_PROMPTS(scripted);
    }

    // The desktop's launcher is a stand-in on PATH that exits as told (-1: no
    // launcher); a launcher that starts but fails comes back as a shell error.
    void launcherOutcomeBecomesShellResult()
    {
        const struct { int launcherExit; ShellResult result; } rows[] = {{0, 0}, {2, 2}, {5, 5}, {3, 31}, {-1, 31}};
        const QByteArray path = qgetenv("PATH");
        for (const auto& r : rows) {
            QTemporaryDir bin;
            const QString launcher = bin.filePath("xdg-open");
            if (r.launcherExit >= 0)
                QVERIFY(writeBytes(launcher, "#!/bin/sh\nexit " + QByteArray::number(r.launcherExit) + "\n") &&
                        QFile::setPermissions(launcher, QFile::ReadOwner | QFile::ExeOwner));
            qputenv("PATH", QFile::encodeName(bin.path()));
            const ShellResult launched = LaunchWithDesktop("https://host.example/manual.htm", false);
            qputenv("PATH", path);
            QCOMPARE(launched > 32 ? 0 : launched, r.result);  // 0: launched
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
