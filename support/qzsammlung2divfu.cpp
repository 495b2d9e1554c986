#include "qzsammlung2divfu.h"

namespace QZSAMMLUNG2DIVFU {

QString NthField(const QString &text, int n, const QString &separator, int compareMode)
{
    if (n < 1 || text.isEmpty())
        return QString();
    const QString sep = separator.isEmpty() ? QStringLiteral(" ") : separator;
    const Qt::CaseSensitivity cs = compareMode == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
    qsizetype start = 0;
    for (int piece = 1; piece < n; ++piece) {
        const qsizetype at = text.indexOf(sep, start, cs);
        if (at < 0)
            return QString();
        start = at + sep.size();
    }
    const qsizetype end = text.indexOf(sep, start, cs);
    return text.mid(start, end < 0 ? -1 : end - start);
}

} // namespace QZSAMMLUNG2DIVFU
