#include "names.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <cstring>
#include <optional>
#include <vector>

namespace common {

NativePath WithTrailingBackslash(NativePath path)
{
    if (!path.endsWith(Separator))
        path.append(Separator);
    return path;
}

NativePath AppFolder()
{
    return WithTrailingBackslash(QCoreApplication::applicationDirPath().toUtf8());
}

QString DisplayName(const NativePath &name)
{
    return QString::fromUtf8(name);
}

namespace {
inline uchar foldAscii(char c)
{
    const uchar u = uchar(c);
    return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
}

constexpr quint64 EachByte = 0x0101010101010101ull;

// Eight bytes at once with their ASCII capitals made small, every other byte as it is.
inline quint64 foldAsciiWord(quint64 word)
{
    const quint64 low7 = word & (0x7F * EachByte);
    const quint64 fromA = low7 + (0x80 - 'A') * EachByte;     // top bit set where a byte is 'A' or more
    const quint64 pastZ = low7 + (0x80 - 'Z' - 1) * EachByte; // top bit set where it is more than 'Z'
    const quint64 capitals = fromA & ~pastZ & ~word & (0x80 * EachByte);
    return word | capitals >> 2; // 0x80 >> 2 is the case bit 0x20
}
} // namespace

int CompareFolded(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = qMin(a.size(), b.size());
    const char *x = a.constData(), *y = b.constData();
    qsizetype i = 0;
    // Names in one list share long folder prefixes: equal bytes are skipped eight at a time.
    for (quint64 u, v; i + 8 <= n; i += 8) {
        std::memcpy(&u, x + i, 8);
        std::memcpy(&v, y + i, 8);
        if (u != v)
            break;
    }
    for (; i < n; ++i) {
        if (x[i] != y[i]) {
            const int d = int(foldAscii(x[i])) - int(foldAscii(y[i]));
            if (d != 0)
                return d;
        }
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

size_t HashFolded(const QByteArray &key)
{
    // Eight bytes at a time; the last few padded with zeros, which the length mixed in first tells apart.
    const char *p = key.constData();
    qsizetype left = key.size();
    quint64 hash = 0x9E3779B97F4A7C15ull ^ quint64(left);
    const auto mix = [&hash](quint64 word) {
        hash = ((hash << 23 | hash >> 41) ^ foldAsciiWord(word)) * 0x100000001B3ull;
    };
    for (quint64 word; left >= 8; p += 8, left -= 8) {
        std::memcpy(&word, p, 8);
        mix(word);
    }
    if (left > 0) {
        quint64 word = 0;
        std::memcpy(&word, p, size_t(left));
        mix(word);
    }
    // Every bit reaches the low ones, which pick a table's slot.
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 33;
    return size_t(hash);
}

bool IsOwnKey(const NativePath &name)
{
    const char *p = name.constData();
    qsizetype left = name.size();
    quint64 bits = 0;
    for (quint64 word; left >= 8; p += 8, left -= 8) {
        std::memcpy(&word, p, 8);
        bits |= word;
    }
    for (; left > 0; ++p, --left)
        bits |= uchar(*p);
    return (bits & (0x80 * EachByte)) == 0;
}

namespace {
// The case-folded text of a name, or nothing where the name is not UTF-8.
std::optional<QString> foldedText(const NativePath &name)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(name);
    if (decoder.hasError())
        return std::nullopt;
    return text.toCaseFolded();
}

// The key of a name that is not UTF-8: folding through a lossy decoding would let different names meet, so
// only its ASCII letters fold, as keys are compared. No file name holds a NUL: the mark at the end keeps
// these keys apart from the others without moving them in the sort order.
QByteArray unfoldedKey(const NativePath &name)
{
    return name + QByteArray(1, '\0');
}
} // namespace

QByteArray FoldedName(const NativePath &name)
{
    if (IsOwnKey(name))
        return name;
    const std::optional<QString> folded = foldedText(name);
    return folded ? folded->toUtf8() : unfoldedKey(name);
}

namespace {
// The key of a text the slow way: case folded, decomposed, the combining marks dropped, ß as ss.
QByteArray keyOfText(const QString &folded)
{
    const QString decomposed = folded.normalized(QString::NormalizationForm_D);
    QString key;
    key.reserve(decomposed.size() + 2);
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        if (c == u'\u00DF' || c == u'\u1E9E')
            key += QLatin1String("ss");
        else
            key += c;
    }
    return key.toUtf8();
}

// The keys of the characters U+0080 to U+024F, the Latin letters with accents among them, made once.
constexpr uint LatinEnd = 0x250;
const QByteArray &latinKey(uint codePoint)
{
    static const std::vector<QByteArray> keys = [] {
        std::vector<QByteArray> made;
        for (uint c = 0x80; c < LatinEnd; ++c)
            made.push_back(keyOfText(QString(QChar(char16_t(c))).toCaseFolded()));
        return made;
    }();
    return keys[codePoint - 0x80];
}
} // namespace

QByteArray CollationKey(const NativePath &name)
{
    if (IsOwnKey(name))
        return name; // its own key
    // Most other names hold Latin letters with accents: their keys are put together character by character.
    QByteArray key;
    key.reserve(name.size() + 4);
    for (const char *p = name.constData(), *const end = p + name.size(); p < end;) {
        const uchar b = uchar(*p);
        if (b < 0x80) {
            key += char(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
            ++p;
            continue;
        }
        const uint codePoint = p + 1 < end && (uchar(p[1]) & 0xC0) == 0x80 ? (b & 0x1Fu) << 6 | (uchar(p[1]) & 0x3Fu) : 0;
        if (b >= 0xC2 && b <= 0xDF && codePoint >= 0x80 && codePoint < LatinEnd) {
            key += latinKey(codePoint);
            p += 2;
            continue;
        }
        // Anything else: the whole name the slow way, or its bytes where it is not UTF-8.
        const std::optional<QString> folded = foldedText(name);
        return folded ? keyOfText(*folded) : unfoldedKey(name);
    }
    return key;
}

} // namespace common
