// The texts of a batch run, the viewer page's lines and the folder listing, without a window.
#include "BatchText.h"
#include "Fixtures.h"
#include "FolderFiles.h"
#include "ViewerPage.h"

using namespace pictoria;
using namespace pictoria::testing;

Q_DECLARE_METATYPE(EngineOutcome)

class TestBatchText : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void targetName_data()
    {
        columns<QString, QString, QString, QString>({"fileName", "format", "tag", "target"});
        QTest::newRow("three letters") << "photo.bmp" << "PNG" << "" << "photo.png";
        QTest::newRow("upper-case extension") << "photo.BMP" << "PNG" << "" << "photo.png";
        QTest::newRow("quality tag") << "photo.jpg" << "JPG" << "80" << "photo_q80.jpg";
        QTest::newRow("dots inside the name") << "a.b.c.gif" << "BMP" << "" << "a.b.c.bmp";
        QTest::newRow("no extension") << "README" << "PNG" << "" << "README.png";
        QTest::newRow("trailing dot") << "odd." << "PNG" << "" << "odd.png";
        QTest::newRow("only an extension") << ".bmp" << "PNG" << "" << ".png";
        QTest::newRow("blanks and accents") << "été à Paris.gif" << "PNG" << "" << "été à Paris.png";
    }
    void targetName()
    {
        QFETCH(QString, fileName); QFETCH(QString, format); QFETCH(QString, tag); QFETCH(QString, target);
        QCOMPARE(TargetFileName(fileName, format, tag), target);
    }

    void numbersAndSizes()
    {
        QCOMPARE(NumberText(5), QStringLiteral(" 5"));
        QCOMPARE(NumberText(0), QStringLiteral(" 0"));
        QCOMPARE(NumberText(-3), QStringLiteral("-3"));
        QCOMPARE(SizeText(0), QStringLiteral("0 bytes"));
        QCOMPARE(SizeText(999), QStringLiteral("999 bytes"));
        QCOMPARE(SizeText(1234567), QStringLiteral("1,234,567 bytes"));
        QCOMPARE(SizeText(5'000'000'000LL), QStringLiteral("5,000,000,000 bytes"));
    }

    void qualityValue_data()
    {
        columns<QString, int>({"cleaned", "value"});  // -1: does not fit 16 bits
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("signed") << "+90" << 90;
        QTest::newRow("16-bit top") << "32767" << 32767;
        QTest::newRow("just beyond") << "32768" << -1;
        QTest::newRow("beyond 64 bits") << "123456789012345678901234567890" << -1;
    }
    void qualityValue()
    {
        QFETCH(QString, cleaned); QFETCH(int, value);
        const std::optional<qint16> quality = QualityFromText(cleaned);
        QCOMPARE(quality.has_value(), value >= 0);
        if (quality)
            QCOMPARE(int(*quality), value);
    }

    void failureEntry_data()
    {
        columns<EngineOutcome, QString, QString, QString>({"outcome", "input", "output", "entry"});
        using Kind = EngineOutcome::Kind;
        const EngineOutcome unsupported{Kind::UnsupportedOption, "Unsupported file format option.", 1};
        const EngineOutcome bits{Kind::InvalidBitsPerPixel, "Invalid bits per pixel for this file format.", -1};
        QTest::newRow("compressed BMP") << unsupported << "BMP" << "PNG"
            << "\r\n*** Read error: Unsupported file format option.\r\n      BMP file may be compressed.\r\n\r\n";
        QTest::newRow("same message, not BMP") << unsupported << "GIF" << "PNG"
            << "\r\n*** Read error: Unsupported file format option.\r\n\r\n";
        QTest::newRow("too few bits for JPG") << bits << "BMP" << "JPG"
            << "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n"
               "      Bits per pixel in input image may be too small for saving as JPG file.\r\n\r\n";
        QTest::newRow("too few bits, not JPG") << bits << "BMP" << "PNG"
            << "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n\r\n";
        QTest::newRow("neither side") << EngineOutcome{Kind::Failed, "Out of memory.", 0} << "BMP" << "PNG" << "\r\n***  error: Out of memory.\r\n\r\n";
    }
    void failureEntry()
    {
        QFETCH(EngineOutcome, outcome); QFETCH(QString, input); QFETCH(QString, output); QFETCH(QString, entry);
        QCOMPARE(FailureTail(outcome, input, output), entry);
    }

    void htmlText_data()
    {
        columns<QString, QString>({"text", "html"});
        QTest::newRow("markup") << "a&b \"<x>\".bmp" << "a&amp;b &quot;&lt;x&gt;&quot;.bmp";
        QTest::newRow("script") << "<script>alert(1)</script>" << "&lt;script&gt;alert(1)&lt;/script&gt;";
        QTest::newRow("accents") << "/tmp/été.png" << "/tmp/&#233;t&#233;.png";
        QTest::newRow("beyond 16 bits") << QString::fromUtf8("\xF0\x9F\x93\xB7.png") << "&#128247;.png";
        QTest::newRow("entity already") << "&amp;" << "&amp;amp;";
    }
    void htmlText()
    {
        QFETCH(QString, text); QFETCH(QString, html);
        QCOMPARE(HtmlText(text), html);
    }

    void viewerPageAddressesAreEncoded()
    {
        QCOMPARE(ViewerSourceEntry("/p q/a&b \"<x>\" é.bmp", "1 bytes"),
                 QStringLiteral("/p q/a&amp;b &quot;&lt;x&gt;&quot; &#233;.bmp, 1 bytes<BR>\r\n"
                                "<IMG SRC=\"a%26b%20%22%3Cx%3E%22%20%C3%A9.bmp\" BORDER=\"1\"><P>\r\n\r\n"));
        QCOMPARE(ViewerTargetEntry("/p q/a#b?%.png", "1 bytes", "a#b?%.bmp"),
                 QStringLiteral("/p q/a#b?%.png, 1 bytes (from a#b?%.bmp)<BR>\r\n"
                                "<IMG SRC=\"file:///p%20q/a%23b%3F%25.png\" BORDER=\"1\"><P>\r\n\r\n"));
    }

    void folderListing()
    {
        QTemporaryDir dir;
        for (const char* name : {"c.bmp", "B.bmp", "a.BMP", ".hidden.bmp", "b.bmp", "img10.bmp", "img2.bmp",
                                 "zeta.bmp", "\xC3\xA9t\xC3\xA9.bmp"})
            QVERIFY(writeBytes(dir.filePath(QString::fromUtf8(name)), {}));
        QVERIFY(QDir(dir.path()).mkdir("d.bmp"));
        QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling.bmp")));
        QString error;
        const std::optional<QStringList> names = FolderFileNames(dir.path() + "/", error);
        QVERIFY(names);
        // As a file manager shows them: case and accents folded, numbers by value.
        QCOMPARE(*names, (QStringList{".hidden.bmp", "a.BMP", "B.bmp", "b.bmp", "c.bmp", QString::fromUtf8("\xC3\xA9t\xC3\xA9.bmp"),
                                      "img2.bmp", "img10.bmp", "zeta.bmp"}));
        QVERIFY(error.isEmpty());
    }
};

QTEST_MAIN(TestBatchText)
#include "tst_batchtext.moc"
