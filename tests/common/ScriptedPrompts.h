// Test double of the user seam: every question the program asks is recorded
// and answered from a queue the test filled beforehand. A question nobody
// scripted, or an answer left unused, fails the test.
#pragma once

#include "UserPrompts.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <variant>

namespace pictoria::testing {

struct PromptCall {
    QString kind{};   // "message", "open", "save", "folder", "modal", "launch"
    QString text{};   // message text, dialog title, dialog object name or launch target
    QString title{};  // message title or file filter
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
};

class ScriptedPrompts final : public UserPrompts {
public:
    ScriptedPrompts();   // installs itself
    ~ScriptedPrompts() override;  // restores the Qt prompts

    /// A message box; @p answer is what the user clicks.
    void expectMessage(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon,
                       MsgAnswer answer = MsgAnswer::Ok);
    /// Any message box, whatever it says; answered with @p answer.
    void expectAnyMessage(MsgAnswer answer = MsgAnswer::Ok);
    void expectOpenFile(const QString& title, const QString& answer);
    void expectSaveFile(const QString& title, const QString& answer);
    void expectFolder(const QString& title, const QString& answer);
    /// A modal dialog: @p act runs while the dialog is shown and must hide it
    /// (normally by clicking one of its buttons).
    void expectModal(const QString& objectName, std::function<void(QDialog&)> act);
    /// A launch of @p target, answered with @p result (above 32 is success).
    void expectLaunch(const QString& target, ShellResult result = 42);

    /// Every call made so far, scripted or not.
    const QList<PromptCall>& calls() const { return calls_; }
    /// True when every scripted answer was used and nothing unexpected came.
    bool allAnswered() const { return queue_.empty() && unexpected_.isEmpty(); }
    /// What went wrong, for the test's failure message.
    QString problems() const;

    MsgAnswer message(QWidget* parent, const QString& text, const QString& title, MsgButtons buttons,
                      MsgIcon icon) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString browseForFolder(QWidget* parent, const QString& title) override;
    void showModal(QDialog& dialog) override;
    ShellResult launch(const QString& target, bool isFile) override;

private:
    struct Expected {
        PromptCall call{};
        bool anyText = false;
        MsgAnswer answer = MsgAnswer::Ok;
        QString textAnswer{};
        ShellResult shellResult = 42;
        std::function<void(QDialog&)> act{};
    };
    void expect(const PromptCall& call, Expected e);
    // A copy, so an answer that asks further questions (a dialog's action
    // showing a message) cannot overwrite the one still running.
    std::optional<Expected> next(const PromptCall& call);

    std::deque<Expected> queue_;
    QList<PromptCall> calls_;
    QStringList unexpected_;
};

}  // namespace pictoria::testing

/// Fails the current QtTest function when the script was not followed.
#define VERIFY_PROMPTS(scripted) QVERIFY2((scripted).allAnswered(), qPrintable((scripted).problems()))
