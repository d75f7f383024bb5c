// The help window: its text and geometry, help again, the F1 key, the web links and the catalogue.
#include "Fixtures.h"
#include "HelpText.h"
#include "Launch.h"
#include "ScriptedPrompts.h"
#include "Twips.h"
#include "frmHelp.h"
#include "frmQVsoftware.h"

#include <QListWidget>
#include <QPointer>
#include <QTextDocument>

using namespace pictoria;
using namespace pictoria::testing;

namespace {
// The text as the box holds it; toPlainText() would turn the headings' no-break spaces into blanks.
QString shownText(const frmHelp* help)
{
    return help->txbHelpScreen->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}
QRect pixels(const frmHelp::Rect& r) { return TwipsRect(r.left, r.top, r.width, r.height); }
}  // namespace

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    // The manual's address first, then eight numbered headings in order, CR LF
    // line breaks throughout and the credit lines at the end without blank lines.
    void textHasTheAddressAndEightHeadingsInOrder()
    {
        const QString text = BuildHelpText("https://example.org/m");
        QVERIFY(text.startsWith("An illustrated verson of this user manual can be found at https://example.org/m."
                                "\r\n\r\nThis help screen can be resized for easier reading.\r\n\r\n1.\u00A0 "));
        qsizetype from = 0;
        for (const char* heading :
             {"1.\u00A0 INTRODUCTION", "2. CONVERTING A SINGLE IMAGE FILE", "3.\u00A0 CONVERTING MULTIPLE IMAGE FILES",
              "4.\u00A0 VIEWING RESULTING IMAGE FILES", "5.\u00A0 OPTIMIZING JPG FILES", "6.\u00A0 ERROR MESSAGES",
              "7.\u00A0 SAVING AND RESTORING THE STATE", "8.\u00A0 ACKNOWLEDGEMENTS"}) {
            from = text.indexOf("\r\n\r\n" + QString::fromUtf8(heading) + "\r\n\r\n", from + 1);
            QVERIFY2(from > 0, heading);
        }
        QVERIFY(text.count('\n') == text.count("\r\n") && text.count('\r') == text.count("\r\n"));
        const QString tail = text.mid(text.lastIndexOf("\r\n\r\n") + 4);
        QVERIFY(!text.contains("\r\n\r\n\r\n") && tail.endsWith("\r\n") && tail.count("\r\n") >= 2);
        for (const char* name : {"Qt 6", "GNU Lesser General Public License version 3", "libjpeg-turbo", "IJG",
                                 "Independent JPEG Group", "libpng", "PNG Reference Library License", "zlib",
                                 "giflib", "MIT", "BMP"})
            QVERIFY2(text.mid(from).contains(QLatin1String(name)), name);
        QCOMPARE(frmHelp::PlacementOver({1000, 800, 9000, 7000}), (frmHelp::Rect{1200, 1280, 8600, 6320}));
        QCOMPARE(frmHelp::LayoutFor(8600, 6320), (frmHelp::ControlsLayout{{120, 120, 8250, 5040}, {3692, 5320, 1215, 315}}));
        QCOMPARE(frmHelp::LayoutFor(0, 0), (frmHelp::ControlsLayout{{120, 120, 0, 0}, {-607, -1000, 1215, 315}}));
    }

    // Help opens the manual over the main window. Again while minimised it
    // only brings the window back; after Close it shows the same window where
    // the user left it; the close box unloads it, so help builds it afresh.
    void helpOpensAndComesBack()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        QTest::mouseClick(w.cmdHelp, Qt::LeftButton);
        QPointer<frmHelp> help = w.helpWindow();
        QVERIFY(help && help->isVisible() && help->txbHelpScreen->isReadOnly());
        QCOMPARE((QStringList{help->windowTitle(), help->cmdClose->text()}), (QStringList{"Help screen for Pictoria", "Close"}));
        const QString manual = BuildHelpText(w.strOnlineManualURL).replace("\r\n", "\n");
        QCOMPARE(shownText(help), manual);
        const QRect placed = pixels(frmHelp::PlacementOver(
            {PixelsToTwips(w.x()), w.windowTopTwips(), PixelsToTwips(w.width()), w.windowHeightTwips()}));
        QCOMPARE(QRect(help->pos(), help->size()), placed);
        help->showMinimized();
        w.cmdHelp_Click();
        QVERIFY(help->isVisible() && !help->isMinimized());
        help->setGeometry(40, 50, 500, 400);
        const frmHelp::ControlsLayout layout = frmHelp::LayoutFor(PixelsToTwips(500), PixelsToTwips(400));
        QCOMPARE(help->txbHelpScreen->geometry(), pixels(layout.helpScreen));
        QCOMPARE(help->cmdClose->geometry(), pixels(layout.close));
        help->txbHelpScreen->setPlainText("not rebuilt");
        QTest::mouseClick(help->cmdClose, Qt::LeftButton);
        QVERIFY(!help->isVisible());
        w.cmdHelp_Click();
        QVERIFY(w.helpWindow() == help && help->isVisible() && help->geometry() == QRect(40, 50, 500, 400));
        QCOMPARE(shownText(help), QStringLiteral("not rebuilt"));
        QVERIFY(help->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(help.isNull());
        w.cmdHelp_Click();
        QCOMPARE(QRect(w.helpWindow()->pos(), w.helpWindow()->size()), placed);
        QCOMPARE(shownText(w.helpWindow()), manual);
        VERIFY_PROMPTS(scripted);
    }

    // F1, shifted or not, opens help from the two Convert buttons, Help and
    // the lists; another key, or another button, does nothing.
    void f1OpensHelpFromTheButtons()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        const struct { QWidget* control; Qt::Key key; Qt::KeyboardModifiers modifiers; bool opens; } rows[] = {
            {w.cmdConvertSingleFile, Qt::Key_F1, {}, true}, {w.cmdConvertFiles, Qt::Key_F1, {}, true},
            {w.cmdHelp, Qt::Key_F1, {}, true},              {w.cmdList[1], Qt::Key_F1, Qt::ShiftModifier, true},
            {w.cmdList[0], Qt::Key_F2, {}, false},          {w.cmdQuit, Qt::Key_F1, {}, false}};
        for (const auto& r : rows) {
            QTest::keyRelease(r.control, r.key, r.modifiers);
            QCOMPARE(w.helpWindow() && w.helpWindow()->isVisible(), r.opens);
            delete w.helpWindow();
        }
    }

    // Each link opens its page, a failed launch is reported, and either way
    // the focus goes to the next step of a batch.
    void linksOpenTheirPages()
    {
        const QString manual = "https://quorvane.example/pictoria/manual/", home = "https://quorvane.example/";
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        QCOMPARE(w.lblOnlineDocumentation->toolTip(), "Click here for the online user manual at " + manual + ".");
        QCOMPARE(w.lblQuorvaneSystems->toolTip(), "Click here for the Quorvane Systems website at " + home + ".");
        QCOMPARE(w.lblQV_URL->text(), QStringLiteral("quorvane.example"));
        w.txbFolderForImages[0]->setText("/in/");
        scripted.expectLaunch(manual, 42);
        QTest::mouseClick(w.lblOnlineDocumentation, Qt::LeftButton);
        QCOMPARE(w.focusWidget(), w.cmdFolderForImages[1]);
        w.cmdConvertSingleFile->setFocus();
        scripted.expectLaunch(home, 31);
        scripted.expectMessage(WebPageErrorMessage(31, home), "Cannot launch web browser", MsgButtons::Ok, MsgIcon::Exclamation);
        QTest::mouseClick(w.lblQuorvaneSystems, Qt::LeftButton);
        QCOMPARE(w.focusWidget(), w.cmdFolderForImages[1]);
        VERIFY_PROMPTS(scripted);
    }

    void catalogueHidesTheMainWindowWhileShown()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        scripted.expectModal("frmQVsoftware", [&](QDialog& dialog) {
            auto& catalogue = static_cast<frmQVsoftware&>(dialog);
            QVERIFY(!w.isVisible() && catalogue.lstPrograms->item(0)->text().startsWith("Pictoria"));
            QTest::mouseClick(catalogue.cmdClose, Qt::LeftButton);
        });
        QTest::mouseClick(w.cmdCopyToClipboard, Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QVERIFY(w.isVisible() && w.focusWidget() == w.cmdHelp);
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
