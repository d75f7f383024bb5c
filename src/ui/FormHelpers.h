// Operations on whole groups of a window's controls, and focusing a button
// only when the user could press it.
#pragma once

#include <QPoint>
#include <QString>

class QPushButton;
class QWidget;

namespace pictoria {

/// Moves the top-level @p window to @p topLeft, except on Wayland, where the
/// compositor places every window and a program cannot.
void PlaceWindow(QWidget& window, QPoint topLeft);

/// Focuses @p button when it is visible and enabled; returns whether it did.
bool FocusIfAvailable(QPushButton* button);

/// Bold on or off for every label, button, check box, text box, option
/// button, frame and list of @p form.
void SetFormFontBold(QWidget& form, bool bold);

/// Font face for every frame, button, check box, label, option button and
/// list of @p form, and for its text boxes when @p includeTextBoxes.
void SetFormFontName(QWidget& form, const QString& fontName, bool includeTextBoxes);

/// Enables or disables every check box, button, option button and list of
/// @p form, and its frames, text boxes and labels as asked; then redraws.
void SetFormControlsEnabled(QWidget& form, bool enabled, bool includeFrames, bool includeTextBoxes,
                            bool includeLabels);

}  // namespace pictoria
