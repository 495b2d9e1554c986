#include "qzsammlung2divfu.h"

namespace QZSAMMLUNG2DIVFU {

QString NthField(const QString &text, int n, const QString &separator, int compareMode)
{
    if (n < 1)
        return QString();
    return text.section(separator.isEmpty() ? QStringLiteral(" ") : separator, n - 1, n - 1,
                        compareMode == 0 ? QString::SectionDefault : QString::SectionCaseInsensitiveSeps);
}

} // namespace QZSAMMLUNG2DIVFU
