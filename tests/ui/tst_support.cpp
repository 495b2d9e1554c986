#include "qzsammlung.h"
#include "qzsammlung2divfu.h"
#include "testdir.h"

#include <QDesktopServices>
#include <QTest>

class TestSupport : public QObject
{
    Q_OBJECT
    QList<QUrl> m_opened; // by the desktop, as asked for

public Q_SLOTS:
    void opened(const QUrl &url) { m_opened << url; }

private Q_SLOTS:
    void nthField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<int>("compareMode");
        QTest::addColumn<QString>("piece");
        QTest::newRow("a field of a stored geometry") << "120:240:8355:3555" << 3 << ":" << 0 << "8355";
        QTest::newRow("no separator: a blank") << "a b c" << 2 << "" << 0 << "b";
        QTest::newRow("a separator of two characters") << "a--B" << 2 << "--" << 0 << "B";
        QTest::newRow("fewer pieces") << "1:2" << 5 << ":" << 0 << "";
        QTest::newRow("piece 0") << "1:2" << 0 << ":" << 0 << "";
        QTest::newRow("exact: another case is no separator") << "aXb" << 2 << "x" << 0 << "";
        QTest::newRow("without regard to case") << "aXb" << 2 << "x" << 1 << "b";
    }
    void nthField()
    {
        QFETCH(QString, text);
        QFETCH(int, n);
        QFETCH(QString, separator);
        QFETCH(int, compareMode);
        QTEST(QZSAMMLUNG2DIVFU::NthField(text, n, separator, compareMode), "piece");
    }

    void centeredOffset_data()
    {
        QTest::addColumn<double>("screen");
        QTest::addColumn<double>("window");
        QTest::addColumn<int>("offset");
        QTest::newRow("51.5 rounds to the even 52") << 100.0 << 48.5 << 26;
        QTest::newRow("a negative difference is halved towards zero") << 800.0 << 1001.0 << -100;
        QTest::newRow("the rounded difference is halved, not rounded again") << 1027.0 << 0.0 << 513;
    }
    void centeredOffset()
    {
        QFETCH(double, screen);
        QFETCH(double, window);
        QTEST(QZSAMMLUNG::CenteredOffset(screen, window), "offset");
    }

    void storedCornerUsable()
    {
        // The left edge is measured against the screen's width, the top against its height.
        QVERIFY(QZSAMMLUNG::StoredCornerUsable(450, 15000, {16000, 9000}));
    }

    // Each file found is passed over for the next one added: the program folder before hilfe/, index before
    // hilfe; a folder of such a name is no file. A name ending in "/" is a folder.
    void findHelpFile_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("found");
        QTest::newRow("no pages") << QStringList() << "";
        QStringList present{"index.htm/"};
        for (const char *name : {"hilfe/hilfe.html", "hilfe/index.htm", "hilfe.htm", "index.html"}) {
            present << name;
            QTest::newRow(name) << present << name;
        }
    }
    void findHelpFile()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        TestDir dir;
        for (const QString &name : present)
            name.endsWith('/') ? dir.folder(name.chopped(1).toUtf8()) : dir.file(name.toUtf8());
        const QString folder = QString::fromUtf8(dir.path());
        QCOMPARE(QZSAMMLUNG::FindHelpFile(folder), found.isEmpty() ? QString() : folder + '/' + found);
    }

    void openedByTheDesktop()
    {
        // Web addresses, encrypted, and help pages beside the program go to the desktop's handlers.
        for (const char *scheme : {"https", "http", "file"})
            QDesktopServices::setUrlHandler(scheme, this, "opened");
        QFile(QCoreApplication::applicationDirPath() + "/index.htm").open(QIODevice::WriteOnly);
        QString page;
        QVERIFY(QZSAMMLUNG::OpenWithShell("norvane.example", 0));
        QCOMPARE(QZSAMMLUNG::ShowHelp(&page), QZSAMMLUNG::HelpShown::Opened);
        QFile::remove(page);
        QCOMPARE(m_opened, (QList<QUrl>{QUrl("https://norvane.example"), QUrl::fromLocalFile(page)}));
        for (const char *scheme : {"https", "http", "file"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
};

QTEST_MAIN(TestSupport)
#include "tst_support.moc"
