// kalmora-cli: the comparison core without a window.

#include "clihost.h"
#include "core.h"
#include "names.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

const char Usage[] =
    "Aufruf: kalmora-cli [--binary | --age] LINKS RECHTS\n"
    "\n"
    "Vergleicht die Dateien des Ordners LINKS mit denen des Ordners RECHTS samt aller\n"
    "Unterordner und gibt die Vergleichsliste aus: je Zeile der linke Name, ein Tabulator,\n"
    "das Relationszeichen, ein Tabulator und der rechte Name.\n"
    "\n"
    "  --binary   Binärvergleich: Größe und Inhalt (Voreinstellung)\n"
    "  --age      Altersvergleich: Datum und Uhrzeit der letzten Änderung\n"
    "  --help     diese Hilfe anzeigen\n"
    "  --version  die Version anzeigen\n"
    "\n"
    "Meldungen und das Ergebnis erscheinen auf der Standardfehlerausgabe.\n"
    "Rückgabewert: 0 beide Ordner sind vollkommen identisch, 1 es gibt Unterschiede,\n"
    "2 bei Problemen (falscher Aufruf, fehlender Ordner, unlesbare Dateien).\n";

constexpr int ExitIdentical = 0;
constexpr int ExitDifferent = 1;
constexpr int ExitTrouble = 2;

int usageError(const char *what)
{
    std::fprintf(stderr, "kalmora-cli: %s\n\n%s", what, Usage);
    return ExitTrouble;
}

// The rows as lines of raw name bytes, so that every name reads exactly as the file system spells it.
void printList(const common::ComparisonList &list)
{
    QByteArray out;
    for (int i = 0; i < list.count(); ++i) {
        const common::Row &row = list.row(i);
        out += row.leftName;
        out += '\t';
        out += common::MarkerText(row.marker).toUtf8();
        out += '\t';
        out += row.rightName;
        out += '\n';
        if (out.size() >= (1 << 20)) {
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            out.clear();
        }
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // Paths are taken from argv as bytes: a decoded argument list would lose names that are not UTF-8.
    bool binaryMode = true;
    std::vector<common::NativePath> folders;
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
        else if (arg[0] == '-' && arg[1] == '-' && arg[2] != 0)
            return usageError("unbekannte Option");
        else
            folders.emplace_back(arg);
    }
    if (folders.size() != 2)
        return usageError("bitte genau zwei Ordner angeben");

    QCoreApplication app(argc, argv);
    const auto fileSystem = common::createRealFileSystem();
    for (const common::NativePath &folder : folders) {
        common::EntryInfo info;
        if (folder.isEmpty() || fileSystem->inspect(folder, info) != 0 || info.kind != common::EntryKind::Folder) {
            std::fprintf(stderr, "kalmora-cli: Der Ordner '%s' existiert nicht.\n", folder.constData());
            return ExitTrouble;
        }
    }

    CliHost host(binaryMode);
    common::Core core(host, *fileSystem);
    bool toLeft = true;
    core.LoadFolder(folders[0], toLeft);
    toLeft = false;
    core.LoadFolder(folders[1], toLeft);
    const common::ComparisonReport report = core.RunComparison(binaryMode);
    printList(core.list());

    if (host.hadTrouble() || report.unreadable > 0)
        return ExitTrouble;
    return report.allEqual ? ExitIdentical : ExitDifferent;
}
