#include "inifile.h"

#include <QStringDecoder>
#include <QStringList>

namespace common {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; unassigned codes stay as their C1 controls.
const char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr int MaxValueLength = 32766;

QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value.left(MaxValueLength);
}

} // namespace

QString DecodeControlFile(const QByteArray &bytes)
{
    QByteArray content = bytes;
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(content);
    if (!utf8.hasError())
        return text;
    QString latin;
    latin.reserve(bytes.size());
    for (const char c : bytes) {
        const uchar b = uchar(c);
        latin += QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return latin;
}

QString ReadIniString(const QString &section, const QString &key, const QString &defaultValue, const QString &iniText)
{
    bool inSection = false;
    const QStringList lines = iniText.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            if (inSection)
                return defaultValue; // only the first section of that name counts
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        if (line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return unquoted(line.mid(equals + 1));
    }
    return defaultValue;
}

double LeadingNumber(const QString &text)
{
    QString s;
    for (const QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
            s += c;
    }
    if (s.size() >= 2 && s[0] == u'&') {
        const QChar kind = s[1].toUpper();
        const int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (base == 0)
            return 0;
        double value = 0;
        for (qsizetype i = 2; i < s.size(); ++i) {
            const char16_t c = s[i].toLower().unicode();
            const int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : base;
            if (digit >= base)
                break;
            value = value * base + digit;
        }
        return value;
    }
    // Sign, digits with one decimal point, then an exponent only if digits follow it.
    qsizetype end = 0;
    if (end < s.size() && (s[end] == u'+' || s[end] == u'-'))
        ++end;
    bool digits = false, point = false;
    for (; end < s.size(); ++end) {
        if (s[end].isDigit() && s[end].unicode() < 128)
            digits = true;
        else if (s[end] == u'.' && !point)
            point = true;
        else
            break;
    }
    if (!digits)
        return 0;
    if (end < s.size() && (s[end].toUpper() == u'E' || s[end].toUpper() == u'D')) {
        qsizetype exp = end + 1;
        if (exp < s.size() && (s[exp] == u'+' || s[exp] == u'-'))
            ++exp;
        const qsizetype expDigits = exp;
        while (exp < s.size() && s[exp].isDigit() && s[exp].unicode() < 128)
            ++exp;
        if (exp > expDigits)
            end = exp;
    }
    QString number = s.left(end);
    number.replace(u'D', u'E').replace(u'd', u'e');
    return number.toDouble();
}

} // namespace common
