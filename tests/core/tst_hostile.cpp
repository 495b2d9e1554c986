#include "corefixture.h"

#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

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

    void deviceNodesAreNeverOpened()
    {
        CoreFixture f;
        f.left.file("a", "x");
        f.right.file("a", "x");
        if (::mknod(f.left.path("zero").constData(), S_IFCHR | 0666, makedev(1, 5)) != 0)
            QSKIP("cannot make a device node here");
        ::mknod(f.right.path("zero").constData(), S_IFCHR | 0666, makedev(1, 5));
        f.loadBoth();
        f.core.RunComparison(true);
        QCOMPARE(f.rows(), QStringList{"a|=|a"});
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
