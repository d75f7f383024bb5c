// The help window: the user manual as plain text in a resizable, modeless
// window placed over the main window.
#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace pictoria {

class frmMain;

class frmHelp : public QWidget {
    Q_OBJECT

public:
    /// A window's or control's place in twips.
    struct Rect {
        int left;
        int top;
        int width;
        int height;
        bool operator==(const Rect&) const = default;
    };

    /// The two controls' places in a window @p width by @p height twips.
    struct ControlsLayout {
        Rect helpScreen;
        Rect close;
        bool operator==(const ControlsLayout&) const = default;
    };

    /// Where the help window opens over a main window at @p main (twips).
    static Rect PlacementOver(const Rect& main);

    /// Text box and Close button for a window of that size (twips). Sizes
    /// never go below zero, however small the window.
    static ControlsLayout LayoutFor(int width, int height);

    /// Builds the window (hidden) over @p owner, which owns it; the close box
    /// destroys it, Close only hides it.
    explicit frmHelp(frmMain& owner);

    QPlainTextEdit* txbHelpScreen = nullptr;
    QPushButton* cmdClose = nullptr;

    void cmdClose_Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Load(frmMain& owner);
    void Form_Resize();
};

}  // namespace pictoria
