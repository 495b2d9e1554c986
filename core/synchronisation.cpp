#include "core.h"

#include "names.h"

#include <cerrno>

namespace common {

namespace {
const QChar CR(13);

QString quoted(const NativePath &path)
{
    return u'\'' + DisplayName(path) + u'\'';
}

QString copyDetail(const NativePath &source, const NativePath &target)
{
    return QStringLiteral("Die Datei ") + quoted(source) + CR + QStringLiteral("konnte nicht nach ") + quoted(target) +
           CR + QStringLiteral("kopiert werden.");
}

QString deleteDetail(const NativePath &path)
{
    return QStringLiteral("Die Datei ") + quoted(path) + CR + QStringLiteral("konnte nicht gelöscht werden.");
}

QString missingSide(bool right)
{
    return right ? QStringLiteral("In dieser Zeile gibt es rechts keine Datei.")
                 : QStringLiteral("In dieser Zeile gibt es links keine Datei.");
}
} // namespace

Core::Outcome Core::attempt(const Step &step, const QString &detail, bool &keepRow)
{
    for (;;) {
        QString why;
        if (step(why) == 0)
            return Outcome::Done;
        const QString text = QStringLiteral("Abgleichsfehler:") + CR + CR + detail + (why.isEmpty() ? QString() : CR + why) +
                             CR + CR + QStringLiteral("Bitte quittieren oder abbrechen");
        switch (m_host.showMessage(text, Host::Icon::Critical, Host::Buttons::AbortRetryIgnore)) {
        case Host::Answer::Abort: return Outcome::Aborted;
        case Host::Answer::Retry: keepRow = false; continue;
        default: keepRow = true; return Outcome::Ignored;
        }
    }
}

int Core::checkUnchanged(const NativePath &path, bool hadFile, Stamp recorded, bool missingIsFine, QString &why)
{
    EntryInfo info;
    const int error = m_fs.inspect(path, info);
    if (!hadFile) {
        if (error == NotFound)
            return 0;
        why = QStringLiteral("Dort steht inzwischen eine Datei, die beim Einlesen noch nicht da war.");
        return error ? error : EEXIST;
    }
    if (error == NotFound && missingIsFine)
        return 0;
    if (error)
        return error;
    if (FileStamp(info.modified) != recorded) {
        why = QStringLiteral("Die Datei wurde nach dem Einlesen verändert.");
        return EBUSY;
    }
    return 0;
}

void Core::PrepareTargetPath(const NativePath &target)
{
    for (int at = target.indexOf(Separator, 1); at > 0; at = target.indexOf(Separator, at + 1)) {
        const NativePath folder = target.left(at);
        EntryInfo info;
        if (m_fs.inspect(folder, info) == NotFound && m_fs.makeFolder(folder) != 0)
            return;
    }
}

void Core::RunSynchronisation()
{
    if (m_busy)
        return;
    BusyScope busy(*this);
    EnableCompareCommand(false);
    SetStatus(2, QStringLiteral("Datenabgleich läuft ..."));

    const int n = m_list.count();
    // Handled rows leave the list in runs: the view relays out all its rows after each removal it is
    // told of. A run is given up when a kept row ends it, when the window is due to repaint, and at the end.
    int removeFrom = n, removeCount = 0;
    auto removePending = [&] {
        m_list.removeRowRange(removeFrom, removeCount);
        removeCount = 0;
    };
    for (int i = n; i >= 1; --i) {
        const Row row = m_list.row(i - 1);
        const bool hasLeft = !row.leftName.isEmpty(), hasRight = !row.rightName.isEmpty();
        const NativePath leftPath = hasLeft ? m_leftPath + row.leftName : NativePath();
        const NativePath rightPath = hasRight ? m_rightPath + row.rightName : NativePath();
        bool keepRow = false;
        Outcome outcome = Outcome::Done;

        // A target is only replaced or deleted while it is the file the load saw: a file changed since
        // then holds work that the comparison never judged.
        auto remove = [&](const NativePath &path, Stamp recorded) -> Step {
            return [=](QString &why) {
                if (const int error = checkUnchanged(path, true, recorded, false, why))
                    return error;
                return m_fs.deleteFile(path);
            };
        };
        auto missing = [](bool right) -> Step {
            return [right](QString &why) {
                why = missingSide(right);
                return ENOENT;
            };
        };

        // A copy to the other side keeps the file's relative name there; it needs a file on its own side.
        auto copyAcross = [&](bool toRight) {
            const bool hasSource = toRight ? hasLeft : hasRight, hasTarget = toRight ? hasRight : hasLeft;
            const NativePath &source = toRight ? leftPath : rightPath;
            const NativePath target = hasTarget   ? (toRight ? rightPath : leftPath)
                                      : hasSource ? (toRight ? m_rightPath + row.leftName : m_leftPath + row.rightName)
                                                  : NativePath();
            const Stamp recorded = toRight ? row.rightStamp : row.leftStamp;
            if (!hasSource)
                return attempt(missing(!toRight), copyDetail(source, target), keepRow);
            PrepareTargetPath(target);
            const Step step = [=](QString &why) {
                if (const int error = checkUnchanged(target, hasTarget, recorded, true, why))
                    return error;
                return m_fs.copyFile(source, target);
            };
            return attempt(step, copyDetail(source, target), keepRow);
        };

        switch (row.marker) {
        case Marker::CopyRight: outcome = copyAcross(true); break;
        case Marker::CopyLeft: outcome = copyAcross(false); break;
        case Marker::DeleteRight:
            outcome = attempt(hasRight ? remove(rightPath, row.rightStamp) : missing(true), deleteDetail(rightPath),
                              keepRow);
            break;
        case Marker::DeleteLeft:
            outcome = attempt(hasLeft ? remove(leftPath, row.leftStamp) : missing(false), deleteDetail(leftPath),
                              keepRow);
            break;
        case Marker::DeleteBoth:
            outcome = attempt(hasLeft ? remove(leftPath, row.leftStamp) : missing(false), deleteDetail(leftPath),
                              keepRow);
            if (outcome != Outcome::Aborted)
                outcome = attempt(hasRight ? remove(rightPath, row.rightStamp) : missing(true),
                                  deleteDetail(rightPath), keepRow);
            break;
        default: break;
        }
        if (outcome == Outcome::Aborted)
            break; // this row and every row above it stay as they are

        m_host.setProgress((1.0 - double(i) / double(n)) * 100.0);
        if (keepRow) {
            removePending();
        } else {
            removeFrom = i - 1;
            ++removeCount;
        }
        if (!m_host.speedChecked()) {
            if (repaintDue())
                removePending();
            m_host.yield();
        }
    }
    removePending();

    m_host.setProgress(0);
    SetStatus(2, QStringLiteral("Datenabgleich beendet."));
    EnableCompareCommand(true);
}

void Core::ExportListToClipboard()
{
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
