#include "core.h"

#include "names.h"

namespace common {

void Core::ExportListToClipboard()
{
    if (m_busy)
        return; // the rows are being changed
    m_host.setBusy(true);
    const int n = m_list.count();
    SetStatus(2, QStringLiteral("Liste wird in die Zwischenablage kopiert ..."));
    QString text;
    const QChar tab(9);
    for (int i = 1; i <= n; ++i) {
        m_host.setProgress(double(i) * 100.0 / double(n));
        const Row &row = m_list.row(i - 1);
        text += DisplayName(row.leftName) + tab + MarkerText(row.marker) + tab + DisplayName(row.rightName) +
                QStringLiteral("\r\n");
    }
    const bool copied = m_host.setClipboardText(text);
    SetStatus(2, copied ? QStringLiteral("Fertig.")
                        : QStringLiteral("Die Liste konnte nicht in die Zwischenablage kopiert werden."));
    m_host.setProgress(0);
    m_host.setBusy(false);
    if (!copied)
        message(QStringLiteral("Die Liste konnte nicht in die Zwischenablage kopiert werden."), Host::Icon::Warning);
}

} // namespace common
