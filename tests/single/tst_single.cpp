// "Convert single file": the formats dialog, the existing-target dialog and runs over real files.
#include "Fixtures.h"
#include "ImageFormats.h"
#include "QualityPlan.h"
#include "ViewerPage.h"

using namespace pictoria;
using namespace pictoria::testing;

namespace {

const QString kOpenTitle = "Specify file to be converted", kInUse = "New filename already in use.  Overwrite file?";
using Act = std::function<void(frmTargetFileExists&)>;

// Shows the formats dialog for @p path the way the command does and runs @p act while it is open.
void showFor(frmConvertSingleFile& dialog, ScriptedPrompts& scripted, const QString& path, std::function<void(frmConvertSingleFile&)> act)
{
    scripted.expectModal("frmConvertSingleFile", [&dialog, act](QDialog&) { act(dialog); });
    dialog.strFilepath = path;
    dialog.txbFile->setText(path);
    prompts().showModal(dialog);
}

// Shows the existing-target dialog as the conversion of one file does, running @p act while it is open.
void showFor(frmTargetFileExists& dialog, ScriptedPrompts& scripted, const QString& entry, const Act& act, bool sameExtension = true)
{
    scripted.expectModal("frmTargetFileExists", [act](QDialog& d) { act(static_cast<frmTargetFileExists&>(d)); });
    dialog.strEntryFilepath = entry;
    dialog.blnSingleFileOperation = false;
    dialog.blnSameFileExtensionMandatory = sameExtension;
    prompts().showModal(dialog);
}

// Each showing starts from skipping this file with the path box locked. Edits
// the name under "Choose a different filename" (which unlocks the box and
// shows the hint), then selects @p option and leaves by "Continue", Escape or
// the close box.
Act choose(const QString& option, const QString& leave = "continue")
{
    return [=](frmTargetFileExists& d) {
        const auto locked = [&d] { return d.txbFilepath->isReadOnly() && !d.lblEditFilename->isVisible(); };
        QVERIFY(d.optCancelOperationThisFile->isChecked() && locked());
        d.optChooseFilename->click();
        QVERIFY(!locked());
        QTest::keyClicks(d.txbFilepath, "zz");
        d.findChild<QRadioButton*>(option)->click();
        if (option != "optChooseFilename")
            QVERIFY(locked());
        else
            d.txbFilepath->setText(d.strEntryFilepath);
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

bool idle(const frmMain& w)
{
    return w.cmdConvertSingleFile->isEnabled() && w.cmdConvertFiles->isEnabled() && w.cmdHelp->isEnabled() &&
           w.chkWarnOnOverwrite->isEnabled() && !w.cmdStop->isVisible() && w.lblOnlineDocumentation->isVisible();
}

}  // namespace

class TestSingle : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out_ = dir_.filePath("out/"), entry_ = out_ + "a.jpg", other_ = out_ + "other.jpg";  // targets that exist
    QWidget mainWindow_;

    // Files of the run folder other than @p source, sorted.
    QStringList writtenFiles(const QString& source)
    {
        QStringList names = QDir(dir_.path()).entryList(QDir::Files, QDir::Name);
        names.removeAll(source);
        return names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(makeFiles(out_, {"sub.jpg/", "a.jpg=x", "other.jpg=x"}));  // a folder named like an image
        mainWindow_.setGeometry(20, 30, 560, 420);
    }
    void init()
    {
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files))
            QFile::remove(dir_.filePath(name));
        conversionPool().setMaxThreadCount(2);
    }

    // "after": the two quality boxes, then the range kept (-7: left alone).
    void convertFileChecksTheChoice_data()
    {
        columns<bool, bool, QString, QString, int, QString, MsgIcon, QString>(
            {"bmp", "jpg", "first", "last", "stepIndex", "message", "icon", "after"});
        const QString range = "For conversion to JPG the quality must be in the range 10 through 100.";
        const auto none = MsgIcon::None, warn = MsgIcon::Exclamation;
        QTest::newRow("nothing checked") << false << false << "80" << "" << 1 << "No file format selected." << warn << "80||-7|-7|-7";
        QTest::newRow("BMP only ignores the range") << true << false << "x" << "" << 1 << "" << none << "x||-7|-7|-7";
        QTest::newRow("last copied from first") << false << true << "80" << "" << 1 << "" << none << "80|80|80|80|10";
        QTest::newRow("first copied from last") << false << true << "" << "50" << 1 << "" << none << "50|50|50|50|10";
        QTest::newRow("rising by 5") << true << true << "10" << "100" << 0 << "" << none << "10|100|10|100|5";
        QTest::newRow("falling by 20") << false << true << "9x0" << "30" << 2 << "" << none << "90|30|90|30|-20";
        QTest::newRow("nothing but junk") << false << true << "ab" << "-.%" << 1 << "No qualitiy specified." << warn << "||-7|-7|-7";
        QTest::newRow("first below the limit") << false << true << "9" << "" << 1 << range << none << "9|9|-7|-7|-7";
        QTest::newRow("last above the limit") << false << true << "80" << "101" << 1 << range << none << "80|101|-7|-7|-7";
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
        QCOMPARE((QStringList{dialog.txbQuality[0]->text(), dialog.txbQuality[1]->text(), QString::number(dialog.intQualityFrom),
                              QString::number(dialog.intQualityTo), QString::number(dialog.intQualityStep)}).join('|'), after);
    }

    // Each showing resets the formats (the source's own one not offered), the
    // warning and blnProceed; the qualities of a range, the step and "View in
    // browser" stay, while a single quality is left in the first box only.
    void eachShowingResetsTheFormatsTheAddedOnesStandApart()
    {
        LOAD_MAIN_WINDOW(w);
        frmConvertSingleFile& dialog = *w.singleFileDialog();
        ScriptedPrompts scripted;
        showFor(dialog, scripted, "/PICS/A.BMP", [](frmConvertSingleFile& d) {
            QVERIFY(!d.chkBMP->isEnabled() && d.chkPNG->isEnabled() && d.focusWidget() == d.cmdCancel);
            d.chkJPG->click();
            d.chkWarnOnOverwrite->click();
            d.chkViewInBrowser->click();
            d.cboStep->setCurrentIndex(2);
            d.txbQuality[0]->setText("70");
            d.txbQuality[1]->setText("90");
            d.cmdDoIt->click();
        });
        QVERIFY(dialog.blnProceed && !dialog.chkWarnOnOverwrite->isChecked());
        showFor(dialog, scripted, "/pics/a.png", [](frmConvertSingleFile& d) {
            QVERIFY(!d.blnProceed && d.chkBMP->isEnabled() && !d.chkPNG->isEnabled() && d.chkJPG->isEnabled());
            QVERIFY(!d.chkBMP->isChecked() && !d.chkJPG->isChecked() && !d.fraQuality->isVisible());
            QVERIFY(d.chkWarnOnOverwrite->isChecked() && d.chkViewInBrowser->isChecked());
            QCOMPARE(d.cboStep->currentText() + ' ' + d.txbQuality[0]->text() + '-' + d.txbQuality[1]->text(), "20 70-90");
            d.txbQuality[1]->setText("70");
            d.close();
        });
        showFor(dialog, scripted, "/pics/a.jpg", [](frmConvertSingleFile& d) {
            QVERIFY(d.chkBMP->isEnabled() && d.chkPNG->isEnabled() && d.chkJPG->isEnabled());
            QCOMPARE(d.txbQuality[0]->text() + '-' + d.txbQuality[1]->text(), QStringLiteral("70-"));
            d.cmdCancel->click();
        });
        QVERIFY(!dialog.blnProceed);

        // The boxes of the formats added stand in a second column beside BMP,
        // PNG and JPG, which keep their places; a TIFF source is not offered
        // TIFF, a HEIC source is offered everything. Any format written at a
        // quality shows the quality frame, and the range message names those ticked.
        showFor(dialog, scripted, "/pics/scan.TIFF", [&](frmConvertSingleFile& d) {
            const auto at = [&d](const char* format) { return d.twipsGeometry(d.formatBox(format)); };
            QCOMPARE((QList<QRect>{at("BMP"), at("PNG"), at("JPG"), at("WEBP"), at("AVIF"), at("TIFF")}),
                     (QList<QRect>{{105, 1205, 960, 330}, {105, 1520, 960, 330}, {105, 1835, 855, 330},
                                   {1200, 1205, 960, 330}, {1200, 1520, 960, 330}, {1200, 1835, 855, 330}}));
            for (const char* format : {"WEBP", "AVIF", "TIFF"}) {
                QVERIFY(d.formatBox(format)->objectName() == QStringLiteral("chk") + format && d.formatBox(format)->accessibleName() == format);
                // Clear of the options and buttons on the right.
                for (QWidget* other : std::initializer_list<QWidget*>{d.chkViewInBrowser, d.cmdDoIt, d.cmdCancel})
                    QVERIFY2(!d.formatBox(format)->geometry().intersects(other->geometry()), qPrintable(other->objectName()));
            }
            QVERIFY(d.chkBMP->isEnabled() && d.chkPNG->isEnabled() && !d.formatBox("TIFF")->isEnabled());
            d.formatBox("WEBP")->click();
            QVERIFY(d.fraQuality->isVisible() && d.heightTwips() == 3570);
            d.formatBox("WEBP")->click();
            QVERIFY(!d.fraQuality->isVisible() && d.heightTwips() == 2800);
            d.chkJPG->click();
            d.formatBox("AVIF")->click();
            d.txbQuality[0]->setText("101");
            scripted.expectMessage("For conversion to JPG and AVIF the quality must be in the range 10 through 100.", "Input error",
                                   MsgButtons::Ok, MsgIcon::None);
            d.cmdDoIt->click();
            d.cmdCancel->click();
        });
        showFor(dialog, scripted, "/pics/IMG_1.heic", [](frmConvertSingleFile& d) {
            for (const QString& format : OutputFormatNames())
                QVERIFY2(d.formatBox(format)->isEnabled() && !d.formatBox(format)->isChecked(), qPrintable(format));
            QVERIFY(!d.fraQuality->isVisible());
            d.cmdCancel->click();
        });
        VERIFY_PROMPTS(scripted);
    }

    // Outputs go lossless formats first, then each quality of JPG, WEBP and
    // AVIF in turn, whatever order they were ticked in; the window ends on
    // the last one, its quality box shown. A HEIC source's preview, made with
    // its decode, enters the page once, above its targets; a TIFF target is
    // previewed too.
    void outputsInWritingOrder()
    {
        QVERIFY(writeBytes(dir_.filePath("IMG_1.HEIC"), "pic"));
        LOAD_MAIN_WINDOW(w);
        StandInCodecs engine;
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, dir_.filePath("IMG_1.HEIC"), {.bmp = true, .png = true, .jpg = true, .first = "90", .last = "80",
                                                                    .view = true, .look = [](frmConvertSingleFile& d) {
            for (const char* format : {"AVIF", "WEBP", "TIFF"})
                d.formatBox(format)->click();
        }});
        scripted.expectLaunch(dir_.filePath("viewer01.htm"));
        w.cmdConvertSingleFile->click();
        VERIFY_RUN_ENDED(w, scripted);
        QString report;
        for (const char* target : {"IMG_1.bmp.", "IMG_1.png.", "IMG_1.tif.", "IMG_1_q90.jpg with quality 90.", "IMG_1_q80.jpg with quality 80.",
                                   "IMG_1_q90.webp with quality 90.", "IMG_1_q80.webp with quality 80.",
                                   "IMG_1_q90.avif with quality 90.", "IMG_1_q80.avif with quality 80."})
            report += QStringLiteral("IMG_1.HEIC converted to\r\n%1\r\n\r\n").arg(target);
        QCOMPARE(withoutSizes(w.ReportText()), report + "Viewer file: " + dir_.filePath("viewer01.htm") + "\r\n");
        QCOMPARE(readAll(dir_.filePath("IMG_1_q80.avif")), StandInCodecs::madeFrom("IMG_1.HEIC", 80));
        QCOMPARE(w.cboFileFormat[0]->currentText() + w.cboFileFormat[1]->currentText() + w.txbQuality->text(), "HEICAVIF80");
        QVERIFY(w.txbQuality->isVisible());
        const QString page = QString::fromUtf8(readAll(dir_.filePath("viewer01.htm")));
        const QString source = JpegDataAddress(StandInCodecs::madeFrom("IMG_1.HEIC", 80));
        QCOMPARE(page.count(source), 1);
        QVERIFY(page.indexOf(source) < page.indexOf("IMG_1.bmp") && page.contains("IMG_1.HEIC, 3 bytes<P>"));
        QVERIFY(page.contains(JpegDataAddress(StandInCodecs::madeFrom("IMG_1.tif", 80))) && page.contains("IMG_1.tif, "));
    }

    // The existing-target dialog after a showing that overwrote another file
    // (the choices' effects are pinned by the batch test): an edit made for
    // another name is dropped by overwriting; leaving without "Continue"
    // (close box or Escape) skips the file, whatever option was selected.
    void choicesGiveTheirResults()
    {
        for (const auto& [option, leave, skipped] : {std::tuple("optChooseFilename", "continue", false),  // left unchanged
                                                     {"optOverwrite", "close", true}, {"optChooseFilename", "escape", true}}) {
            frmTargetFileExists dialog(&mainWindow_);
            ScriptedPrompts scripted;
            showFor(dialog, scripted, other_, choose("optOverwrite"));
            QCOMPARE(dialog.strExitFilepath, other_);
            showFor(dialog, scripted, "  " + entry_ + "  ", choose(option, leave));
            VERIFY_PROMPTS(scripted);
            QVERIFY(!dialog.isVisible() && dialog.strExtension == "jpg" && !dialog.blnCancelOperationAllFiles);
            QCOMPARE(dialog.blnCancelOperationThisFile, skipped);
            QCOMPARE(dialog.strExitFilepath, skipped ? QString() : entry_);
        }
    }

    // An edited name: each failed check tells why and keeps the dialog open
    // with the trimmed text; an accepted one is the path to write. "%1" stands
    // for the output folder. Another existing file is asked about: No keeps
    // the dialog open, Yes takes that path.
    void editedNameIsChecked_data()
    {
        columns<QString, bool, QString, bool>({"typed", "sameExtension", "message", "exclamation"});
        const QString invalid = "New filename is invalid.";
        QTest::newRow("other extension") << "%1b.png" << true << "New filename must have extension .jpg." << false;
        QTest::newRow("no such folder") << "%1nosuchfolder/b.jpg" << true << "Subdirectory does not exist." << true;
        QTest::newRow("extension without name") << "%1.jpg" << true << invalid << true;
        QTest::newRow("a folder named like an image") << "%1sub.jpg" << true << invalid << true;
        QTest::newRow("another existing file") << "%1other.jpg" << true << kInUse << false;
        QTest::newRow("extension in capitals, blanks") << " %1B.JPG  " << true << "" << false;
        QTest::newRow("other extension allowed") << "%1b.png" << false << "" << false;
    }
    void editedNameIsChecked()
    {
        QFETCH(QString, typed); QFETCH(bool, sameExtension); QFETCH(QString, message); QFETCH(bool, exclamation);
        const QString path = QString(typed).replace("%1", out_), trimmed = path.trimmed();
        const bool inUse = message == kInUse;
        frmTargetFileExists dialog(&mainWindow_);
        ScriptedPrompts scripted;
        showFor(dialog, scripted, entry_, [=, &scripted](frmTargetFileExists& d) {
            if (!message.isEmpty())  // an existing file is answered No, then Yes
                scripted.expectMessage(message, inUse ? "File exists" : "Error", inUse ? MsgButtons::YesNo : MsgButtons::Ok,
                                       exclamation ? MsgIcon::Exclamation : MsgIcon::None, MsgAnswer::No);
            if (inUse)
                scripted.expectMessage(kInUse, "File exists", MsgButtons::YesNo, MsgIcon::None, MsgAnswer::Yes);
            d.optChooseFilename->click();
            d.txbFilepath->setText(path);
            d.cmdContinue->click();
            if (message.isEmpty())
                return;
            QVERIFY(d.isVisible() && d.optChooseFilename->isChecked() && skipsThisFileOnly(d));
            QCOMPARE(d.txbFilepath->text(), trimmed);
            if (inUse)  // asked again, answered Yes
                d.cmdContinue->click();
            else
                d.close();
        }, sameExtension);
        VERIFY_PROMPTS(scripted);
        const bool accepted = message.isEmpty() || inUse;
        QVERIFY(!dialog.isVisible() && (accepted ? dialog.strExitFilepath == trimmed && !dialog.blnCancelOperationThisFile &&
                                                       !dialog.blnCancelOperationAllFiles
                                                 : skipsThisFileOnly(dialog)));
    }

    // The qualities of a range; ranges the dialog cannot produce must still end.
    void qualityPlanAlwaysEnds()
    {
        const struct { int from, to, step; QList<int> qualities; bool tagged; } rows[] = {
            {50, 50, 0, {50}, false}, {90, 10, 10, {90}, false}, {10, 15, 5, {10, 15}, true}, {100, 45, -30, {100, 70}, true}};
        for (const auto& r : rows) {
            const QualityPlan plan = PlanQualities(r.from, r.to, r.step);
            QCOMPARE(QList<int>(plan.qualities.begin(), plan.qualities.end()), r.qualities);
            QCOMPARE(plan.tagged, r.tagged);
        }
    }

    // The open dialog starts in the input folder; cancelling it, then the
    // formats dialog, changes nothing.
    void cancelledDialogsChangeNothing()
    {
        QVERIFY(writeImage(dir_.filePath("a.bmp")));
        LOAD_MAIN_WINDOW(w);
        w.AppendToReport("earlier\r\n");
        ScriptedPrompts scripted;
        scripted.expectOpenFile(kOpenTitle, QString());
        w.cmdConvertSingleFile->click();
        QCOMPARE(scripted.calls().first().title, QStringLiteral("AVIF, BMP, GIF, HEIC, JPG, PNG, TIFF and WEBP|*.avif;*.bmp;"
                                                                "*.gif;*.heic;*.heif;*.hif;*.jpg;*.jpeg;*.png;*.tif;*.tiff;*.webp"));
        QCOMPARE(w.focusWidget(), w.cmdConvertSingleFile);
        expectSingleFileRun(scripted, dir_.filePath("a.bmp"), {.png = true, .cancel = true, .look = [](frmConvertSingleFile& d) {
            QCOMPARE(d.txbFile->text(), d.strFilepath);
        }});
        w.cmdConvertSingleFile->click();
        QVERIFY(waitForRun(w));
        QVERIFY(w.txbFolderForImages[0]->text().isEmpty() && writtenFiles("a.bmp").isEmpty() && idle(w));
        QCOMPARE(w.ReportText(), QStringLiteral("earlier\r\n"));
        QCOMPARE(w.focusWidget(), w.cmdConvertSingleFile);
        w.txbFolderForImages[0]->setText(dir_.path() + "/");
        scripted.expectOpenFile(kOpenTitle, QString());
        w.cmdConvertSingleFile->click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(QDir::currentPath(), QDir(dir_.path()).canonicalPath());
        QDir::setCurrent(QDir::homePath());
    }

    // A source that cannot be read ends the formats, but every quality of a
    // JPG range is still tried. The formats dialog offers every format for an
    // unlisted extension; the file is still tried, and its page without images is not kept.
    // The existing target of an output skipped is not asked about; one tried is, and kept.
    void readFailure_data()
    {
        columns<QString, QByteArray, bool, bool, bool, QString, int, QString>({"source", "bytes", "bmp", "png", "jpg", "last", "readErrors", "existing"});
        const QByteArray junk = "this is no picture at all";
        QTest::newRow("BMP fails, PNG and JPG skipped") << "bad.jpg" << junk << true << true << true << "" << 1 << "bad.png";
        QTest::newRow("every quality tried") << "bad.png" << junk << false << false << true << "90" << 3 << "bad_q80.jpg";
        QTest::newRow("unlisted extension") << "scan.pcx" << QByteArray("II*\0 not really", 16) << false << true << false << "" << 1 << "";
    }
    void readFailure()
    {
        QFETCH(QString, source); QFETCH(QByteArray, bytes); QFETCH(bool, bmp); QFETCH(bool, png); QFETCH(bool, jpg);
        QFETCH(QString, last); QFETCH(int, readErrors); QFETCH(QString, existing);
        QVERIFY(writeBytes(dir_.filePath(source), bytes) && (existing.isEmpty() || writeBytes(dir_.filePath(existing), "old")));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, dir_.filePath(source), {.bmp = bmp, .png = png, .jpg = jpg, .first = "70", .last = last, .view = source == "scan.pcx"});
        if (existing.contains("_q"))
            scripted.expectModal("frmTargetFileExists", [](QDialog& d) { choose("optOverwrite")(static_cast<frmTargetFileExists&>(d)); });
        w.cmdConvertSingleFile->click();
        VERIFY_RUN_ENDED(w, scripted);
        const QString report = w.ReportText();
        QVERIFY(report.startsWith(source));
        QCOMPARE((QList<qsizetype>{report.count("*** Read error: "), report.count(source + " (")}), (QList<qsizetype>{readErrors, readErrors}));
        QCOMPARE(w.InputFormatFilter, QFileInfo(source).suffix().toUpper());
        QCOMPARE(w.cboFileFormat[0]->currentIndex() == 0, source == "scan.pcx");
        QCOMPARE(writtenFiles(source), existing.isEmpty() ? QStringList() : QStringList{existing});
        QVERIFY(idle(w) && (existing.isEmpty() || readAll(dir_.filePath(existing)) == "old"));
    }

    // A JPG source converted to JPG at one quality meets itself as the target.
    // Written, it keeps its untagged name, and the window is left set up for
    // the same conversion as a batch.
    void sourceAsItsOwnTarget()
    {
        for (const auto& [dialogWarn, mainWarn, asked] : {std::tuple(true, true, true), std::tuple(false, true, false), std::tuple(true, false, false)}) {
            QVERIFY(writeImage(dir_.filePath("self.jpg")));
            const QByteArray before = readAll(dir_.filePath("self.jpg"));
            LOAD_MAIN_WINDOW(w);
            w.chkWarnOnOverwrite->setChecked(mainWarn);
            ScriptedPrompts scripted;
            expectSingleFileRun(scripted, dir_.filePath("self.jpg"), {.jpg = true, .first = "50", .warn = dialogWarn});
            if (asked)
                scripted.expectModal("frmTargetFileExists", [](QDialog& shown) {
                    auto& d = static_cast<frmTargetFileExists&>(shown);
                    QVERIFY(!d.optCancelOperationAllFiles->isVisible());  // no stopping everything in a single-file run
                    d.optCancelOperationThisFile->click();
                    d.cmdContinue->click();
                });
            w.cmdConvertSingleFile->click();
            VERIFY_RUN_ENDED(w, scripted);
            QVERIFY(writtenFiles("self.jpg").isEmpty() && idle(w));
            if (asked) {
                QCOMPARE(w.ReportText(), QStringLiteral("self.jpg -- Existing JPG file not overwritten.\r\n\r\n"));
                QCOMPARE(readAll(dir_.filePath("self.jpg")), before);
                continue;
            }
            QVERIFY(w.ReportText().startsWith("self.jpg (") && w.ReportText().endsWith(" with quality 50.\r\n\r\n"));
            QCOMPARE(w.ReportText().count(" converted to\r\nself.jpg ("), 1);
            const QString folder = dir_.path() + "/";
            QCOMPARE(w.txbFolderForImages[0]->text() + w.txbFolderForImages[1]->text(), folder + folder);
            QCOMPARE(w.cboFileFormat[0]->currentText() + w.cboFileFormat[1]->currentText() + w.txbQuality->text(), "JPGJPG50");
            QCOMPARE(w.focusWidget(), w.cmdConvertFiles);
        }
    }

    // The source is decoded before anything else starts; then its outputs
    // convert two at a time and end in any order, an output's question comes
    // while others convert, and the report and the viewer page keep the order
    // BMP, then each quality. A folder where the BMP would go fails it alone.
    void outputsInFlight()
    {
        const QString src = dir_.filePath("photo.png");
        QVERIFY(writeImage(src) && QDir().mkpath(dir_.filePath("photo.bmp")) && writeBytes(dir_.filePath("photo_q80.jpg"), "old"));
        LOAD_MAIN_WINDOW(w);
        HeldTranscoder engine;
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, src, {.bmp = true, .jpg = true, .first = "90", .last = "70", .view = true});
        scripted.expectModal("frmTargetFileExists", [&](QDialog& shown) {
            QCOMPARE(engine.started(), (QStringList{"photo.bmp", "photo.png", "photo_q90.jpg"}));
            QCOMPARE(w.ReportText(), QStringLiteral("photo.png"));
            choose("optOverwrite")(static_cast<frmTargetFileExists&>(shown));
        });
        scripted.expectLaunch(dir_.filePath("viewer01.htm"));
        w.cmdConvertSingleFile->click();
        QVERIFY(engine.waitForStarted(1));
        QCOMPARE(w.lblConvertingFile->text(), QStringLiteral("Converting photo.png (107 bytes)"));
        engine.release("photo.png");
        QVERIFY(engine.waitForStarted(3));
        for (const char* name : {"photo_q90.jpg", "photo_q80.jpg", "photo_q70.jpg"})
            engine.release(name);
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(dir_.filePath("photo_q70.jpg")); }));
        QTest::qWait(50);
        QCOMPARE(w.ReportText(), QStringLiteral("photo.png"));
        engine.releaseAll();
        VERIFY_RUN_ENDED(w, scripted);
        QString report = "photo.png\r\n*** Write error: " + TranscodeFile(src, dir_.filePath("photo.bmp"), 80).message + "\r\n\r\n";
        for (const char* quality : {"90", "80", "70"})
            report += QStringLiteral("photo.png converted to\r\nphoto_q%1.jpg with quality %1.\r\n\r\n").arg(quality);
        QCOMPARE(withoutSizes(w.ReportText()), report + "Viewer file: " + dir_.filePath("viewer01.htm") + "\r\n");
        const QString page = QString::fromUtf8(readAll(dir_.filePath("viewer01.htm")));
        QVERIFY(page.count("photo.png, ") == 1 && page.indexOf("q90") < page.indexOf("q80") && page.indexOf("q80") < page.indexOf("q70"));
        QVERIFY(QDir(dir_.filePath("photo.bmp")).removeRecursively());
    }

    // Stop while the source is decoded: its first output counts as started,
    // as it would one output at a time, and is written; no other is.
    void stopWhileDecoding()
    {
        QVERIFY(writeImage(dir_.filePath("photo.png")));
        LOAD_MAIN_WINDOW(w);
        HeldTranscoder engine;
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, dir_.filePath("photo.png"), {.bmp = true, .jpg = true, .first = "90", .last = "70"});
        w.cmdConvertSingleFile->click();
        QVERIFY(engine.waitForStarted(1));
        w.cmdStop->click();
        engine.releaseAll();
        VERIFY_RUN_ENDED(w, scripted);
        QCOMPARE(writtenFiles("photo.png"), QStringList{"photo.bmp"});
        QVERIFY(w.ReportText().endsWith(".\r\n\r\nOperation stopped.\r\n"));
    }
};

QTEST_MAIN(TestSingle)
#include "tst_single.moc"
