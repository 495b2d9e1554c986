// Feeds arbitrary bytes to the helpers that handle names, fields and ignore patterns: folded keys must order
// and hash consistently, and matching must end, whatever the bytes.

#include "ignorepatterns.h"
#include "names.h"
#include "qzsammlung2divfu.h"

#include <algorithm>
#include <cstdlib>

namespace {

int sign(int v)
{
    return (v > 0) - (v < 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype cut = bytes.indexOf('\0');
    const QByteArray a = cut < 0 ? bytes : bytes.left(cut), b = cut < 0 ? QByteArray() : bytes.mid(cut + 1);

    const QByteArray ka = common::FoldedName(a), kb = common::FoldedName(b);
    if (sign(common::CompareFolded(ka, kb)) != -sign(common::CompareFolded(kb, ka)))
        std::abort();
    if (common::CompareFolded(ka, kb) == 0 && common::HashFolded(ka) != common::HashFolded(kb))
        std::abort();
    // The German collation keys order names both ways alike, whatever bytes they hold.
    const QByteArray ca = common::CollationKey(a), cb = common::CollationKey(b);
    if (sign(common::CompareFolded(ca, cb)) != -sign(common::CompareFolded(cb, ca)))
        std::abort();
    const bool ascii = std::all_of(a.begin(), a.end(), [](char c) { return uchar(c) < 0x80; });
    if (ascii && common::CompareFolded(common::FoldedName(a.toUpper()), common::FoldedName(a.toLower())) != 0)
        std::abort(); // a name equals itself in other letter case

    // a as an ignore file, b as a path in the tree. A printable ASCII name matches itself, every character
    // escaped, in any letter case.
    common::IgnorePatterns patterns;
    patterns.addLines(QString::fromUtf8(a));
    patterns.excludes(b, b.lastIndexOf('/') + 1, size % 2);
    patterns.excludesPath(b);
    if (!b.isEmpty() && std::all_of(b.begin(), b.end(), [](char c) { return c >= ' ' && c < 0x7f && c != '/'; })) {
        QString escaped;
        for (const char c : b.toUpper())
            escaped += QStringLiteral("\\") + QLatin1Char(c);
        common::IgnorePatterns itself;
        itself.add(escaped);
        if (!itself.excludes(b, 0, false))
            std::abort();
    }

    QZSAMMLUNG2DIVFU::NthField(QString::fromUtf8(a), size ? int(data[0] % 8) : 1, QString::fromUtf8(b), 0);
    return 0;
}
