// Batch runs: their texts without a window, and "Convert files" on the real main window over real folders.
#include "Fixtures.h"
#include "BatchText.h"
#include "FolderFiles.h"
#include "ViewerPage.h"

using namespace pictoria;
using namespace pictoria::testing;

namespace {

// List entries of the two format boxes: the first four alike, then each its own.
constexpr int kSelect = 0, kBmp = 1, kPng = 2, kJpg = 3, kGif = 4;
constexpr int kWebpIn = 5, kHeicIn = 7, kTiffIn = 8, kWebpOut = 4, kAvifOut = 5, kTiffOut = 6;
using Setup = std::function<void(Bench&)>;

void viewInBrowser(Bench& b) { b.w.chkViewMultipleInBrowser->setChecked(true); }
Setup quality(const QString& typed) { return [=](Bench& b) { b.w.txbQuality->setText(typed); }; }

}  // namespace

Q_DECLARE_METATYPE(Setup)

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { conversionPool().setMaxThreadCount(2); }

    void namesNumbersAndQualities()
    {
        QCOMPARE((QStringList{TargetFileName("photo.BMP", "PNG", ""), TargetFileName("a.b.c.jpg", "JPG", "80"), TargetFileName("README", "PNG", ""),
                              NumberText(-3)}), (QStringList{"photo.png", "a.b.c_q80.jpg", "README.png", "-3"}));
        // The whole extension gives way, whatever its length; TIFF is written as .tif.
        QCOMPARE((QStringList{TargetFileName("photo.jpeg", "PNG", ""), TargetFileName("scan.TIFF", "JPG", ""),
                              TargetFileName("x.heif", "TIFF", ""), TargetFileName("a.webp", "AVIF", "35")}),
                 (QStringList{"photo.png", "scan.jpg", "x.tif", "a_q35.avif"}));
        QVERIFY(QualityFromText("").value_or(-1) == 0 && QualityFromText("+32767").value_or(-1) == 32767);
        QVERIFY(!QualityFromText("32768") && !QualityFromText("123456789012345678901234567890"));
    }

    // The hints a failure gets depend on the formats on both sides (read
    // errors and the compressed BMP's hint are seen in real runs).
    void failureEntry()
    {
        using Kind = EngineOutcome::Kind;
        const EngineOutcome bits{Kind::InvalidBitsPerPixel, "Invalid bits per pixel for this file format.", -1};
        QCOMPARE(FailureTail(bits, "BMP", "JPG"), "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n"
                                                  "      Bits per pixel in input image may be too small for saving as JPG file.\r\n\r\n");
        QCOMPARE(FailureTail(bits, "BMP", "PNG"), "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n\r\n");
        QCOMPARE(FailureTail({Kind::Failed, "Out of memory.", 0}, "BMP", "PNG"), "\r\n***  error: Out of memory.\r\n\r\n");
    }

    void viewerPageEncodesTextAndAddresses()
    {
        QCOMPARE(HtmlText(QString::fromUtf8("\xF0\x9F\x93\xB7.png")), QStringLiteral("&#128247;.png"));
        QCOMPARE(ViewerSourceEntry("/p q/a&b \"<x>\" é.bmp", "1 bytes", "/p q/viewer01.htm"),
                 QStringLiteral("/p q/a&amp;b &quot;&lt;x&gt;&quot; &#233;.bmp, 1 bytes<BR>\r\n"
                                "<IMG SRC=\"a%26b%20%22%3Cx%3E%22%20%C3%A9.bmp\" BORDER=\"1\"><P>\r\n\r\n"));
        QCOMPARE(ViewerTargetEntry("/p q/a#b?%.png", "1 bytes", "a#b?%.bmp"),
                 QStringLiteral("/p q/a#b?%.png, 1 bytes (from a#b?%.bmp)<BR>\r\n"
                                "<IMG SRC=\"file:///p%20q/a%23b%3F%25.png\" BORDER=\"1\"><P>\r\n\r\n"));
    }

    // As a file manager shows them: case and accents folded, numbers by value;
    // folders and dangling links are no files.
    void folderListing()
    {
        QTemporaryDir dir;
        QVERIFY(makeFiles(dir.path(), {"c.bmp=", "B.bmp=", "a.BMP=", ".hidden.bmp=", "b.bmp=", "img10.bmp=", "img2.bmp=",
                                       "zeta.bmp=", "\xC3\xA9t\xC3\xA9.bmp=", "d.bmp/"}));
        QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling.bmp")));
        QString error;
        QCOMPARE(FolderFileNames(dir.path() + "/", error).value_or(QStringList()),
                 (QStringList{".hidden.bmp", "a.BMP", "B.bmp", "b.bmp", "c.bmp", "\xC3\xA9t\xC3\xA9.bmp", "img2.bmp",
                              "img10.bmp", "zeta.bmp"}));
        QVERIFY(error.isEmpty());
    }

    // Runs of "Convert files" that ask nothing more: a refusal before anything is converted leaves the
    // report and the output folder as they were; a run leaves its report, the files written and the pages.
    void runs_data()
    {
        columns<int, int, QStringList, Setup, QString, QString, QStringList>(
            {"inputFormat", "outputFormat", "files", "setup", "refusal", "report", "written"});
        // "refusal": the message's title, icon, the folder button focused (-1: none) and text.
        const auto refused = [](const char* name, int in, int out, Setup setup, const QString& refusal) {
            QTest::newRow(name) << in << out << QStringList{"a.bmp"} << setup << refusal << "earlier\r\n" << QStringList();
        };
        const auto clear = [](int side) { return Setup([=](Bench& b) { b.w.txbFolderForImages[side]->clear(); }); };
        const QString range = "Input error|0|-1|For conversion to JPG the quality must be in the range 10 through 100.";
        refused("no input folder", kBmp, kPng, clear(0), "Need more input|0|0|Please specify the folder for the input images.");
        refused("no output folder", kBmp, kPng, clear(1), "Need more input|0|1|Please specify the folder for the output images.");
        refused("no input format", kSelect, kPng, {}, "Need more input|0|0|Please specify the file format for the input images.");
        refused("no output format", kBmp, kSelect, {}, "Need more input|0|1|Please specify the file format for the output images.");
        refused("quality below", kBmp, kJpg, quality("9"), range);
        refused("same format BMP", kBmp, kBmp, {}, "Input error|1|-1|The output file format must be different from the input file format.");
        refused("same format TIFF", kTiffIn, kTiffOut, {}, "Input error|1|-1|The output file format must be different from the input file format.");
        refused("quality for AVIF", kWebpIn, kAvifOut, quality("101"), QString(range).replace("JPG", "AVIF"));
        refused("unreadable folder", kBmp, kPng, [](Bench& b) { b.w.txbFolderForImages[0]->setText(b.in + "gone/"); },
                "Error|2|-1|Cannot read the folder %in/gone/: No such file or directory.");
        refused("no files of the format", kGif, kPng, viewInBrowser, "No files|1|-1|There are no GIF files in the input folder.");
        const QString bad = "\r\n*** Read error: Not a valid BMP file.\r\n\r\n", none = "\r\nNumber of BMP files converted: 0 (of 1 input)\r\n";
        // The quality is cleaned, and its lowest value is allowed.
        QTest::newRow("JPG to JPG") << kJpg << kJpg << QStringList{"shot.jpg"} << quality("1a0") << ""
            << "shot.jpg -> shot.jpg [OK]\r\n\r\nNumber of JPG files converted: 1 (of 1 input)\r\n" << QStringList{"shot.jpg"};
        QTest::newRow(".jpeg is JPG") << kJpg << kPng << QStringList{"a.jpeg", "B.JPEG", "c.jpg", "d.jpe"} << Setup() << ""
            << "a.jpeg -> a.png [OK]\r\nB.JPEG -> B.png [OK]\r\nc.jpg -> c.png [OK]\r\n\r\nNumber of JPG files converted: 3 (of 3 input)\r\n"
            << QStringList{"B.png", "a.png", "c.png"};
        QTest::newRow("each file in turn") << kBmp << kPng << QStringList{"a.bmp", "B.BMP=this is no picture at all", "c.bmp", "other.png"}
            << Setup() << "" << "a.bmp -> a.png [OK]\r\nB.BMP" + bad + "c.bmp -> c.png [OK]\r\n\r\nNumber of BMP files converted: 2 (of 3 input)\r\n"
            << QStringList{"a.png", "c.png"};
        // A BMP header naming a compression this program does not read (JPEG inside a BMP).
        QTest::newRow("compressed BMP") << kBmp << kPng << QStringList{"packed.bmp"} << Setup([](Bench& b) {
            QByteArray bmp = readAll(b.in + "packed.bmp");
            bmp[30] = 4;  // biCompression
            QVERIFY(writeBytes(b.in + "packed.bmp", bmp));
        }) << "" << "packed.bmp\r\n*** Read error: Unsupported file format option.\r\n      BMP file may be compressed.\r\n\r\n" + none
           << QStringList();
        QTest::newRow("write failure") << kBmp << kPng << QStringList{"a.bmp"} << Setup([](Bench& b) { b.w.txbFolderForImages[1]->setText(b.out + "missing/"); })
            << "" << "a.bmp\r\n*** Write error: Output folder does not exist.\r\n\r\n" + none << QStringList();
        QTest::newRow("no page when nothing converts") << kBmp << kPng << QStringList{"a.bmp=no picture"} << Setup(viewInBrowser) << ""
            << "a.bmp" + bad + none << QStringList();
        // A failed overwrite leaves the old target: so long a name leaves no room for the temporary file beside it.
        const QString stem(246, QLatin1Char('n'));
        QTest::newRow("failed overwrite") << kBmp << kPng << QStringList{stem + ".bmp"} << Setup([=](Bench& b) {
            b.w.chkWarnOnOverwrite->setChecked(false);
            QVERIFY(writeBytes(b.out + stem + ".png", "old"));
        }) << "" << stem + ".bmp\r\n*** Write error: Output path is too long.\r\n\r\n" + none << QStringList{stem + ".png"};
        QStringList taken{"a.bmp"};
        for (int n = 1; n <= 99; ++n)
            taken << QStringLiteral("viewer%1.htm=kept").arg(n, 2, 10, QLatin1Char('0'));
        QTest::newRow("no page number free") << kBmp << kPng << taken << Setup(viewInBrowser) << ""
            << "a.bmp -> a.png [OK]\r\n\r\nNumber of BMP files converted: 1 (of 1 input)\r\n" << QStringList{"a.png"};
    }
    void runs()
    {
        QFETCH(int, inputFormat); QFETCH(int, outputFormat); QFETCH(QStringList, files); QFETCH(Setup, setup);
        QFETCH(QString, refusal); QFETCH(QString, report); QFETCH(QStringList, written);
        Bench b;
        QVERIFY(b.load(inputFormat, outputFormat) && makeFiles(b.in, files));
        if (setup)
            setup(b);
        ScriptedPrompts scripted;
        const QStringList parts = refusal.split('|');
        if (!refusal.isEmpty()) {
            b.w.AppendToReport("earlier\r\n");
            scripted.expectMessage(QString(parts[3]).replace("%in/", b.in), parts[0], MsgButtons::Ok, MsgIcon(parts[1].toInt()));
        }
        b.w.cmdConvertFiles_Click();
        VERIFY_RUN_ENDED(b.w, scripted);
        if (!refusal.isEmpty() && parts[2] != "-1")
            QCOMPARE(b.w.focusWidget(), b.w.cmdFolderForImages[parts[2].toInt()]);
        QCOMPARE(b.w.ReportText(), report);
        QCOMPARE(QDir(b.out).entryList(QDir::Files | QDir::Hidden, QDir::Name), written);
        for (const QString& name : written)
            QVERIFY(QImage(b.out + name).size() == QSize(20, 20) || readAll(b.out + name) == "old");
        if (inputFormat == kJpg && outputFormat == kJpg)
            QCOMPARE(b.w.intQuality, 10);
        const QStringList pages = QDir(b.in).entryList({"viewer*.htm"}, QDir::Files);  // those the row made beforehand, untouched
        QCOMPARE(pages.size(), files.filter("viewer").size());
        for (const QString& page : pages)
            QCOMPARE(readAll(b.in + page), QByteArray("kept"));
        QVERIFY(b.w.cmdConvertFiles->isEnabled() && b.w.cmdList[0]->isEnabled() && b.w.lblTopLine->isVisible() && !b.w.cmdStop->isVisible());
    }

    // The new formats through a stand-in engine: WEBP files found by any case
    // of their extension and named .jpg; the same lossy format again is
    // allowed; TIFF sources, which browsers cannot show, enter the page as
    // JPG previews kept in it, while the AVIF targets are plain images.
    void newFormats()
    {
        StandInCodecs engine;
        Bench b;
        QVERIFY(b.load(kWebpIn, kJpg) && makeFiles(b.in, {"a.webp=pic", "B.WEBP=pic", "c.jpg=pic", "scan.tif=pic", "photo.TIFF=pic"}));
        ScriptedPrompts scripted;
        b.w.cmdConvertFiles_Click();
        VERIFY_RUN_ENDED(b.w, scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("a.webp -> a.jpg [OK]\r\nB.WEBP -> B.jpg [OK]\r\n\r\nNumber of WEBP files converted: 2 (of 2 input)\r\n"));
        QCOMPARE(readAll(b.out + "B.jpg"), StandInCodecs::madeFrom("B.WEBP", 80));
        b.w.cboFileFormat[1]->setCurrentIndex(kWebpOut);
        b.w.txbQuality->setText("60");
        b.w.cmdConvertFiles_Click();
        VERIFY_RUN_ENDED(b.w, scripted);
        QCOMPARE(readAll(b.out + "a.webp"), StandInCodecs::madeFrom("a.webp", 60));

        b.w.cboFileFormat[0]->setCurrentIndex(kTiffIn);
        b.w.cboFileFormat[1]->setCurrentIndex(kAvifOut);
        viewInBrowser(b);
        scripted.expectLaunch(b.in + "viewer01.htm");
        b.w.cmdConvertFiles_Click();
        VERIFY_RUN_ENDED(b.w, scripted);
        QCOMPARE(b.w.ReportText(), "photo.TIFF -> photo.avif [OK]\r\nscan.tif -> scan.avif [OK]\r\n\r\n"
                                   "Number of TIFF files converted: 2 (of 2 input)\r\nViewer file: " + b.in + "viewer01.htm\r\n");
        const QString page = QString::fromUtf8(readAll(b.in + "viewer01.htm"));
        for (const QString source : {"photo.TIFF", "scan.tif"}) {
            const QString preview = "<IMG SRC=\"" + JpegDataAddress(StandInCodecs::madeFrom(source, 80)) + "\" BORDER=\"1\"><BR>\r\n" +
                                    source + ", 3 bytes<P>\r\n";
            QVERIFY2(page.contains(preview), qPrintable(source));
        }
        QVERIFY(page.contains("<IMG SRC=\"" + QUrl::fromLocalFile(b.out + "scan.avif").toString() + "\""));
        QCOMPARE(QDir(b.in).entryList(QDir::Files), (QStringList{"a.webp", "B.WEBP", "c.jpg", "photo.TIFF", "scan.tif", "viewer01.htm"}));
        QCOMPARE(QDir(b.out).entryList(QDir::Files), (QStringList{"a.jpg", "a.webp", "B.jpg", "B.webp", "photo.avif", "scan.avif"}));
    }

    // A picture on which the HEIC decoder crashes is that file's read error,
    // and the window and its batch go on: C019 with its overlay made the
    // primary item, which libheif itself cannot compose.
    void decoderCrashIsOneFilesReadError()
    {
        const QString c019 = QStringLiteral(PICTORIA_CORPUS_DIR "/heif/mpeg-conformance/C019.heic");
        if (!QFile::exists(c019)) {
            if (qEnvironmentVariableIsSet("PICTORIA_REQUIRE_CORPUS"))
                QFAIL("the conformance suites are missing beside the project");
            QSKIP("no conformance suites beside the project");
        }
        QByteArray crashing = readAll(c019);
        const qsizetype pitm = crashing.indexOf("pitm");
        QVERIFY(pitm > 0);
        crashing[pitm + 8] = char(1006 >> 8), crashing[pitm + 9] = char(1006 & 255);
        Bench b;
        QVERIFY(b.load(kHeicIn, kJpg) && writeBytes(b.in + "a.heic", crashing) && QFile::copy(c019, b.in + "b.HEIF"));
        ScriptedPrompts scripted;
        b.w.cmdConvertFiles_Click();
        VERIFY_RUN_ENDED(b.w, scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("a.heic\r\n*** Read error: The HEIC decoder failed on this file (it crashed).\r\n\r\n"
                                                  "b.HEIF -> b.jpg [OK]\r\n\r\nNumber of HEIC files converted: 1 (of 2 input)\r\n"));
        QCOMPARE(QImage(b.out + "b.jpg").size(), QSize(640, 360));
    }

    void goesOnAfterAFileVanishes()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng) && makeFiles(b.in, {"a.bmp", "b.bmp", "c.bmp"}));
        conversionPool().setMaxThreadCount(1);
        HeldTranscoder engine;
        ScriptedPrompts scripted;
        scripted.expectMessage("Cannot read the size of " + b.in + "b.bmp: No such file or directory.", "Error",
                               MsgButtons::Ok, MsgIcon::Information);
        b.w.cmdConvertFiles_Click();
        QVERIFY(engine.waitForStarted(1));
        QFile::remove(b.in + "b.bmp");
        engine.releaseAll();
        VERIFY_RUN_ENDED(b.w, scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("a.bmp -> a.png [OK]\r\nb.bmp\r\nc.bmp -> c.png [OK]\r\n"
                                                  "\r\nNumber of BMP files converted: 2 (of 3 input)\r\n"));
    }

    // The question for a file is asked while the files before it convert;
    // the answer (given by Enter) is carried out and reported, and the run
    // goes on, or ends on "cancel all" without converting the rest.
    void asksWhileOthersConvert_data()
    {
        columns<QString, QString, QStringList>({"option", "report", "written"});
        const QString kept = "b.bmp -- Existing PNG file not overwritten.\r\n\r\n", rest = "c.bmp -> c.png [OK]\r\n\r\n";
        QTest::newRow("skip this file") << "optCancelOperationThisFile" << kept + rest + "Number of BMP files converted: 2 (of 3 input)\r\n"
                                        << QStringList{"a.png", "b.png", "c.png"};
        QTest::newRow("overwrite") << "optOverwrite" << "b.bmp -> b.png [OK]\r\n" + rest + "Number of BMP files converted: 3 (of 3 input)\r\n"
                                   << QStringList{"a.png", "b.png", "c.png"};
        QTest::newRow("other name") << "optChooseFilename" << "b.bmp -> b new.png [OK]\r\n" + rest + "Number of BMP files converted: 3 (of 3 input)\r\n"
                                    << QStringList{"a.png", "b new.png", "b.png", "c.png"};
        QTest::newRow("cancel all") << "optCancelOperationAllFiles" << kept + "Operation cancelled.\r\n\r\n\r\nNumber of BMP files converted: 1 (of 3 input)\r\n"
                                    << QStringList{"a.png", "b.png"};
    }
    void asksWhileOthersConvert()
    {
        QFETCH(QString, option); QFETCH(QString, report); QFETCH(QStringList, written);
        Bench b;
        QVERIFY(b.load(kBmp, kPng) && makeFiles(b.in, {"a.bmp", "b.bmp", "c.bmp"}) && writeBytes(b.out + "b.png", "old"));
        HeldTranscoder engine;
        ScriptedPrompts scripted;
        scripted.expectModal("frmTargetFileExists", [&](QDialog& shown) {
            auto& dialog = static_cast<frmTargetFileExists&>(shown);
            QVERIFY(engine.waitForStarted(1));
            QCOMPARE(engine.started(), QStringList{"a.bmp"});
            QCOMPARE(b.w.ReportText(), QStringLiteral("a.bmp"));
            QVERIFY(dialog.strEntryFilepath == b.out + "b.png" && dialog.optCancelOperationAllFiles->isVisible());
            dialog.findChild<QRadioButton*>(option)->click();
            if (option == "optChooseFilename")
                dialog.txbFilepath->setText(b.out + "b new.png");
            QTest::keyClick(&dialog, Qt::Key_Return);
        });
        b.w.cmdConvertFiles_Click();
        engine.releaseAll();
        VERIFY_RUN_ENDED(b.w, scripted);
        QCOMPARE(b.w.ReportText(), "a.bmp -> a.png [OK]\r\n" + report);
        QCOMPARE(QDir(b.out).entryList(QDir::Files), written);
        QCOMPARE(readAll(b.out + "b.png") == "old", option != "optOverwrite");
    }

    // Conversions end in any order; the report, the label and the viewer page
    // follow the files' order, and boxes edited meanwhile change nothing. Stop
    // or Quit: nothing new starts, those in flight finish and are reported;
    // Quit shows nothing more. Quit comes last: the program's event loops end with it.
    void filesInFlight()
    {
        for (bool quit : {false, true}) {
            Bench b;
            QVERIFY(b.load(kBmp, kPng) && makeFiles(b.in, {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}));
            viewInBrowser(b);
            HeldTranscoder engine;
            ScriptedPrompts scripted;
            if (!quit)
                scripted.expectLaunch(b.in + "viewer01.htm");
            b.w.cmdConvertFiles_Click();
            QVERIFY(engine.waitForStarted(2));
            b.w.txbFolderForImages[1]->setText(b.in);
            engine.release("b.bmp");
            QVERIFY(engine.waitForStarted(3) && QTest::qWaitFor([&] { return QFile::exists(b.out + "b.png"); }));
            QTest::qWait(50);
            QCOMPARE(b.w.ReportText(), QStringLiteral("a.bmp"));
            QCOMPARE(b.w.lblConvertingFile->text(), QStringLiteral("Converting a.bmp (1,254 bytes)"));
            // Only the conversions in flight (a, c) keep a watcher; b's went with its result.
            QCOMPARE(b.w.conversionRun()->findChildren<QFutureWatcherBase*>().size(), 2);
            (quit ? b.w.cmdQuit : b.w.cmdStop)->click();
            engine.releaseAll();
            VERIFY_RUN_ENDED(b.w, scripted);
            QCOMPARE(engine.started(), (QStringList{"a.bmp", "b.bmp", "c.bmp"}));
            QCOMPARE(QDir(b.out).entryList(QDir::Files), (QStringList{"a.png", "b.png", "c.png"}));
            const QString page = QString::fromUtf8(readAll(b.in + "viewer01.htm"));
            QVERIFY(page.indexOf("a.png") < page.indexOf("b.bmp") && page.indexOf("b.png") < page.indexOf("c.bmp"));
            QVERIFY(page.endsWith("</CENTER></BODY></HTML>\r\n\r\n") && !b.w.lblConvertingFile->isVisible());
            if (!quit)
                QCOMPARE(b.w.ReportText(), "a.bmp -> a.png [OK]\r\nb.bmp -> b.png [OK]\r\nc.bmp -> c.png [OK]\r\nOperation stopped.\r\n"
                                           "\r\nNumber of BMP files converted: 3 (of 4 input)\r\nViewer file: " + b.in + "viewer01.htm\r\n");
        }
    }
};

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
