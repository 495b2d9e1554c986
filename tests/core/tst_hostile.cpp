#include "corefixture.h"

#include <QFile>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace common;

// Trees that a careless program would stumble over, end to end on real folders.
class TestHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oddNames()
    {
        const QByteArrayList names{"tab\there", "line\nfeed", "back\\slash", " blanks ", "caf\xe9",
                                   QByteArray(255, 'n'), QByteArray(120, 'd') + '/' + QByteArray(120, 'e') + "/f"};
        CoreFixture f;
        for (const QByteArray &name : names) {
            f.left.file(name, "same");
            f.right.file(name, "same");
        }
        f.left.file(names[0] + "-new", "copy me", TestDir::DefaultTime + 60);
        f.right.file(names[0] + "-new", "old");
        f.loadBoth();
        f.core.RunComparison(true);
        for (const QByteArray &name : names)
            QCOMPARE(f.markerOf(name), QString("="));
        f.core.RunComparison(false);
        f.core.RunSynchronisation();
        QFile copied(QString::fromUtf8(f.right.path(names[0] + "-new")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("copy me"));
        QCOMPARE(f.host.messages.size(), 2); // the two reports only
    }

    void deepPathsNearTheLimit()
    {
        CoreFixture f;
        QByteArray deep;
        while (f.left.path().size() + deep.size() < 3800)
            deep += QByteArray(250, 'p') + '/';
        f.left.file(deep + "f", "x");
        f.loadBoth();
        f.list.setMarker(0, Marker::CopyRight); // the folders on the way are made on the other side
        f.core.RunSynchronisation();
        QVERIFY(f.host.messages.isEmpty());
        QVERIFY(QFile::exists(QString::fromUtf8(f.right.path(deep + "f"))));
    }

    void aFolderOfTwentyThousandFiles()
    {
        CoreFixture f;
        for (int i = 0; i < 20000; ++i)
            f.left.file("f" + QByteArray::number(i));
        f.load(f.left.path(), true);
        QCOMPARE(f.host.panel1, QString("20000 Dateien"));
    }

    void linksOutAndSpecialFiles()
    {
        CoreFixture f;
        TestDir outside;
        outside.file("o", "x");
        f.left.file("a", "x");
        f.right.file("a", "x");
        f.left.link("out", outside.path()); // a link that leaves the tree is followed
        QCOMPARE(::mkfifo(f.left.path("fifo").constData(), 0644), 0);
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(f.left.path("sock").size()) < sizeof address.sun_path) {
            qstrcpy(address.sun_path, f.left.path("sock").constData());
            QCOMPARE(::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        }
        const bool device = ::mknod(f.left.path("zero").constData(), S_IFCHR | 0666, makedev(1, 5)) == 0;
        f.loadBoth();
        ::close(s);
        f.core.RunComparison(true); // nothing special is listed, so nothing special is ever opened
        QCOMPARE(f.rows(), (QStringList{"a|=|a", "out/o|?|"}));
        if (!device)
            QWARN("no device node could be made here");
    }

    void aFolderWhereACopyShouldGo()
    {
        CoreFixture f;
        f.left.file("x", "file");
        f.right.folder("x");
        f.right.file("x/inner", "kept");
        f.loadBoth();
        f.list.setMarker(f.rowOf("x"), Marker::CopyRight);
        f.core.RunSynchronisation();
        QCOMPARE(f.host.messages.size(), 1); // refused, reported, and the folder stays whole
        QVERIFY(QFile::exists(QString::fromUtf8(f.right.path("x/inner"))));
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
