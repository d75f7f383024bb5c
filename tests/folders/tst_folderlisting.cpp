// The two "List" buttons: the checks before a listing, the question about
// listing all files, the format filters and the report lines of the listing.
#include "ScriptedPrompts.h"
#include "frmMain.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace pictoria;
using pictoria::testing::ScriptedPrompts;

namespace {

void makeFile(const QString& folder, const QString& name, int length)
{
    QFile file(QDir(folder).filePath(name));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(name));
    file.write(QByteArray(length, 'x'));
}

const char* const kSide[2] = {"input", "output"};

}  // namespace

class TestFolderListing : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

private slots:
    void initTestCase()
    {
        // Sizes are written with the user's digit grouping; fix it here.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(folder_.isValid());
        makeFile(folder_.path(), "photo.bmp", 1234);
        makeFile(folder_.path(), "PHOTO.JPG", 1234567);
        makeFile(folder_.path(), "a.jpeg", 5);
        makeFile(folder_.path(), "Notes.txt", 0);
        QVERIFY(QDir(folder_.path()).mkdir("sub.jpg"));  // folders are not listed
    }

    void emptyFolderBoxNeedsMoreInput_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("boxText");
        QTest::newRow("input, empty") << 0 << "";
        QTest::newRow("output, empty") << 1 << "";
        QTest::newRow("input, blanks") << 0 << "   ";
    }
    void emptyFolderBoxNeedsMoreInput()
    {
        QFETCH(int, index);
        QFETCH(QString, boxText);
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[index]->setText(boxText);
        w.txbFolderForImages[1 - index]->setText(folder_.path() + '/');  // the other side does not count
        w.cboFileFormat[index]->setCurrentIndex(1);
        w.AppendToReport("earlier report\r\n");
        ScriptedPrompts scripted;
        scripted.expectMessage(QStringLiteral("Please specify folder for %1 images.").arg(kSide[index]),
                               "Need more input", MsgButtons::Ok, MsgIcon::None);
        QTest::mouseClick(w.cmdList[index], Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.focusWidget(), w.cmdFolderForImages[index]);
        QCOMPARE(w.ReportText(), QStringLiteral("earlier report\r\n"));
    }

    void declinedListingOfAllFiles_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("input") << 0;
        QTest::newRow("output") << 1;
    }
    void declinedListingOfAllFiles()
    {
        QFETCH(int, index);
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[index]->setText(folder_.path() + '/');
        w.AppendToReport("earlier report\r\n");
        ScriptedPrompts scripted;
        scripted.expectMessage(QStringLiteral("List all files in the %1 folder?").arg(kSide[index]),
                               "List all files?", MsgButtons::YesNo, MsgIcon::None, MsgAnswer::No);
        w.cmdList_Click(index);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.focusWidget(), w.cmdFolderForImages[index]);
        QCOMPARE(w.ReportText(), QStringLiteral("earlier report\r\n"));
    }

    void listingOfAllFiles_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("otherEntry");
        QTest::addColumn<QString>("inputFilter");
        QTest::addColumn<QString>("outputFilter");
        QTest::newRow("input, output format PNG") << 0 << 2 << "*" << "PNG";
        QTest::newRow("output, input format GIF") << 1 << 4 << "GIF" << "*";
    }
    void listingOfAllFiles()
    {
        QFETCH(int, index);
        QFETCH(int, otherEntry);
        QFETCH(QString, inputFilter);
        QFETCH(QString, outputFilter);
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[index]->setText(folder_.path() + '/');
        w.cboFileFormat[1 - index]->setCurrentIndex(otherEntry);
        ScriptedPrompts scripted;
        scripted.expectMessage(QStringLiteral("List all files in the %1 folder?").arg(kSide[index]),
                               "List all files?", MsgButtons::YesNo, MsgIcon::None, MsgAnswer::Yes);
        w.cmdList_Click(index);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.InputFormatFilter, inputFilter);
        QCOMPARE(w.OutputFormatFilter, outputFilter);
        QCOMPARE(w.ReportText(), QStringLiteral("a.jpeg  5 bytes\r\n"
                                                "Notes.txt  0 bytes\r\n"
                                                "photo.bmp  1,234 bytes\r\n"
                                                "PHOTO.JPG  1,234,567 bytes\r\n"
                                                "\r\n"
                                                "Number of files in the %1 folder: 4\r\n")
                                     .arg(kSide[index]));
    }

    void listingOfOneFormat_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("report");
        QTest::newRow("input JPG") << 0 << 3
                                   << "PHOTO.JPG  1,234,567 bytes\r\n\r\nNumber of JPG files in the input folder: 1\r\n";
        QTest::newRow("output BMP") << 1 << 1
                                    << "photo.bmp  1,234 bytes\r\n\r\nNumber of BMP files in the output folder: 1\r\n";
    }
    void listingOfOneFormat()
    {
        QFETCH(int, index);
        QFETCH(int, entry);
        QFETCH(QString, report);
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[index]->setText(folder_.path() + '/');
        w.cboFileFormat[index]->setCurrentIndex(entry);
        w.AppendToReport("earlier report\r\n");
        ScriptedPrompts scripted;  // nothing is asked
        w.cmdList_Click(index);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.ReportText(), report);
        QCOMPARE(index == 0 ? w.OutputFormatFilter : w.InputFormatFilter, QStringLiteral("*"));
    }

    void listingWithoutMatchingFiles()
    {
        frmMain w;
        QVERIFY(w.Form_Load());
        w.txbFolderForImages[0]->setText(folder_.path() + '/');
        w.cboFileFormat[0]->setCurrentIndex(4);  // GIF
        w.AppendToReport("earlier report\r\n");
        ScriptedPrompts scripted;
        scripted.expectMessage("There are no GIF files in the input folder.", "No files", MsgButtons::Ok,
                               MsgIcon::Exclamation);
        w.cmdList_Click(0);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.ReportText(), QStringLiteral("earlier report\r\n"));
    }
};

QTEST_MAIN(TestFolderListing)
#include "tst_folderlisting.moc"
