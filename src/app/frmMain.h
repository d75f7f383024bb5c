// The main window: its controls, the variables it shares with the dialogs,
// start-up and shutdown. The handlers of each subsystem are defined in the
// file named after it (frmMain_batch.cpp, frmMain_single.cpp, ...); this
// class only declares them.
#pragma once

#include "ConversionRun.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace pictoria {

class frmConvertSingleFile;
class frmTargetFileExists;
class frmHelp;

class frmMain : public QWidget, private RunHost {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    /// Start-up after the program texts are loaded: initialisation, caption,
    /// fonts, layout, showing the window, the default state file, focus,
    /// start directory and the housekeeping timer. False when the program
    /// texts cannot be loaded (the user has been told); the program then ends.
    bool Form_Load();

    /// True once Quit (or the close box) has run: nothing more is shown.
    bool isQuitting() const { return quitting_; }

    // ---- Controls (named as the window design names them) -------------------
    QTimer* Timer1 = nullptr;
    QCheckBox* chkSaveStateOnQuit = nullptr;
    QCheckBox* chkViewMultipleInBrowser = nullptr;
    QLineEdit* txbQuality = nullptr;
    QCheckBox* chkSmallestLooksSame = nullptr;
    QLineEdit* txbTarget = nullptr;
    QPushButton* cmdConvertSingleFile = nullptr;
    QCheckBox* chkLargeWindow = nullptr;
    QPushButton* cmdStop = nullptr;
    QCheckBox* chkWarnOnOverwrite = nullptr;
    QPushButton* cmdCopyToClipboard = nullptr;
    std::array<QPushButton*, 3> cmdClearFolderForImages{};
    std::array<QPushButton*, 2> cmdList{};
    QPlainTextEdit* txbReport = nullptr;
    std::array<QComboBox*, 2> cboFileFormat{};
    std::array<QPushButton*, 2> cmdSaveState{};
    QPushButton* cmdQuit = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdConvertFiles = nullptr;
    std::array<QLineEdit*, 2> txbFolderForImages{};
    std::array<QPushButton*, 2> cmdFolderForImages{};
    QLabel* lblQV_URL = nullptr;
    QLabel* lblQuality = nullptr;
    QLabel* lblTopLine = nullptr;
    QLabel* lblConvertingFile = nullptr;
    std::array<QLabel*, 2> lblFileFormat{};
    QLabel* lblOnlineDocumentation = nullptr;
    QLabel* lblQuorvaneSystems = nullptr;
    QLabel* lblNotice = nullptr;

    // ---- Form-level variables -----------------------------------------------
    int intMinQuality = 10;
    int intMaxQuality = 100;
    int intQuality = 0;
    int intQualityFrom = 0;
    int intQualityTo = 0;
    int intQualityStep = 0;
    /// The score a batch's lossy outputs are searched to reach; 0 for the fixed quality.
    int intScoreTarget = 0;
    QString strProgramTextFile;
    QString strOnlineManualURL;
    /// The formats each format box offers after "Select" (input, output).
    std::array<QStringList, 2> strFormatNames{};
    int NormalHeight = 5450;  // twips
    QString DefaultStatePath;
    QString InputFormatFilter;
    QString OutputFormatFilter;

    /// Outer window height and top in twips as the layout last set them; the
    /// layout rules read these back rather than the rounded pixel geometry.
    int windowHeightTwips() const { return windowHeightTwips_; }
    int windowTopTwips() const { return windowTopTwips_; }

    // ---- Start-up, shutdown, focus (app/frmMain.cpp) --------------------------
    void InitMainWindow();
    void ResetParameters();
    void Timer1_Timer();
    void cmdQuit_Click();
    /// Quit on a signal or the session's logout: any open question is closed
    /// unanswered, and nothing after it waits for the user (a state that
    /// cannot be saved is reported on standard error).
    void QuitFromOutside();
    void FocusNextControl();

    // ---- Options, report window and layout (app/frmMain.cpp) ------------------
    void chkWarnOnOverwrite_Click();
    void chkViewMultipleInBrowser_Click();
    void chkSaveStateOnQuit_Click();
    void chkSmallestLooksSame_Click();
    void chkLargeWindow_Click();
    void ClearReportWindow();
    void cmdConvertSingleFile_KeyUp(int keyCode, int shift);
    void cmdConvertFiles_KeyUp(int keyCode, int shift);
    void cmdHelp_KeyUp(int keyCode, int shift);
    void cmdList_KeyUp(int index, int keyCode, int shift);

    /// Appends @p text (line breaks written "\r\n") at the end of the report
    /// window, keeping the newest line in view.
    void AppendToReport(const QString& text);
    /// The report window's text with "\r\n" line breaks.
    QString ReportText() const;

    // ---- Saved state (app/frmMain_state.cpp) -----------------------------------
    void WriteState(const QString& fileName);
    void ReadState(const QString& fileName);
    void cmdSaveState_Click(int index);

    // ---- Help, web links, catalogue (app/frmMain_help.cpp) ---------------------
    void cmdHelp_Click();
    void lblOnlineDocumentation_Click();
    void lblQuorvaneSystems_Click();
    void cmdCopyToClipboard_Click();
    /// Tool tips of the two link labels and the maker's address label.
    void InitWebLinks();
    frmHelp* helpWindow() const;

    // ---- Batch conversion (app/frmMain_batch.cpp) -----------------------------
    void cmdConvertFiles_Click();
    /// Lists the input (0) or output (1) folder, or starts a batch (2).
    void ProcessFiles(int intOperation);
    void cmdStop_Click();
    /// The conversion run in progress, if any.
    ConversionRun* conversionRun() const { return conversionRun_; }

    // ---- Single-file conversion (app/frmMain_single.cpp) ----------------------
    void cmdConvertSingleFile_Click();
    /// The single-file command for files already picked: one output formats
    /// dialog, then each file converted beside itself, in the order given.
    void ConvertSingleFiles(const QStringList& files);
    /// Loads the output formats dialog (hidden) and ticks its overwrite warning.
    void LoadSingleFileDialog();
    frmConvertSingleFile* singleFileDialog() const;
    frmTargetFileExists* targetExistsDialog();

    // ---- Image folders (app/frmMain_folders.cpp) -------------------------------
    void cmdFolderForImages_Click(int index);
    /// @p folder becomes the input (0) or output (1) images folder, with what
    /// choosing it through that side's button shows.
    void FolderChosen(int index, QString folder);
    void txbFolderForImages_LostFocus(int index);
    void cmdClearFolderForImages_Click(int index);
    void ShowFolderSummary(int index);
    void cboFileFormat_Click(int index);
    void cmdList_Click(int index);

    // ---- Paths handed over on the command line or dropped (app/frmMain_open.cpp)
    /// Takes absolute @p paths: files go to the single-file command, one
    /// folder becomes the input images folder, or the output one for
    /// @p folderBox 1. Paths not taken are named in one message first.
    void OpenPaths(const QStringList& paths, int folderBox = 0);

signals:
    /// A conversion run has ended and the window is ready again.
    void conversionRunFinished();

protected:
    void closeEvent(class QCloseEvent* event) override;
    bool eventFilter(QObject* watched, class QEvent* event) override;
    void dragEnterEvent(class QDragEnterEvent* event) override;
    void dragMoveEvent(class QDragMoveEvent* event) override;
    void dropEvent(class QDropEvent* event) override;

private:
    void StartConversionRun(RunParameters parameters);
    // The window's side of a run.
    TargetChoice askExistingTarget(const QString& targetPath, bool singleFile) override;
    void showRunError(const QString& description) override;
    void showViewerPageError(const QString& reason) override;
    void appendToReport(const QString& text) override;
    void showProgress(const QString& text) override;
    void conversionStarting(const SourceFile& source, const ConversionItem& item) override;
    void conversionReported(const ConversionItem& item) override;

    void createControls();
    void connectHandlers();
    void setWindowHeightTwips(int twips);
    void setWindowTopTwips(int twips);
    int screenHeightTwips() const;
    /// Idle, with no dialog open: a drop may start a command.
    bool acceptsDrops() const;

    int windowHeightTwips_ = 5450;
    int windowTopTwips_ = 1100;
    bool quitting_ = false;
    bool quitFromOutside_ = false;

    // Dialogs are loaded on first use and owned by this window (Qt parent).
    QPointer<frmConvertSingleFile> singleFileDialog_;
    QPointer<frmTargetFileExists> targetExistsDialog_;
    QPointer<frmHelp> helpWindow_;

    ConversionRun* conversionRun_ = nullptr;
};

}  // namespace pictoria
