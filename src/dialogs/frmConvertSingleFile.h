// The output formats dialog of the single-file command: which formats to
// write, the quality range of those written at a quality, and the run's two
// options. Loaded once by the
// main window and afterwards only shown and hidden.
#pragma once

#include <QDialog>
#include <QHash>
#include <QRect>
#include <QStringList>
#include <array>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pictoria {

/// Modal dialog "Convert single file". The caller writes strFilepath,
/// strMoreFilepaths, txbFile and the quality limits, shows it modally, then reads blnProceed, the check
/// boxes and the quality range.
class frmConvertSingleFile : public QDialog {
    Q_OBJECT

public:
    /// Loads the dialog, hidden, as a window of @p mainWindow. Each showing
    /// places it below @p topLine, as wide as @p folderBox and aligned with it
    /// (both controls of the main window).
    frmConvertSingleFile(QWidget* mainWindow, const QWidget* topLine, const QWidget* folderBox);

    // ---- Public variables (the caller's interface) ---------------------------
    /// Path of the file to be converted; the dialog reads its extension.
    QString strFilepath;
    /// The further files when several are converted at once; empty for one.
    /// A format is offered unless every file's own type refuses it.
    QStringList strMoreFilepaths;
    /// True only when a valid "Convert file" closed the dialog; false on every showing.
    bool blnProceed = false;
    /// The quality limits, set by the caller.
    int intMinQuality = 10;
    int intMaxQuality = 100;
    /// The quality range chosen, for every format ticked that is written at
    /// a quality; the step is negative for a falling range.
    int intQualityFrom = 0;
    int intQualityTo = 0;
    int intQualityStep = 0;
    /// The score the lossy outputs are searched to reach, when
    /// chkSmallestLooksSame is ticked.
    int intScoreTarget = 90;

    // ---- Controls ------------------------------------------------------------
    QLineEdit* txbFile = nullptr;
    std::array<QLabel*, 2> lblToBeConvertedTo{};
    /// One check box per written format (chkBMP, chkWEBP, ...), in columns of
    /// three in the order of the format table.
    QCheckBox* formatBox(const QString& format) const;
    /// The formats ticked, in the order their outputs are written.
    QStringList checkedFormats() const;
    /// The ticked formats written at a quality ("JPG and WEBP").
    QString checkedLossyFormats() const;
    QCheckBox* chkBMP = nullptr;
    QCheckBox* chkPNG = nullptr;
    QCheckBox* chkJPG = nullptr;
    QGroupBox* fraQuality = nullptr;
    QLabel* lblQuality = nullptr;
    std::array<QLineEdit*, 2> txbQuality{};
    QLabel* lblTo = nullptr;
    QLabel* lblStep = nullptr;
    QComboBox* cboStep = nullptr;
    QCheckBox* chkSmallestLooksSame = nullptr;
    QLineEdit* txbTarget = nullptr;
    QCheckBox* chkWarnOnOverwrite = nullptr;
    QCheckBox* chkViewInBrowser = nullptr;
    QPushButton* cmdDoIt = nullptr;
    QPushButton* cmdCancel = nullptr;

    /// Window height and width in twips as last set.
    int heightTwips() const { return heightTwips_; }
    int widthTwips() const { return widthTwips_; }
    /// A control's position and size in twips as last set (relative to its
    /// frame for the quality controls).
    QRect twipsGeometry(QWidget* control) const { return twips_.value(control); }

    // ---- Event handlers ------------------------------------------------------
    void Form_Load();
    void Form_Activate();
    /// A format written without a quality was ticked or unticked.
    void chkLossless_Click();
    /// A format written at a quality was ticked or unticked: the quality
    /// frame shows while any is ticked.
    void chkLossy_Click();
    void chkWarnOnOverwrite_Click();
    void chkViewInBrowser_Click();
    void cboStep_Click();
    void cmdDoIt_Click();
    void cmdCancel_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    template <typename W>
    W* place(QWidget* parent, const char* name, int left, int top, int width, int height);
    void setTwipsGeometry(QWidget* control, const QRect& twips);
    void setLeftTwips(QWidget* control, int left);
    void setTopTwips(QWidget* control, int top);
    void setWidthTwips(QWidget* control, int width);
    void setWindowHeightTwips(int twips);
    void setWindowWidthTwips(int twips);
    void focusDoItWhenVisible();

    QWidget* mainWindow_;
    const QWidget* topLine_;
    const QWidget* folderBox_;
    QHash<QWidget*, QRect> twips_;
    std::vector<std::pair<QString, QCheckBox*>> formatBoxes_;
    int heightTwips_ = 2800;
    int widthTwips_ = 5685;
};

}  // namespace pictoria
