#include "StrProc.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace pictoria {

namespace {

// ---- Platform rules ---------------------------------------------------------
// Every difference between platforms in this module lives here. A file name
// holding a separator or a wildcard never matches a specification; on Windows
// ":" (a drive or a stream) joins them, here it is an ordinary name character.
#ifdef _WIN32
constexpr QChar kSeparator = QLatin1Char('\\');
constexpr QStringView kNameBreakers = u"\\:?*";
#else
constexpr QChar kSeparator = QLatin1Char('/');
constexpr QStringView kNameBreakers = u"/?*";
#endif
// The drive-letter rule of FoldPathCase and UpperCaseDriveLetter is kept on
// every platform: callers may hand over paths written in that form.
constexpr QChar kDriveMark = QLatin1Char(':');

// ---- Accent fold ---------------------------------------------------------------
// The capitals and their small letters, position for position, except that
// "Ð" has no entry among the small letters: it is lower-cased by the plain rule.
// Function-local, so a fold during another file's static set-up is safe.
const QString& capitals()
{
    static const QString list = QStringLiteral("ŠŸÀÁÂÃÄÅÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝ");
    return list;
}

QString smallLetterOf(qint32 capitalPosition)
{
    static const QString smallLetters = QStringLiteral("šÿàáâãäåçèéêëìíîïñòóôõöøùúûüý");
    static const qint32 eth = qint32(capitals().indexOf(QChar(0x00D0)));  // 0-based
    const qint32 i = capitalPosition - 1;
    if (i == eth)
        return capitals().mid(i, 1).toLower();
    return smallLetters.mid(i < eth ? i : i - 1, 1);
}

// Keeps the window responsive during long folds; a no-op without a running
// event loop on this thread, so the fold works in tools and tests as well.
void yieldToEventLoop()
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && app->thread() == QThread::currentThread() && QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::processEvents();
}

bool hasDriveMark(const QString& path)
{
    return path.size() >= 2 && path.at(1) == kDriveMark;
}

// Character at 1-based position p, or a null character past either end.
QChar charAt(const QString& s, qsizetype p)
{
    return p >= 1 && p <= s.size() ? s.at(p - 1) : QChar();
}

}  // namespace

QString LeftPart(const QString& s, qint32 n)
{
    if (n <= 0)
        return QString();
    return n < s.size() ? s.left(n) : s;
}

QString FoldToLowerCase(const QString& s)
{
    QString result;
    result.reserve(s.size());
    qint32 p = 1;
    for (;;) {
        qint32 capital = 0;
        const qint32 found = FindFirstInSet(s, p, capitals(), &capital);
        if (found == 0) {
            result += s.mid(p - 1).toLower();
            return result;
        }
        result += s.mid(p - 1, found - p).toLower();
        result += smallLetterOf(capital);
        p = found + 1;
        yieldToEventLoop();
    }
}

qint32 FindFirstInSet(const QString& s, qint32 start, const QString& set, qint32* index)
{
    if (s.isEmpty() || set.isEmpty())
        return 0;
    for (qsizetype p = std::max(start, 1); p <= s.size(); ++p) {
        const qsizetype k = set.indexOf(s.at(p - 1));
        if (k >= 0) {
            if (index != nullptr)
                *index = qint32(k + 1);
            return qint32(p);
        }
    }
    return 0;
}

qint32 FindFirstNotInSet(const QString& s, qint32 start, const QString& set)
{
    if (s.isEmpty())
        return 0;
    if (set.isEmpty())
        return 1;
    for (qsizetype p = std::max(start, 1); p <= s.size(); ++p) {
        if (!set.contains(s.at(p - 1)))
            return qint32(p);
    }
    return 0;
}

qint32 FindInStringArray(std::span<const QString> list, const QString& name, qint32 first, qint32 last)
{
    // Clipping keeps a caller's wrong bounds from reading outside the list.
    const qint64 from = std::max<qint64>(first, 0);
    const qint64 to = std::min<qint64>(last, qint64(list.size()) - 1);
    for (qint64 i = from; i <= to; ++i) {
        if (list[std::size_t(i)] == name)
            return qint32(i);
    }
    return -1;
}

qint32 FindInStringArray(const QStringList& list, const QString& name, qint32 first, qint32 last)
{
    return FindInStringArray(std::span<const QString>(list.constData(), std::size_t(list.size())), name,
                             first, last);
}

qint16 FindFormatIndex(std::span<const QString> list, qint16 count, const QString& name)
{
    return qint16(FindInStringArray(list, name, 0, qint32(count) - 1));
}

qint16 FindFormatIndex(const QStringList& list, qint16 count, const QString& name)
{
    return qint16(FindInStringArray(list, name, 0, qint32(count) - 1));
}

bool MatchesWildcard(const QString& text, const QString& pattern, bool caseSensitive)
{
    const QString t = caseSensitive ? text : FoldToLowerCase(text);
    QString p = caseSensitive ? pattern : FoldToLowerCase(pattern);
    if (t == p)
        return true;
    if (t.isEmpty()) {
        RemoveChars(p, QStringLiteral("*"));
        return p.isEmpty();
    }
    if (p.isEmpty())
        return true;

    qsizetype i = 1;
    qsizetype j = 1;
    for (;;) {
        const QChar c = charAt(t, i);
        const QChar d = charAt(p, j);
        if (j > p.size())
            return i > t.size();
        if (d == QLatin1Char('?')) {
            if (i > t.size())
                return false;
            ++i;
            ++j;
        } else if (d == QLatin1Char('*')) {
            QString rest = p.mid(j - 1);
            RemoveChars(rest, QStringLiteral("*?"));
            if (rest.isEmpty())
                return true;
            const QChar k = rest.at(0);
            while (i <= t.size() && t.at(i - 1) != k)
                ++i;
            if (i > t.size())
                return false;
            ++j;  // i stays on the occurrence, which the next pattern character meets
        } else {
            if (i > t.size() || c != d)
                return false;
            ++i;
            ++j;
        }
    }
}

bool MatchesFileSpec(const QString& name, const QString& spec, bool caseSensitive)
{
    if (FindFirstInSet(name, 1, kNameBreakers.toString()) != 0)
        return false;

    QString s = spec;
    while (s.startsWith(QLatin1Char(' ')))
        s.remove(0, 1);
    StripTrailing(s, QStringLiteral(" "));
    if (s.isEmpty())
        return true;

    const qsizetype dn = name.lastIndexOf(QLatin1Char('.'));  // 0-based, -1 when none
    const qsizetype ds = s.lastIndexOf(QLatin1Char('.'));
    if (ds < 0)
        return dn < 0 && MatchesWildcard(name, s, caseSensitive);
    if (dn < 0) {
        QString specExtension = s.mid(ds + 1);
        RemoveChars(specExtension, QStringLiteral("*"));
        return specExtension.isEmpty() && MatchesWildcard(name, s.left(ds), caseSensitive);
    }
    return MatchesWildcard(name.left(dn), s.left(ds), caseSensitive) &&
           MatchesWildcard(name.mid(dn + 1), s.mid(ds + 1), caseSensitive);
}

QString ExtensionOf(const QString& path, bool lowerCase)
{
    const QString fileName = path.mid(path.lastIndexOf(kSeparator) + 1);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    const QString extension = fileName.mid(dot + 1);
    return lowerCase ? extension.toLower() : extension;
}

QString FileNameOf(const QString& path, bool fold)
{
    const qsizetype slash = path.lastIndexOf(kSeparator);
    const QString name = slash < 0 ? QString() : path.mid(slash + 1);
    return fold ? FoldToLowerCase(name) : name;
}

QString FolderOf(const QString& path, bool fold)
{
    const QString folder = path.left(path.lastIndexOf(kSeparator) + 1);  // "" without a separator
    return fold ? FoldPathCase(folder) : folder;
}

QString FoldPathCase(const QString& path)
{
    if (!hasDriveMark(path))
        return FoldToLowerCase(path);
    return path.at(0).toUpper() + FoldToLowerCase(path.mid(1));
}

QString UpperCaseDriveLetter(const QString& path)
{
    if (!hasDriveMark(path))
        return path;
    return path.at(0).toUpper() + path.mid(1);
}

void StripTrailing(QString& s, const QString& suffix)
{
    if (suffix.isEmpty())
        return;
    while (s.endsWith(suffix))
        s.chop(suffix.size());
}

void EnsureTrailingSeparator(QString& path)
{
    if (path.isEmpty())
        return;
    StripTrailing(path, QString(kSeparator));
    path += kSeparator;
}

void RemoveSetRuns(QString& s, const QString& set, qint32 start)
{
    qint32 from = start;
    for (;;) {
        const qint32 p = FindFirstInSet(s, from, set);
        if (p == 0)
            return;
        const qint32 q = FindFirstNotInSet(s, p, set);
        if (q == 0) {
            s.truncate(p - 1);
            return;
        }
        s.remove(p - 1, q - p);
        from = p + 1;  // the character now at p is known not to be in the set
    }
}

void RemoveChars(QString& s, const QString& set)
{
    RemoveSetRuns(s, set, 1);
}

void CleanNumberText(QString& s, bool allowMinus)
{
    bool digitSeen = false;
    bool plusKept = false;
    bool minusKept = false;
    QString kept;
    kept.reserve(s.size());
    for (const QChar c : std::as_const(s)) {
        if (c == QLatin1Char('+')) {
            if (!digitSeen && !plusKept) {
                plusKept = true;
                kept += c;
            }
        } else if (c == QLatin1Char('-')) {
            if (allowMinus && !digitSeen && !minusKept) {
                minusKept = true;
                kept += c;
            }
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digitSeen = true;
            kept += c;
        }
    }
    s = kept;
}

}  // namespace pictoria
