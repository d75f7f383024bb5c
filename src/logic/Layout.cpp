#include "Layout.h"

#include <cmath>

namespace pictoria {

int RoundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));  // default rounding mode is to-nearest-even
}

static MainLayout placeBottomRow(int height, int top, const LayoutDesign& d)
{
    MainLayout l{};
    l.windowHeight = height;
    l.windowTop = top;
    l.bottomButtonsTop = RoundHalfEven(height - 860.0);
    l.reportHeight = height - 3100;
    l.manualLinkTop = l.bottomButtonsTop + 30;
    const double gap = (d.catalogueLeft - d.clearReportLeft - d.clearReportWidth - d.manualLinkWidth) / 2.0;
    l.manualLinkLeft = d.clearReportLeft + d.clearReportWidth + RoundHalfEven(gap);
    return l;
}

QualitySearchPlacement PlaceQualitySearch(const QualitySearchDesign& d)
{
    QualitySearchPlacement p{};
    p.checkLeft = d.qualityBoxRight + d.gap;
    p.targetLeft = p.checkLeft + d.checkWidth + d.gap;
    p.windowWidth = p.targetLeft + d.targetWidth + d.rightMargin;
    return p;
}

MainLayout NormalLayout(int normalHeight, int screenHeight, const LayoutDesign& design)
{
    return placeBottomRow(normalHeight, (screenHeight - normalHeight) / 2, design);
}

MainLayout LargeLayout(int screenHeight, const LayoutDesign& design)
{
    return placeBottomRow(RoundHalfEven(screenHeight * 0.9), 300, design);
}

}  // namespace pictoria
