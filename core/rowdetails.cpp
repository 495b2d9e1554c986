#include "rowdetails.h"

#include "names.h"

#include <QDateTime>
#include <QLocale>

namespace common {

QString RowDetails(const ComparisonList &list, int row)
{
    const Row &r = list.row(row);
    const EntryInfo left = list.identity(r.left), right = list.identity(r.right);
    const bool belowASecond = !r.leftName.isEmpty() && !r.rightName.isEmpty() && left.modified == right.modified &&
                              left.modifiedNs != right.modifiedNs;
    const QLocale german(QLocale::German, QLocale::Germany);
    const auto side = [&](const QString &label, const NativePath &name, const EntryInfo &info) {
        if (name.isEmpty())
            return label + QStringLiteral(": keine Datei");
        QString time = QDateTime::fromSecsSinceEpoch(info.modified).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        if (belowASecond)
            time += u',' + QStringLiteral("%1").arg(info.modifiedNs, 9, 10, QChar(u'0'));
        return label + QStringLiteral(": ") + DisplayName(name) + QStringLiteral("\n    ") +
               german.toString(info.size) + QStringLiteral(" Bytes, ") + time;
    };
    return side(QStringLiteral("Links"), r.leftName, left) + u'\n' + side(QStringLiteral("Rechts"), r.rightName, right);
}

} // namespace common
