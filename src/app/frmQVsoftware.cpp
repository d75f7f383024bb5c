#include "frmQVsoftware.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace pictoria {

frmQVsoftware::frmQVsoftware(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmQVsoftware"));
    setWindowTitle(QStringLiteral("Quorvane Systems Software"));
    setModal(true);

    auto* heading = new QLabel(QStringLiteral("Programs by Quorvane Systems:"), this);
    lstPrograms = new QListWidget(this);
    lstPrograms->setObjectName(QStringLiteral("lstPrograms"));
    lstPrograms->setWordWrap(true);
    lstPrograms->addItem(QStringLiteral("Pictoria \u2013 converts image files between BMP, GIF, JPG and PNG, "
                                        "one file or a whole folder at a time."));

    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setDefault(true);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(lstPrograms);
    layout->addWidget(cmdClose, 0, Qt::AlignHCenter);
    resize(420, 200);
}

}  // namespace pictoria
