#include "testdir.h"

#include <QDirIterator>
#include <QTest>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

// Raw calls on byte paths: some tests need names that are not UTF-8.
TestDir::TestDir() : m_path(m_dir.path().toUtf8())
{
    QVERIFY(m_dir.isValid());
    m_dir.setAutoRemove(false);
}

// QTemporaryDir's own clean-up decodes names and so leaves those behind that are not UTF-8.
TestDir::~TestDir()
{
    ::nftw(
        m_path.constData(),
        [](const char *path, const struct stat *, int, struct FTW *) { ::remove(path); return 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
}

TestDir &DataHome()
{
    static TestDir home;
    return home;
}

static const bool dataHomeSet = qputenv("XDG_DATA_HOME", DataHome().path());

void TestDir::folder(const common::NativePath &relative)
{
    common::NativePath built = m_path;
    for (const QByteArray &part : relative.split('/')) {
        built += '/' + part;
        ::mkdir(built.constData(), 0755);
    }
}

void TestDir::file(const common::NativePath &relative, const QByteArray &content, qint64 modified, long ns)
{
    const int slash = relative.lastIndexOf('/');
    if (slash > 0)
        folder(relative.left(slash));
    const common::NativePath full = path(relative);
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, full.constData());
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    const struct timespec times[2] = {{time_t(modified), ns}, {time_t(modified), ns}};
    QCOMPARE(::futimens(fd, times), 0);
    ::close(fd);
}

void TestDir::link(const common::NativePath &relative, const common::NativePath &target)
{
    QCOMPARE(::symlink(target.constData(), path(relative).constData()), 0);
}

void TestDir::remove(const common::NativePath &relative)
{
    QCOMPARE(::unlink(path(relative).constData()), 0);
}

QStringList TestDir::contents(bool withFolders) const
{
    const QDir::Filters filter = withFolders ? QDir::AllEntries | QDir::NoDotAndDotDot : QDir::Files;
    QStringList entries;
    QDirIterator it(QString::fromUtf8(m_path), filter | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        const QByteArray content = file.open(QIODevice::ReadOnly) ? ':' + file.readAll() : "/";
        entries << file.fileName().mid(m_path.size() + 1) + content;
    }
    entries.sort();
    return entries;
}
