#include "ScriptedPrompts.h"

#include <QDialog>
#include <QTest>

namespace pictoria::testing {

namespace {

QString describe(const PromptCall& c)
{
    return QStringLiteral("%1 \"%2\" [%3]").arg(c.kind, c.text, c.title);
}

}  // namespace

ScriptedPrompts::ScriptedPrompts() { setPrompts(this); }

ScriptedPrompts::~ScriptedPrompts() { setPrompts(nullptr); }

void ScriptedPrompts::expect(const PromptCall& call, Expected e)
{
    e.call = call;
    queue_.push_back(std::move(e));
}

void ScriptedPrompts::expectMessage(const QString& text, const QString& title, MsgButtons buttons,
                                    MsgIcon icon, MsgAnswer answer)
{
    expect({QStringLiteral("message"), text, title, buttons, icon}, {.answer = answer});
}

void ScriptedPrompts::expectAnyMessage(MsgAnswer answer) { expect({"message"}, {.anyText = true, .answer = answer}); }

void ScriptedPrompts::expectOpenFile(const QString& title, const QString& answer) { expect({"open", title}, {.textAnswer = answer}); }

void ScriptedPrompts::expectSaveFile(const QString& title, const QString& answer) { expect({"save", title}, {.textAnswer = answer}); }

void ScriptedPrompts::expectFolder(const QString& title, const QString& answer) { expect({"folder", title}, {.textAnswer = answer}); }

void ScriptedPrompts::expectModal(const QString& objectName, std::function<void(QDialog&)> act)
{
    expect({QStringLiteral("modal"), objectName}, {.act = std::move(act)});
}

void ScriptedPrompts::expectLaunch(const QString& target, ShellResult result) { expect({"launch", target}, {.shellResult = result}); }

QString ScriptedPrompts::problems() const
{
    QStringList lines = unexpected_;
    for (const Expected& e : queue_)
        lines << QStringLiteral("unused answer for ") + describe(e.call);
    return lines.join(QLatin1Char('\n'));
}

std::optional<ScriptedPrompts::Expected> ScriptedPrompts::next(const PromptCall& call)
{
    calls_ << call;
    if (queue_.empty()) {
        unexpected_ << QStringLiteral("unexpected ") + describe(call);
        return std::nullopt;
    }
    Expected expected = queue_.front();
    queue_.pop_front();
    const PromptCall& want = expected.call;
    bool matches = want.kind == call.kind;
    if (matches && !expected.anyText) {
        matches = want.text == call.text;
        if (call.kind == QLatin1String("message"))
            matches = matches && want.title == call.title && want.buttons == call.buttons && want.icon == call.icon;
    }
    if (!matches) {
        unexpected_ << QStringLiteral("expected ") + describe(want) + QStringLiteral(" but got ") + describe(call) +
                           QStringLiteral(" (buttons %1, icon %2; wanted %3, %4)")
                               .arg(int(call.buttons)).arg(int(call.icon)).arg(int(want.buttons)).arg(int(want.icon));
        return std::nullopt;
    }
    return expected;
}

MsgAnswer ScriptedPrompts::message(QWidget*, const QString& text, const QString& title, MsgButtons buttons,
                                   MsgIcon icon)
{
    const std::optional<Expected> e = next({QStringLiteral("message"), text, title, buttons, icon});
    if (e)
        return e->answer;
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

QString ScriptedPrompts::openFileName(QWidget*, const QString& title, const QString& filter)
{
    const std::optional<Expected> e = next({QStringLiteral("open"), title, filter});
    return e ? e->textAnswer : QString();
}

QString ScriptedPrompts::saveFileName(QWidget*, const QString& title, const QString& filter)
{
    const std::optional<Expected> e = next({QStringLiteral("save"), title, filter});
    return e ? e->textAnswer : QString();
}

QString ScriptedPrompts::browseForFolder(QWidget*, const QString& title)
{
    const std::optional<Expected> e = next({QStringLiteral("folder"), title, {}});
    return e ? e->textAnswer : QString();
}

void ScriptedPrompts::showModal(QDialog& dialog)
{
    const std::optional<Expected> e = next({QStringLiteral("modal"), dialog.objectName(), {}});
    // Showing the dialog runs its activation just as the real modal show does.
    dialog.show();
    QCoreApplication::processEvents();
    if (e && e->act)
        e->act(dialog);
    if (dialog.isVisible()) {
        if (e)
            unexpected_ << QStringLiteral("modal dialog %1 was left open").arg(dialog.objectName());
        dialog.hide();
    }
}

ShellResult ScriptedPrompts::launch(const QString& target, bool isFile)
{
    const std::optional<Expected> e = next({QStringLiteral("launch"), target, isFile ? QStringLiteral("file") : QStringLiteral("web")});
    return e ? e->shellResult : 2;
}

}  // namespace pictoria::testing
