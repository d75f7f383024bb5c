#include "frmHelp.h"

#include "FormHelpers.h"
#include "HelpText.h"
#include "Twips.h"
#include "frmMain.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace pictoria {

namespace {

constexpr int kHelpScreenLeft = 120;
constexpr int kHelpScreenTop = 120;
constexpr int kCloseWidth = 1215;
constexpr int kCloseHeight = 315;

QRect pixels(const frmHelp::Rect& r) { return TwipsRect(r.left, r.top, r.width, r.height); }

}  // namespace

frmHelp::Rect frmHelp::PlacementOver(const Rect& main)
{
    return {main.left + 200, main.top + 480, main.width - 400, main.height - 680};
}

frmHelp::ControlsLayout frmHelp::LayoutFor(int width, int height)
{
    ControlsLayout layout{};
    layout.helpScreen = {kHelpScreenLeft, kHelpScreenTop, std::max(0, width - 350), std::max(0, height - 1280)};
    layout.close = {(width - kCloseWidth) / 2, height - 1000, kCloseWidth, kCloseHeight};
    return layout;
}

frmHelp::frmHelp(frmMain& owner) : QWidget(&owner, Qt::Window)
{
    setObjectName(QStringLiteral("frmHelp"));
    setAttribute(Qt::WA_DeleteOnClose);

    txbHelpScreen = new QPlainTextEdit(this);
    txbHelpScreen->setObjectName(QStringLiteral("txbHelpScreen"));
    txbHelpScreen->setReadOnly(true);
    txbHelpScreen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txbHelpScreen->setFont(QFont(QStringLiteral("Arial")));
    txbHelpScreen->move(TwipsToPixels(kHelpScreenLeft), TwipsToPixels(kHelpScreenTop));

    cmdClose = new QPushButton(this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->resize(TwipsToPixels(kCloseWidth), TwipsToPixels(kCloseHeight));
    connect(cmdClose, &QPushButton::clicked, this, &frmHelp::cmdClose_Click);

    Form_Load(owner);
}

void frmHelp::Form_Load(frmMain& owner)
{
    const Rect place = PlacementOver({PixelsToTwips(owner.x()), owner.windowTopTwips(),
                                      PixelsToTwips(owner.width()), owner.windowHeightTwips()});
    PlaceWindow(*this, QPoint(TwipsToPixels(place.left), TwipsToPixels(place.top)));
    resize(TwipsToPixels(place.width), TwipsToPixels(place.height));

    // The text box separates its lines by line feeds alone.
    txbHelpScreen->setPlainText(BuildHelpText(owner.strOnlineManualURL).replace(QStringLiteral("\r\n"),
                                                                                QStringLiteral("\n")));
    setWindowTitle(QStringLiteral("Help screen for Pictoria"));
    cmdClose->setText(QStringLiteral("Close"));
}

void frmHelp::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmHelp::Form_Resize()
{
    if (isMinimized())
        return;
    const ControlsLayout layout = LayoutFor(PixelsToTwips(width()), PixelsToTwips(height()));
    txbHelpScreen->setGeometry(pixels(layout.helpScreen));
    cmdClose->setGeometry(pixels(layout.close));
}

void frmHelp::cmdClose_Click() { hide(); }

}  // namespace pictoria
