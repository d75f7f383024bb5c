// Window and control geometry is kept in twips; this is the one place where
// twips become logical pixels (15 twips each). Qt's high-DPI scaling does the rest.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

namespace pictoria {

constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips)
{
    return (twips >= 0 ? twips + kTwipsPerPixel / 2 : twips - kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr int PixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

inline QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

/// A control of kind @p W on @p parent, named @p name (its objectName) and
/// placed at the design geometry given in twips.
template <typename W>
W* CreateControl(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    auto* control = new W(parent);
    control->setObjectName(name);
    control->setGeometry(TwipsRect(left, top, width, height));
    return control;
}

}  // namespace pictoria
