// kalmora-cli: the comparison core without a window.

#include "clihost.h"
#include "core.h"
#include "names.h"
#include "standarddescriptors.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

const char Usage[] =
    "Aufruf: kalmora-cli [--binary | --age [--sync [--no-trash]]] [--exclude MUSTER ...] LINKS RECHTS\n"
    "       kalmora-cli --batch STEUERDATEI\n"
    "\n"
    "Vergleicht die Dateien des Ordners LINKS mit denen des Ordners RECHTS samt aller\n"
    "Unterordner und gibt die Vergleichsliste aus: je Zeile der linke Name, ein Tabulator,\n"
    "das Relationszeichen, ein Tabulator und der rechte Name. Enthält LINKS keine Datei,\n"
    "kommt RECHTS in die linke Spalte.\n"
    "\n"
    "  --binary   Binärvergleich: Größe und Inhalt (Voreinstellung)\n"
    "  --age      Altersvergleich: Datum und Uhrzeit der letzten Änderung\n"
    "  --sync     nach dem Altersvergleich abgleichen: die neuere Datei ersetzt die ältere;\n"
    "             was gelöscht oder ersetzt wird, kommt in den Papierkorb\n"
    "  --no-trash mit --sync: wo ein Laufwerk keinen Papierkorb hat, endgültig löschen\n"
    "             und ersetzen (sonst wird der Schritt abgelehnt)\n"
    "  --exclude  MUSTER in beiden Ordnern auslassen (wiederholbar), geschrieben wie eine\n"
    "             Zeile der Datei .kalmoraignore, die im Wurzelordner jeder Seite für beide\n"
    "             Seiten gilt: \"build/\" nur Ordner, \"/x\" nur im Wurzelordner, \"*.tmp\",\n"
    "             \"a/**/b\", \"!x\" nimmt x wieder auf; Groß- und Kleinschreibung zählt nicht\n"
    "  --batch    die Steuerdatei ausführen wie das Programm im Batch-Modus; die Kopie in\n"
    "             die Zwischenablage erscheint auf der Standardausgabe\n"
    "  --help     diese Hilfe anzeigen\n"
    "  --version  die Version anzeigen\n"
    "\n"
    "Meldungen und das Ergebnis erscheinen auf der Standardfehlerausgabe; Fehler beim\n"
    "Abgleich werden übergangen und gemeldet.\n"
    "Rückgabewert: 0 beide Ordner sind vollkommen identisch (mit --sync oder --batch:\n"
    "alles ausgeführt), 1 es gibt Unterschiede, 2 bei Problemen (falscher Aufruf, fehlender\n"
    "Ordner, unlesbare Dateien, abgelehnte Steuerdatei, fehlgeschlagener Abgleich).\n";

constexpr int ExitIdentical = 0;
constexpr int ExitDifferent = 1;
constexpr int ExitTrouble = 2;

int usageError(const char *what)
{
    std::fprintf(stderr, "kalmora-cli: %s\n\n%s", what, Usage);
    return ExitTrouble;
}

// Tells that standard output failed (a full disk, a closed pipe): the run cannot vouch for anything after.
int outputFailed(int error)
{
    std::fprintf(stderr, "kalmora-cli: Die Liste konnte nicht auf die Standardausgabe geschrieben werden (Fehler %d).\n",
                 error);
    return ExitTrouble;
}

// The rows as lines of raw name bytes, so that every name reads exactly as the file system spells it.
// False when standard output failed.
bool printList(const common::ComparisonList &list)
{
    std::vector<QByteArray> markerTexts; // each marker's text, encoded once
    for (int marker = 0; marker <= int(common::Marker::Unreadable); ++marker)
        markerTexts.push_back(common::MarkerText(common::Marker(marker)).toUtf8());
    // Lines go into a buffer written out a megabyte at a time: a million lines in calls of their own, or
    // in appends that check and grow their array each time, cost more than the comparison.
    constexpr size_t Flush = 1 << 20;
    std::vector<char> out(2 * Flush);
    size_t used = 0;
    const auto write = [&] { return std::fwrite(out.data(), 1, used, stdout) == used; };
    const auto add = [&](const QByteArray &bytes) {
        const size_t size = size_t(bytes.size());
        if (used + size > out.size())
            out.resize(used + size + Flush);
        std::memcpy(out.data() + used, bytes.constData(), size);
        used += size;
    };
    const QByteArray tab("\t"), newline("\n");
    for (int i = 0; i < list.count(); ++i) {
        if (const int ahead = i + int(common::PrefetchDistance); ahead < list.count()) {
            common::Prefetch(list.row(ahead).leftName);
            common::Prefetch(list.row(ahead).rightName);
        }
        const common::Row &row = list.row(i);
        add(row.leftName);
        add(tab);
        add(markerTexts[size_t(row.marker)]);
        add(tab);
        add(row.rightName);
        add(newline);
        if (used >= Flush) {
            if (!write())
                return false;
            used = 0;
        }
    }
    return write() && std::fflush(stdout) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything opens a file: a closed standard output would otherwise be the first file opened (Qt's
    // own event descriptor among them), and the list would go into it.
    const int closed = common::ReserveStandardDescriptors();
#ifdef M_MMAP_THRESHOLD
    // One run and done: the large lists of a load come and go several times over, and memory kept for
    // reuse spares the fresh pages that the system would otherwise fault in one by one.
    ::mallopt(M_MMAP_THRESHOLD, 1 << 30);
    ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
#ifdef SIGPIPE
    // A reader that has gone is a write error like any other, reported and answered with exit status 2.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Paths are taken from argv as bytes: a decoded argument list would lose names that are not UTF-8.
    bool binaryMode = true;
    bool synchronise = false;
    common::WithoutTrash withoutTrash = common::WithoutTrash::Refuse;
    const char *controlFile = nullptr;
    std::vector<common::NativePath> folders;
    common::IgnorePatterns exclusions;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("kalmora-cli %s\n", KALMORA_VERSION);
            return 0;
        }
        if (std::strcmp(arg, "--binary") == 0)
            binaryMode = true;
        else if (std::strcmp(arg, "--age") == 0)
            binaryMode = false;
        else if (std::strcmp(arg, "--sync") == 0)
            synchronise = true;
        else if (std::strcmp(arg, "--no-trash") == 0)
            withoutTrash = common::WithoutTrash::ForGood;
        else if (std::strcmp(arg, "--exclude") == 0 && i + 1 < argc)
            exclusions.add(QString::fromLocal8Bit(argv[++i]));
        else if (std::strncmp(arg, "--exclude=", 10) == 0)
            exclusions.add(QString::fromLocal8Bit(arg + 10));
        else if (std::strcmp(arg, "--batch") == 0 && i + 1 < argc)
            controlFile = argv[++i];
        else if (arg[0] == '-' && arg[1] == '-' && arg[2] != 0)
            return usageError("unbekannte Option");
        else
            folders.emplace_back(arg);
    }
    if (closed & 2)
        return outputFailed(EBADF); // as diff does: nothing is compared or synchronised unseen
    QCoreApplication app(argc, argv);
    const auto fileSystem = common::createRealFileSystem();
    if (controlFile) {
        if (!folders.empty() || synchronise || withoutTrash == common::WithoutTrash::ForGood || !exclusions.isEmpty())
            return usageError("--batch verträgt keine weiteren Angaben");
        CliHost host(true);
        common::Core core(host, *fileSystem);
        core.RunBatchMode(common::NativePath(controlFile));
        if (host.stopRequested())
            return outputFailed(host.outputError());
        return host.hadTrouble() || core.lastReport().unreadable > 0 ? ExitTrouble : ExitIdentical;
    }
    if (folders.size() != 2)
        return usageError("bitte genau zwei Ordner angeben");
    if (synchronise && binaryMode)
        return usageError("ein Abgleich ist nur nach dem Altersvergleich (--age) möglich");
    if (withoutTrash == common::WithoutTrash::ForGood && !synchronise)
        return usageError("--no-trash gilt nur mit --sync");

    for (const common::NativePath &folder : folders) {
        common::EntryInfo info;
        if (folder.isEmpty() || fileSystem->inspect(folder, info) != 0 || info.kind != common::EntryKind::Folder) {
            std::fprintf(stderr, "kalmora-cli: Der Ordner '%s' existiert nicht.\n", folder.constData());
            return ExitTrouble;
        }
    }

    CliHost host(binaryMode);
    common::Core core(host, *fileSystem);
    core.setWithoutTrash(withoutTrash);
    bool toLeft = true;
    core.setExclusions(exclusions);
    core.PlanBothLoads(folders[0], folders[1]);
    core.LoadFolder(folders[0], toLeft);
    toLeft = false;
    core.LoadFolder(folders[1], toLeft);
    const common::ComparisonReport report = core.RunComparison(binaryMode);
    if (!printList(core.list()))
        return outputFailed(errno); // before any synchronisation
    if (synchronise) {
        core.RunSynchronisation();
        return host.hadTrouble() ? ExitTrouble : ExitIdentical;
    }

    // The list is written and nothing is left to do: a million rows are not freed one by one on the way
    // out, the system takes the memory back whole.
    std::_Exit(host.hadTrouble() || report.unreadable > 0 ? ExitTrouble
               : report.allEqual                          ? ExitIdentical
                                                          : ExitDifferent);
}
