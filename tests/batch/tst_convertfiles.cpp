// "Convert files" on the real main window over real folders of images: the
// checks before a run, the report of a run, the existing-target dialog, Stop,
// the viewer page and the two listings.
#include "ScriptedPrompts.h"
#include "frmMain.h"
#include "frmTargetFileExists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace pictoria;
using pictoria::testing::ScriptedPrompts;

namespace {

// List entries of the two format boxes.
constexpr int kSelect = 0, kBmp = 1, kPng = 2, kJpg = 3, kGif = 4;

const QString kConvertFiles = QStringLiteral("Convert files");

bool writeImage(const QString& path, const char* format = nullptr)
{
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 60));
    return image.save(path, format);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString sizeOf(const QString& path)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(QFileInfo(path).size()) + " bytes";
}

QStringList viewerPages(const QString& folder)
{
    return QDir(folder).entryList({"viewer*.htm"}, QDir::Files, QDir::Name);
}

// A loaded main window with an input and an output folder of its own.
struct Bench {
    QTemporaryDir dir;
    QString in = dir.filePath("in") + "/";
    QString out = dir.filePath("out") + "/";
    frmMain w;

    bool load(int inputFormat = kBmp, int outputFormat = kPng)
    {
        if (!dir.isValid() || !QDir().mkpath(in) || !QDir().mkpath(out) || !w.Form_Load())
            return false;
        w.txbFolderForImages[0]->setText(in);
        w.txbFolderForImages[1]->setText(out);
        w.cboFileFormat[0]->setCurrentIndex(inputFormat);
        w.cboFileFormat[1]->setCurrentIndex(outputFormat);
        return true;
    }
};

}  // namespace

class TestConvertFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void needsEveryParameter_data()
    {
        QTest::addColumn<bool>("inputFolder");
        QTest::addColumn<bool>("outputFolder");
        QTest::addColumn<int>("inputFormat");
        QTest::addColumn<int>("outputFormat");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("focused");
        QTest::newRow("no input folder") << false << true << kBmp << kPng
                                         << "Please specify the folder for the input images." << 0;
        QTest::newRow("nothing at all") << false << false << kSelect << kSelect
                                        << "Please specify the folder for the input images." << 0;
        QTest::newRow("no output folder") << true << false << kBmp << kPng
                                          << "Please specify the folder for the output images." << 1;
        QTest::newRow("no input format") << true << true << kSelect << kPng
                                         << "Please specify the file format for the input images." << 0;
        QTest::newRow("no output format") << true << true << kBmp << kSelect
                                          << "Please specify the file format for the output images." << 1;
    }

    void needsEveryParameter()
    {
        QFETCH(bool, inputFolder);
        QFETCH(bool, outputFolder);
        QFETCH(int, inputFormat);
        QFETCH(int, outputFormat);
        QFETCH(QString, message);
        QFETCH(int, focused);
        Bench b;
        QVERIFY(b.load(inputFormat, outputFormat));
        QVERIFY(writeImage(b.in + "a.bmp"));
        if (!inputFolder)
            b.w.txbFolderForImages[0]->clear();
        if (!outputFolder)
            b.w.txbFolderForImages[1]->clear();
        b.w.AppendToReport("earlier\r\n");
        ScriptedPrompts scripted;
        scripted.expectMessage(message, "Need more input", MsgButtons::Ok, MsgIcon::None);
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.focusWidget(), b.w.cmdFolderForImages[focused]);
        QCOMPARE(b.w.ReportText(), QStringLiteral("earlier\r\n"));
        QVERIFY(QDir(b.out).isEmpty());
    }

    void checksTheQuality_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("cleaned");
        QTest::addColumn<int>("quality");  // 0: refused
        QTest::newRow("letters inside") << "1a0" << "10" << 10;
        QTest::newRow("highest") << "100" << "100" << 100;
        QTest::newRow("minus sign dropped") << "-50" << "50" << 50;
        QTest::newRow("plus sign kept") << "+75" << "+75" << 75;
        QTest::newRow("blanks and percent") << " 7 5%" << "75" << 75;
        QTest::newRow("below") << "9" << "9" << 0;
        QTest::newRow("above") << "101" << "101" << 0;
        QTest::newRow("empty") << "" << "" << 0;
        QTest::newRow("no digits") << "abc" << "" << 0;
        QTest::newRow("beyond 16 bits") << "99999" << "99999" << 0;
        QTest::newRow("beyond 64 bits") << "123456789012345678901234567890" << "123456789012345678901234567890" << 0;
    }

    void checksTheQuality()
    {
        QFETCH(QString, typed);
        QFETCH(QString, cleaned);
        QFETCH(int, quality);
        Bench b;
        QVERIFY(b.load(kBmp, kJpg));
        b.w.txbQuality->setText(typed);
        ScriptedPrompts scripted;
        if (quality == 0)
            scripted.expectMessage("For conversion to JPG the quality must be in the range 10 through 100.",
                                   "Input error", MsgButtons::Ok, MsgIcon::None);
        else  // the run starts and finds the folder empty
            scripted.expectMessage("There are no BMP files in the input folder.", "No files", MsgButtons::Ok,
                                   MsgIcon::Exclamation);
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.txbQuality->text(), cleaned);
        if (quality != 0)
            QCOMPARE(b.w.intQuality, quality);
    }

    void refusesTheSameFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("BMP") << kBmp;
        QTest::newRow("PNG") << kPng;
    }

    void refusesTheSameFormat()
    {
        QFETCH(int, format);
        Bench b;
        QVERIFY(b.load(format, format));
        ScriptedPrompts scripted;
        scripted.expectMessage("The output file format must be different from the input file format.", "Input error",
                               MsgButtons::Ok, MsgIcon::Exclamation);
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
    }

    void convertsJpgToJpg()
    {
        Bench b;
        QVERIFY(b.load(kJpg, kJpg));
        QVERIFY(writeImage(b.in + "shot.jpg", "JPG"));
        b.w.txbQuality->setText("30");
        ScriptedPrompts scripted;
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("shot.jpg -> shot.jpg [OK]\r\n"
                                                  "\r\nNumber of JPG files converted: 1 (of 1 input)\r\n"));
        QVERIFY(QFileInfo(b.out + "shot.jpg").size() > 0);
    }

    void reportsEachFile()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        QVERIFY(writeImage(b.in + "a.bmp"));
        QVERIFY(writeBytes(b.in + "B.BMP", "this is no picture at all"));
        QVERIFY(writeImage(b.in + "c.bmp"));
        QVERIFY(writeImage(b.in + "other.png"));
        ScriptedPrompts scripted;
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("a.bmp -> a.png [OK]\r\n"
                                                  "B.BMP\r\n*** Read error: Not a valid BMP file.\r\n\r\n"
                                                  "c.bmp -> c.png [OK]\r\n"
                                                  "\r\nNumber of BMP files converted: 2 (of 3 input)\r\n"));
        QVERIFY(QImage(b.out + "a.png").size() == QSize(20, 20));
        QVERIFY(!QFile::exists(b.out + "B.png"));
        QVERIFY(!QFile::exists(b.out + "other.png"));
        QVERIFY(viewerPages(b.in).isEmpty());
        QVERIFY(b.w.cmdConvertFiles->isEnabled());
        QVERIFY(!b.w.cmdStop->isVisible());
    }

    void hintsAtACompressedBmp()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        // A BMP header naming a compression this program does not read (JPEG inside a BMP).
        QVERIFY(writeImage(b.in + "packed.bmp"));
        QByteArray bmp = readAll(b.in + "packed.bmp");
        bmp[30] = 4;  // biCompression
        QVERIFY(writeBytes(b.in + "packed.bmp", bmp));
        ScriptedPrompts scripted;
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("packed.bmp\r\n*** Read error: Unsupported file format option.\r\n"
                                                  "      BMP file may be compressed.\r\n\r\n"
                                                  "\r\nNumber of BMP files converted: 0 (of 1 input)\r\n"));
    }

    void reportsAWriteFailure()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        QVERIFY(writeImage(b.in + "a.bmp"));
        b.w.txbFolderForImages[1]->setText(b.out + "missing/");
        ScriptedPrompts scripted;
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("a.bmp\r\n*** Write error: Output folder does not exist.\r\n\r\n"
                                                  "\r\nNumber of BMP files converted: 0 (of 1 input)\r\n"));
    }

    void asksAboutAnExistingTarget_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("report");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("keep it") << "optCancelOperationThisFile"
                                 << "a.bmp -- Existing PNG file not overwritten.\r\n\r\n"
                                    "b.bmp -> b.png [OK]\r\n"
                                    "\r\nNumber of BMP files converted: 1 (of 2 input)\r\n"
                                 << false;
        QTest::newRow("cancel all") << "optCancelOperationAllFiles"
                                    << "a.bmp -- Existing PNG file not overwritten.\r\n\r\n"
                                       "Operation cancelled.\r\n\r\n"
                                       "\r\nNumber of BMP files converted: 0 (of 2 input)\r\n"
                                    << false;
        QTest::newRow("overwrite") << "optOverwrite"
                                   << "a.bmp -> a.png [OK]\r\nb.bmp -> b.png [OK]\r\n"
                                      "\r\nNumber of BMP files converted: 2 (of 2 input)\r\n"
                                   << true;
    }

    void asksAboutAnExistingTarget()
    {
        QFETCH(QString, choice);
        QFETCH(QString, report);
        QFETCH(bool, replaced);
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        QVERIFY(writeImage(b.in + "a.bmp"));
        QVERIFY(writeImage(b.in + "b.bmp"));
        QVERIFY(writeBytes(b.out + "a.png", "old"));
        ScriptedPrompts scripted;
        scripted.expectModal("frmTargetFileExists", [&](QDialog& d) {
            auto& dialog = static_cast<frmTargetFileExists&>(d);
            QCOMPARE(dialog.strEntryFilepath, b.out + "a.png");
            QVERIFY(!dialog.blnSingleFileOperation);
            QVERIFY(dialog.blnSameFileExtensionMandatory);
            QCOMPARE(dialog.lngBackColor, quint32(0xFFFFC0));
            dialog.findChild<QRadioButton*>(choice)->setChecked(true);
            dialog.cmdContinue->click();
        });
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), report);
        QCOMPARE(readAll(b.out + "a.png") != "old", replaced);
    }

    void writesUnderAnotherName()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        QVERIFY(writeImage(b.in + "a.bmp"));
        QVERIFY(writeBytes(b.out + "a.png", "old"));
        ScriptedPrompts scripted;
        scripted.expectModal("frmTargetFileExists", [&](QDialog& d) {
            auto& dialog = static_cast<frmTargetFileExists&>(d);
            dialog.optChooseFilename->setChecked(true);
            dialog.txbFilepath->setText(b.out + "fresh.png");
            dialog.cmdContinue->click();
        });
        scripted.expectLaunch(b.in + "viewer01.htm");
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), "a.bmp -> fresh.png [OK]\r\n"
                                   "\r\nNumber of BMP files converted: 1 (of 1 input)\r\n"
                                   "Viewer file: " + b.in + "viewer01.htm\r\n");
        QCOMPARE(readAll(b.out + "a.png"), QByteArray("old"));
        QVERIFY(readAll(b.in + "viewer01.htm").contains("(from a.bmp)<BR>\r\n<IMG SRC=\"file://" + b.out.toUtf8() +
                                                         "fresh.png\""));
    }

    void failedOverwriteKeepsTheOldTarget()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        // A name so long that no temporary file can be made beside the target:
        // the engine cannot write, while the old target itself exists.
        const QString stem(246, QLatin1Char('n'));
        QVERIFY(writeImage(b.in + stem + ".bmp"));
        QVERIFY(writeBytes(b.out + stem + ".png", "old"));
        ScriptedPrompts scripted;
        scripted.expectModal("frmTargetFileExists", [](QDialog& d) {
            auto& dialog = static_cast<frmTargetFileExists&>(d);
            dialog.optOverwrite->setChecked(true);
            dialog.cmdContinue->click();
        });
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QVERIFY(b.w.ReportText().startsWith(stem + ".bmp\r\n*** Write error: "));
        QCOMPARE(readAll(b.out + stem + ".png"), QByteArray("old"));
        QCOMPARE(QDir(b.out).entryList(QDir::Files | QDir::Hidden), QStringList{stem + ".png"});
    }

    void stopsAfterTheFileInHand()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
            QVERIFY(writeImage(b.in + name));
        ScriptedPrompts scripted;
        scripted.expectLaunch(b.in + "viewer01.htm");
        // Stop arrives while the first file is being converted.
        QTimer::singleShot(0, &b.w, [&] { b.w.cmdStop->click(); });
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), "a.bmp -> a.png [OK]\r\nOperation stopped.\r\n"
                                   "\r\nNumber of BMP files converted: 1 (of 3 input)\r\n"
                                   "Viewer file: " + b.in + "viewer01.htm\r\n");
        QVERIFY(!QFile::exists(b.out + "b.png"));
        // The page of a stopped run is complete and closed.
        QVERIFY(readAll(b.in + "viewer01.htm").endsWith("</CENTER></BODY></HTML>\r\n\r\n"));
        QVERIFY(!b.w.blnViewerFileOpen);
        QVERIFY(b.w.cmdConvertFiles->isEnabled());
    }

    void quitEndsTheRunQuietly()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        QVERIFY(writeImage(b.in + "a.bmp"));
        QVERIFY(writeImage(b.in + "b.bmp"));
        QVERIFY(writeBytes(b.out + "b.png", "old"));
        ScriptedPrompts scripted;  // no dialog for b.png and no browser
        QTimer::singleShot(0, &b.w, [&] { b.w.cmdQuit_Click(); });
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QVERIFY(QFile::exists(b.out + "a.png"));
        QCOMPARE(readAll(b.out + "b.png"), QByteArray("old"));
        QVERIFY(readAll(b.in + "viewer01.htm").endsWith("</CENTER></BODY></HTML>\r\n\r\n"));
    }

    void writesTheViewerPage()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        QVERIFY(writeImage(b.in + "a.bmp"));
        QVERIFY(writeBytes(b.in + "bad.bmp", "no picture"));
        QVERIFY(writeImage(b.in + "c.bmp"));
        const QString page = b.in + "viewer01.htm";
        ScriptedPrompts scripted;
        scripted.expectLaunch(page);
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        const QStringList expected{
            "<HTML><HEAD><TITLE>",
            page,
            "</TITLE></HEAD>",
            "",
            "<BODY BGCOLOR=\"#000000\" TEXT=\"#FFFFFF\"><CENTER>",
            "",
            b.in + "a.bmp, 1,254 bytes<BR>",
            "<IMG SRC=\"a.bmp\" BORDER=\"1\"><P>",
            "",
            b.out + "a.png, " + sizeOf(b.out + "a.png") + " (from a.bmp)<BR>",
            "<IMG SRC=\"file://" + b.out + "a.png\" BORDER=\"1\"><P>",
            "",
            b.in + "c.bmp, 1,254 bytes<BR>",
            "<IMG SRC=\"c.bmp\" BORDER=\"1\"><P>",
            "",
            b.out + "c.png, " + sizeOf(b.out + "c.png") + " (from c.bmp)<BR>",
            "<IMG SRC=\"file://" + b.out + "c.png\" BORDER=\"1\"><P>",
            "",
            "</CENTER></BODY></HTML>",
            "",
        };
        QCOMPARE(QString::fromUtf8(readAll(page)), expected.join("\r\n") + "\r\n");
        QVERIFY(b.w.ReportText().endsWith("Viewer file: " + page + "\r\n"));
        QCOMPARE(viewerPages(b.in), QStringList{"viewer01.htm"});
    }

    void numbersTheViewerPages()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        b.w.chkWarnOnOverwrite->setChecked(false);
        QVERIFY(writeImage(b.in + "a.bmp"));
        ScriptedPrompts scripted;
        scripted.expectLaunch(b.in + "viewer01.htm");
        scripted.expectLaunch(b.in + "viewer02.htm");
        b.w.cmdConvertFiles_Click();
        QVERIFY(writeBytes(b.out + "a.png", "old"));
        b.w.cmdConvertFiles_Click();  // overwrites a.png without asking
        VERIFY_PROMPTS(scripted);
        QCOMPARE(QImage(b.out + "a.png").size(), QSize(20, 20));
        QCOMPARE(viewerPages(b.in), (QStringList{"viewer01.htm", "viewer02.htm"}));
        // The second run did not meet the first run's page as an input.
        QCOMPARE(b.w.ReportText(), "a.bmp -> a.png [OK]\r\n"
                                   "\r\nNumber of BMP files converted: 1 (of 1 input)\r\n"
                                   "Viewer file: " + b.in + "viewer02.htm\r\n");
    }

    void leavesNoPageWhenNothingConverts()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        QVERIFY(writeBytes(b.in + "a.bmp", "no picture"));
        QVERIFY(writeBytes(b.in + "b.bmp", "nor this"));
        ScriptedPrompts scripted;
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QVERIFY(viewerPages(b.in).isEmpty());
        QVERIFY(!b.w.ReportText().contains("Viewer file"));
    }

    void convertsWithoutAPageWhenNoNumberIsFree()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        for (int n = 1; n <= 99; ++n)
            QVERIFY(writeBytes(b.in + QStringLiteral("viewer%1.htm").arg(n, 2, 10, QLatin1Char('0')), "kept"));
        QVERIFY(writeImage(b.in + "a.bmp"));
        ScriptedPrompts scripted;  // no message and no browser
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("a.bmp -> a.png [OK]\r\n"
                                                  "\r\nNumber of BMP files converted: 1 (of 1 input)\r\n"));
        QCOMPARE(readAll(b.in + "viewer99.htm"), QByteArray("kept"));
    }

    void rendersHostileNamesHarmless()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        const QString name = "a&b \"<x>\" é.bmp";
        QVERIFY(writeImage(b.in + name));
        ScriptedPrompts scripted;
        scripted.expectLaunch(b.in + "viewer01.htm");
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QVERIFY(b.w.ReportText().startsWith(name + " -> a&b \"<x>\" é.png [OK]\r\n"));
        const QString page = QString::fromUtf8(readAll(b.in + "viewer01.htm"));
        QVERIFY(page.contains("/a&amp;b &quot;&lt;x&gt;&quot; &#233;.bmp, 1,254 bytes<BR>\r\n"
                              "<IMG SRC=\"a%26b%20%22%3Cx%3E%22%20%C3%A9.bmp\" BORDER=\"1\"><P>\r\n"));
        QVERIFY(page.contains(" (from a&amp;b &quot;&lt;x&gt;&quot; &#233;.bmp)<BR>\r\n"));
        QVERIFY(page.contains("/a&amp;b%20%22%3Cx%3E%22%20%C3%A9.png\" BORDER=\"1\"><P>\r\n"));
        QVERIFY(!page.contains("<x>"));
    }

    void goesOnAfterAFileVanishes()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
            QVERIFY(writeImage(b.in + name));
        ScriptedPrompts scripted;
        scripted.expectMessage("Cannot read the size of " + b.in + "b.bmp: No such file or directory.", "Error",
                               MsgButtons::Ok, MsgIcon::Information);
        // b.bmp is removed while a.bmp is being converted.
        QTimer::singleShot(0, &b.w, [&] { QFile::remove(b.in + "b.bmp"); });
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("a.bmp -> a.png [OK]\r\nb.bmp\r\nc.bmp -> c.png [OK]\r\n"
                                                  "\r\nNumber of BMP files converted: 2 (of 3 input)\r\n"));
    }

    void toldWhenTheFolderCannotBeRead()
    {
        Bench b;
        QVERIFY(b.load(kBmp, kPng));
        b.w.txbFolderForImages[0]->setText(b.in + "gone/");
        b.w.AppendToReport("earlier\r\n");
        ScriptedPrompts scripted;
        scripted.expectMessage("Cannot read the folder " + b.in + "gone/: No such file or directory.", "Error",
                               MsgButtons::Ok, MsgIcon::Information);
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("earlier\r\n"));
        QVERIFY(b.w.cmdConvertFiles->isEnabled());
        QVERIFY(b.w.lblTopLine->isVisible());
    }

    void toldWhenThereAreNoFiles()
    {
        Bench b;
        QVERIFY(b.load(kGif, kPng));
        b.w.chkViewMultipleInBrowser->setChecked(true);
        QVERIFY(writeImage(b.in + "a.bmp"));
        b.w.AppendToReport("earlier\r\n");
        ScriptedPrompts scripted;
        scripted.expectMessage("There are no GIF files in the input folder.", "No files", MsgButtons::Ok,
                               MsgIcon::Exclamation);
        b.w.cmdConvertFiles_Click();
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), QStringLiteral("earlier\r\n"));
        QVERIFY(!b.w.blnRunViewInBrowser);
        QVERIFY(b.w.cmdConvertFiles->isEnabled());
        QVERIFY(b.w.cmdList[0]->isEnabled());
    }

    // The single-file command converts one file once per format and quality.
    void convertsForTheSingleFileCommand()
    {
        Bench b;
        QVERIFY(b.load());
        b.w.txbFolderForImages[1]->setText(b.in);
        QVERIFY(writeImage(b.in + "photo.bmp"));
        QVERIFY(writeBytes(b.in + "bad.bmp", "no picture"));
        b.w.InputFormatFilter = "BMP";
        b.w.blnRunWarnOnOverwrite = true;
        b.w.blnRunViewInBrowser = true;
        b.w.blnViewerOpened = false;
        b.w.blnViewerHasImages = false;
        b.w.blnSourceShown = false;
        ScriptedPrompts scripted;
        b.w.txbReport->clear();

        b.w.OutputFormatFilter = "PNG";
        QCOMPARE(b.w.ConvertOneFile(3, "photo.bmp", true, ""), 1);
        b.w.OutputFormatFilter = "JPG";
        b.w.intQuality = 70;
        QCOMPARE(b.w.ConvertOneFile(3, "photo.bmp", true, "70"), 1);
        QCOMPARE(b.w.txbQuality->text(), QStringLiteral("70"));
        // An unreadable source ends the single-file run.
        QCOMPARE(b.w.ConvertOneFile(3, "bad.bmp", true, ""), -1);
        b.w.CloseViewerPage();
        VERIFY_PROMPTS(scripted);

        const QString png = b.in + "photo.png";
        const QString jpg = b.in + "photo_q70.jpg";
        QCOMPARE(b.w.ReportText(), "photo.bmp (1,254 bytes) converted to\r\nphoto.png (" + sizeOf(png) + ").\r\n\r\n"
                                   "photo.bmp (1,254 bytes) converted to\r\nphoto_q70.jpg (" + sizeOf(jpg) +
                                       ") with quality 70.\r\n\r\n"
                                   "bad.bmp (10 bytes)\r\n*** Read error: Not a valid BMP file.\r\n\r\n"
                                   "Viewer file: " + b.in + "viewer01.htm\r\n");
        // One source entry, then one entry per converted file.
        const QString page = QString::fromUtf8(readAll(b.in + "viewer01.htm"));
        QCOMPARE(page.count("<IMG SRC=\"photo.bmp\""), 1);
        QVERIFY(page.indexOf("<IMG SRC=\"photo.bmp\"") < page.indexOf(png + ", "));
        QVERIFY(page.indexOf(png + ", ") < page.indexOf(jpg + ", "));
        QVERIFY(page.endsWith("</CENTER></BODY></HTML>\r\n\r\n"));
    }

    void listsAFolder_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("inputFilter");
        QTest::addColumn<QString>("outputFilter");
        QTest::addColumn<QString>("report");
        QTest::newRow("input BMP") << 0 << "BMP" << "*"
                                   << "photo.bmp  1,234 bytes\r\nZ.BMP  0 bytes\r\n"
                                      "\r\nNumber of BMP files in the input folder: 2\r\n";
        QTest::newRow("input, all files") << 0 << "*" << "*"
                                          << "notes.txt  12 bytes\r\nphoto.bmp  1,234 bytes\r\nZ.BMP  0 bytes\r\n"
                                             "\r\nNumber of files in the input folder: 3\r\n";
        QTest::newRow("output, all files") << 1 << "BMP" << "*"
                                           << "big.png  1,234,567 bytes\r\n"
                                              "\r\nNumber of files in the output folder: 1\r\n";
        QTest::newRow("output PNG") << 1 << "*" << "PNG"
                                    << "big.png  1,234,567 bytes\r\n"
                                       "\r\nNumber of PNG files in the output folder: 1\r\n";
    }

    void listsAFolder()
    {
        QFETCH(int, operation);
        QFETCH(QString, inputFilter);
        QFETCH(QString, outputFilter);
        QFETCH(QString, report);
        Bench b;
        QVERIFY(b.load());
        QVERIFY(writeBytes(b.in + "photo.bmp", QByteArray(1234, 'x')));
        QVERIFY(writeBytes(b.in + "Z.BMP", QByteArray()));
        QVERIFY(writeBytes(b.in + "notes.txt", "twelve bytes"));
        QVERIFY(QDir(b.in).mkdir("folder.bmp"));
        QVERIFY(writeBytes(b.out + "big.png", QByteArray(1234567, 'y')));
        b.w.InputFormatFilter = inputFilter;
        b.w.OutputFormatFilter = outputFilter;
        ScriptedPrompts scripted;
        b.w.ProcessFiles(operation);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(b.w.ReportText(), report);
        QVERIFY(b.w.cmdList[operation]->isEnabled());
    }

    void listingFindsNothing()
    {
        Bench b;
        QVERIFY(b.load());
        b.w.OutputFormatFilter = "*";
        ScriptedPrompts scripted;
        scripted.expectMessage("There are no files in the output folder.", "No files", MsgButtons::Ok,
                               MsgIcon::Exclamation);
        b.w.ProcessFiles(1);
        VERIFY_PROMPTS(scripted);
    }
};

QTEST_MAIN(TestConvertFiles)
#include "tst_convertfiles.moc"
