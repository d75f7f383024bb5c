// "Convert single file" over real files: quality ranges, failures, its own target, Stop and Quit.
#include "Fixtures.h"
#include "ScriptedPrompts.h"
#include "QualityPlan.h"
#include "frmConvertSingleFile.h"
#include "frmTargetFileExists.h"

#include <QRegularExpression>

using namespace pictoria;
using namespace pictoria::testing;

namespace {

const QString kOpenTitle = QStringLiteral("Specify file to be converted");
const QString kDialog = QStringLiteral("frmConvertSingleFile");

struct Choice {
    bool bmp = false, png = false, jpg = false;
    QString first = QStringLiteral("80"), last{}, step = QStringLiteral("10");
    bool warn = true, view = false;
    // Run at the first yield to the event loop once the dialog is closed.
    std::function<void()> duringRun{};
};

// Scripts the open-file dialog answering @p path and the formats dialog
// answering @p choice.
void scriptRun(ScriptedPrompts& scripted, const QString& path, const Choice& choice)
{
    scripted.expectOpenFile(kOpenTitle, path);
    scripted.expectModal(kDialog, [choice](QDialog& shown) {
        auto& d = static_cast<frmConvertSingleFile&>(shown);
        d.chkBMP->setChecked(choice.bmp);
        d.chkPNG->setChecked(choice.png);
        d.chkJPG->setChecked(choice.jpg);
        d.txbQuality[0]->setText(choice.first);
        d.txbQuality[1]->setText(choice.last);
        d.cboStep->setCurrentText(choice.step);
        d.chkWarnOnOverwrite->setChecked(choice.warn);
        d.chkViewInBrowser->setChecked(choice.view);
        d.cmdDoIt->click();
        if (choice.duringRun)
            QTimer::singleShot(0, &d, choice.duringRun);
    });
}

// The names of the files written, in the order the report gives them.
QStringList convertedNames(const QString& report)
{
    static const QRegularExpression converted(QStringLiteral("converted to\r\n(\\S+) \\("));
    QStringList names;
    for (const QRegularExpressionMatch& m : converted.globalMatch(report))
        names << m.captured(1);
    return names;
}

// Files of @p dir other than @p source, sorted.
QStringList writtenFiles(const QTemporaryDir& dir, const QString& source)
{
    QStringList names = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    names.removeAll(source);
    return names;
}

bool idle(const frmMain& w)
{
    return w.cmdConvertSingleFile->isEnabled() && w.cmdConvertFiles->isEnabled() && w.cmdHelp->isEnabled() &&
           w.chkWarnOnOverwrite->isEnabled() && !w.cmdStop->isVisible() && w.lblOnlineDocumentation->isVisible();
}

}  // namespace

class TestSingleFile : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files))
            QFile::remove(dir_.filePath(name));
    }

    // The qualities of a range; ranges the dialog cannot produce must still end.
    void qualityPlanAlwaysEnds_data()
    {
        columns<int, int, int, QList<int>, bool>({"from", "to", "step", "qualities", "tagged"});
        QTest::newRow("step 0") << 50 << 50 << 0 << QList<int>{50} << false;
        QTest::newRow("rising step, falling bounds") << 90 << 10 << 10 << QList<int>{90} << false;
        QTest::newRow("exactly two") << 10 << 15 << 5 << QList<int>{10, 15} << true;
        QTest::newRow("falling past the end") << 100 << 45 << -30 << QList<int>{100, 70} << true;
    }
    void qualityPlanAlwaysEnds()
    {
        QFETCH(int, from); QFETCH(int, to); QFETCH(int, step); QFETCH(QList<int>, qualities); QFETCH(bool, tagged);
        const QualityPlan plan = PlanQualities(from, to, step);
        QCOMPARE(QList<int>(plan.qualities.begin(), plan.qualities.end()), qualities);
        QCOMPARE(plan.tagged, tagged);
    }

    // The open dialog starts in the input folder; cancelling it, then the
    // formats dialog, changes nothing.
    void cancelledDialogsChangeNothing()
    {
        QVERIFY(writeImage(dir_.filePath("a.bmp")));
        LOAD_MAIN_WINDOW(w);
        w.AppendToReport(QStringLiteral("earlier\r\n"));
        ScriptedPrompts scripted;
        scripted.expectOpenFile(kOpenTitle, QString());
        w.cmdConvertSingleFile->click();
        QVERIFY(waitForRun(w));
        QCOMPARE(scripted.calls().first().title, QStringLiteral("BMP, GIF, JPG and PNG|*.bmp;*.gif;*.jpg;*.png"));
        QCOMPARE(w.focusWidget(), w.cmdConvertSingleFile);
        scripted.expectOpenFile(kOpenTitle, dir_.filePath("a.bmp"));
        scripted.expectModal(kDialog, [](QDialog& d) {
            auto& dialog = static_cast<frmConvertSingleFile&>(d);
            QCOMPARE(dialog.txbFile->text(), dialog.strFilepath);
            dialog.chkPNG->click();
            dialog.cmdCancel->click();
        });
        w.cmdConvertSingleFile->click();
        QVERIFY(waitForRun(w));
        QVERIFY(w.txbFolderForImages[0]->text().isEmpty());
        QCOMPARE(w.ReportText(), QStringLiteral("earlier\r\n"));
        QCOMPARE(writtenFiles(dir_, "a.bmp"), QStringList());
        QCOMPARE(w.focusWidget(), w.cmdConvertSingleFile);
        QVERIFY(idle(w));
        // The open dialog starts in the input folder.
        w.txbFolderForImages[0]->setText(dir_.path() + "/");
        scripted.expectOpenFile(kOpenTitle, QString());
        w.cmdConvertSingleFile->click();
        QVERIFY(waitForRun(w));
        VERIFY_PROMPTS(scripted);
        QCOMPARE(QDir::currentPath(), QDir(dir_.path()).canonicalPath());
        QDir::setCurrent(QDir::homePath());
    }

    // One quality writes an untagged name (ranges run end to end, their order is
    // in the plan table); the window is left set up for the same conversion as a batch.
    void oneQualityAndTheWindowAfterwards()
    {
        QVERIFY(writeImage(dir_.filePath("a.bmp")));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        scriptRun(scripted, dir_.filePath("a.bmp"), {.jpg = true, .first = "60", .step = "30"});
        w.cmdConvertSingleFile->click();
        QVERIFY(waitForRun(w));
        VERIFY_PROMPTS(scripted);
        const QString report = w.ReportText();
        QCOMPARE(convertedNames(report), QStringList{"a.jpg"});
        QVERIFY(report.startsWith("a.bmp (") && report.endsWith(") with quality 60.\r\n\r\n"));
        QCOMPARE(writtenFiles(dir_, "a.bmp"), QStringList{"a.jpg"});
        const QString folder = dir_.path() + "/";
        QCOMPARE(w.txbFolderForImages[0]->text() + w.txbFolderForImages[1]->text(), folder + folder);
        QCOMPARE(w.cboFileFormat[0]->currentText() + w.cboFileFormat[1]->currentText(), QStringLiteral("BMPJPG"));
        QCOMPARE(w.txbQuality->text(), QStringLiteral("60"));
        QVERIFY(idle(w));
        QCOMPARE(w.focusWidget(), w.cmdConvertFiles);
    }

    // A source that cannot be read ends the formats, but every quality of a
    // JPG range is still tried.
    void readFailure_data()
    {
        // The formats dialog offers every format for an unlisted extension;
        // the file is still tried, and its page without images is not kept.
        columns<QString, QByteArray, bool, bool, bool, QString, int>({"source", "bytes", "bmp", "png", "jpg", "last", "readErrors"});
        const QByteArray junk = "this is no picture at all";
        QTest::newRow("BMP fails, PNG and JPG skipped") << "bad.jpg" << junk << true << true << true << "" << 1;
        QTest::newRow("every quality tried") << "bad.png" << junk << false << false << true << "90" << 3;
        QTest::newRow("unlisted extension") << "scan.tif" << QByteArray("II*\0 not really", 16) << false << true << false << "" << 1;
    }
    void readFailure()
    {
        QFETCH(QString, source); QFETCH(QByteArray, bytes); QFETCH(bool, bmp); QFETCH(bool, png); QFETCH(bool, jpg);
        QFETCH(QString, last); QFETCH(int, readErrors);
        QVERIFY(writeBytes(dir_.filePath(source), bytes));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        scriptRun(scripted, dir_.filePath(source),
                  {.bmp = bmp, .png = png, .jpg = jpg, .first = "70", .last = last, .view = source == "scan.tif"});
        w.cmdConvertSingleFile->click();
        QVERIFY(waitForRun(w));
        VERIFY_PROMPTS(scripted);
        const QString report = w.ReportText();
        QVERIFY(report.startsWith(source));
        QCOMPARE(report.count(QStringLiteral("*** Read error: ")), readErrors);
        QCOMPARE(report.count(source + QStringLiteral(" (")), readErrors);
        QCOMPARE(w.InputFormatFilter, QFileInfo(source).suffix().toUpper());
        if (source == "scan.tif")
            QCOMPARE(w.cboFileFormat[0]->currentIndex(), 0);
        QCOMPARE(writtenFiles(dir_, source), QStringList());
        QVERIFY(idle(w));
    }

    // A JPG source converted to JPG at one quality meets itself as the target.
    void sourceAsItsOwnTarget_data()
    {
        columns<bool, bool, bool>({"dialogWarn", "mainWarn", "asked"});
        QTest::newRow("both warn") << true << true << true;
        QTest::newRow("dialog box off") << false << true << false;
        QTest::newRow("main box off") << true << false << false;
    }
    void sourceAsItsOwnTarget()
    {
        QFETCH(bool, dialogWarn); QFETCH(bool, mainWarn); QFETCH(bool, asked);
        QVERIFY(writeImage(dir_.filePath("self.jpg")));
        const QByteArray before = readAll(dir_.filePath("self.jpg"));
        LOAD_MAIN_WINDOW(w);
        w.chkWarnOnOverwrite->setChecked(mainWarn);
        ScriptedPrompts scripted;
        scriptRun(scripted, dir_.filePath("self.jpg"), {.jpg = true, .first = "50", .warn = dialogWarn});
        if (asked) {
            scripted.expectModal(QStringLiteral("frmTargetFileExists"), [](QDialog& shown) {
                auto& d = static_cast<frmTargetFileExists&>(shown);
                // No stopping everything in a single-file run.
                QVERIFY(!d.optCancelOperationAllFiles->isVisible());
                d.optCancelOperationThisFile->click();
                d.cmdContinue->click();
            });
        }
        w.cmdConvertSingleFile->click();
        QVERIFY(waitForRun(w));
        VERIFY_PROMPTS(scripted);
        if (asked) {
            QCOMPARE(w.ReportText(), QStringLiteral("self.jpg -- Existing JPG file not overwritten.\r\n\r\n"));
            QCOMPARE(readAll(dir_.filePath("self.jpg")), before);
        } else {
            QVERIFY(w.ReportText().contains("converted to\r\nself.jpg (") && w.ReportText().endsWith(" with quality 50.\r\n\r\n"));
        }
        QCOMPARE(writtenFiles(dir_, "self.jpg"), QStringList());
        QVERIFY(idle(w));
    }

    // Stop ends the run after the conversion in hand; Quit ends it without
    // the browser or a message.
    void interruptedRun_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::newRow("Stop") << false;
        QTest::newRow("Quit") << true;
    }
    void interruptedRun()
    {
        QFETCH(bool, quit);
        QVERIFY(writeImage(dir_.filePath("s.png")));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        bool busy = false;
        auto interrupt = [&w, &busy, quit] {
            busy = w.cmdStop->isEnabled() && !w.cmdConvertFiles->isEnabled();
            (quit ? w.cmdQuit : w.cmdStop)->click();
        };
        scriptRun(scripted, dir_.filePath("s.png"),
                  {.bmp = true, .jpg = true, .first = "70", .last = "90", .view = true, .duringRun = interrupt});
        if (!quit)
            scripted.expectLaunch(dir_.filePath("viewer01.htm"));
        w.cmdConvertSingleFile->click();
        QVERIFY(waitForRun(w));
        VERIFY_PROMPTS(scripted);
        QVERIFY(busy);
        QCOMPARE(w.isQuitting(), quit);
        QVERIFY(!QFile::exists(dir_.filePath("s_q70.jpg")));
        if (quit)
            return;
        const QString report = w.ReportText();
        QCOMPARE(convertedNames(report), QStringList{"s.bmp"});
        QVERIFY(report.contains(QStringLiteral(".\r\n\r\nOperation stopped.\r\n")));
        QCOMPARE(writtenFiles(dir_, "s.png"), (QStringList{"s.bmp", "viewer01.htm"}));
        QVERIFY(idle(w));
    }

private:
    QTemporaryDir dir_;
};

QTEST_MAIN(TestSingleFile)
#include "tst_singlefile.moc"
