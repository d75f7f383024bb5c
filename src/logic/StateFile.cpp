#include "StateFile.h"

#include "Layout.h"

#include <QLocale>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>

namespace pictoria {

namespace {

constexpr QChar kQuote = QLatin1Char('"');

QString quoted(const QString& value)
{
    QString doubled = value;
    doubled.replace(kQuote, QStringLiteral("\"\""));
    return kQuote + doubled + kQuote;
}

// A list index in the file's number form: a blank before a number that is
// not negative.
QString indexText(int index)
{
    return index < 0 ? QString::number(index) : QLatin1Char(' ') + QString::number(index);
}

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }
bool isLineEnd(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }

// Reads one value after another the way sequential input reads strings.
class ValueReader {
public:
    explicit ValueReader(const QString& text) : text_(text) {}

    std::optional<QString> next()
    {
        skipBlanks();
        if (pos_ >= text_.size())
            return std::nullopt;
        QString value;
        if (text_[pos_] == kQuote) {
            if (!readQuoted(value))
                return std::nullopt;
            skipBlanks();
        } else {
            while (pos_ < text_.size() && text_[pos_] != QLatin1Char(',') && !isLineEnd(text_[pos_]))
                value += text_[pos_++];
            while (!value.isEmpty() && isBlank(value.back()))
                value.chop(1);
        }
        skipDelimiter();
        return value;
    }

private:
    void skipBlanks()
    {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
    }

    // After a value: one comma, or one line end (CR LF, LF or CR). A value
    // always stops in front of one of them or at the end of the text.
    void skipDelimiter()
    {
        if (pos_ >= text_.size())
            return;
        if (text_[pos_] == QLatin1Char(',')) {
            ++pos_;
        } else if (text_[pos_] == QLatin1Char('\r')) {
            ++pos_;
            if (pos_ < text_.size() && text_[pos_] == QLatin1Char('\n'))
                ++pos_;
        } else if (text_[pos_] == QLatin1Char('\n')) {
            ++pos_;
        }
    }

    // A doubled quote stands for one quote. A quote counts as the closing one
    // only where a delimiter follows it, so a file written before quotes were
    // doubled still gives back a folder that held one.
    bool readQuoted(QString& value)
    {
        ++pos_;
        while (pos_ < text_.size()) {
            const QChar c = text_[pos_];
            if (c != kQuote) {
                value += c;
                ++pos_;
                continue;
            }
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == kQuote) {
                value += kQuote;
                pos_ += 2;
                continue;
            }
            qsizetype after = pos_ + 1;
            while (after < text_.size() && isBlank(text_[after]))
                ++after;
            if (after >= text_.size() || text_[after] == QLatin1Char(',') || isLineEnd(text_[after])) {
                pos_ = pos_ + 1;
                return true;
            }
            value += kQuote;
            ++pos_;
        }
        return false;  // no closing quote
    }

    const QString& text_;
    qsizetype pos_ = 0;
};

// The numeric value of a list index text, rounded half to even like any
// 16-bit conversion; nothing when it is no number or names no entry.
std::optional<int> listIndex(const QString& text, int count)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    if (value < -2 || value > count)  // far outside any list: no rounding needed
        return std::nullopt;
    const int index = RoundHalfEven(value);
    if (index < -1 || index >= count)
        return std::nullopt;
    return std::max(index, 0);
}

}  // namespace

QByteArray FormatStateFile(const SavedState& state)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString text = quoted(state.inputFolder) + crlf + quoted(state.outputFolder) + crlf +
                         quoted(indexText(state.inputFormatIndex)) + crlf +
                         quoted(indexText(state.outputFormatIndex)) + crlf +
                         quoted(state.warnOnOverwrite ? QStringLiteral("1") : QStringLiteral("0")) + crlf +
                         quoted(state.viewInBrowser ? QStringLiteral("1") : QStringLiteral("0")) + crlf +
                         quoted(state.saveStateOnQuit ? QStringLiteral("1") : QStringLiteral("0")) + crlf +
                         quoted(QString::number(state.scoreTarget)) + crlf;
    return text.toUtf8();
}

std::optional<SavedState> ParseStateFile(const QByteArray& bytes, const std::array<int, 2>& listCounts)
{
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError())
        return std::nullopt;

    ValueReader reader(text);
    std::array<QString, 7> values;
    for (QString& value : values) {
        std::optional<QString> next = reader.next();
        if (!next)
            return std::nullopt;
        value = *next;
    }
    const std::optional<int> input = listIndex(values[2], listCounts[0]);
    const std::optional<int> output = listIndex(values[3], listCounts[1]);
    if (!input || !output)
        return std::nullopt;

    SavedState state;
    state.inputFolder = values[0];
    state.outputFolder = values[1];
    state.inputFormatIndex = *input;
    state.outputFormatIndex = *output;
    state.warnOnOverwrite = values[4] == QLatin1String("1");
    state.viewInBrowser = values[5] == QLatin1String("1");
    state.saveStateOnQuit = values[6] == QLatin1String("1");
    // Files of seven lines were written before the target was kept.
    if (const std::optional<QString> target = reader.next())
        state.scoreTarget = ScoreTargetFromText(target->trimmed()).value_or(kDefaultScoreTarget);
    return state;
}

}  // namespace pictoria
