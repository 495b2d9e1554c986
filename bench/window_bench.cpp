// Times the window's long operations on a million rows, offscreen, on an in-memory tree pair:
// load left, load right, both comparisons, a sort by each column, the clipboard export. Prints the wall
// time of each step, the longest gap between two turns of the event loop (SpeedCheck off) and the
// memory per row.
//
// usage: kalmora-window-bench [FILES [IGNOREFILE]]
//   FILES defaults to 1000000; IGNOREFILE's patterns are served as the left folder's ignore file.
//   QT_QPA_PLATFORM=offscreen is set by itself.

#include "form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr int FilesPerFolder = 50;
constexpr qint64 BaseTime = 1600000000;

// A tree of FILES files in folders of fifty, "/L/dNNNNN/file-NN.dat" and the same under "/R/" — where
// every 100th file is newer on the right and every 100th other one one byte longer. Nothing touches a disk.
class SyntheticFileSystem : public common::FileSystem
{
public:
    SyntheticFileSystem(int files, QByteArray ignoreFile)
        : m_folders((files + FilesPerFolder - 1) / FilesPerFolder), m_files(files), m_ignoreFile(std::move(ignoreFile))
    {
    }

    int listFolder(const common::NativePath &folder, const common::NativePath &namePrefix,
                   std::vector<common::FolderEntry> &entries) override
    {
        const QList<QByteArray> parts = folder.split('/');
        if (parts.size() == 3) { // "/L/"
            for (int d = 0; d < m_folders; ++d)
                entries.push_back({namePrefix + "d" + QByteArray::number(d).rightJustified(5, '0'), 0,
                                   {common::EntryKind::Folder, BaseTime, 0, 1, quint64(d + 2)}});
            return 0;
        }
        const int d = parts[2].mid(1).toInt();
        for (int i = 0; i < FilesPerFolder && d * FilesPerFolder + i < m_files; ++i) {
            const int n = d * FilesPerFolder + i;
            const QByteArray name = "file-" + QByteArray::number(i).rightJustified(2, '0') + ".dat";
            entries.push_back({namePrefix + name, 0,
                               {common::EntryKind::File, modified(folder, n), size(folder, n), 1, 0}});
        }
        return 0;
    }
    int inspect(const common::NativePath &path, common::EntryInfo &info) override
    {
        const int n = number(path);
        info = n < 0 ? common::EntryInfo{common::EntryKind::Folder, BaseTime, 0, 1, 1}
                     : common::EntryInfo{common::EntryKind::File, modified(path, n), size(path, n), 0, 0};
        return 0;
    }
    common::NativePath canonicalPath(const common::NativePath &path) override { return path; }
    std::unique_ptr<common::InputFile> openForReading(const common::NativePath &path, int &error) override
    {
        if (path.endsWith(common::IgnoreFileName)) {
            error = path.startsWith("/L/") && !m_ignoreFile.isEmpty() ? 0 : common::NotFound;
            return error ? nullptr : std::make_unique<Content>(m_ignoreFile);
        }
        error = 0;
        return std::make_unique<Content>(size(path, number(path)));
    }
    // Nothing is ever synchronised here.
    std::unique_ptr<common::Folder> openFolder(const common::NativePath &, const common::EntryInfo &, int &error) override
    {
        error = EROFS;
        return nullptr;
    }
    std::unique_ptr<common::Folder> openSubfolder(common::Folder &, const common::NativePath &, const common::EntryInfo *,
                                                  bool, int &error) override
    {
        error = EROFS;
        return nullptr;
    }
    std::unique_ptr<common::InputFile> openFile(common::Folder &, const common::NativePath &, const common::EntryInfo &,
                                                int &error) override
    {
        error = EROFS;
        return nullptr;
    }
    int copyInto(common::InputFile &, common::Folder &, const common::NativePath &, const common::EntryInfo *,
                 common::Removal, const std::function<int()> &) override
    {
        return EROFS;
    }
    int deleteIn(common::Folder &, const common::NativePath &, const common::EntryInfo &, common::Removal) override
    {
        return EROFS;
    }

private:
    // A file of that many bytes 'k', or of the bytes given.
    struct Content : common::InputFile
    {
        explicit Content(qint64 size) : left(size), total(size) {}
        explicit Content(QByteArray bytes) : left(bytes.size()), total(bytes.size()), given(std::move(bytes)) {}
        qint64 size() const override { return total; }
        qint64 read(char *buffer, qint64 max) override
        {
            const qint64 n = qMin(max, left);
            if (given.isEmpty())
                std::memset(buffer, 'k', size_t(n));
            else
                std::memcpy(buffer, given.constData() + (total - left), size_t(n));
            left -= n;
            return n;
        }
        qint64 left, total;
        QByteArray given;
    };
    static bool right(const common::NativePath &path) { return path.startsWith("/R/"); }
    static int number(const common::NativePath &path)
    {
        const QList<QByteArray> parts = path.split('/');
        if (parts.size() < 4 || parts[3].isEmpty())
            return -1;
        return parts[2].mid(1).toInt() * FilesPerFolder + parts[3].mid(5, 2).toInt();
    }
    static qint64 modified(const common::NativePath &path, int n)
    {
        return BaseTime - n + (right(path) && n % 100 == 7 ? 60 : 0);
    }
    static qint64 size(const common::NativePath &path, int n) { return 100 + n % 50 + (right(path) && n % 100 == 3); }

    int m_folders;
    int m_files;
    QByteArray m_ignoreFile;
};

/// The window, with every message box answered at once.
class BenchForm : public Form1
{
public:
    using Form1::Form1;
    Answer showMessage(const QString &, Icon, Buttons) override { return Answer::Ok; }
};

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QByteArray ignoreFile;
    if (argc > 2) {
        QFile patterns(QString::fromLocal8Bit(argv[2]));
        if (!patterns.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kalmora-window-bench: cannot read %s\n", argv[2]);
            return 2;
        }
        ignoreFile = patterns.readAll();
    }
    SyntheticFileSystem fileSystem(files, ignoreFile);
    BenchForm form(fileSystem);
    form.Form_Load();
    QApplication::processEvents();

    // The event loop turns at every yield; a zero timer notes the longest pause between two turns.
    QElapsedTimer sinceTurn;
    qint64 longestGap = 0;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        longestGap = qMax(longestGap, sinceTurn.nsecsElapsed());
        sinceTurn.restart();
    });
    turns.start(0);

    auto step = [&](const char *name, const std::function<void()> &work) {
        QApplication::processEvents();
        longestGap = 0;
        sinceTurn.start();
        QElapsedTimer clock;
        clock.start();
        work();
        QApplication::processEvents();
        const qint64 took = clock.nsecsElapsed();
        longestGap = qMax(longestGap, sinceTurn.nsecsElapsed());
        std::printf("%-28s %9.3f s   longest gap %8.1f ms\n", name, took / 1e9, longestGap / 1e6);
        std::fflush(stdout);
    };

    const qint64 before = residentBytes();
    step("load left", [&] {
        common::NativePath path = "/L/";
        bool toLeft = true;
        form.core().LoadFolder(path, toLeft);
    });
    step("load right", [&] {
        common::NativePath path = "/R/";
        bool toLeft = false;
        form.core().LoadFolder(path, toLeft);
    });
    const int rows = form.core().list().count();
    const qint64 perRow = rows ? (residentBytes() - before) / rows : 0;
    step("age comparison", [&] { form.core().RunComparison(false); });
    step("binary comparison", [&] { form.core().RunComparison(true); });
    for (int column = 1; column <= 6; ++column) {
        const QByteArray name = "sort by column " + QByteArray::number(column);
        step(name.constData(), [&] { form.Liste_ColumnClick(column); });
    }
    step("clipboard export", [&] { form.core().ExportListToClipboard(); });

    // Shuffled names with umlauts and ß, which take the slow way to their German keys.
    {
        const char *stems[] = {"Ärger", "ärmel", "Öl", "über", "Übersicht", "Straße",
                               "strasse", "Zürich", "zebra", "Apfel", "müll", "Müller"};
        std::mt19937 random(7);
        std::vector<common::Row> umlautRows(static_cast<size_t>(files));
        for (common::Row &row : umlautRows)
            row.leftName = QByteArray("Ordner ") + stems[random() % 12] + '/' + stems[random() % 12] + '-' +
                           QByteArray::number(int(random() % 100000)) + ".txt";
        common::ComparisonList umlauts;
        umlauts.appendRows(umlautRows);
        step("sort names with umlauts", [&] { umlauts.sort(common::ComparisonList::LeftNameColumn); });
    }
    std::printf("%d rows, %lld bytes per row\n", rows, perRow);
    return 0;
}
