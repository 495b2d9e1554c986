#include "names.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <cstring>

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
} // namespace

int CompareFolded(const QByteArray &a, const QByteArray &b)
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
    size_t hash = 1469598103934665603ull; // FNV-1a
    for (char c : key)
        hash = (hash ^ foldAscii(c)) * 1099511628211ull;
    return hash;
}

QByteArray FoldedName(const NativePath &name)
{
    bool ascii = true;
    for (char c : name) {
        if (uchar(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return name;

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(name);
    if (decoder.hasError()) {
        // Folding through a lossy decoding would let different names meet, so only the ASCII letters of
        // such a name are folded. No file name holds a NUL: the mark at the end keeps these keys apart from
        // UTF-8 ones without moving them in the sort order.
        return name + QByteArray(1, '\0');
    }
    return text.toCaseFolded().toUtf8();
}

} // namespace common
