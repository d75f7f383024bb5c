// The texts of a batch run, the viewer page's lines and the folder listing, without a window.
#include "BatchText.h"
#include "Fixtures.h"
#include "FolderFiles.h"
#include "ViewerPage.h"

using namespace pictoria;
using namespace pictoria::testing;

class TestBatchText : public QObject {
    Q_OBJECT

private slots:
    void namesNumbersAndQualities()
    {
        QCOMPARE(TargetFileName("photo.BMP", "PNG", ""), QStringLiteral("photo.png"));
        QCOMPARE(TargetFileName("a.b.c.jpg", "JPG", "80"), QStringLiteral("a.b.c_q80.jpg"));
        QCOMPARE(TargetFileName("README", "PNG", ""), QStringLiteral("README.png"));
        QCOMPARE(NumberText(-3), QStringLiteral("-3"));
        QCOMPARE(QualityFromText("").value_or(-1), 0);
        QCOMPARE(QualityFromText("+32767").value_or(-1), 32767);
        QVERIFY(!QualityFromText("32768") && !QualityFromText("123456789012345678901234567890"));
    }

    // The hints a failure gets depend on the formats on both sides (the
    // compressed BMP's hint is seen in a real run).
    void failureEntry()
    {
        using Kind = EngineOutcome::Kind;
        const EngineOutcome unsupported{Kind::UnsupportedOption, "Unsupported file format option.", 1};
        const EngineOutcome bits{Kind::InvalidBitsPerPixel, "Invalid bits per pixel for this file format.", -1};
        QCOMPARE(FailureTail(unsupported, "GIF", "PNG"), "\r\n*** Read error: Unsupported file format option.\r\n\r\n");
        QCOMPARE(FailureTail(bits, "BMP", "JPG"), "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n"
                                                  "      Bits per pixel in input image may be too small for saving as JPG file.\r\n\r\n");
        QCOMPARE(FailureTail(bits, "BMP", "PNG"), "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n\r\n");
        QCOMPARE(FailureTail({Kind::Failed, "Out of memory.", 0}, "BMP", "PNG"), "\r\n***  error: Out of memory.\r\n\r\n");
    }

    void viewerPageEncodesTextAndAddresses()
    {
        QCOMPARE(HtmlText(QString::fromUtf8("\xF0\x9F\x93\xB7.png")), QStringLiteral("&#128247;.png"));
        QCOMPARE(ViewerSourceEntry("/p q/a&b \"<x>\" é.bmp", "1 bytes"),
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
};

QTEST_MAIN(TestBatchText)
#include "tst_batchtext.moc"
