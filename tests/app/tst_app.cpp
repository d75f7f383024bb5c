// The main window, the help window, launching and the state file.
#include "Fixtures.h"
#include "FolderHelpers.h"
#include "FormHelpers.h"
#include "HelpText.h"
#include "ImageFormats.h"
#include "Launch.h"
#include "Layout.h"
#include "StateFile.h"
#include "Twips.h"
#include "frmHelp.h"
#include "frmQVsoftware.h"

#include <csignal>
#include <sys/resource.h>

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

// The text as the box holds it; toPlainText() would turn the headings' no-break spaces into blanks.
QString shownText(const frmHelp* help)
{
    return help->txbHelpScreen->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}
QRect pixels(const frmHelp::Rect& r) { return TwipsRect(r.left, r.top, r.width, r.height); }

const QString kSaveTitle = "Specify filename for saved state", kRestoreTitle = "Specify filename for state to restore";
// Folders /In/ and /Out/, JPG in, PNG out, warn on, browser off, save on quit on, target score 75.
const QByteArray kSevenLines = "\"/In/\"\r\n\"/Out/\"\r\n\" 3\"\r\n\" 2\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n";
const QByteArray kExampleBytes = kSevenLines + "\"75\"\r\n";
const SavedState kExample{"/In/", "/Out/", 3, 2, true, false, true, 75};
const SavedState kOther{"/data/photos/", "/data/out, converted/", 4, 3, false, true, true, 60};
constexpr std::array<int, 2> kListCounts{5, 4};  // "Select" and the formats of each box

void showState(frmMain& w, const SavedState& s)
{
    for (int side : {0, 1}) {
        w.txbFolderForImages[side]->setText(side ? s.outputFolder : s.inputFolder);
        w.cboFileFormat[side]->setCurrentIndex(side ? s.outputFormatIndex : s.inputFormatIndex);
    }
    for (auto [box, on] : {std::pair(w.chkWarnOnOverwrite, s.warnOnOverwrite), std::pair(w.chkViewMultipleInBrowser, s.viewInBrowser),
                           std::pair(w.chkSaveStateOnQuit, s.saveStateOnQuit)})
        box->setChecked(on);
    w.txbTarget->setText(QString::number(s.scoreTarget));
}

SavedState shownState(const frmMain& w)
{
    return {w.txbFolderForImages[0]->text(), w.txbFolderForImages[1]->text(), w.cboFileFormat[0]->currentIndex(),
            w.cboFileFormat[1]->currentIndex(), w.chkWarnOnOverwrite->isChecked(),
            w.chkViewMultipleInBrowser->isChecked(), w.chkSaveStateOnQuit->isChecked(), w.txbTarget->text().toInt()};
}

QString defaultStatePath() { return AppDataSubfolderPath("pxfm.sta", "Quorvane Systems"); }
}  // namespace

class TestApp : public QObject {
    Q_OBJECT

private slots:
    void init() { QFile::remove(defaultStatePath()); }
    void cleanupTestCase() { QFile::remove(defaultStatePath()); }

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
        QCOMPARE(w.txbReport->font().family(), QStringLiteral("Courier New"));  // the report's columns line up
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
            for (int side : {0, 1}) {
                w.txbFolderForImages[side]->setText(side ? r.output : r.input);
                w.cboFileFormat[side]->setCurrentIndex(side ? r.outputFormat : r.inputFormat);
            }
            w.cmdConvertFiles->setEnabled(r.convertEnabled);
            w.setVisible(r.visible);
            w.FocusNextControl();
            QCOMPARE(w.focusWidget(), r.focus);
        }
        // While busy the window keeps its text boxes usable.
        SetFormControlsEnabled(w, false, false, false, true);
        QVERIFY(!w.cmdConvertFiles->isEnabled() && !w.chkWarnOnOverwrite->isEnabled() && !w.cboFileFormat[0]->isEnabled() &&
                !w.lblTopLine->isEnabled() && w.txbFolderForImages[0]->isEnabled() && w.txbReport->isEnabled());
    }

    // Above 32 a launch succeeded; otherwise the user is told why, for a
    // document only when the caller asks.
    void launchFailuresAreExplained()
    {
        QCOMPARE((QStringList{WebPageErrorMessage(31, "https://host.example/docs/page.XYZ"), WebPageErrorMessage(5, "https://host.example/")}),
                 (QStringList{"Error launching web browser, error code = 31.\r\n\r\nFile extension 'xyz' is not associated with any application program.",
                              "Error launching web browser, error code = 5."}));
        ScriptedPrompts scripted;
        const QString page = "/no/such/page.htm";
        scripted.expectLaunch(page, 32);
        scripted.expectLaunch(page, 32);
        scripted.expectMessage("Error opening file " + page + ".\r\nPerhaps the file extension is incorrect.", "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        scripted.expectLaunch(page, 33);
        QVERIFY(!OpenDocument(page, false) && !OpenDocument(page, true) && OpenDocument(page, true));
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

    // The format boxes keep the first four formats' entries (so saved states
    // keep their meaning) and offer the others after them. The static files
    // that name the formats read by the program name exactly those of the
    // format table, as do the help text and the notice.
    void formatListsAndHelpText()
    {
        LOAD_MAIN_WINDOW(w);
        QStringList entries;
        for (const QComboBox* box : w.cboFileFormat)
            for (int i = 0; i < box->count(); ++i)
                entries << box->itemText(i);
        QCOMPARE(entries.join(' '), QStringLiteral("Select BMP PNG JPG GIF WEBP AVIF HEIC TIFF Select BMP PNG JPG WEBP AVIF TIFF"));
        const QStringList mimeTypes = ReadMimeTypes();
        QCOMPARE(mimeTypes.join(';'), QStringLiteral("image/bmp;image/png;image/jpeg;image/gif;image/webp;image/avif;"
                                                     "image/heic;image/heif;image/tiff"));
        const QString desktop = QString::fromUtf8(readAll(PICTORIA_DATA_DIR "/example.quorvane.Pictoria.desktop"));
        QVERIFY(desktop.contains("\nMimeType=" + mimeTypes.join(';') + ";\n"));
        const QString metainfo = QString::fromUtf8(readAll(PICTORIA_DATA_DIR "/example.quorvane.Pictoria.metainfo.xml"));
        QStringList mediaTypes;
        for (const auto& match : QRegularExpression("<mediatype>([^<]*)</mediatype>").globalMatch(metainfo))
            mediaTypes << match.captured(1);
        QCOMPARE(mediaTypes, mimeTypes);
        const QString help = BuildHelpText("https://example.org/m");
        QVERIFY(help.contains("between the formats BMP, PNG, JPG, GIF, WEBP, AVIF, HEIC and TIFF. It reads all of them "
                              "and writes BMP, PNG, JPG, WEBP, AVIF and TIFF."));
        QVERIFY(help.contains("JPG .jpg .jpeg, ") && help.contains("HEIC .heic .heif .hif, TIFF .tif .tiff."));
        // The manual's address first, CR LF line breaks throughout, and the
        // libraries' credit lines at the end without blank lines.
        QVERIFY(help.startsWith("An illustrated verson of this user manual can be found at https://example.org/m.\r\n\r\n"));
        QVERIFY(help.count('\n') == help.count("\r\n") && help.count('\r') == help.count("\r\n"));
        const QString tail = help.mid(help.lastIndexOf("\r\n\r\n") + 4);
        QVERIFY(!help.contains("\r\n\r\n\r\n") && tail.endsWith("\r\n") && tail.count("\r\n") >= 2);
        for (const char* name : {"libjpeg-turbo", "libpng", "zlib", "giflib"})
            QVERIFY2(tail.contains(QLatin1String(name)), name);
        QVERIFY(help.contains("Qt 6") && help.contains("the work of the Independent JPEG Group"));
        QCOMPARE(w.lblNotice->text(), QStringLiteral("AVIF, BMP, GIF, HEIC, JPG, PNG, TIFF, WEBP"));
        QVERIFY(w.lblNotice->heightForWidth(w.lblNotice->width()) <= w.lblNotice->height());
    }

    // Help opens the manual over the main window. Again while minimised it
    // only brings the window back; after Close it shows the same window where
    // the user left it; the close box unloads it, so help builds it afresh.
    void helpOpensAndComesBack()
    {
        QCOMPARE(frmHelp::PlacementOver({1000, 800, 9000, 7000}), (frmHelp::Rect{1200, 1280, 8600, 6320}));
        QCOMPARE(frmHelp::LayoutFor(8600, 6320), (frmHelp::ControlsLayout{{120, 120, 8250, 5040}, {3692, 5320, 1215, 315}}));
        QCOMPARE(frmHelp::LayoutFor(0, 0), (frmHelp::ControlsLayout{{120, 120, 0, 0}, {-607, -1000, 1215, 315}}));
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        QTest::mouseClick(w.cmdHelp, Qt::LeftButton);
        QPointer<frmHelp> help = w.helpWindow();
        QVERIFY(help && help->isVisible() && help->txbHelpScreen->isReadOnly());
        const QString manual = BuildHelpText(w.strOnlineManualURL).replace("\r\n", "\n");
        QCOMPARE(shownText(help), manual);
        const QRect placed = pixels(frmHelp::PlacementOver(
            {PixelsToTwips(w.x()), w.windowTopTwips(), PixelsToTwips(w.width()), w.windowHeightTwips()}));
        QCOMPARE(QRect(help->pos(), help->size()), placed);
        help->showMinimized();
        w.cmdHelp_Click();
        QVERIFY(help->isVisible() && !help->isMinimized());
        help->setGeometry(40, 50, 500, 400);
        const frmHelp::ControlsLayout layout = frmHelp::LayoutFor(PixelsToTwips(500), PixelsToTwips(400));
        QVERIFY(help->txbHelpScreen->geometry() == pixels(layout.helpScreen) && help->cmdClose->geometry() == pixels(layout.close));
        help->txbHelpScreen->setPlainText("not rebuilt");
        QTest::mouseClick(help->cmdClose, Qt::LeftButton);
        w.cmdHelp_Click();
        QVERIFY(w.helpWindow() == help && help->isVisible() && help->geometry() == QRect(40, 50, 500, 400));
        QCOMPARE(shownText(help), QStringLiteral("not rebuilt"));
        QVERIFY(help->close());  // the close box
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(help.isNull());
        w.cmdHelp_Click();
        QCOMPARE(shownText(w.helpWindow()), manual);
        VERIFY_PROMPTS(scripted);
    }

    // F1, shifted or not, opens help from the two Convert buttons, Help and
    // the lists; another key, or another button, does nothing.
    void f1LinksAndCatalogue()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        const struct { QWidget* control; Qt::Key key; Qt::KeyboardModifiers modifiers; bool opens; } rows[] = {
            {w.cmdConvertSingleFile, Qt::Key_F1, {}, true}, {w.cmdConvertFiles, Qt::Key_F1, {}, true},
            {w.cmdHelp, Qt::Key_F1, {}, true},              {w.cmdList[1], Qt::Key_F1, Qt::ShiftModifier, true},
            {w.cmdList[0], Qt::Key_F2, {}, false},          {w.cmdQuit, Qt::Key_F1, {}, false}};
        for (const auto& r : rows) {
            QTest::keyRelease(r.control, r.key, r.modifiers);
            QCOMPARE(w.helpWindow() && w.helpWindow()->isVisible(), r.opens);
            delete w.helpWindow();
        }
        // Each link opens its page, a failed launch is reported, and either way
        // the focus goes to the next step of a batch.
        const QString manual = "https://quorvane.example/pictoria/manual/", home = "https://quorvane.example/";
        QCOMPARE(w.lblOnlineDocumentation->toolTip(), "Click here for the online user manual at " + manual + ".");
        QCOMPARE(w.lblQuorvaneSystems->toolTip(), "Click here for the Quorvane Systems website at " + home + ".");
        w.txbFolderForImages[0]->setText("/in/");
        scripted.expectLaunch(manual, 42);
        QTest::mouseClick(w.lblOnlineDocumentation, Qt::LeftButton);
        QCOMPARE(w.focusWidget(), w.cmdFolderForImages[1]);
        w.cmdConvertSingleFile->setFocus();
        scripted.expectLaunch(home, 31);
        scripted.expectMessage(WebPageErrorMessage(31, home), "Cannot launch web browser", MsgButtons::Ok, MsgIcon::Exclamation);
        QTest::mouseClick(w.lblQuorvaneSystems, Qt::LeftButton);
        QCOMPARE(w.focusWidget(), w.cmdFolderForImages[1]);
        // The catalogue hides the main window while shown.
        scripted.expectModal("frmQVsoftware", [&](QDialog& dialog) {
            auto& catalogue = static_cast<frmQVsoftware&>(dialog);
            QVERIFY(!w.isVisible() && catalogue.isModal() && catalogue.lstPrograms->item(0)->text().startsWith("Pictoria"));
            QTest::mouseClick(catalogue.cmdClose, Qt::LeftButton);
        });
        QTest::mouseClick(w.cmdCopyToClipboard, Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QVERIFY(w.isVisible() && w.focusWidget() == w.cmdHelp);
    }

    void formatsAndParses()
    {
        QCOMPARE(FormatStateFile(kExample), kExampleBytes);
        for (const SavedState& s : {SavedState{"  /a\",b/Größe", "/\"\"/two\r\nlines/  ", 2, 2, true, false, false},
                                    SavedState{{}, {}, 0, 0, false, true, true}})
            QCOMPARE(ParseStateFile(FormatStateFile(s), kListCounts), std::optional(s));
        const QByteArray six = kExampleBytes.left(kExampleBytes.lastIndexOf("\"1\""));
        const struct { QByteArray bytes; std::optional<SavedState> expected; } rows[] = {
            {QByteArray(kExampleBytes).replace("\r\n", "\n"), kExample},
            {"\"/In/\",\"/Out/\",\" 3\",\" 2\",\"1\",\"0\",\"1\",\"75\"\r\n", kExample},
            {"/In/,  /Out/  \r\n3\r\n2\r\n1\r\n0\r\n1\r\n75\r\n", kExample},  // unquoted, ending at a comma
            {"\"/my \"best\" pics/\"\r\n\"/Out/\"\r\n\" 3\"\r\n\" 2\"\r\n\"1\"\r\n\"0\"\r\n\"1\"\r\n",  // a lone quote of an older file
             SavedState{"/my \"best\" pics/", "/Out/", 3, 2, true, false, true, 90}},
            // No format chosen is -1; an index rounds half to even; only exactly "1" ticks an option.
            {"\"/In/\"\r\n\"/Out/\"\r\n\"-1\"\r\n\"1.5\"\r\n\" 1\"\r\n\"1\"\r\n\"True\"\r\n",
             SavedState{"/In/", "/Out/", 0, 2, false, true, false, 90}},
            {six, {}}, {"\"/In/\r\n", {}}, {QByteArray(kExampleBytes).replace("/In/", "/Gr\xF6\xDF" "e/"), {}},
            {QByteArray(kExampleBytes).replace("\" 3\"", "\" 5\""), {}}, {QByteArray(kExampleBytes).replace("\" 2\"", "\" 4\""), {}},
            {QByteArray(kExampleBytes).replace("\" 3\"", "\"-2\""), {}}, {QByteArray(kExampleBytes).replace("\" 3\"", "\"nan\""), {}}};
        for (const auto& r : rows)
            QCOMPARE(ParseStateFile(r.bytes, kListCounts), r.expected);
        // A file of seven lines, written before the target was kept, reads with the target 90;
        // so does an eighth line out of 30..99, which costs nothing else.
        for (const auto& [eighth, target] : {std::pair<QByteArray, int>("", 90), {"\"29\"\r\n", 90}, {"\"100\"\r\n", 90},
                                             {"\"x\"\r\n", 90}, {"\"30\"\r\n", 30}, {"99\r\n", 99}}) {
            SavedState expected = kExample;
            expected.scoreTarget = target;
            QCOMPARE(ParseStateFile(kSevenLines + eighth, kListCounts), std::optional(expected));
        }
    }

    // Save writes the file as typed, without an added extension, and asks
    // before overwriting one (a Yes is answered end to end); a cancelled
    // dialog does nothing. Restore resets every parameter, without a word,
    // from a file that cannot be read or is no state file. A write that fails
    // half way, as on a full disk, is reported and leaves the old file as it was.
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

        const struct { QString name; SavedState expected; } restores[] = {
            {"no-extension", kExample}, {"missing", {}}, {"", {}} /* the folder */, {"huge", {}}};
        for (const auto& r : restores) {
            showState(w, kOther);
            scripted.expectOpenFile(kRestoreTitle, dir.filePath(r.name));
            QTest::mouseClick(w.cmdSaveState[1], Qt::LeftButton);
            QCOMPARE(shownState(w), r.expected);
        }

        showState(w, SavedState{QString(200, 'i'), QString(200, 'o'), 1, 1, true, false, false});
        scripted.expectMessage("Error when attempting to save the state: " + QString::fromLocal8Bit(strerror(EFBIG)),
                               "Save state", MsgButtons::Ok, MsgIcon::Exclamation);
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limit{16, unlimited.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        w.WriteState(old);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(readAll(old), oldBytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"huge", "no-extension", "old.sta"}));
        // Quit itself is covered end to end; the close box must save the same way, and only when ticked.
        LOAD_MAIN_WINDOW(unticked);
        unticked.close();
        QVERIFY(!QFile::exists(defaultStatePath()));
        showState(w, kOther);
        w.close();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(readAll(defaultStatePath()), FormatStateFile(kOther));
    }

};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
