#include "comparisonlist.h"
#include "names.h"

#include <QTest>

#include <ctime>

using namespace common;

namespace {

void fill(ComparisonList &list, const QList<QByteArray> &leftNames)
{
    std::vector<Row> rows;
    for (int i = 0; i < leftNames.size(); ++i)
        rows.push_back({leftNames[i], {}, Stamp(20040101000000 + i), 0, Marker(i % 15)});
    list.appendRows(rows);
}

QByteArrayList leftNames(const ComparisonList &list)
{
    QByteArrayList names;
    for (int i = 0; i < list.count(); ++i)
        names << list.row(i).leftName;
    return names;
}

} // namespace

class TestComparisonList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void columnsAsShown()
    {
        ComparisonList list;
        const QStringList headers{"Erster Ordner", "<-->", "Zweiter Ordner", "", "unsichtbar für datum LINKS",
                                  "unsichtbar für datum Rechts"};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(list.headerData(c, Qt::Horizontal).toString(), headers[c]);
        std::vector<Row> rows{{"Briefe/brief.doc", "BRIEFE/Brief.doc", FileStamp(1071583509), 20031216140510,
                               Marker::OrphanRight}};
        list.appendRows(rows);
        QStringList shown;
        for (int c = 0; c < 6; ++c)
            shown << list.data(list.index(0, c)).toString();
        QCOMPARE(shown, (QStringList{"Briefe/brief.doc", "? <--", "BRIEFE/Brief.doc", "", "2003121614:05:09",
                                     "2003121614:05:10"}));
        QCOMPARE(list.data(list.index(0, 1), Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    }

    void sorting()
    {
        ComparisonList list;
        fill(list, {"b", "A", "a", "C", "ä", "Ä"});
        const QPersistentModelIndex b(list.index(0, 0));
        list.setSortOrder(Qt::DescendingOrder); // nothing moves while the list is not sorted
        QCOMPARE(leftNames(list), (QByteArrayList{"b", "A", "a", "C", "ä", "Ä"}));
        list.setSortOrder(Qt::AscendingOrder);
        list.setSorted(true); // stable, without regard to case
        QCOMPARE(leftNames(list), (QByteArrayList{"A", "a", "b", "C", "ä", "Ä"}));
        QCOMPARE(b.row(), 2);
        list.setSortOrder(Qt::DescendingOrder);
        QCOMPARE(leftNames(list), (QByteArrayList{"ä", "Ä", "C", "b", "A", "a"}));
        list.setSortKey(ComparisonList::LeftStampColumn);
        QCOMPARE(leftNames(list), (QByteArrayList{"Ä", "ä", "C", "a", "A", "b"}));
        list.setSortKey(ComparisonList::MarkerColumn); // by the marker's text
        QCOMPARE(MarkerText(list.row(0).marker), QString("?"));

        list.setFrozen(true); // a running operation: the request waits
        list.sort(ComparisonList::LeftStampColumn, Qt::AscendingOrder);
        QCOMPARE(MarkerText(list.row(0).marker), QString("?"));
        list.setFrozen(false);
        QCOMPARE(leftNames(list), (QByteArrayList{"b", "A", "a", "C", "ä", "Ä"}));
    }

    void indexFindsTheFirstRowWithoutRegardToCase()
    {
        ComparisonList list;
        fill(list, {"Sub/a.txt", "", "SUB/A.TXT", "Müll.txt", "caf\xe9.txt", "b.txt"});
        const LeftNameIndex index(list);
        QCOMPARE(index.find("sub/a.TXT"), 0);
        QCOMPARE(index.find("MÜLL.TXT"), 3);
        QCOMPARE(index.find("CAF\xe9.TXT"), 4); // not UTF-8: the ASCII letters still fold
        QCOMPARE(index.find("caf\xe8.txt"), -1); // would meet \xe9 through a lossy decoding
        QCOMPARE(index.find("b.tx"), -1);        // whole names, not prefixes
        QCOMPARE(index.find(""), -1);            // rows without a left name never match
    }

};

QTEST_GUILESS_MAIN(TestComparisonList)
#include "tst_comparisonlist.moc"
