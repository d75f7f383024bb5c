// The product catalogue: the maker's programs, each with a one-line
// description, in a small modal window with a Close button.
#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

namespace pictoria {

class frmQVsoftware : public QDialog {
    Q_OBJECT

public:
    explicit frmQVsoftware(QWidget* parent = nullptr);

    QListWidget* lstPrograms = nullptr;
    QPushButton* cmdClose = nullptr;
};

}  // namespace pictoria
