// The main window's two layouts as pure functions in twips, so the figures
// can be checked without a window. The window converts to pixels at one
// boundary (Twips.h).
#pragma once

namespace pictoria {

struct MainLayout {
    int windowHeight;       // outer height
    int windowTop;
    int bottomButtonsTop;   // "Clear report window" and the catalogue button
    int reportHeight;
    int manualLinkTop;      // "Online user manual"
    int manualLinkLeft;
};

/// Design geometry the layout rules refer to.
struct LayoutDesign {
    int clearReportLeft = 2100;
    int clearReportWidth = 2355;
    int catalogueLeft = 8160;
    int manualLinkWidth = 2010;
};

/// The automatic-quality controls in the quality box's row, to its right:
/// the check box, then the target box; the window is widened to hold them.
struct QualitySearchDesign {
    int qualityBoxRight = 9855 + 645;
    int top = 1440;
    int checkWidth = 2550;
    int targetWidth = 500;
    int gap = 90;
    int rightMargin = 135;  // as the quality box keeps from the window's edge
};

struct QualitySearchPlacement {
    int checkLeft;
    int targetLeft;
    int windowWidth;

    bool operator==(const QualitySearchPlacement&) const = default;
};

QualitySearchPlacement PlaceQualitySearch(const QualitySearchDesign& design = {});

/// Rounds half to the even neighbour, as the layout rules ask.
int RoundHalfEven(double value);

/// Normal layout: the window @p normalHeight high, centred vertically.
MainLayout NormalLayout(int normalHeight, int screenHeight, const LayoutDesign& design = {});

/// Large layout: nine tenths of the screen height, 300 twips from the top.
MainLayout LargeLayout(int screenHeight, const LayoutDesign& design = {});

}  // namespace pictoria
