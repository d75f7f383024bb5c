// Choosing, summarising and listing the images folders, on the real window and without one.
#include "Fixtures.h"
#include "FolderSummary.h"
#include "FolderText.h"
#include "Language.h"

using namespace pictoria;
using namespace pictoria::testing;

class TestFolders : public QObject {
    Q_OBJECT

    QTemporaryDir fixture_;
    QString listed_ = fixture_.filePath("listed/"), counted_ = fixture_.filePath("counted/");

private slots:
    void initTestCase()
    {
        // Sizes are written with the user's digit grouping; fix it here.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QStringList files{"photo.bmp=" + QString(1234, 'x'), "PHOTO.JPG=" + QString(1234567, 'x'), "a.jpeg=xxxxx",
                                "Notes.txt=", "sub.jpg/"};
        QVERIFY(makeFiles(listed_, files) && makeFiles(counted_, files + QStringList{".hidden.gif=xxxxxxx"}));
        QVERIFY(QFile::link(counted_ + "photo.bmp", counted_ + "link.bmp"));
        QVERIFY(QFile::link(counted_ + "gone.gif", counted_ + "dangling.gif"));
    }

    // Regular files only: a link to a file counts, a folder or a dangling link does not; a hidden file counts.
    // A size of -2 asks for none.
    void countsRegularFilesBySpec()
    {
        const struct { QString spec; bool stopAtFirst; int count; double size; } rows[] = {
            {"*.bmp", false, 2, 2468}, {"*.gif", false, 1, 7}, {"*.*", false, 6, 1237047}, {"*.bmp", true, 1, -2}};
        for (const auto& r : rows)
            for (const QString& folder : {counted_, counted_.chopped(1)}) {
                QString error;
                double totalSize = r.size == -2 ? -2 : -1;
                bool denied = true;
                QCOMPARE(CountFiles(folder, r.spec, r.stopAtFirst, error, totalSize, denied), r.count);
                QVERIFY(error.isEmpty() && !denied && (r.size == -2 || totalSize == r.size));
            }
        const QString formats[] = {"BMP", "PNG", "JPG", "GIF"};
        QCOMPARE(FolderSummarySentence(0, formats, QList<qint64>{32767, 1, 0, 0}),
                 "The input images folder presently contains 32768 graphics files as follows: 32767 BMP files, "
                 "1 PNG file, no JPG files and no GIF files.");
    }

    // A name after "~" is relative, not another user's home.
    void folderTextResolution()
    {
        const struct { QString typed, shown; } rows[] = {{"/srv/pictures", "/srv/pictures/"}, {"/", "/"}, {"~", "/home/me/"},
            {"  photos  ", "/work/here/photos/"}, {"~other", "/work/here/~other/"}, {" \t ", ""}};
        for (const auto& r : rows)
            for (const QString slash : {"", "/"})
                QCOMPARE(NormaliseFolderText(r.typed, "/work/here" + slash, "/home/me" + slash), r.shown);
    }

    // The browser's folder is summed up; then the other box: "home" holds a
    // folder, "gone" one that has gone, "yes" an empty output box and the
    // answer to taking the input folder for it (No: the drop test).
    void browsedFolder_data()
    {
        columns<int, QStringList, QString, QString, QString>({"index", "files", "other", "sentence", "title"});
        const QString none = "No graphics files", some = "Graphics files found";
        QTest::newRow("input, nothing") << 0 << QStringList{"notes.txt", "photo.jpg2", "scan.pcx"} << "gone"
            << "The input images folder presently contains no graphics files (BMP, PNG, JPG, GIF).\r\n"
               "Please check that you selected the intended folder." << none;
        QTest::newRow("output, nothing") << 1 << QStringList{"sub.png/"} << "home"
            << "The output images folder presently contains no graphics files (BMP, PNG, JPG, GIF)." << none;
        QTest::newRow("one JPG, same for output") << 0 << QStringList{"photo.JPEG", "photo.jpeg.txt"} << "yes"
            << "The input images folder presently contains one JPG file." << some;
        QStringList mixed{"a.bmp", "b.BMP", "c.jpg"};
        for (int i = 1; i <= 12; ++i)
            mixed << QStringLiteral("g%1.gif").arg(i);
        QTest::newRow("mixed") << 1 << mixed << "home" << "The output images folder presently contains 15 graphics "
                                  "files as follows: 2 BMP files, no PNG files, 1 JPG file and 12 GIF files." << some;
        // The formats added to the first four are named only where the folder holds some.
        QTest::newRow("new formats") << 1 << QStringList{"a.webp", "b.TIFF", "c.tif", "d.heif", "e.HIF", "f.jpeg", "g.png"} << "home"
            << "The output images folder presently contains 7 graphics files as follows: no BMP files, 1 PNG file, "
               "1 JPG file, no GIF files, 1 WEBP file, 2 HEIC files and 2 TIFF files." << some;
        QTest::newRow("one new") << 1 << QStringList{"x.Avif", "notes.txt"} << "home"
            << "The output images folder presently contains one AVIF file." << some;
        QTest::newRow("vanished") << 0 << QStringList() << "home"
            << "The input images folder cannot be read: No such file or directory." << "Error";
    }
    void browsedFolder()
    {
        QFETCH(int, index); QFETCH(QStringList, files); QFETCH(QString, other); QFETCH(QString, sentence); QFETCH(QString, title);
        QTemporaryDir parent;
        const QString folder = parent.path() + (files.isEmpty() ? "/gone" : "/f");
        QVERIFY(files.isEmpty() || makeFiles(folder, files));
        LOAD_MAIN_WINDOW(w);
        const QString otherText = other == "home" ? QDir::homePath() + '/' : other == "gone" ? parent.path() + "/gone/" : "";
        w.txbFolderForImages[1 - index]->setText(otherText);
        ScriptedPrompts scripted;
        scripted.expectFolder(GetProgramText(3 + index), folder + (other == "yes" ? "/" : ""));
        scripted.expectMessage(sentence, title, MsgButtons::Ok, files.isEmpty() ? MsgIcon::Exclamation : MsgIcon::None);
        if (other == "gone")
            scripted.expectMessage("Output images folder not found!", "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        else if (other != "home")
            scripted.expectMessage("Output images folder the same?", "Output images folder", MsgButtons::YesNo,
                                   MsgIcon::None, other == "yes" ? MsgAnswer::Yes : MsgAnswer::No);
        w.cmdFolderForImages_Click(index);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.txbFolderForImages[index]->text(), folder + '/');
        QCOMPARE(w.txbFolderForImages[1 - index]->text(), other == "yes" ? folder + '/' : otherText);
    }

    // A typed folder is completed when the box is left, and checked; a
    // cancelled browser changes nothing; "Clear" empties only its own box.
    void typedCancelledAndCleared()
    {
        QTemporaryDir current;
        LOAD_MAIN_WINDOW(w);
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(current.path()));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.txbFolderForImages[0]->setFocus();
        QTest::keyClicks(w.txbFolderForImages[0], " missing");
        ScriptedPrompts scripted;
        scripted.expectMessage("Input images folder not found!", "Error", MsgButtons::Ok, MsgIcon::Exclamation);
        QTest::keyClick(w.txbFolderForImages[0], Qt::Key_Tab);
        QDir::setCurrent(saved);
        QCOMPARE(w.txbFolderForImages[0]->text(), current.path() + "/missing/");
        w.txbFolderForImages[1]->setText("/out/");
        scripted.expectFolder(GetProgramText(4), "");
        w.cmdFolderForImages_Click(1);
        QTest::mouseClick(w.cmdClearFolderForImages[0], Qt::LeftButton);
        QCOMPARE(w.txbFolderForImages[0]->text() + '|' + w.txbFolderForImages[1]->text(), QStringLiteral("|/out/"));
        QTest::mouseClick(w.cmdClearFolderForImages[1], Qt::LeftButton);
        QVERIFY(w.txbFolderForImages[1]->text().isEmpty());
        VERIFY_PROMPTS(scripted);
    }

    // Only the output format shows the quality box, and only for the formats
    // written at a quality: JPG, WEBP (4) and AVIF (5), not TIFF (6).
    void qualityControlsFollowOutputFormat()
    {
        LOAD_MAIN_WINDOW(w);
        for (const auto& [input, output, shown] : {std::tuple(0, 3, true), std::tuple(3, 2, false), std::tuple(0, 3, true),
                                                   std::tuple(3, 0, false), std::tuple(4, 0, false), std::tuple(0, 4, true),
                                                   std::tuple(0, 6, false), std::tuple(5, 5, true), std::tuple(8, 1, false)}) {
            w.cboFileFormat[0]->setCurrentIndex(input);
            w.cboFileFormat[1]->setCurrentIndex(output);
            QVERIFY(w.lblQuality->isVisible() == shown && w.txbQuality->isVisible() == shown);
        }
    }

    // The "List" buttons: "@" in the box stands for the folder. Nothing is
    // listed when the box is blank or all files are declined; "Select" lists
    // every file after asking; the other side's filter is "*" or its format.
    void listing_data()
    {
        columns<int, QString, int, int, MsgAnswer, QString, QString>(
            {"index", "box", "entry", "otherEntry", "answer", "filters", "report"});
        const QString all = "a.jpeg  5 bytes\r\nNotes.txt  0 bytes\r\nphoto.bmp  1,234 bytes\r\nPHOTO.JPG  1,234,567 bytes\r\n"
                            "\r\nNumber of files in the %1 folder: 4\r\n";
        QTest::newRow("input, blanks") << 0 << "   " << 1 << 0 << MsgAnswer::Ok << "" << "";
        QTest::newRow("all declined") << 0 << "@" << 0 << 2 << MsgAnswer::No << "" << "";
        QTest::newRow("input, all, output PNG") << 0 << "@" << 0 << 2 << MsgAnswer::Yes << "*|PNG" << all.arg("input");
        QTest::newRow("output, all, input GIF") << 1 << "@" << 0 << 4 << MsgAnswer::Yes << "GIF|*" << all.arg("output");
        QTest::newRow("input JPG, both extensions") << 0 << "@" << 3 << 0 << MsgAnswer::Ok << "JPG|*"
            << "a.jpeg  5 bytes\r\nPHOTO.JPG  1,234,567 bytes\r\n\r\nNumber of JPG files in the input folder: 2\r\n";
        QTest::newRow("output BMP") << 1 << "@" << 1 << 0 << MsgAnswer::Ok << "*|BMP"
            << "photo.bmp  1,234 bytes\r\n\r\nNumber of BMP files in the output folder: 1\r\n";
    }
    void listing()
    {
        QFETCH(int, index); QFETCH(QString, box); QFETCH(int, entry); QFETCH(int, otherEntry); QFETCH(MsgAnswer, answer); QFETCH(QString, filters);
        QFETCH(QString, report);
        LOAD_MAIN_WINDOW(w);
        w.txbFolderForImages[index]->setText(box == "@" ? listed_ : box);
        w.txbFolderForImages[1 - index]->setText(listed_);  // the other side does not count
        w.cboFileFormat[index]->setCurrentIndex(entry);
        w.cboFileFormat[1 - index]->setCurrentIndex(otherEntry);
        w.AppendToReport("earlier\r\n");
        ScriptedPrompts scripted;
        const QString side = index == 0 ? "input" : "output";
        if (box != "@")
            scripted.expectMessage("Please specify folder for " + side + " images.", "Need more input", MsgButtons::Ok, MsgIcon::None);
        else if (entry == 0)
            scripted.expectMessage("List all files in the " + side + " folder?", "List all files?", MsgButtons::YesNo, MsgIcon::None, answer);
        QTest::mouseClick(w.cmdList[index], Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(w.ReportText(), report.isEmpty() ? QStringLiteral("earlier\r\n") : report);
        if (report.isEmpty())
            QCOMPARE(w.focusWidget(), w.cmdFolderForImages[index]);
        else
            QCOMPARE(w.InputFormatFilter + '|' + w.OutputFormatFilter, filters);
    }
};

QTEST_MAIN(TestFolders)
#include "tst_folders.moc"
