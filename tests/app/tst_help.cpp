// The help window: its text and geometry, the F1 key, the web links and the catalogue.
#include "Fixtures.h"
#include "HelpText.h"
#include "ScriptedPrompts.h"
#include "Twips.h"
#include "frmHelp.h"
#include "frmQVsoftware.h"

#include <QApplication>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextDocument>

using namespace pictoria;
using namespace pictoria::testing;

Q_DECLARE_METATYPE(pictoria::frmHelp::Rect)

namespace {
const QString kManualUrl = QStringLiteral("https://quorvane.example/pictoria/manual/");
const QString kHomePage = QStringLiteral("https://quorvane.example/");

// The text as the box holds it; toPlainText() would turn the headings'
// no-break spaces into blanks.
QString shownText(const frmHelp& help)
{
    return help.txbHelpScreen->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

}  // namespace

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    // The manual's address first, then eight numbered headings in order, CR LF
    // line breaks throughout and the credit lines at the end without blank lines.
    void textHasTheAddressAndEightHeadingsInOrder()
    {
        QVERIFY(BuildHelpText(QStringLiteral("https://example.org/m"))
                    .startsWith("An illustrated verson of this user manual can be found at https://example.org/m."
                                "\r\n\r\nThis help screen can be resized for easier reading.\r\n\r\n1.\u00A0 "));
        const QString text = BuildHelpText(kManualUrl);
        const QStringList headings = {
            "1.\u00A0 INTRODUCTION",
            "2. CONVERTING A SINGLE IMAGE FILE",
            "3.\u00A0 CONVERTING MULTIPLE IMAGE FILES",
            "4.\u00A0 VIEWING RESULTING IMAGE FILES",
            "5.\u00A0 OPTIMIZING JPG FILES",
            "6.\u00A0 ERROR MESSAGES",
            "7.\u00A0 SAVING AND RESTORING THE STATE",
            "8.\u00A0 ACKNOWLEDGEMENTS",
        };
        qsizetype from = 0;
        for (const QString& heading : headings) {
            const qsizetype at = text.indexOf("\r\n\r\n" + heading + "\r\n\r\n", from);
            QVERIFY2(at > from, qPrintable(heading));
            from = at + heading.size();
        }
        // No other line looks like a numbered heading.
        static const QRegularExpression numbered(QStringLiteral("(^|\\n)[0-9]+\\.[\u00A0 ]"));
        QCOMPARE(text.count(numbered), headings.size());
        QCOMPARE(text.count('\n'), text.count("\r\n"));
        QCOMPARE(text.count('\r'), text.count("\r\n"));
        QVERIFY(!text.contains("\r\n\r\n\r\n"));
        const QString credits = text.mid(text.indexOf("ACKNOWLEDGEMENTS"));
        const QString tail = credits.mid(credits.lastIndexOf("\r\n\r\n") + 4);
        QVERIFY(tail.endsWith("\r\n") && !tail.endsWith("\r\n\r\n"));
        QVERIFY(tail.count("\r\n") >= 2);
        for (const char* name : {"Qt 6", "GNU Lesser General Public License version 3", "libjpeg-turbo",
                                 "Independent JPEG Group", "IJG", "libpng", "PNG Reference Library License",
                                 "zlib", "giflib", "MIT", "BMP"})
            QVERIFY2(credits.contains(QString::fromLatin1(name)), name);
    }

    void placementOverTheMainWindow()
    {
        QCOMPARE(frmHelp::PlacementOver({1000, 800, 9000, 7000}), (frmHelp::Rect{1200, 1280, 8600, 6320}));
    }

    void controlsFollowTheWindowSize_data()
    {
        columns<int, int, frmHelp::Rect, frmHelp::Rect>({"width", "height", "helpScreen", "close"});
        QTest::newRow("example") << 8600 << 6320 << frmHelp::Rect{120, 120, 8250, 5040}
                                 << frmHelp::Rect{3692, 5320, 1215, 315};
        QTest::newRow("just big enough") << 350 << 1280 << frmHelp::Rect{120, 120, 0, 0}
                                         << frmHelp::Rect{-432, 280, 1215, 315};
        QTest::newRow("nothing") << 0 << 0 << frmHelp::Rect{120, 120, 0, 0} << frmHelp::Rect{-607, -1000, 1215, 315};
    }
    void controlsFollowTheWindowSize()
    {
        QFETCH(int, width); QFETCH(int, height); QFETCH(frmHelp::Rect, helpScreen); QFETCH(frmHelp::Rect, close);
        const frmHelp::ControlsLayout layout = frmHelp::LayoutFor(width, height);
        QCOMPARE(layout.helpScreen, helpScreen);
        QCOMPARE(layout.close, close);
    }

    void helpOpensTheManualOverTheMainWindow()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        QVERIFY(!w.helpWindow());
        QTest::mouseClick(w.cmdHelp, Qt::LeftButton);
        frmHelp* help = w.helpWindow();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QCOMPARE(help->objectName(), QStringLiteral("frmHelp"));
        QCOMPARE(help->windowTitle(), QStringLiteral("Help screen for Pictoria"));
        QCOMPARE(help->cmdClose->text(), QStringLiteral("Close"));
        QVERIFY(help->txbHelpScreen->isReadOnly());
        QCOMPARE(help->txbHelpScreen->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(help->txbHelpScreen->font().family(), QStringLiteral("Arial"));
        QCOMPARE(shownText(*help), BuildHelpText(w.strOnlineManualURL).replace("\r\n", "\n"));

        const frmHelp::Rect place = frmHelp::PlacementOver(
            {PixelsToTwips(w.x()), w.windowTopTwips(), PixelsToTwips(w.width()), w.windowHeightTwips()});
        QCOMPARE(help->pos(), QPoint(TwipsToPixels(place.left), TwipsToPixels(place.top)));
        QCOMPARE(help->size(), QSize(TwipsToPixels(place.width), TwipsToPixels(place.height)));
        const frmHelp::ControlsLayout layout =
            frmHelp::LayoutFor(PixelsToTwips(help->width()), PixelsToTwips(help->height()));
        QCOMPARE(help->txbHelpScreen->geometry(), TwipsRect(120, 120, layout.helpScreen.width, layout.helpScreen.height));
        QCOMPARE(help->cmdClose->geometry(),
                 TwipsRect(layout.close.left, layout.close.top, layout.close.width, layout.close.height));
        VERIFY_PROMPTS(scripted);
    }

    // Help again: while open or minimised it only brings the window back, after
    // Close it shows the same window where the user left it; the close box
    // unloads the window, so help builds it afresh at its own place.
    void helpAgain_data()
    {
        columns<QString>({"before"});
        QTest::newRow("while minimised") << "minimised";
        QTest::newRow("after Close") << "Close";
        QTest::newRow("after the close box") << "close box";
    }
    void helpAgain()
    {
        QFETCH(QString, before);
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        w.cmdHelp_Click();
        QPointer<frmHelp> help = w.helpWindow();
        const QPoint placed = help->pos();
        help->setGeometry(40, 50, 500, 400);
        const QRect moved = help->geometry();
        help->txbHelpScreen->setPlainText("marker: not rebuilt");
        if (before == "minimised") {
            help->showMinimized();
            QVERIFY(help->isMinimized());
        } else if (before == "Close") {
            QTest::mouseClick(help->cmdClose, Qt::LeftButton);
        } else if (before == "close box") {
            QVERIFY(help->close());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(help.isNull(), before == "close box");
        QCOMPARE(w.helpWindow() == nullptr, before == "close box");
        if (help)
            QCOMPARE(help->isVisible(), before == "open" || before == "minimised");
        w.cmdHelp_Click();
        QVERIFY(w.helpWindow()->isVisible());
        QVERIFY(!w.helpWindow()->isMinimized());
        if (before == "close box") {
            QCOMPARE(w.helpWindow()->pos(), placed);
            QCOMPARE(shownText(*w.helpWindow()), BuildHelpText(w.strOnlineManualURL).replace("\r\n", "\n"));
        } else {
            QCOMPARE(w.helpWindow(), help.data());
            QCOMPARE(shownText(*help), QStringLiteral("marker: not rebuilt"));
            if (before != "minimised")
                QCOMPARE(help->geometry(), moved);
        }
    }

    // F1 opens help from the four buttons; elsewhere, or another key, nothing.
    void f1OpensHelpFromTheButtons_data()
    {
        columns<QString, int, Qt::KeyboardModifiers, bool>({"control", "key", "modifiers", "opens"});
        const Qt::KeyboardModifiers none;
        QTest::newRow("List input") << "cmdList_0" << int(Qt::Key_F1) << none << true;
        QTest::newRow("shift F1 on List") << "cmdList_0" << int(Qt::Key_F1) << Qt::KeyboardModifiers(Qt::ShiftModifier) << true;
        QTest::newRow("Convert single file") << "cmdConvertSingleFile" << int(Qt::Key_F1) << none << true;
        QTest::newRow("F2 on List") << "cmdList_0" << int(Qt::Key_F2) << none << false;
        QTest::newRow("Quit") << "cmdQuit" << int(Qt::Key_F1) << none << false;
    }
    void f1OpensHelpFromTheButtons()
    {
        QFETCH(QString, control); QFETCH(int, key); QFETCH(Qt::KeyboardModifiers, modifiers); QFETCH(bool, opens);
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        auto* widget = w.findChild<QWidget*>(control);
        QVERIFY(widget);
        QTest::keyRelease(widget, Qt::Key(key), modifiers);
        QCOMPARE(w.helpWindow() != nullptr, opens);
        if (opens)
            QVERIFY(w.helpWindow()->isVisible());
        VERIFY_PROMPTS(scripted);
    }

    void linkLabelsCarryTheirAddresses()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        QCOMPARE(w.strOnlineManualURL, kManualUrl);
        QCOMPARE(w.lblOnlineDocumentation->toolTip(),
                 QStringLiteral("Click here for the online user manual at ") + kManualUrl + ".");
        QCOMPARE(w.lblQuorvaneSystems->toolTip(),
                 QStringLiteral("Click here for the Quorvane Systems website at ") + kHomePage + ".");
        QCOMPARE(w.lblQV_URL->text(), QStringLiteral("quorvane.example"));
    }

    // A launch that fails is reported; either way the focus goes to the next
    // step of a batch.
    void clickingALinkOpensItsPage_data()
    {
        columns<QString, QString, int>({"label", "address", "result"});
        QTest::newRow("online user manual") << "lblOnlineDocumentation" << kManualUrl << 42;
        QTest::newRow("maker, no browser") << "lblQuorvaneSystems" << kHomePage << 31;
    }
    void clickingALinkOpensItsPage()
    {
        QFETCH(QString, label); QFETCH(QString, address); QFETCH(int, result);
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        w.txbFolderForImages[0]->setText("/in/");
        scripted.expectLaunch(address, result);
        if (result <= 32)
            scripted.expectAnyMessage();
        QTest::mouseClick(w.findChild<QLabel*>(label), Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QCOMPARE(scripted.calls().constFirst().title, QStringLiteral("web"));
        if (result <= 32)
            QCOMPARE(scripted.calls().constLast().title, QStringLiteral("Cannot launch web browser"));
        QCOMPARE(w.focusWidget(), w.cmdFolderForImages[1]);
    }

    void catalogueHidesTheMainWindowWhileShown()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        bool mainHidden = false;
        QString listed;
        scripted.expectModal("frmQVsoftware", [&](QDialog& dialog) {
            mainHidden = !w.isVisible();
            auto& catalogue = static_cast<frmQVsoftware&>(dialog);
            QVERIFY(catalogue.isModal());
            listed = catalogue.lstPrograms->item(0)->text();
            QTest::mouseClick(catalogue.cmdClose, Qt::LeftButton);
        });
        QTest::mouseClick(w.cmdCopyToClipboard, Qt::LeftButton);
        VERIFY_PROMPTS(scripted);
        QVERIFY(mainHidden);
        QVERIFY(listed.startsWith("Pictoria"));
        QVERIFY(w.isVisible());
        QCOMPARE(w.focusWidget(), w.cmdHelp);
    }

};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
