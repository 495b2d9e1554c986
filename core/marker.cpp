#include "marker.h"

namespace common {

QString MarkerText(Marker marker)
{
    switch (marker) {
    case Marker::None: return QString();
    case Marker::Equal: return QStringLiteral("=");
    case Marker::Shorter: return QStringLiteral("<");
    case Marker::Longer: return QStringLiteral(">");
    case Marker::Different: return QStringLiteral("<>");
    case Marker::Orphan: return QStringLiteral("?");
    case Marker::OrphanLeft: return QStringLiteral("? -->");
    case Marker::OrphanRight: return QStringLiteral("? <--");
    case Marker::CopyRight: return QStringLiteral("-->");
    case Marker::CopyLeft: return QStringLiteral("<--");
    case Marker::DeleteRight: return QStringLiteral("X->");
    case Marker::DeleteLeft: return QStringLiteral("<-X");
    case Marker::DeleteBoth: return QStringLiteral("XX");
    case Marker::Skip: return QStringLiteral("][");
    case Marker::Unreadable: return QStringLiteral("!");
    }
    return QString();
}

} // namespace common
