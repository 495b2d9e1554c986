// Patterns that leave entries out of a load, and the ignore file they are read from.

#include "ignorepatterns.h"

#include "host.h"
#include "inifile.h"
#include "names.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace common {

namespace {

constexpr char GlobCharacters[] = "*?[\\";

enum class Match { Matched, NotMatched, AbortAll, AbortToStarStar };
constexpr int MaxStarDepth = 10000;

inline uchar lowered(uchar c)
{
    return c >= 'A' && c <= 'Z' ? uchar(c + ('a' - 'A')) : c;
}

// The character at s as a code point, ASCII letters lowered, and s moved past it. A byte that starts no
// valid UTF-8 sequence stands for itself, beyond Unicode's range, so that it only ever matches itself.
char32_t nextCharacter(const char *&s, const char *end)
{
    const uchar first = uchar(*s++);
    if (first < 0x80)
        return lowered(first);
    const int more = first >= 0xF8 ? -1 : first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : -1;
    if (more < 0 || end - s < more)
        return 0x110000 + first;
    char32_t c = first & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        if ((uchar(s[i]) & 0xC0) != 0x80)
            return 0x110000 + first;
        c = c << 6 | (uchar(s[i]) & 0x3F);
    }
    s += more;
    return c;
}

// "[:alpha:]" and its kin; letters count whatever their case, as case is ignored.
bool inNamedClass(std::string_view name, char32_t c)
{
    const bool ascii = c < 0x80;
    if (name == "alpha" || name == "upper" || name == "lower")
        return ascii ? std::isalpha(int(c)) != 0 : QChar::isLetter(c);
    if (name == "alnum")
        return ascii ? std::isalnum(int(c)) != 0 : QChar::isLetterOrNumber(c);
    if (name == "digit")
        return ascii && std::isdigit(int(c));
    if (name == "xdigit")
        return ascii && std::isxdigit(int(c));
    if (name == "space")
        return ascii ? std::isspace(int(c)) != 0 : QChar::isSpace(c);
    if (name == "blank")
        return c == ' ' || c == '\t';
    if (name == "punct")
        return ascii && std::ispunct(int(c));
    if (name == "cntrl")
        return ascii && std::iscntrl(int(c));
    if (name == "print" || name == "graph")
        return !ascii || (name == "print" ? std::isprint(int(c)) : std::isgraph(int(c))) != 0;
    return false;
}

// Whether c is in the set that starts after a "[" at p; after receives the end of the set past its "]",
// or null where the set is not closed (its "[" is then an ordinary character). A "]" first in the set is
// one of its characters.
bool inSet(const char *p, const char *end, char32_t c, const char *&after)
{
    after = nullptr;
    const bool negated = p < end && (*p == '!' || *p == '^');
    if (negated)
        ++p;
    bool matched = false;
    bool rangeMayStart = false; // the character before may begin a range
    char32_t previous = 0;
    for (bool first = true; first || *p != ']'; first = false) {
        if (p >= end)
            return false;
        if (*p == '[' && p + 1 < end && p[1] == ':') {
            const char *close = std::search(p + 2, end, ":]", ":]" + 2);
            if (close != end) {
                matched |= inNamedClass(std::string_view(p + 2, size_t(close - p - 2)), c);
                p = close + 2;
                rangeMayStart = false;
                if (p >= end)
                    return false;
                continue;
            }
        }
        if (*p == '-' && rangeMayStart && p + 1 < end && p[1] != ']') {
            if (*++p == '\\' && ++p >= end)
                return false;
            const char32_t last = nextCharacter(p, end);
            matched |= c >= previous && c <= last;
            rangeMayStart = false;
        } else {
            if (*p == '\\' && ++p >= end)
                return false;
            previous = nextCharacter(p, end);
            matched |= previous == c;
            rangeMayStart = true;
        }
        if (p >= end)
            return false;
    }
    after = p + 1;
    return matched != negated;
}

// git's wildmatch with its path rules: "*", "?" and sets never match a "/"; "**" between slashes (or at
// either end) matches across folders. The results beyond a plain miss end the search early. Each star
// recurses once: a pattern of absurdly many gives up rather than run out of stack.
Match wild(const char *p, const char *pEnd, const char *t, const char *tEnd, const char *pStart, int depth = 0)
{
    if (depth > MaxStarDepth)
        return Match::AbortAll;
    while (p < pEnd) {
        if (t == tEnd && *p != '*')
            return Match::AbortAll;
        if (*p == '*') {
            const char *stars = p;
            while (p < pEnd && *p == '*')
                ++p;
            bool acrossFolders = false;
            if (p - stars >= 2 && (stars == pStart || stars[-1] == '/') && (p == pEnd || *p == '/')) {
                // "**/" may stand for no folder at all: "a/**/b" matches "a/b".
                if (p < pEnd && wild(p + 1, pEnd, t, tEnd, pStart, depth + 1) == Match::Matched)
                    return Match::Matched;
                acrossFolders = true;
            }
            if (p == pEnd)
                return acrossFolders || !std::memchr(t, '/', size_t(tEnd - t)) ? Match::Matched
                                                                               : Match::AbortToStarStar;
            for (;;) {
                if (t == tEnd)
                    return Match::AbortAll;
                const Match rest = wild(p, pEnd, t, tEnd, pStart, depth + 1);
                if (rest != Match::NotMatched && (!acrossFolders || rest != Match::AbortToStarStar))
                    return rest;
                if (rest == Match::NotMatched && !acrossFolders && *t == '/')
                    return Match::AbortToStarStar;
                nextCharacter(t, tEnd);
            }
        }
        if (*p == '?') {
            if (*t == '/')
                return Match::NotMatched;
            nextCharacter(t, tEnd);
            ++p;
            continue;
        }
        if (*p == '[') {
            const char *afterSet;
            const char *nextT = t;
            const char32_t c = nextCharacter(nextT, tEnd);
            const bool in = inSet(p + 1, pEnd, c, afterSet);
            if (afterSet) {
                if (!in || c == '/')
                    return Match::NotMatched;
                p = afterSet;
                t = nextT;
                continue;
            }
        } else if (*p == '\\' && p + 1 < pEnd) {
            ++p;
        }
        if (nextCharacter(p, pEnd) != nextCharacter(t, tEnd))
            return Match::NotMatched;
    }
    return t == tEnd ? Match::Matched : Match::NotMatched;
}

bool equalFolded(std::string_view name, std::string_view pattern)
{
    if (name.size() != pattern.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (lowered(uchar(name[i])) != uchar(pattern[i]))
            return false;
    return true;
}

bool endsFolded(std::string_view name, std::string_view suffix)
{
    return name.size() >= suffix.size() && equalFolded(name.substr(name.size() - suffix.size()), suffix);
}

bool globMatches(const std::string &pattern, std::string_view text)
{
    const char *p = pattern.data();
    return wild(p, p + pattern.size(), text.data(), text.data() + text.size(), p) == Match::Matched;
}

} // namespace

void IgnorePatterns::addLines(const QString &text)
{
    for (const QString &line : text.split(u'\n'))
        add(line);
}

void IgnorePatterns::add(const QString &line)
{
    QString s = line;
    if (s.endsWith(u'\r'))
        s.chop(1);
    // Trailing blanks go, unless a backslash keeps the last one.
    while (s.endsWith(u' ') && !s.endsWith(QLatin1String("\\ ")))
        s.chop(1);
    if (s.startsWith(u'#'))
        return;
    Pattern pattern;
    pattern.negated = s.startsWith(u'!');
    if (pattern.negated)
        s.remove(0, 1);
    pattern.foldersOnly = s.endsWith(u'/');
    if (pattern.foldersOnly)
        s.chop(1);
    const bool anchored = s.contains(u'/');
    if (s.startsWith(u'/'))
        s.remove(0, 1);
    if (s.isEmpty())
        return;
    pattern.text = s.toCaseFolded().toStdString();
    const std::string &text = pattern.text;
    const bool glob = text.find_first_of(GlobCharacters) != std::string::npos;
    if (glob)
        pattern.tail = text.substr(text.find_last_of("*?[]\\") + 1);
    if (anchored) {
        pattern.shape = glob ? Shape::PathGlob : Shape::Path;
    } else if (!glob) {
        pattern.shape = Shape::Name;
    } else if (text[0] == '*' && text.find_first_of(GlobCharacters, 1) == std::string::npos) {
        pattern.shape = Shape::NameSuffix;
        pattern.text.erase(0, 1);
    } else {
        pattern.shape = Shape::NameGlob;
    }
    m_patterns.push_back(std::move(pattern));
    m_lines += line;
}

void IgnorePatterns::add(const IgnorePatterns &other)
{
    m_patterns.insert(m_patterns.end(), other.m_patterns.begin(), other.m_patterns.end());
    m_lines += other.m_lines;
}

namespace {
// The key patterns are matched against: an ASCII path as it is (its letters lowered as they are compared),
// any other folded, with "/" between its folders.
QByteArray matchKey(const NativePath &relative)
{
    QByteArray key = FoldedName(relative);
    if (key.endsWith('\0'))
        key.chop(1); // no UTF-8: its bytes as they are
    if (Separator != '/')
        key.replace(Separator, '/');
    return key;
}
} // namespace

bool IgnorePatterns::takesBack() const
{
    return std::any_of(m_patterns.begin(), m_patterns.end(), [](const Pattern &p) { return p.negated; });
}

bool IgnorePatterns::excludes(const NativePath &relative, qsizetype nameStart, bool folder) const
{
    if (m_patterns.empty())
        return false;
    const QByteArray key = matchKey(relative);
    if (key.constData() != relative.constData())
        nameStart = key.lastIndexOf('/') + 1; // folded: its name may have moved
    return decide(std::string_view(key.constData(), size_t(key.size())), size_t(nameStart), folder);
}

bool IgnorePatterns::excludesPath(const NativePath &relative) const
{
    if (m_patterns.empty())
        return false;
    const QByteArray key = matchKey(relative);
    const std::string_view path(key.constData(), size_t(key.size()));
    size_t nameStart = 0;
    for (size_t at; (at = path.find('/', nameStart)) != std::string_view::npos; nameStart = at + 1) {
        if (decide(path.substr(0, at), nameStart, true))
            return true;
    }
    return decide(path, nameStart, false);
}

bool IgnorePatterns::decide(std::string_view path, size_t nameStart, bool folder) const
{
    const std::string_view name = path.substr(nameStart);
    for (auto pattern = m_patterns.rbegin(); pattern != m_patterns.rend(); ++pattern) {
        if (pattern->foldersOnly && !folder)
            continue;
        const std::string &text = pattern->text;
        bool matches = false;
        switch (pattern->shape) {
        case Shape::Name: matches = equalFolded(name, text); break;
        case Shape::NameSuffix: matches = endsFolded(name, text); break;
        case Shape::NameGlob: matches = endsFolded(name, pattern->tail) && globMatches(text, name); break;
        case Shape::Path: matches = equalFolded(path, text); break;
        case Shape::PathGlob: matches = endsFolded(path, pattern->tail) && globMatches(text, path); break;
        }
        if (matches)
            return !pattern->negated;
    }
    return false;
}

QString ReadIgnoreFile(FileSystem &fs, const NativePath &folder, IgnorePatterns &patterns)
{
    const NativePath path = folder + IgnoreFileName;
    const QString notApplied = CR + QStringLiteral("Die Ausschlussmuster dieser Datei gelten nicht ...");
    const QString tooLarge = QStringLiteral("Die Ausschlussdatei '%1' ist größer als 1 MiB.").arg(DisplayName(path)) +
                             notApplied;
    const auto unreadable = [&](int error) {
        return QStringLiteral("Zugriffsfehler %1 auf '%2'").arg(QString::number(error ? error : EIO), DisplayName(path)) +
               notApplied;
    };
    int error = 0;
    const std::unique_ptr<InputFile> file = fs.openForReading(path, error);
    if (!file)
        return error == NotFound ? QString() : unreadable(error);
    if (file->size() > MaxIgnoreFileSize)
        return tooLarge;
    QByteArray bytes;
    char buffer[65536];
    errno = 0;
    for (qint64 n; (n = file->read(buffer, sizeof buffer)) != 0;) {
        if (n < 0)
            return unreadable(errno);
        if (bytes.size() + n > MaxIgnoreFileSize)
            return tooLarge; // it grew since it was opened
        bytes.append(buffer, n);
    }
    patterns.addLines(DecodeControlFile(bytes));
    return {};
}

} // namespace common
