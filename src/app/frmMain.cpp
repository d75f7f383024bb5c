#include "frmMain.h"

#include "FolderHelpers.h"
#include "FormHelpers.h"
#include "Language.h"
#include "FileProc.h"
#include "ImageFormats.h"
#include "Layout.h"
#include "SmallestQuality.h"
#include "Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

namespace pictoria {

namespace {

constexpr int kF1 = 112;
const QColor kWindowBlue(192, 192, 255);
const QColor kDarkBlue(0, 0, 128);
const QColor kDarkGrey(64, 64, 64);
const QColor kDarkRed(128, 0, 0);

// Design face of the window; start-up switches all but the text boxes to Arial.
const char* const kDesignFace = "Tahoma";
constexpr double kDefaultPointSize = 8.25;

QFont designFont(double pointSize, const char* face = kDesignFace)
{
    QFont font(QString::fromLatin1(face));
    font.setPointSizeF(pointSize);
    return font;
}

template <typename W>
W* place(QWidget* parent, const QString& name, int left, int top, int width, int height,
         double pointSize = kDefaultPointSize)
{
    auto* widget = CreateControl<W>(parent, name, left, top, width, height);
    widget->setFont(designFont(pointSize));
    return widget;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                    int width, int height, double pointSize = kDefaultPointSize)
{
    auto* b = place<QPushButton>(parent, name, left, top, width, height, pointSize);
    b->setText(caption);
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    return b;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top,
              int width, int height, double pointSize = kDefaultPointSize)
{
    auto* l = place<QLabel>(parent, name, left, top, width, height, pointSize);
    l->setText(caption);
    l->setAccessibleName(caption);
    return l;
}

QCheckBox* checkBox(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                    int width, int height)
{
    auto* c = place<QCheckBox>(parent, name, left, top, width, height);
    c->setText(caption);
    c->setAccessibleName(caption);
    return c;
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The window's short name; the program text file is named after it.
    setProperty("ShortName", QStringLiteral("PXFM"));
    setWindowTitle(QStringLiteral("Pictoria"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kWindowBlue);
    setPalette(palette);
    setAutoFillBackground(true);
    setFont(designFont(kDefaultPointSize));
    setFixedWidth(TwipsToPixels(PlaceQualitySearch().windowWidth));
    createControls();
    connectHandlers();
    // Drops go to the window, which tells files from folders: no text box
    // takes a dropped path as typed text.
    setAcceptDrops(true);
    for (QWidget* box : {static_cast<QWidget*>(txbFolderForImages[0]), static_cast<QWidget*>(txbFolderForImages[1]),
                         static_cast<QWidget*>(txbQuality), static_cast<QWidget*>(txbTarget),
                         static_cast<QWidget*>(txbReport)})
        box->setAcceptDrops(false);
}

frmMain::~frmMain() = default;

void frmMain::createControls()
{
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    // Created in the window's tab order: commands first, then the folders,
    // formats and options of a batch, then the report and the rest.
    cmdConvertSingleFile = button(this, "cmdConvertSingleFile", "Convert single file", 105, 105, 2430, 360, 9.75);
    lblTopLine = label(this, "lblTopLine",
                       "To convert multiple files (batch operation) specify input images folder, etc.",
                       2625, 160, 6630, 300);
    cmdStop = button(this, "cmdStop", "Stop", 9850, 105, 645, 285, 8.25);
    cmdStop->hide();

    const int folderTops[2] = {525, 945};
    const char* const folderCaptions[2] = {"Input images folder", "Output images folder"};
    for (int i = 0; i < 2; ++i) {
        const QString index = QString::number(i);
        cmdFolderForImages[i] = button(this, "cmdFolderForImages_" + index, folderCaptions[i], 105,
                                       folderTops[i], 2430, 360, 9.75);
        txbFolderForImages[i] = place<QLineEdit>(this, "txbFolderForImages_" + index, 2625, folderTops[i],
                                                 7150, 360, 9.75);
        txbFolderForImages[i]->setAccessibleName(folderCaptions[i]);
        cmdClearFolderForImages[i] = button(this, "cmdClearFolderForImages_" + index, "Clear", 9850,
                                            folderTops[i] + 30, 645, 285);
    }

    lblFileFormat[0] = label(this, "lblFileFormat_0", "Input file format:", 105, 1420, 1695, 330, 9.75);
    cboFileFormat[0] = place<QComboBox>(this, "cboFileFormat_0", 1575, 1440, 960, 315, 8.25);
    cboFileFormat[0]->setAccessibleName("Input file format");
    cmdList[0] = button(this, "cmdList_0", "List", 2625, 1440, 645, 285, 8.25);
    lblFileFormat[1] = label(this, "lblFileFormat_1", "Output file format:", 4305, 1420, 1905, 330, 9.75);
    cboFileFormat[1] = place<QComboBox>(this, "cboFileFormat_1", 6300, 1440, 1065, 315, 8.25);
    cboFileFormat[1]->setAccessibleName("Output file format");
    cmdList[1] = button(this, "cmdList_1", "List", 7455, 1440, 645, 285, 8.25);
    lblQuality = label(this, "lblQuality", "Quality:", 8955, 1420, 855, 330, 9.75);
    lblQuality->hide();
    txbQuality = place<QLineEdit>(this, "txbQuality", 9855, 1440, 645, 315, 8.25);
    txbQuality->setText("80");
    txbQuality->setAccessibleName("Quality");
    txbQuality->hide();
    // Shown with the quality box.
    const QualitySearchDesign searchDesign;
    const QualitySearchPlacement search = PlaceQualitySearch(searchDesign);
    chkSmallestLooksSame = checkBox(this, "chkSmallestLooksSame", "Smallest that looks the same", search.checkLeft,
                                    searchDesign.top, searchDesign.checkWidth, 315);
    chkSmallestLooksSame->hide();
    txbTarget = place<QLineEdit>(this, "txbTarget", search.targetLeft, searchDesign.top, searchDesign.targetWidth,
                                 315, 8.25);
    txbTarget->setText(QString::number(kDefaultScoreTarget));
    txbTarget->setAccessibleName("Target score");
    txbTarget->hide();

    chkWarnOnOverwrite = checkBox(this, "chkWarnOnOverwrite", "Warn if about to overwrite existing file",
                                  140, 1785, 3480, 330);
    chkViewMultipleInBrowser = checkBox(this, "chkViewMultipleInBrowser", "View in browser", 5355, 1785, 2115, 330);
    chkLargeWindow = checkBox(this, "chkLargeWindow", "Large window", 9100, 1785, 1395, 330);

    cmdConvertFiles = button(this, "cmdConvertFiles", "Convert files", 105, 2100, 1905, 360, 9.75);
    txbReport = place<QPlainTextEdit>(this, "txbReport", 2100, 2110, 8415, 1800, 9);
    txbReport->setFont(designFont(9, "Courier New"));
    txbReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    txbReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txbReport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txbReport->setAccessibleName("Report");
    cmdSaveState[0] = button(this, "cmdSaveState_0", "Save state", 105, 2520, 1905, 360, 9.75);
    cmdSaveState[1] = button(this, "cmdSaveState_1", "Restore state", 105, 2940, 1905, 360, 9.75);
    cmdHelp = button(this, "cmdHelp", "Help", 105, 3360, 855, 360, 9.75);
    cmdQuit = button(this, "cmdQuit", "Quit", 1155, 3360, 855, 360, 9.75);
    chkSaveStateOnQuit = checkBox(this, "chkSaveStateOnQuit", "Save state on quit", 105, 3780, 1905, 330);
    cmdClearFolderForImages[2] = button(this, "cmdClearFolderForImages_2", "Clear report window", 2100, 4050, 2355, 285);
    cmdClearFolderForImages[2]->hide();
    cmdCopyToClipboard = button(this, "cmdCopyToClipboard", "Quorvane Systems Software", 8160, 4050, 2355, 285);

    lblOnlineDocumentation = label(this, "lblOnlineDocumentation", "Online user manual", 5145, 4095, 2010, 285);
    setTextColor(lblOnlineDocumentation, kDarkBlue);
    lblOnlineDocumentation->setCursor(Qt::PointingHandCursor);
    lblOnlineDocumentation->hide();
    // The formats read, on two lines: eight names do not fit the column's width.
    QStringList noticeNames = InputFormatNames();
    noticeNames.sort();
    lblNotice = label(this, "lblNotice", noticeNames.join(QStringLiteral(", ")), 105, 4110, 1905, 400);
    lblNotice->setWordWrap(true);
    lblNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColor(lblNotice, kDarkGrey);
    lblConvertingFile = label(this, "lblConvertingFile", "Converting file ...", 3150, 4410, 4425, 330, 9.75);
    setTextColor(lblConvertingFile, kDarkRed);
    lblConvertingFile->hide();
    lblQuorvaneSystems = label(this, "lblQuorvaneSystems", "Quorvane Systems", 105, 4465, 1905, 285);
    setTextColor(lblQuorvaneSystems, kDarkBlue);
    lblQuorvaneSystems->setCursor(Qt::PointingHandCursor);
    lblQV_URL = label(this, "lblQV_URL", QString(), 105, 4690, 1905, 285);
    setTextColor(lblQV_URL, kDarkGrey);
    lblQV_URL->setAlignment(Qt::AlignCenter);

    // Buttons that act on a click only; keyboard users reach them by Tab.
    for (QLabel* link : {lblOnlineDocumentation, lblQuorvaneSystems})
        link->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(cmdConvertSingleFile), static_cast<QWidget*>(cmdConvertFiles),
                       static_cast<QWidget*>(cmdHelp), static_cast<QWidget*>(cmdList[0]),
                       static_cast<QWidget*>(cmdList[1]), static_cast<QWidget*>(txbFolderForImages[0]),
                       static_cast<QWidget*>(txbFolderForImages[1])})
        w->installEventFilter(this);
}

void frmMain::connectHandlers()
{
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(cmdConvertSingleFile, &QPushButton::clicked, this, &frmMain::cmdConvertSingleFile_Click);
    connect(cmdConvertFiles, &QPushButton::clicked, this, &frmMain::cmdConvertFiles_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &frmMain::cmdQuit_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmMain::cmdHelp_Click);
    connect(cmdCopyToClipboard, &QPushButton::clicked, this, &frmMain::cmdCopyToClipboard_Click);
    for (int i = 0; i < 2; ++i) {
        connect(cmdFolderForImages[i], &QPushButton::clicked, this, [this, i] { cmdFolderForImages_Click(i); });
        connect(cmdList[i], &QPushButton::clicked, this, [this, i] { cmdList_Click(i); });
        connect(cmdSaveState[i], &QPushButton::clicked, this, [this, i] { cmdSaveState_Click(i); });
        connect(cboFileFormat[i], &QComboBox::currentIndexChanged, this, [this, i] { cboFileFormat_Click(i); });
    }
    for (int i = 0; i < 3; ++i)
        connect(cmdClearFolderForImages[i], &QPushButton::clicked, this,
                [this, i] { cmdClearFolderForImages_Click(i); });
    // A value set from code raises the click handler just as the user's change does.
    connect(chkWarnOnOverwrite, &QCheckBox::toggled, this, &frmMain::chkWarnOnOverwrite_Click);
    connect(chkViewMultipleInBrowser, &QCheckBox::toggled, this, &frmMain::chkViewMultipleInBrowser_Click);
    connect(chkSaveStateOnQuit, &QCheckBox::toggled, this, &frmMain::chkSaveStateOnQuit_Click);
    connect(chkLargeWindow, &QCheckBox::toggled, this, &frmMain::chkLargeWindow_Click);
    connect(chkSmallestLooksSame, &QCheckBox::toggled, this, &frmMain::chkSmallestLooksSame_Click);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == lblOnlineDocumentation)
            lblOnlineDocumentation_Click();
        else if (watched == lblQuorvaneSystems)
            lblQuorvaneSystems_Click();
    } else if (event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Windows' virtual key code of F1 is 112; other keys pass as 0.
        const int keyCode = key->key() == Qt::Key_F1 ? kF1 : 0;
        const int shift = static_cast<int>(key->modifiers().toInt() >> 25) & 7;  // 1 Shift, 2 Ctrl, 4 Alt
        if (watched == cmdConvertSingleFile)
            cmdConvertSingleFile_KeyUp(keyCode, shift);
        else if (watched == cmdConvertFiles)
            cmdConvertFiles_KeyUp(keyCode, shift);
        else if (watched == cmdHelp)
            cmdHelp_KeyUp(keyCode, shift);
        else if (watched == cmdList[0] || watched == cmdList[1])
            cmdList_KeyUp(watched == cmdList[0] ? 0 : 1, keyCode, shift);
    } else if (event->type() == QEvent::FocusOut) {
        // Only a move of the focus inside the program counts; a message box or
        // another program taking the window's activation does not.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            for (int i = 0; i < 2; ++i)
                if (watched == txbFolderForImages[i])
                    txbFolderForImages_LostFocus(i);
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool frmMain::Form_Load()
{
    strProgramTextFile = property("ShortName").toString().toLower() + ".dat";
    if (!LoadProgramText(strProgramTextFile))
        return false;
    SetSoftwareIdentity();
    InitMainWindow();
    SetMainWindowCaption(*this);
    SetFormFontBold(*this, false);
    SetFormFontName(*this, QStringLiteral("Arial"), false);
    {
        const QSignalBlocker quiet(chkLargeWindow);
        chkLargeWindow->setChecked(false);
    }
    chkLargeWindow_Click();
    show();
    if (FileExists(DefaultStatePath))
        ReadState(DefaultStatePath);
    lblOnlineDocumentation->show();
    cmdSaveState[0]->setEnabled(true);
    cmdSaveState[1]->setEnabled(true);
    cmdConvertFiles->setEnabled(true);
    update();
    FocusNextControl();
    SetStartDirectory();
    Timer1->start();
    return true;
}

void frmMain::InitMainWindow()
{
    strOnlineManualURL = GetProgramText(15);
    InitWebLinks();
    txbReport->clear();
    NormalHeight = 5450;
    LoadSingleFileDialog();
    strFormatNames = {InputFormatNames(), OutputFormatNames()};
    for (int i = 0; i < 2; ++i) {
        const QSignalBlocker filling(cboFileFormat[i]);
        cboFileFormat[i]->clear();
        cboFileFormat[i]->addItem(QStringLiteral("Select"));
        cboFileFormat[i]->addItems(strFormatNames[i]);
        cboFileFormat[i]->setCurrentIndex(0);
    }
    intMinQuality = 10;
    intMaxQuality = 100;

    const QRect single = cmdConvertSingleFile->geometry();
    lblConvertingFile->move(single.topLeft());
    lblConvertingFile->resize(TwipsToPixels(10635 - 645 - 300), lblConvertingFile->height());

    setWindowHeightTwips(NormalHeight);
    setWindowTopTwips(1100);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : 1024;
    PlaceWindow(*this, QPoint((screenWidth - width()) / 2, y()));

    DefaultStatePath = AppDataSubfolderPath(QStringLiteral("pxfm.sta"), QStringLiteral("Quorvane Systems"));
    ResetParameters();
}

void frmMain::ResetParameters()
{
    txbFolderForImages[0]->setText(QString());
    txbFolderForImages[1]->setText(QString());
    cboFileFormat[0]->setCurrentIndex(0);
    cboFileFormat[1]->setCurrentIndex(0);
    chkWarnOnOverwrite->setChecked(true);
    chkViewMultipleInBrowser->setChecked(false);
    chkLargeWindow->setChecked(false);
    chkSaveStateOnQuit->setChecked(false);
    chkSmallestLooksSame->setChecked(false);
    txbTarget->setText(QString::number(kDefaultScoreTarget));
}

void frmMain::Timer1_Timer()
{
    if (isVisible()) {
        const bool hasReport = !txbReport->document()->isEmpty();
        cmdClearFolderForImages[2]->setVisible(hasReport);
        chkLargeWindow->setVisible(hasReport);
    }
    for (QLineEdit* box : txbFolderForImages)
        box->setToolTip(box->text().size() > 80 ? box->text() : QString());
}

void frmMain::cmdQuit_Click()
{
    if (quitting_)
        return;
    quitting_ = true;
    if (chkSaveStateOnQuit->isChecked())
        WriteState(DefaultStatePath);
    hide();
    // A run in progress first finishes the files in flight (nothing is left
    // half-written); the program ends when it is over.
    if (conversionRun_)
        conversionRun_->stop();
    else
        QCoreApplication::exit(0);
}

void frmMain::QuitFromOutside()
{
    quitFromOutside_ = true;
    // Each question's caller sees the quit once its dialog returns and goes no further.
    QWidget* previous = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == previous)
            break;
        modal->hide();
        previous = modal;
    }
    cmdQuit_Click();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    cmdQuit_Click();
    event->accept();
}

void frmMain::FocusNextControl()
{
    if (!isVisible())
        return;
    const bool inputEmpty = txbFolderForImages[0]->text().isEmpty();
    const bool outputEmpty = txbFolderForImages[1]->text().isEmpty();
    if (inputEmpty && outputEmpty && cmdConvertSingleFile->isEnabled())
        cmdConvertSingleFile->setFocus();
    else if (outputEmpty && !inputEmpty && txbFolderForImages[1]->isEnabled())
        cmdFolderForImages[1]->setFocus();
    else if (inputEmpty && !outputEmpty && txbFolderForImages[0]->isEnabled())
        cmdFolderForImages[0]->setFocus();
    else if (cboFileFormat[0]->currentIndex() == 0 && cmdFolderForImages[0]->isEnabled())
        cmdFolderForImages[0]->setFocus();
    else if (cboFileFormat[1]->currentIndex() == 0 && cmdFolderForImages[1]->isEnabled())
        cmdFolderForImages[1]->setFocus();
    else if (cmdConvertFiles->isEnabled())
        cmdConvertFiles->setFocus();
}

// ---- Options, report window and layout ---------------------------------------

static void focusConvertFilesWhenReady(frmMain& window)
{
    if (window.isVisible() && window.cmdConvertFiles->isEnabled())
        window.cmdConvertFiles->setFocus();
}

void frmMain::chkWarnOnOverwrite_Click() { focusConvertFilesWhenReady(*this); }
void frmMain::chkViewMultipleInBrowser_Click() { focusConvertFilesWhenReady(*this); }
void frmMain::chkSaveStateOnQuit_Click() { focusConvertFilesWhenReady(*this); }
void frmMain::chkSmallestLooksSame_Click() { focusConvertFilesWhenReady(*this); }

int frmMain::screenHeightTwips() const
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    return PixelsToTwips(screen ? screen->geometry().height() : 768);
}

void frmMain::setWindowHeightTwips(int twips)
{
    windowHeightTwips_ = twips;
    setFixedHeight(TwipsToPixels(twips));
}

void frmMain::setWindowTopTwips(int twips)
{
    windowTopTwips_ = twips;
    PlaceWindow(*this, QPoint(x(), TwipsToPixels(twips)));
}

void frmMain::chkLargeWindow_Click()
{
    const MainLayout layout = chkLargeWindow->isChecked() ? LargeLayout(screenHeightTwips())
                                                          : NormalLayout(NormalHeight, screenHeightTwips());
    setWindowHeightTwips(layout.windowHeight);
    setWindowTopTwips(layout.windowTop);
    auto setTop = [](QWidget* w, int topTwips) { w->move(w->x(), TwipsToPixels(topTwips)); };
    setTop(cmdClearFolderForImages[2], layout.bottomButtonsTop);
    setTop(cmdCopyToClipboard, layout.bottomButtonsTop);
    txbReport->resize(txbReport->width(), TwipsToPixels(layout.reportHeight));
    lblOnlineDocumentation->move(TwipsToPixels(layout.manualLinkLeft), TwipsToPixels(layout.manualLinkTop));
    if (isVisible())
        FocusNextControl();
}

void frmMain::ClearReportWindow()
{
    txbReport->clear();
    chkLargeWindow->setChecked(false);
}

void frmMain::cmdConvertSingleFile_KeyUp(int keyCode, int) { if (keyCode == kF1) cmdHelp_Click(); }
void frmMain::cmdConvertFiles_KeyUp(int keyCode, int) { if (keyCode == kF1) cmdHelp_Click(); }
void frmMain::cmdHelp_KeyUp(int keyCode, int) { if (keyCode == kF1) cmdHelp_Click(); }
void frmMain::cmdList_KeyUp(int, int keyCode, int) { if (keyCode == kF1) cmdHelp_Click(); }

void frmMain::AppendToReport(const QString& text)
{
    // Insert at the end instead of replacing the whole text, so a long run's
    // report does not get slower with every line.
    QTextCursor cursor(txbReport->document());
    cursor.movePosition(QTextCursor::End);
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    cursor.insertText(plain);
    txbReport->moveCursor(QTextCursor::End);
    txbReport->ensureCursorVisible();
}

QString frmMain::ReportText() const
{
    QString text = txbReport->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

}  // namespace pictoria
