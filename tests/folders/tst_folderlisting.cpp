// The two "List" buttons: the checks, the question about all files, filters and report lines.
#include "Fixtures.h"
#include "ScriptedPrompts.h"

using namespace pictoria;
using namespace pictoria::testing;

namespace {

const char* const kSide[2] = {"input", "output"};
const QString kEarlier = QStringLiteral("earlier report\r\n");

}  // namespace

class TestFolderListing : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

private slots:
    void initTestCase()
    {
        // Sizes are written with the user's digit grouping; fix it here.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(makeFiles(folder_.path(), {"photo.bmp=" + QString(1234, 'x'), "PHOTO.JPG=" + QString(1234567, 'x'),
                                           "a.jpeg=xxxxx", "Notes.txt=", "sub.jpg/"}));  // folders are not listed
    }

    // Nothing is listed: the report stays as it was. "@" stands for the folder.
    void refusedListing_data()
    {
        columns<int, QString, int, QString, MsgAnswer, bool>({"index", "boxText", "entry", "message", "answer", "focused"});
        QTest::newRow("input, empty") << 0 << "" << 1 << "Please specify folder for input images." << MsgAnswer::Ok << true;
        QTest::newRow("input, blanks") << 0 << "   " << 1 << "Please specify folder for input images." << MsgAnswer::Ok << true;
        QTest::newRow("input, all declined") << 0 << "@" << 0 << "List all files in the input folder?" << MsgAnswer::No << true;
        QTest::newRow("no matching files") << 0 << "@" << 4 << "There are no GIF files in the input folder." << MsgAnswer::Ok
                                           << false;
    }
    void refusedListing()
    {
        QFETCH(int, index); QFETCH(QString, boxText); QFETCH(int, entry); QFETCH(QString, message);
        QFETCH(MsgAnswer, answer); QFETCH(bool, focused);
        LOAD_MAIN_WINDOW(w);
        const QString folder = folder_.path() + '/';
        w.txbFolderForImages[index]->setText(boxText == "@" ? folder : boxText);
        if (boxText != "@")
            w.txbFolderForImages[1 - index]->setText(folder);  // the other side does not count
        w.cboFileFormat[index]->setCurrentIndex(entry);
        w.AppendToReport(kEarlier);
        ScriptedPrompts scripted;
        if (message.startsWith("Please"))
            scripted.expectMessage(message, "Need more input", MsgButtons::Ok, MsgIcon::None);
        else if (answer == MsgAnswer::No)
            scripted.expectMessage(message, "List all files?", MsgButtons::YesNo, MsgIcon::None, answer);
        else
            scripted.expectMessage(message, "No files", MsgButtons::Ok, MsgIcon::Exclamation);
        QTest::mouseClick(w.cmdList[index], Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        if (focused)
            QCOMPARE(w.focusWidget(), w.cmdFolderForImages[index]);
        QCOMPARE(w.ReportText(), kEarlier);
    }

    // "Select" lists every file after asking; a format lists its files at once.
    // The other side's filter is "*" or its own format.
    void listing_data()
    {
        columns<int, int, int, QString, QString, QString>({"index", "entry", "otherEntry", "inputFilter", "outputFilter", "report"});
        const QString all = "a.jpeg  5 bytes\r\nNotes.txt  0 bytes\r\nphoto.bmp  1,234 bytes\r\nPHOTO.JPG  1,234,567 bytes\r\n"
                            "\r\nNumber of files in the %1 folder: 4\r\n";
        QTest::newRow("input, all, output format PNG") << 0 << 0 << 2 << "*" << "PNG" << all.arg("input");
        QTest::newRow("output, all, input format GIF") << 1 << 0 << 4 << "GIF" << "*" << all.arg("output");
        QTest::newRow("input JPG") << 0 << 3 << 0 << "JPG" << "*"
            << "PHOTO.JPG  1,234,567 bytes\r\n\r\nNumber of JPG files in the input folder: 1\r\n";
        QTest::newRow("output BMP") << 1 << 1 << 0 << "*" << "BMP"
            << "photo.bmp  1,234 bytes\r\n\r\nNumber of BMP files in the output folder: 1\r\n";
    }
    void listing()
    {
        QFETCH(int, index); QFETCH(int, entry); QFETCH(int, otherEntry); QFETCH(QString, inputFilter);
        QFETCH(QString, outputFilter); QFETCH(QString, report);
        LOAD_MAIN_WINDOW(w);
        w.txbFolderForImages[index]->setText(folder_.path() + '/');
        w.cboFileFormat[index]->setCurrentIndex(entry);
        w.cboFileFormat[1 - index]->setCurrentIndex(otherEntry);
        w.AppendToReport(kEarlier);
        ScriptedPrompts scripted;
        if (entry == 0)
            scripted.expectMessage(QStringLiteral("List all files in the %1 folder?").arg(kSide[index]), "List all files?",
                                   MsgButtons::YesNo, MsgIcon::None, MsgAnswer::Yes);
        w.cmdList_Click(index);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.InputFormatFilter, inputFilter);
        QCOMPARE(w.OutputFormatFilter, outputFilter);
        QCOMPARE(w.ReportText(), report);
    }
};

QTEST_MAIN(TestFolderListing)
#include "tst_folderlisting.moc"
