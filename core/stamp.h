#pragma once

#include <QString>
#include <QtGlobal>

namespace common {

/// A file's last modification in local time to the second, packed as the decimal number yyyymmddhhmmss,
/// so that numbers order like the text stamps "yyyymmddhh:mm:ss" do. 0 means "no stamp".
using Stamp = quint64;

/// The stamp of a modification time given in seconds since the epoch.
Stamp FileStamp(qint64 modifiedSecs);

/// The 16-character text of a stamp, "yyyymmddhh:mm:ss"; empty for no stamp.
QString StampText(Stamp stamp);

} // namespace common
