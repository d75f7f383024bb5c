// The normal and large layouts, "Clear report window" and the option boxes' focus rule.
#include "Fixtures.h"
#include "Layout.h"
#include "ScriptedPrompts.h"
#include "Twips.h"

#include <QScreen>

using namespace pictoria;
using namespace pictoria::testing;

Q_DECLARE_METATYPE(pictoria::MainLayout)
Q_DECLARE_METATYPE(pictoria::LayoutDesign)

namespace {
int screenHeightTwips(const frmMain& w) { return PixelsToTwips(w.screen()->geometry().height()); }

// The controls the layout moves stand where @p layout says.
void verifyControls(const frmMain& w, const MainLayout& layout)
{
    QCOMPARE(w.windowHeightTwips(), layout.windowHeight);
    QCOMPARE(w.windowTopTwips(), layout.windowTop);
    QCOMPARE(w.height(), TwipsToPixels(layout.windowHeight));
    QCOMPARE(w.cmdClearFolderForImages[2]->y(), TwipsToPixels(layout.bottomButtonsTop));
    QCOMPARE(w.cmdCopyToClipboard->y(), TwipsToPixels(layout.bottomButtonsTop));
    QCOMPARE(w.txbReport->height(), TwipsToPixels(layout.reportHeight));
    QCOMPARE(w.lblOnlineDocumentation->pos(),
             QPoint(TwipsToPixels(layout.manualLinkLeft), TwipsToPixels(layout.manualLinkTop)));
    // Nothing else moves.
    QCOMPARE(w.txbReport->pos(), TwipsRect(2100, 2110, 0, 0).topLeft());
    QCOMPARE(w.cmdClearFolderForImages[2]->x(), TwipsToPixels(2100));
    QCOMPARE(w.cmdCopyToClipboard->x(), TwipsToPixels(8160));
    QCOMPARE(w.width(), TwipsToPixels(10635));
}

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void layoutFigures_data()
    {
        columns<bool, int, LayoutDesign, MainLayout>({"large", "screenHeight", "design", "expected"});
        const LayoutDesign design;
        // Link left: 2100 + 2355 + (8160 - 2100 - 2355 - 2010) / 2 = 4455 + 847.5, rounded to even 848.
        QTest::newRow("normal, screen 12000") << false << 12000 << design << MainLayout{5450, 3275, 4590, 2350, 4620, 5303};
        QTest::newRow("large, screen 11520") << true << 11520 << design << MainLayout{10368, 300, 9508, 7268, 9538, 5303};
        QTest::newRow("large, screen 12000") << true << 12000 << design << MainLayout{10800, 300, 9940, 7700, 9970, 5303};
        LayoutDesign wider = design;
        wider.manualLinkWidth = 2012;  // gap 846.5 rounds down to the even 846
        QTest::newRow("half gap rounds to even (down)") << false << 12000 << wider << MainLayout{5450, 3275, 4590, 2350, 4620, 5301};
        LayoutDesign whole = design;
        whole.manualLinkWidth = 2011;  // gap 847, no rounding
        QTest::newRow("whole gap") << false << 12000 << whole << MainLayout{5450, 3275, 4590, 2350, 4620, 5302};
    }
    void layoutFigures()
    {
        QFETCH(bool, large); QFETCH(int, screenHeight); QFETCH(LayoutDesign, design); QFETCH(MainLayout, expected);
        const MainLayout l = large ? LargeLayout(screenHeight, design) : NormalLayout(5450, screenHeight, design);
        QCOMPARE(l.windowHeight, expected.windowHeight);
        QCOMPARE(l.windowTop, expected.windowTop);
        QCOMPARE(l.bottomButtonsTop, expected.bottomButtonsTop);
        QCOMPARE(l.reportHeight, expected.reportHeight);
        QCOMPARE(l.manualLinkTop, expected.manualLinkTop);
        QCOMPARE(l.manualLinkLeft, expected.manualLinkLeft);
    }

    void largeWindowThenClearReportOrResetReturnsToNormal()
    {
        ScriptedPrompts scripted;
        LOAD_MAIN_WINDOW(w);
        const int screen = screenHeightTwips(w);
        verifyControls(w, NormalLayout(5450, screen));
        QVERIFY(qAbs(w.x() - (w.screen()->geometry().width() - w.width()) / 2) <= 1);  // centred
        w.Timer1_Timer();
        QVERIFY(!w.chkLargeWindow->isVisible());

        w.AppendToReport(QStringLiteral("a report line\r\n"));
        w.Timer1_Timer();
        QVERIFY(w.chkLargeWindow->isVisible());
        QVERIFY(w.cmdClearFolderForImages[2]->isVisible());
        QTest::mouseClick(w.chkLargeWindow, Qt::LeftButton);
        QVERIFY(w.chkLargeWindow->isChecked());
        verifyControls(w, LargeLayout(screen));
        QCOMPARE(w.windowTopTwips(), 300);

        QTest::mouseClick(w.cmdClearFolderForImages[2], Qt::LeftButton);
        QVERIFY(w.ReportText().isEmpty());
        QVERIFY(!w.chkLargeWindow->isChecked());
        verifyControls(w, NormalLayout(5450, screen));
        QCOMPARE(w.windowTopTwips(), (screen - 5450) / 2);
        QCOMPARE(w.focusWidget(), w.cmdConvertSingleFile);
        w.Timer1_Timer();
        QVERIFY(!w.chkLargeWindow->isVisible());
        QVERIFY(!w.cmdClearFolderForImages[2]->isVisible());
        // Resetting the parameters also returns to the normal layout.
        w.chkLargeWindow->setChecked(true);
        verifyControls(w, LargeLayout(screen));
        w.ResetParameters();
        verifyControls(w, NormalLayout(5450, screen));
        VERIFY_PROMPTS(scripted);
    }

};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
