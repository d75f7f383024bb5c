#include "UserPrompts.h"

#include "Launch.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include <xcb/xcb.h>

#include <cstdlib>

namespace pictoria {

namespace {

// "State files (*.sta)|*.sta" becomes Qt's "State files (*.sta *.STA)".
// Linux names are case-sensitive, so each pattern also comes upper-cased
// (PHOTO.BMP is a BMP file too); the dialogs hide the pattern list and show
// only the description.
QString qtFilter(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (pattern.toUpper() != pattern)
                patterns << pattern.toUpper();
        QString description = parts[i];
        const int open = description.indexOf(QLatin1Char('('));
        if (open >= 0)
            description = description.left(open).trimmed();
        result << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result.join(QStringLiteral(";;"));
}

QString runFileDialog(QWidget* parent, const QString& title, const QString& filter, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, title, QString(), qtFilter(filter));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

// Qt names a window whose title is empty after the program; a box meant to
// have no title gets an empty name on its X window as well. Other platforms
// keep Qt's naming.
void clearDesktopTitle(QWidget& window)
{
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return;
    xcb_connection_t* connection = x11->connection();
    const auto atom = [connection](const char* name) {
        const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, qstrlen(name), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return result;
    };
    const auto id = static_cast<xcb_window_t>(window.winId());  // creates the X window with Qt's name
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, 0,
                        nullptr);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection);
}

class QtPrompts final : public UserPrompts {
public:
    MsgAnswer message(QWidget* parent, const QString& text, const QString& title, MsgButtons buttons,
                      MsgIcon icon) override
    {
        QMessageBox box(parent);
        box.setObjectName(QStringLiteral("messageBox"));
        box.setWindowTitle(title);  // the fatal load message has an empty title on purpose
        box.setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        switch (icon) {
        case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
        }
        if (title.isEmpty())
            clearDesktopTitle(box);
        if (buttons == MsgButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return MsgAnswer::Ok;
    }

    QString openFileName(QWidget* parent, const QString& title, const QString& filter) override
    {
        // Not asked to check that the file exists: a typed name is handed on
        // as it is, and the caller reports what fails.
        return runFileDialog(parent, title, filter, QFileDialog::AcceptOpen);
    }

    QString saveFileName(QWidget* parent, const QString& title, const QString& filter) override
    {
        // Overwriting is asked by the caller in its own words.
        return runFileDialog(parent, title, filter, QFileDialog::AcceptSave);
    }

    QString browseForFolder(QWidget* parent, const QString& title) override
    {
        return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
    }

    void showModal(QDialog& dialog) override { dialog.exec(); }

    ShellResult launch(const QString& target, bool isFile) override { return LaunchWithDesktop(target, isFile); }
};

QtPrompts& qtPrompts()
{
    static QtPrompts instance;
    return instance;
}

UserPrompts* current = nullptr;

}  // namespace

UserPrompts& prompts() { return current ? *current : qtPrompts(); }

void setPrompts(UserPrompts* replacement) { current = replacement; }

void showMessage(QWidget* parent, const QString& text, const QString& title, MsgIcon icon)
{
    prompts().message(parent, text, title, MsgButtons::Ok, icon);
}

bool askYesNo(QWidget* parent, const QString& text, const QString& title)
{
    return prompts().message(parent, text, title, MsgButtons::YesNo, MsgIcon::None) == MsgAnswer::Yes;
}

QString BrowseForFolder(QWidget* owner, const QString& title, bool /*newStyle*/)
{
    return prompts().browseForFolder(owner, title);
}

}  // namespace pictoria
