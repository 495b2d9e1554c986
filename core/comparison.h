#pragma once

#include <QString>
#include <QtGlobal>

namespace common {

/// The totals of one comparison run and the report composed from them.
struct ComparisonReport
{
    qint64 rows = 0;
    qint64 orphans = 0;
    qint64 differentLength = 0;
    qint64 differentContent = 0;
    qint64 identical = 0;
    qint64 differentAge = 0;
    qint64 equalAge = 0;
    qint64 unreadable = 0;
    bool allEqual = false; ///< "Beide Verzeichnisse sind vollkommen identisch!"
    QString text;
};

} // namespace common
