#include "frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictoria"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane Systems"));

    pictoria::frmMain window;
    if (!window.Form_Load())
        return 1;
    return app.exec();
}
