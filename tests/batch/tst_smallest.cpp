// The automatic quality: the smallest lossy output that still looks like its
// source. Its texts and rules without a window, then the main window's and the
// dialog's controls and real runs with the engine's search and score scripted.
#include "Fixtures.h"
#include "SmallestQuality.h"
#include "Twips.h"

using namespace pictoria;
using namespace pictoria::testing;

namespace {

constexpr int kBmp = 1, kJpg = 3;
const QString kInputError = "Input error";
const QString kTargetMessage = "For the smallest file that looks the same the score must be in the range 30 through 99.";

// The caption lines of the page's entries of @p names.
QStringList captions(const QString& page, const QStringList& names)
{
    QStringList lines;
    for (const QString& name : names)
        lines << QRegularExpression("[^\r\n]*/" + QRegularExpression::escape(name) + ", [^\r\n]*").match(page).captured(0)
                     .remove(QRegularExpression("^.*/")).remove(QRegularExpression(", [0-9,]+ bytes"));
    return lines;
}

// The captures of @p pattern in @p text; empty ones when it does not match.
QStringList captures(const QString& pattern, const QString& text)
{
    const QRegularExpressionMatch m = QRegularExpression(pattern).match(text);
    return m.hasMatch() ? m.capturedTexts().mid(1) : QStringList{"", ""};
}

}  // namespace

class TestSmallest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init()
    {
        conversionPool().setMaxThreadCount(2);
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files))
            QFile::remove(dir_.filePath(name));
    }

    // A score is cut, not rounded, to one decimal, so its word and the mark
    // never claim more than the number shows. (The notes built from them are
    // seen in the runs' reports and pages below.) Only lossy outputs scored
    // at 90 or more take part in the mark; the smallest file wins.
    void scoreWordsTargetsAndTheMark()
    {
        const struct { double score; const char* text; const char* word; } rows[] = {
            {100, "100.0", "visually lossless"}, {90, "90.0", "visually lossless"}, {89.99, "89.9", "very high"},
            {80, "80.0", "very high"}, {79.96, "79.9", "high"}, {70, "70.0", "high"}, {50, "50.0", "medium"},
            {49.9, "49.9", "low"}, {-3.25, "-3.3", "low"}};
        for (const auto& r : rows)
            QCOMPARE((QStringList{ScoreText(r.score), ScoreWord(r.score)}), (QStringList{r.text, r.word}));
        QVERIFY(ScoreTargetFromText("30") == 30 && ScoreTargetFromText("+99") == 99);
        QVERIFY(!ScoreTargetFromText("29") && !ScoreTargetFromText("100") && !ScoreTargetFromText("") && !ScoreTargetFromText("99999"));
        QCOMPARE(SmallestLookingTheSame({{500, true, 95}, {300, true, 90.0}, {200, true, 89.99}, {100, false, std::nullopt},
                                         {250, true, std::nullopt}, {400, true, 99}}),
                 std::optional<std::size_t>(1));
        QCOMPARE(SmallestLookingTheSame({{100, true, 80}, {50, false, std::nullopt}}), std::nullopt);
    }

    // The check box and the target box come and go with the quality box, to
    // its right in its row, in a window widened to hold them.
    void mainWindowControls()
    {
        LOAD_MAIN_WINDOW(w);
        QCOMPARE(w.width(), TwipsToPixels(13865));
        QVERIFY(w.chkSmallestLooksSame->sizeHint().width() <= w.chkSmallestLooksSame->width());
        QCOMPARE((QList<QRect>{w.chkSmallestLooksSame->geometry(), w.txbTarget->geometry()}),
                 (QList<QRect>{TwipsRect(10590, 1440, 2550, 315), TwipsRect(13230, 1440, 500, 315)}));
        QCOMPARE((QStringList{w.chkSmallestLooksSame->text(), w.chkSmallestLooksSame->accessibleName(), w.txbTarget->accessibleName(),
                              w.txbTarget->text()}),
                 (QStringList{"Smallest that looks the same", "Smallest that looks the same", "Target score", "90"}));
        for (const int format : {kJpg, kBmp}) {
            w.cboFileFormat[1]->setCurrentIndex(format);
            QVERIFY(w.chkSmallestLooksSame->isVisible() == (format == kJpg) && w.txbTarget->isVisible() == (format == kJpg));
        }
        w.chkSmallestLooksSame->setChecked(true);
        w.txbTarget->setText("55");
        w.ResetParameters();
        QVERIFY(!w.chkSmallestLooksSame->isChecked() && w.txbTarget->text() == "90");
    }

    // A target outside 30..99 stops a ticked batch with the input error; the
    // same text unticked is not looked at. Ticked, each file is searched for
    // the target typed (letters dropped); the report lines tell the quality
    // and the score, or that 100 fell short, or why the fixed quality was
    // taken. The viewer page shows the scores found.
    void automaticBatch()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kJpg) && makeFiles(b.in, {"a.bmp", "b.bmp", "c.bmp"}));
        HeldTranscoder engine;
        engine.found = {{"a.bmp", {true, 72, 90.43, true}}, {"b.bmp", {true, 100, 85.27, false}}};
        engine.notWhole << "c.bmp";
        engine.releaseAll();
        ScriptedPrompts scripted;
        b.w.chkSmallestLooksSame->setChecked(true);
        for (const char* refused : {"29", "100", ""}) {
            b.w.txbTarget->setText(refused);
            scripted.expectMessage(kTargetMessage, kInputError, MsgButtons::Ok, MsgIcon::Exclamation);
            b.w.cmdConvertFiles->click();
            VERIFY_RUN_ENDED(b.w, scripted);
        }
        QVERIFY(QDir(b.out).isEmpty());
        b.w.chkSmallestLooksSame->setChecked(false);
        b.w.txbTarget->setText("5");
        b.w.cmdConvertFiles->click();
        VERIFY_RUN_ENDED(b.w, scripted);
        QVERIFY(QFile::exists(b.out + "a.jpg") && !b.w.ReportText().contains("score"));

        scripted.expectLaunch(b.in + "viewer01.htm");
        b.w.chkWarnOnOverwrite->setChecked(false);
        b.w.chkViewMultipleInBrowser->setChecked(true);
        b.w.chkSmallestLooksSame->setChecked(true);
        b.w.txbTarget->setText("8a8");
        b.w.txbQuality->setText("60");
        b.w.cmdConvertFiles->click();
        VERIFY_RUN_ENDED(b.w, scripted);
        QCOMPARE(b.w.txbTarget->text(), QStringLiteral("88"));
        QCOMPARE(b.w.ReportText(), "a.bmp -> a.jpg [OK] quality 72, score 90.4\r\n"
                                   "b.bmp -> b.jpg [OK] quality 100, score 85.2, short of the target 88\r\n"
                                   "c.bmp -> c.jpg [OK] quality 60, not searched: the picture is too large to hold\r\n"
                                   "\r\nNumber of BMP files converted: 3 (of 3 input)\r\nViewer file: " + b.in + "viewer01.htm\r\n");
        // The searched scores are shown as found; only the unsearched output is measured.
        QCOMPARE(engine.scored(), QStringList{"c.jpg"});
        QCOMPARE(captions(QString::fromUtf8(readAll(b.in + "viewer01.htm")), {"a.jpg", "b.jpg", "c.jpg"}),
                 (QStringList{"a.jpg, score 90.4, visually lossless, the smallest that looks the same (from a.bmp)<BR>",
                              "b.jpg, score 85.2, very high (from b.bmp)<BR>",
                              "c.jpg, score 95.0, visually lossless, the smallest that looks the same (from c.bmp)<BR>"}));
    }

    // The dialog's second quality row: the frame and the window grow, the
    // buttons follow; the target comes from the main window, and one out of
    // range keeps the dialog open. Unticked, the page of a quality range waits
    // for the scores of its outputs, measured after they are written; each
    // gets its word (or why it has none), and the smallest file scoring 90 or
    // more is marked. A PNG beside them is not scored.
    void dialogAndScoredRange()
    {
        const QString src = dir_.filePath("photo.bmp");
        QVERIFY(writeImage(src));
        LOAD_MAIN_WINDOW(w);
        w.txbTarget->setText("85");
        HeldTranscoder engine;
        engine.scores = {{"photo_q30.jpg", std::nullopt}, {"photo_q60.jpg", 91.5}, {"photo_q90.jpg", 97.04}};
        engine.releaseAll();
        ScriptedPrompts scripted;
        const auto look = [&](frmConvertSingleFile& d) {
            QCOMPARE(d.txbTarget->text(), QStringLiteral("85"));
            d.chkJPG->setChecked(true);
            QCOMPARE((QList<QRect>{d.twipsGeometry(d.fraQuality), d.twipsGeometry(d.chkSmallestLooksSame),
                                   d.twipsGeometry(d.txbTarget), QRect(0, d.twipsGeometry(d.cmdDoIt).top(), 0, d.twipsGeometry(d.cmdCancel).top())}),
                     (QList<QRect>{QRect(105, 2150, 3480, 855), QRect(0, 500, 2980, 330), QRect(3030, 470, 450, 360),
                                   QRect(0, 3570 - 1340, 0, 3570 - 920)}));
            QVERIFY(d.heightTwips() == 3570 && d.chkSmallestLooksSame->text() == "Smallest that looks the same:" &&
                    d.txbTarget->accessibleName() == "Target score");
            // The whole caption shows, and the target box stays inside the frame.
            QVERIFY(d.chkSmallestLooksSame->sizeHint().width() <= d.chkSmallestLooksSame->width() &&
                    d.txbTarget->geometry().right() < d.fraQuality->width());
            d.chkSmallestLooksSame->setChecked(true);
            d.txbTarget->setText("2a9");
            scripted.expectMessage(kTargetMessage, kInputError, MsgButtons::Ok, MsgIcon::Exclamation);
            d.cmdDoIt->click();
            QVERIFY(d.isVisible() && !d.blnProceed && d.txbTarget->text() == "29");
            d.chkJPG->setChecked(false);
            QVERIFY(d.heightTwips() == 2800 && d.twipsGeometry(d.cmdCancel).top() == 2800 - 920);
            scripted.expectLaunch(dir_.filePath("viewer01.htm"));  // after the refusal
        };
        expectSingleFileRun(scripted, src, {.png = true, .jpg = true, .first = "30", .last = "90", .step = "30", .view = true, .look = look});
        w.cmdConvertSingleFile->click();
        VERIFY_RUN_ENDED(w, scripted);
        QCOMPARE(engine.scored(), (QStringList{"photo_q30.jpg", "photo_q60.jpg", "photo_q90.jpg"}));
        QVERIFY(QFileInfo(dir_.filePath("photo_q60.jpg")).size() < QFileInfo(dir_.filePath("photo_q90.jpg")).size());
        const QString page = QString::fromUtf8(readAll(dir_.filePath("viewer01.htm")));
        QCOMPARE(captions(page, {"photo.png", "photo_q30.jpg", "photo_q60.jpg", "photo_q90.jpg"}),
                 (QStringList{"photo.png (from photo.bmp)<BR>", "photo_q30.jpg, not scored: cannot be scored (from photo.bmp)<BR>",
                              "photo_q60.jpg, score 91.5, visually lossless, the smallest that looks the same (from photo.bmp)<BR>",
                              "photo_q90.jpg, score 97.0, visually lossless (from photo.bmp)<BR>"}));
        QCOMPARE(page.count("photo.bmp, "), 1);
    }

    // Ticked, JPG gives one file named by the quality its search finds, in
    // place of the range; a source that cannot be held whole takes the
    // range's first quality, and its line says why. A JPG's question waits
    // for its search, and the next file's, decoded meanwhile, for it:
    // questions and report in output order. The target goes back to the main window.
    void singleFilesNamedByQualityFound()
    {
        QVERIFY(makeFiles(dir_.path(), {"a.png", "b.png", "a.bmp=old", "a_q72.jpg=old", "b.bmp=old"}));
        LOAD_MAIN_WINDOW(w);
        HeldTranscoder engine;
        engine.found["a.png"] = {true, 72, 93.37, true};
        engine.notWhole << "b.png";
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, {}, {.bmp = true, .jpg = true, .first = "90", .last = "50", .smallest = true, .target = "93"});
        QStringList asked;
        for (int i = 0; i < 3; ++i)
            scripted.expectModal("frmTargetFileExists", [&](QDialog& shown) {
                auto& d = static_cast<frmTargetFileExists&>(shown);
                asked << QFileInfo(d.strEntryFilepath).fileName();
                d.optOverwrite->click();
                d.cmdContinue->click();
            });
        w.ConvertSingleFiles({dir_.filePath("a.png"), dir_.filePath("b.png")});
        QVERIFY(engine.waitForStarted(1));
        engine.release("a.png");
        QVERIFY(QTest::qWaitFor([&] { return asked.size() == 1; }));
        for (const char* name : {"a.bmp", "a_q72.jpg", "b.png", "b.bmp", "b_q90.jpg"})  // all but a's search
            engine.release(name);
        QVERIFY(QTest::qWaitFor([&] { return engine.started().contains("b.png"); }));
        QTest::qWait(100);
        QCOMPARE(asked, QStringList{"a.bmp"});
        engine.releaseAll();
        VERIFY_RUN_ENDED(w, scripted);
        QCOMPARE(asked, (QStringList{"a.bmp", "a_q72.jpg", "b.bmp"}));
        QCOMPARE(withoutSizes(w.ReportText()), "a.png converted to\r\na.bmp.\r\n\r\n"
                                               "a.png converted to\r\na_q72.jpg with quality 72, score 93.3.\r\n\r\n"
                                               "b.png converted to\r\nb.bmp.\r\n\r\n"
                                               "b.png converted to\r\nb_q90.jpg with quality 90, not searched: the picture is too large to hold.\r\n\r\n");
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files, QDir::Name),
                 (QStringList{"a.bmp", "a.png", "a_q72.jpg", "b.bmp", "b.png", "b_q90.jpg"}));
        QVERIFY(readAll(dir_.filePath("a_q72.jpg")).startsWith("\xFF\xD8") && readAll(dir_.filePath("b.bmp")) != "old");
        QVERIFY(!engine.started().contains("b.png search") && w.txbTarget->text() == "93");
    }

    // Stop while a file's search runs: its output has started, as one at a
    // time it would have, and is written; the next file's outputs do not start.
    void stopWhileSearching()
    {
        QVERIFY(makeFiles(dir_.path(), {"a.png", "b.png"}));
        LOAD_MAIN_WINDOW(w);
        HeldTranscoder engine;
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, {}, {.jpg = true, .smallest = true});
        w.ConvertSingleFiles({dir_.filePath("a.png"), dir_.filePath("b.png")});
        QVERIFY(engine.waitForStarted(1));
        engine.release("a.png");
        QVERIFY(QTest::qWaitFor([&] { return engine.started().contains("a.png search"); }));
        w.cmdStop->click();
        engine.releaseAll();
        VERIFY_RUN_ENDED(w, scripted);
        QVERIFY(QFile::exists(dir_.filePath("a_q70.jpg")) && !QFile::exists(dir_.filePath("b_q70.jpg")));
        QCOMPARE(withoutSizes(w.ReportText()), "a.png converted to\r\na_q70.jpg with quality 70, score 91.2.\r\n\r\nOperation stopped.\r\n");
        QCOMPARE(w.txbQuality->text(), QStringLiteral("70"));  // the quality found, not the range's 80
    }

    // The engine's own search: its report line, the file named by it and the
    // page's score agree with a score measured afresh, for JPG and WEBP alike;
    // a batch finds the same.
    void realEngine()
    {
        QImage picture(96, 64, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x * 2 + (x * y) % 7, y * 3, (x ^ y) * 2));
        const QString src = dir_.filePath("photo.png");
        QVERIFY(picture.save(src));
        LOAD_MAIN_WINDOW(w);
        ScriptedPrompts scripted;
        expectSingleFileRun(scripted, src, {.jpg = true, .view = true, .look = [](frmConvertSingleFile& d) {
            d.findChild<QCheckBox*>("chkWEBP")->setChecked(true);
        }, .smallest = true, .target = "85"});
        scripted.expectLaunch(dir_.filePath("viewer01.htm"));
        w.cmdConvertSingleFile->click();
        VERIFY_RUN_ENDED(w, scripted);
        const QString report = withoutSizes(w.ReportText());
        const QStringList jpg = captures("^photo.png converted to\r\nphoto_q(\\d+).jpg with quality \\1, score (\\d+\\.\\d)\\.\r\n", report);
        const QStringList webp = captures("\r\nphoto_q(\\d+).webp with quality \\1, score (\\d+\\.\\d)\\.\r\n", report);
        const ScoreOutcome measured = ScoreFiles(src, dir_.filePath("photo_q" + jpg[0] + ".jpg"));
        QVERIFY2(measured.ok && measured.score >= 85 && ScoreText(measured.score) == jpg[1], qPrintable(report));
        QVERIFY(QString::fromUtf8(readAll(dir_.filePath("viewer01.htm"))).contains(", score " + jpg[1] + ", "));
        QVERIFY2(ScoreFiles(src, dir_.filePath("photo_q" + webp[0] + ".webp")).score >= 85, qPrintable(report));

        Bench b;
        QVERIFY(b.load(2 /* PNG */, kJpg) && picture.save(b.in + "photo.png"));
        b.w.chkSmallestLooksSame->setChecked(true);
        b.w.txbTarget->setText("85");
        b.w.cmdConvertFiles->click();
        VERIFY_RUN_ENDED(b.w, scripted);
        const QStringList batch = captures("^photo.png -> photo.jpg \\[OK\\] quality (\\d+), score (\\d+\\.\\d)\r\n", b.w.ReportText());
        QCOMPARE(batch[0], jpg[0]);
        QCOMPARE(ScoreText(ScoreFiles(b.in + "photo.png", b.out + "photo.jpg").score), batch[1]);
    }
};

QTEST_MAIN(TestSmallest)
#include "tst_smallest.moc"
