// Fixtures shared by the Qt tests: files made in code, a loaded main window
// with folders of its own, and a shorthand for the columns of a data table.
// It also brings the widget and file headers every window test uses.
#pragma once

#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <array>
#include <memory>

namespace pictoria::testing {

/// Declares the columns of a QtTest data table: columns<QString, bool>({"text", "ok"}).
template <typename... T>
void columns(const std::array<const char*, sizeof...(T)>& names)
{
    std::size_t i = 0;
    (QTest::addColumn<T>(names[i++]), ...);
}

/// What a control shows: a button's or label's text, a text box's text, a
/// list's current entry; empty for anything else.
QString captionOf(const QWidget* control);

/// A plain picture in the format @p format or the one the extension names;
/// 20 by 20 makes a 1,254-byte BMP.
bool writeImage(const QString& path, const char* format = nullptr, QSize size = QSize(20, 20));
bool writeBytes(const QString& path, const QByteArray& bytes);
/// Makes @p folder if needed and fills it: "name/" makes a folder, "name=text" a file holding text,
/// a name with an image extension a picture in that format, any other name
/// a file holding "x".
bool makeFiles(const QString& folder, const QStringList& specs);
/// The file's bytes, or nothing when it cannot be read.
QByteArray readAll(const QString& path);

/// Waits until the conversion run in progress, if any, has ended.
bool waitForRun(frmMain& w);

/// A loaded main window with an empty input and output folder of its own
/// ("in/" and "out/" of a temporary folder) already in its folder boxes.
struct Bench {
    Bench();
    ~Bench();
    /// Loads the window and picks the two list indices (0 leaves "select").
    bool load(int inputFormat = 1, int outputFormat = 2);
    QTemporaryDir dir;
    QString in, out;
    std::unique_ptr<frmMain> window;
    frmMain& w;
};

}  // namespace pictoria::testing

/// Declares the main window @p w and loads it, failing the test when it cannot.
#define LOAD_MAIN_WINDOW(w) \
    pictoria::frmMain w;    \
    QVERIFY((w).Form_Load())
