#include "stamp.h"

#include <ctime>

namespace common {

Stamp FileStamp(qint64 modifiedSecs)
{
    const std::time_t t = std::time_t(modifiedSecs);
    std::tm local{};
#ifdef Q_OS_WIN
    if (localtime_s(&local, &t) != 0)
        return 0;
#else
    if (!localtime_r(&t, &local))
        return 0;
#endif
    // Stamps have four digits for the year.
    const int year = qBound(0, local.tm_year + 1900, 9999);
    const quint64 date = quint64(year) * 10000 + quint64(local.tm_mon + 1) * 100 + local.tm_mday;
    const quint64 time = quint64(local.tm_hour) * 10000 + quint64(local.tm_min) * 100 + local.tm_sec;
    return date * 1000000 + time;
}

QString StampText(Stamp stamp)
{
    if (stamp == 0)
        return QString();
    const QString digits = QStringLiteral("%1").arg(stamp, 14, 10, QLatin1Char('0'));
    return digits.left(10) + u':' + digits.mid(10, 2) + u':' + digits.mid(12, 2);
}

} // namespace common
