// The one seam through which the program asks the user anything: message
// boxes, file and folder dialogs, modal dialogs, and launching a document or
// web address. The program uses the Qt implementation; tests install a
// scripted one that records each call and answers from a queue.
#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace pictoria {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Exclamation, Information, Critical };
enum class MsgAnswer { Ok, Yes, No };

/// Result of launching a document or address: above 32 is success, 32 or less
/// is the shell error code (2 file not found, 8 out of memory, 31 no
/// associated program).
using ShellResult = int;

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    virtual MsgAnswer message(QWidget* parent, const QString& text, const QString& title,
                              MsgButtons buttons, MsgIcon icon) = 0;

    /// Open and save file dialogs. @p filter uses the "Description|*.a;*.b"
    /// form. Returns the chosen path, or "" when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& filter) = 0;

    /// Folder browser with @p title as its instruction text; "" when cancelled.
    virtual QString browseForFolder(QWidget* parent, const QString& title) = 0;

    /// Shows @p dialog modally and returns when it is hidden again.
    virtual void showModal(QDialog& dialog) = 0;

    /// Opens a file (@p isFile) or a web address with its associated program.
    virtual ShellResult launch(const QString& target, bool isFile) = 0;
};

/// The implementation in force; the Qt one unless a test installed another.
UserPrompts& prompts();

/// Installs @p replacement (nullptr restores the Qt implementation). The
/// caller keeps ownership.
void setPrompts(UserPrompts* replacement);

/// Shorthand for a message box with an OK button.
void showMessage(QWidget* parent, const QString& text, const QString& title, MsgIcon icon = MsgIcon::None);

/// Lets the user pick a folder; "" when cancelled. The dialog style flag of
/// the historical interface has no meaning here and is accepted for callers.
QString BrowseForFolder(QWidget* owner, const QString& title, bool newStyle);

/// Shorthand for a Yes/No question without icon; true on Yes.
bool askYesNo(QWidget* parent, const QString& text, const QString& title);

}  // namespace pictoria
