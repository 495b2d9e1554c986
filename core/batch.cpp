#include "core.h"

#include "inifile.h"
#include "names.h"

#include <QFile>
#include <QRegularExpression>

namespace common {

namespace {
// Far more than any control file holds; a larger file is something else and is not read at all.
constexpr qint64 MaxControlFileSize = 16 << 20;

QString problem(const QString &text)
{
    return QStringLiteral(" * ") + text + CR;
}

// Reads the whole control file, once: every setting of a run comes from this one reading. Returns the
// problem line, or nothing.
QString readControlFile(FileSystem &fs, const NativePath &name, QString &text)
{
    const QString start = QStringLiteral("Die Steuerdatei ''") + DisplayName(name) + QStringLiteral("'' ");
    int error = 0;
    const std::unique_ptr<InputFile> file = fs.openForReading(name, error);
    if (!file)
        return problem(start + QStringLiteral("konnte nicht gelesen werden."));
    QByteArray bytes;
    char buffer[65536];
    for (qint64 n; (n = file->read(buffer, sizeof buffer)) != 0;) {
        if (n < 0)
            return problem(start + QStringLiteral("konnte nicht gelesen werden."));
        if (bytes.size() + n > MaxControlFileSize)
            return problem(start + QStringLiteral("ist größer als 16 MiB und damit keine Steuerdatei."));
        bytes.append(buffer, n);
    }
    text = DecodeControlFile(bytes);
    return QString();
}
} // namespace

bool ForGoodAsked(const QString &value)
{
    // Only a number that reads 0 turns the trash off: an empty value or a word is no such number.
    QString s = value;
    s.remove(QRegularExpression(QStringLiteral("[ \t\r\n]")));
    const bool number = s.startsWith(u'&') ? s.size() > 2 && s[2].isDigit()
                                           : QRegularExpression(QStringLiteral("^[+-]?(\\d|\\.\\d)")).match(s).hasMatch();
    return number && LeadingNumber(value) == 0;
}

// Checks a folder named by the control file; returns the problem line, or nothing when it can be loaded.
QString Core::checkFolder(const NativePath &path, const QString &side)
{
    // Inspected without the separator the path ends in, so that a file is found as the file it is.
    const NativePath probe = path.size() > 1 && path.endsWith(Separator) ? path.chopped(1) : path;
    EntryInfo info;
    const int error = path.isEmpty() ? NotFound : m_fs.inspect(probe, info);
    if (!error && info.kind == EntryKind::Folder)
        return QString();
    const QString start = QStringLiteral("Der Verzeichnispfad ''") + DisplayName(path) + QStringLiteral("'' für die ") +
                          side + QStringLiteral(" Spalte ");
    if (!error)
        return problem(start + QStringLiteral("bezeichnet eine Datei, keinen Ordner."));
    return problem(start + QStringLiteral("existiert nicht."));
}

void Core::RunBatchMode(const QString &commandLine)
{
    RunBatchMode(QFile::encodeName(commandLine.trimmed()));
}

void Core::RunBatchMode(const NativePath &controlFile)
{
    if (controlFile.isEmpty())
        return;
    m_batchMode = true;
    m_stopAsked = false;

    // A bare name is looked for beside the program; anything with a folder in it as it stands.
    NativePath name = controlFile;
    if (!name.contains(':') && !name.contains(Separator))
        name = AppFolder() + name;

    QString problems;
    QString text;
    NativePath left, right;
    EntryInfo info;
    const int error = m_fs.inspect(name, info);
    if (error) {
        // A name the file system refuses outright is as good as missing.
        problems += problem(QStringLiteral("Die Steuerdatei ''") + DisplayName(name) +
                            QStringLiteral("'' wurde nicht gefunden."));
    } else if (info.kind == EntryKind::Folder) {
        problems += problem(QStringLiteral("Der angegebene Name ''") + DisplayName(name) +
                            QStringLiteral("''bezeichnet ein Verzeichnis, keine Datei."));
    } else if (const QString unreadable = readControlFile(m_fs, name, text); !unreadable.isEmpty()) {
        problems += unreadable; // alone, as a missing file is
    } else {
        auto folder = [&](const QString &key) {
            const QString value = ReadIniString(QStringLiteral("Pfade"), key, QString(), text);
            return value.isEmpty() ? NativePath() : WithTrailingBackslash(QFile::encodeName(value));
        };
        left = folder(QStringLiteral("Links"));
        problems += checkFolder(left, QStringLiteral("linke"));
        right = folder(QStringLiteral("Rechts"));
        problems += checkFolder(right, QStringLiteral("rechte"));

        auto requested = [&](const QString &key) {
            return LeadingNumber(ReadIniString(QStringLiteral("AutoStart"), key, QString(), text)) != 0;
        };
        BatchRequests &r = m_requests;
        r.binary = requested(QStringLiteral("Binärvergleich"));
        r.age = requested(QStringLiteral("Altersvergleich"));
        r.synchronise = requested(QStringLiteral("Abgleich"));
        r.clipboard = requested(QStringLiteral("Zwischenablage"));
        r.end = requested(QStringLiteral("Ende"));
        r.trash = !ForGoodAsked(ReadIniString(QStringLiteral("AutoStart"), QStringLiteral("Papierkorb"), QString(), text));

        const bool anyComparison = r.binary || r.age;
        if (r.binary && r.age)
            problems += problem(QStringLiteral("Sie haben sowohl Binär- als auch Altersvergleich angefordert - diese "
                                               "schliessen einander aus."));
        if (!anyComparison && r.synchronise)
            problems += problem(QStringLiteral("Sie haben einen Abgleich ohne Angabe des Vergleichstyps angefordert."));
        if (!anyComparison && r.end)
            problems += problem(QStringLiteral("Sie haben keinen Vergleichstyps eingestellt, sondern nur das autom. "
                                               "Ende des Programms."));
        if (!anyComparison && r.clipboard)
            problems += problem(QStringLiteral("Sie haben eine Kopie in die Zwischenablage ohne Angabe des "
                                               "Vergleichstyps angefordert."));
        if (anyComparison && r.end && !r.clipboard && !r.synchronise)
            problems += problem(QStringLiteral("In der jetzigen Einstellung haben Sie nichts vom Vergleichsergebnis, "
                                               "da das Programm ohne Abgleich und/oder Kopie in die Zwischenablage "
                                               "enden soll."));
        if (r.binary && r.synchronise)
            problems += problem(QStringLiteral("Ein Abgleich ist für Binärvergleiche nicht verfügbar."));
    }

    if (!problems.isEmpty()) {
        m_host.showMessage(QStringLiteral("Sie haben Kalmora im Batch-Modus aufgerufen. Dabei kam es zu folgendem "
                                          "Fehler:") +
                               CR + CR + problems + CR +
                               QStringLiteral("Der Batch-Modus wird daher unterbrochen. Bitte überprüfen Sie Ihre "
                                              "Angaben und starten Sie erneut."),
                           Host::Icon::Critical, Host::Buttons::Ok);
        m_batchMode = false;
        return;
    }

    if (m_requests.binary)
        m_host.selectCompareMode(true);
    else if (m_requests.age)
        m_host.selectCompareMode(false);
    // Each step only while the program is not to end: above all, no synchronisation after a failed output.
    const auto step = [this](const std::function<void()> &run) {
        if (!stopping())
            run();
    };
    step([&] {
        bool toLeft = true;
        PlanBothLoads(left, right);
        LoadFolder(left, toLeft);
    });
    step([&] {
        bool toLeft = false;
        LoadFolder(right, toLeft);
    });
    if (m_requests.binary || m_requests.age)
        step([&] { RunComparison(m_host.binaryModeSelected()); });
    if (m_requests.clipboard)
        step([&] { ExportListToClipboard(); });
    if (m_requests.synchronise)
        step([&] { RunSynchronisation(); });
    if (m_requests.end && !stopping()) {
        m_host.endProgramNow();
        return;
    }
    m_batchMode = false;
}

} // namespace common
