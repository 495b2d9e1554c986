#include "names.h"

#include <QCoreApplication>
#include <QStringDecoder>

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
        return name.toLower();

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(name);
    if (decoder.hasError()) {
        // Folding through a lossy decoding would let different names meet, so only the ASCII letters of
        // such a name are folded. No file name holds a NUL: the mark at the end keeps these keys apart from
        // UTF-8 ones without moving them in the sort order.
        return name.toLower() + QByteArray(1, '\0');
    }
    return text.toCaseFolded().toUtf8();
}

} // namespace common
