#include "core.h"

#include "paircomparer.h"

#include <optional>

namespace common {

namespace {
void addLine(QString &text, qint64 count, const char *what)
{
    if (count != 0)
        text += QString::number(count) + QString::fromUtf8(what) + CR;
}
} // namespace

ComparisonReport Core::RunComparison(bool binaryMode)
{
    ComparisonReport report;
    if (m_busy)
        return report;
    BusyScope busy(*this);

    const QString modeWord = binaryMode ? QStringLiteral("Binär") : QStringLiteral("Alters");
    EnableCompareCommand(false);
    SetStatus(2, modeWord + QStringLiteral("vergleich läuft ..."));

    const int rows = m_list.count();
    // FAT keeps times in steps of two seconds: a copy onto it may read up to a second apart from its source.
    const qint64 tolerance = m_left.twoSecondTimes || m_right.twoSecondTimes ? 1 : 0;
    std::optional<PairComparer> contents;
    size_t pairsTaken = 0;
    if (binaryMode) {
        contents.emplace(m_fs, m_list, m_left.path, m_right.path, [this] { return pause(); });
    }
    report.rows = rows;
    int shownUpTo = 0; // rows before it have been announced to the view
    int written = 0;   // rows before it have their verdict
    for (int i = 1; i <= rows; ++i) {
        const Row &row = m_list.row(i - 1);
        Marker marker;
        if (row.leftName.isEmpty()) {
            marker = binaryMode ? Marker::Orphan : Marker::OrphanRight;
            ++report.orphans;
        } else if (row.rightName.isEmpty()) {
            marker = binaryMode ? Marker::Orphan : Marker::OrphanLeft;
            ++report.orphans;
        } else if (binaryMode) {
            marker = contents->take(pairsTaken++, [this] { m_host.yield(); });
            switch (marker) {
            case Marker::Shorter:
            case Marker::Longer: ++report.differentLength; break;
            case Marker::Different: ++report.differentContent; break;
            case Marker::Equal: ++report.identical; break;
            default: ++report.unreadable; break;
            }
        } else if (row.left.modified < row.right.modified - tolerance) {
            // Whole seconds since the epoch: the local stamps repeat an hour when the clocks go back.
            marker = Marker::CopyLeft;
            ++report.differentAge;
        } else if (row.left.modified > row.right.modified + tolerance) {
            marker = Marker::CopyRight;
            ++report.differentAge;
        } else {
            marker = Marker::Equal;
            ++report.equalAge;
        }
        m_list.setMarker(i - 1, marker);
        written = i;
        m_host.setProgress(double(i) * 100.0 / double(rows));
        if (i % 8 == 0 && !m_host.speedChecked()) {
            if (repaintDue()) {
                m_list.announceChanges(shownUpTo, i - 1);
                shownUpTo = i;
            }
            m_host.yield();
            if (stopping())
                break;
        }
    }
    contents.reset();
    if (stopping()) {
        // Stopped (Escape, or the program ends): the verdicts so far stay, a row not reached shows none,
        // and there is no report.
        for (int i = written; i < rows; ++i)
            m_list.setMarker(i, Marker::None);
        m_list.announceChanges(shownUpTo);
        SetStatus(2, modeWord + QStringLiteral("vergleich abgebrochen."));
        m_host.setProgress(0);
        EnableCompareCommand(true);
        return report;
    }
    m_list.announceChanges(shownUpTo);

    QString &text = report.text;
    text = (binaryMode ? QStringLiteral("Ergebnis des Binärvergleichs von ")
                       : QStringLiteral("Ergebnis des Versionsvergleichs von ")) +
           QString::number(report.rows) + QStringLiteral(" Dateien:") + CR + CR;
    report.allEqual = (binaryMode ? report.identical : report.equalAge) == report.rows;
    if (report.allEqual) {
        text += QStringLiteral("Beide Verzeichnisse sind vollkommen identisch!") + CR;
    } else if (binaryMode) {
        addLine(text, report.orphans, " Dateien sind verwaist.");
        addLine(text, report.differentLength, " Dateien haben eine unterschiedliche Länge.");
        addLine(text, report.differentContent, " Dateien sind zwar gleich groß, aber nicht identisch.");
        addLine(text, report.identical, " Dateien sind absolut identisch.");
        addLine(text, report.unreadable, " Dateien konnten nicht gelesen werden.");
    } else {
        addLine(text, report.orphans, " Dateien sind verwaist.");
        addLine(text, report.differentAge, " Dateien haben ein unterschiedliches Alter.");
        addLine(text, report.equalAge, " Dateien haben ein gleiches Alter.");
    }

    if (!(m_batchMode && (m_requests.synchronise || m_requests.end))) {
        SetStatus(2, modeWord + QStringLiteral("vergleich fertig!"));
        m_host.showMessage(text, Host::Icon::Information, Host::Buttons::Ok);
    }
    m_host.setProgress(0);
    EnableCompareCommand(true);
    m_lastReport = report;
    return report;
}

} // namespace common
