#include "corefixture.h"
#include "posixfilesystem.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace common;

// What a synchronisation deletes or replaces lands in the trash, where the file manager's "Restore" finds it.
class TestTrash : public QObject
{
    Q_OBJECT

    // The trash as a file manager lists it: "where it stood:content" for each .trashinfo.
    static QStringList trashed(const QString &trash)
    {
        QStringList found;
        for (const QFileInfo &info : QDir(trash + "/info").entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile text(info.filePath()), file(trash + "/files/" + info.completeBaseName());
            text.open(QIODevice::ReadOnly);
            file.open(QIODevice::ReadOnly);
            const QByteArray lines = text.readAll(), path = lines.mid(lines.indexOf("\nPath=") + 6).split('\n')[0];
            found << QString::fromUtf8(QByteArray::fromPercentEncoding(path) + ':' + file.readAll());
        }
        found.sort();
        return found;
    }
    static QString homeTrash() { return QString::fromUtf8(DataHome().path("Trash")); }

private Q_SLOTS:
    void cleanup()
    {
        QDir(homeTrash()).removeRecursively();
        posix::copyHooks() = {};
    }

    // A replaced file's old content, and files deleted in one run, two of them of the same name, each with the
    // place it came from (a name that reads as percent-encoded included), moved, never copied. A file saved in
    // the instant between the last check and the exchange keeps its name, and its step is refused. A temporary
    // file whose writer has gone goes too; one whose writer lives (this process) stays.
    void movedThere_data()
    {
        QTest::addColumn<bool>("exchange");
        QTest::addColumn<bool>("ownFileSystem");
        QTest::addColumn<bool>("saved");
        QTest::newRow("home trash") << true << false << false;
        QTest::newRow("home trash, no exchange") << false << false << false;
        QTest::newRow("a mount's top directory") << true << true << false;
        QTest::newRow("exFAT through FUSE: no exchange, no flags, no links") << false << true << false;
        QTest::newRow("a save in the last instant") << true << false << true;
        QTest::newRow("a save in the last instant, no exchange") << false << false << true;
    }
    void movedThere()
    {
        QFETCH(bool, exchange);
        QFETCH(bool, ownFileSystem);
        QFETCH(bool, saved);
        if (!exchange || ownFileSystem || saved)
            POSIX_ONLY();
        CoreFixture f;
        f.pair("a", "new", "old", TestDir::DefaultTime - 60);
        f.right.file("sub/a", "sub");
        // Qt writes the path of a trashed file unencoded: a name that reads as encoded is the POSIX one's.
        const NativePath odd = PortableFileSystemUnderTest() ? "b c" : "b%41";
        f.right.file(odd, "b");
        struct stat before, after;
        ::stat(f.right.path(odd), &before);
        char living[96];
        posix::temporaryName(living, sizeof living, 7);
        QStringList parts = QString::fromLatin1(living).split('-'); // prefix, boot, process, its start, random
        parts[3] = "1";
        const QString gone = parts.join('-');
        for (const QString &name : {QString(living), gone})
            f.right.file("sub/" + name.toLatin1(), "partial");
        f.loadBoth();
        for (int i = 0; i < f.list.count(); ++i)
            f.list.setMarker(i, f.list.row(i).leftName.isEmpty() ? Marker::DeleteRight : Marker::CopyRight);
        posix::copyHooks().exchangeRefused = !exchange;
        posix::copyHooks().renameFlagsAndLinksRefused = !exchange && ownFileSystem;
        if (ownFileSystem)
            posix::copyHooks().mountTop = f.right.path();
        if (saved)
            posix::copyHooks().beforeExchange = [&] { f.right.file("a", "saved", TestDir::DefaultTime + 5); };
        f.core.RunSynchronisation();

        const QString trash = ownFileSystem ? QString::fromUtf8(f.right.path(".Trash-" + QByteArray::number(::getuid())))
                                            : homeTrash();
        const QString origin = ownFileSystem ? QString() : QString::fromUtf8(f.right.path()) + '/';
        const bool posix = !PortableFileSystemUnderTest(); // only it knows the writers of its temporary files
        QStringList expected = QStringList{origin + odd + ":b", origin + "sub/a:sub"} +
                               (saved ? QStringList() : QStringList{origin + "a:old"}) +
                               (posix ? QStringList{origin + "sub/" + gone + ":partial"} : QStringList());
        expected.sort();
        QCOMPARE(trashed(trash), expected);
        QStringList kept = QStringList{saved ? "a:saved" : "a:new", "sub/" + QString(living) + ":partial"} +
                           (posix ? QStringList() : QStringList{"sub/" + gone + ":partial"});
        kept.sort();
        QCOMPARE(f.right.contents().filter(QRegularExpression("^[^.]")), kept);
        QCOMPARE(f.host.panel2.endsWith("Reste abgebrochener Kopien in den Papierkorb verschoben: 1"), posix);
        QCOMPARE(f.host.messageTexts().filter("Die Datei wurde nach dem Einlesen verändert.").size(), int(saved));
        QVERIFY(::stat(QFile::encodeName(trash) + "/files/" + odd, &after) == 0 && after.st_ino == before.st_ino);
    }

    // Where a file system has no trash, the window asks once: No keeps files and rows without another dialog,
    // Yes deletes and replaces for good. Deleting for good allowed beforehand (--no-trash) still uses a trash
    // wherever there is one.
    void noTrash_data()
    {
        QTest::addColumn<bool>("trashless");
        QTest::addColumn<Host::Answer>("answer");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("trashed");
        QTest::newRow("Nein") << true << Host::Answer::No << "a:old c:c" << 0;
        QTest::newRow("Ja") << true << Host::Answer::Yes << "a:new" << 0;
        QTest::newRow("allowed beforehand, a trash there") << false << Host::Answer::Ok << "a:new" << 2;
    }
    void noTrash()
    {
        QFETCH(bool, trashless);
        QFETCH(Host::Answer, answer);
        POSIX_ONLY();
        CoreFixture f;
        f.pair("a", "new", "old", TestDir::DefaultTime - 60);
        f.right.file("c", "c");
        f.loadBoth();
        for (int i = 0; i < f.list.count(); ++i)
            f.list.setMarker(i, f.list.row(i).leftName.isEmpty() ? Marker::DeleteRight : Marker::CopyRight);
        if (trashless) { // a stick whose trash folder cannot be made: a file has its name
            posix::copyHooks().mountTop = f.right.path();
            f.right.file(".Trash-" + QByteArray::number(::getuid()));
        }
        f.host.answers = {answer};
        f.core.setWithoutTrash(answer == Host::Answer::Ok ? WithoutTrash::ForGood : WithoutTrash::Ask);
        f.core.RunSynchronisation();
        QTEST(f.right.contents().filter(QRegularExpression("^[^.]")).join(' '), "right");
        const QString question = "' gibt es keinen Papierkorb.\r\rSollen Dateien dort in diesem Abgleich endgültig "
                                 "gelöscht und ersetzt werden?";
        QCOMPARE(f.host.messageTexts().size(), int(trashless)); // the one question, and no other dialog
        QVERIFY(!trashless || f.host.messageTexts()[0].endsWith(question));
        QCOMPARE(f.list.count(), answer == Host::Answer::No ? 2 : 0);
        QTEST(int(trashed(homeTrash()).size()), "trashed");
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
