#include "core.h"

#include <cstring>

namespace common {

namespace {
const QChar CR(13);
constexpr qint64 BlockSize = 262144;

// Reads exactly count bytes; a short read means the file changed under us.
bool readBlock(InputFile &file, char *buffer, qint64 count)
{
    while (count > 0) {
        const qint64 n = file.read(buffer, count);
        if (n <= 0)
            return false;
        buffer += n;
        count -= n;
    }
    return true;
}

void addLine(QString &text, qint64 count, const char *what)
{
    if (count != 0)
        text += QString::number(count) + QString::fromUtf8(what) + CR;
}
} // namespace

Marker Core::compareFiles(const NativePath &left, const NativePath &right, std::vector<char> &leftBlock,
                          std::vector<char> &rightBlock)
{
    EntryInfo l, r;
    if (m_fs.inspect(left, l) != 0 || m_fs.inspect(right, r) != 0 || l.kind != EntryKind::File ||
        r.kind != EntryKind::File)
        return Marker::Unreadable;
    if (l.size < r.size)
        return Marker::Shorter;
    if (l.size > r.size)
        return Marker::Longer;
    if (l.size == 0)
        return Marker::Equal;

    int error = 0;
    const std::unique_ptr<InputFile> lf = m_fs.openForReading(left, error);
    if (!lf)
        return Marker::Unreadable;
    const std::unique_ptr<InputFile> rf = m_fs.openForReading(right, error);
    if (!rf)
        return Marker::Unreadable;

    for (qint64 remaining = l.size; remaining > 0;) {
        const qint64 count = std::min(remaining, BlockSize);
        if (!readBlock(*lf, leftBlock.data(), count) || !readBlock(*rf, rightBlock.data(), count))
            return Marker::Unreadable;
        if (std::memcmp(leftBlock.data(), rightBlock.data(), size_t(count)) != 0)
            return Marker::Different;
        remaining -= count;
    }
    // Equal so far; a file that has grown since it was sized has not really been compared.
    char extra;
    if (lf->read(&extra, 1) != 0 || rf->read(&extra, 1) != 0)
        return Marker::Unreadable;
    return Marker::Equal;
}

ComparisonReport Core::RunComparison(bool binaryMode)
{
    ComparisonReport report;
    if (m_busy)
        return report;
    BusyScope busy(*this);

    const QString modeWord = binaryMode ? QStringLiteral("Binär") : QStringLiteral("Alters");
    EnableCompareCommand(false);
    SetStatus(2, modeWord + QStringLiteral("vergleich läuft ..."));

    std::vector<char> leftBlock(binaryMode ? BlockSize : 0);
    std::vector<char> rightBlock(binaryMode ? BlockSize : 0);
    const int rows = m_list.count();
    report.rows = rows;
    int shownUpTo = 0; // rows before it have been announced to the view
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
            marker = compareFiles(m_leftPath + row.leftName, m_rightPath + row.rightName, leftBlock, rightBlock);
            switch (marker) {
            case Marker::Shorter:
            case Marker::Longer: ++report.differentLength; break;
            case Marker::Different: ++report.differentContent; break;
            case Marker::Equal: ++report.identical; break;
            default: ++report.unreadable; break;
            }
        } else if (row.leftStamp < row.rightStamp) {
            marker = Marker::CopyLeft;
            ++report.differentAge;
        } else if (row.leftStamp > row.rightStamp) {
            marker = Marker::CopyRight;
            ++report.differentAge;
        } else {
            marker = Marker::Equal;
            ++report.equalAge;
        }
        m_list.setMarker(i - 1, marker);
        m_host.setProgress(double(i) * 100.0 / double(rows));
        if (i % 8 == 0 && !m_host.speedChecked()) {
            if (repaintDue()) {
                m_list.announceChanges(shownUpTo, i - 1);
                shownUpTo = i;
            }
            m_host.yield();
        }
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
