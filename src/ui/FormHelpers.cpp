#include "FormHelpers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

namespace pictoria {

namespace {

enum class Kind { Other, Label, Button, CheckBox, TextBox, OptionButton, Frame, ComboBox };

Kind kindOf(const QWidget* w)
{
    if (qobject_cast<const QLabel*>(w))
        return Kind::Label;
    if (qobject_cast<const QPushButton*>(w))
        return Kind::Button;
    if (qobject_cast<const QCheckBox*>(w))
        return Kind::CheckBox;
    if (qobject_cast<const QRadioButton*>(w))
        return Kind::OptionButton;
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
        qobject_cast<const QTextEdit*>(w))
        return Kind::TextBox;
    if (qobject_cast<const QComboBox*>(w))
        return Kind::ComboBox;
    if (qobject_cast<const QGroupBox*>(w))
        return Kind::Frame;
    return Kind::Other;
}

// The form's own controls: widgets inside a list or a text box (its view,
// its scroll bars) are parts of that control, not controls of the form; the
// controls of a dialog owned by the form belong to that dialog.
template <typename Action>
void forEachControl(QWidget& form, Action action)
{
    const auto children = form.findChildren<QWidget*>();
    for (QWidget* w : children) {
        bool insideControl = false;
        for (QWidget* p = w->parentWidget(); p && p != &form; p = p->parentWidget())
            if (p->isWindow() || (kindOf(p) != Kind::Other && kindOf(p) != Kind::Frame)) {
                insideControl = true;
                break;
            }
        if (!insideControl && !w->isWindow())
            action(w, kindOf(w));
    }
}

}  // namespace

void PlaceWindow(QWidget& window, QPoint topLeft)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        window.move(topLeft);
}

bool FocusIfAvailable(QPushButton* button)
{
    if (!button || !button->isVisible() || !button->isEnabled())
        return false;
    button->setFocus();
    return true;
}

void SetFormFontBold(QWidget& form, bool bold)
{
    forEachControl(form, [bold](QWidget* w, Kind kind) {
        if (kind == Kind::Other)
            return;
        QFont font = w->font();
        font.setBold(bold);
        w->setFont(font);
    });
}

void SetFormFontName(QWidget& form, const QString& fontName, bool includeTextBoxes)
{
    forEachControl(form, [&](QWidget* w, Kind kind) {
        if (kind == Kind::Other || (kind == Kind::TextBox && !includeTextBoxes))
            return;
        QFont font = w->font();
        font.setFamily(fontName);
        w->setFont(font);
    });
}

void SetFormControlsEnabled(QWidget& form, bool enabled, bool includeFrames, bool includeTextBoxes,
                            bool includeLabels)
{
    forEachControl(form, [&](QWidget* w, Kind kind) {
        switch (kind) {
        case Kind::CheckBox:
        case Kind::Button:
        case Kind::OptionButton:
        case Kind::ComboBox: w->setEnabled(enabled); break;
        case Kind::Frame:
            if (includeFrames)
                w->setEnabled(enabled);
            break;
        case Kind::TextBox:
            if (includeTextBoxes)
                w->setEnabled(enabled);
            break;
        case Kind::Label:
            if (includeLabels)
                w->setEnabled(enabled);
            break;
        case Kind::Other: break;
        }
    });
    form.repaint();
}

}  // namespace pictoria
