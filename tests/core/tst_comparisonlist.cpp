#include "comparisonlist.h"
#include "names.h"
#include "stamp.h"

#include <QTest>

#include <ctime>

using namespace common;

class TestComparisonList : public QObject
{
    Q_OBJECT

private:
    static void fill(ComparisonList &list, const QList<QByteArray> &leftNames)
    {
        std::vector<Row> rows;
        for (const QByteArray &name : leftNames)
            rows.push_back({name, {}, 0, 0, Marker::None});
        list.appendRows(rows);
    }
    static QList<QByteArray> leftNames(const ComparisonList &list)
    {
        QList<QByteArray> names;
        for (int i = 0; i < list.count(); ++i)
            names.append(list.row(i).leftName);
        return names;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void headersAndColumns()
    {
        ComparisonList list;
        QCOMPARE(list.columnCount(), 6);
        const QStringList expected{"Erster Ordner",  "<-->", "Zweiter Ordner", "", "unsichtbar für datum LINKS",
                                   "unsichtbar für datum Rechts"};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(list.headerData(c, Qt::Horizontal).toString(), expected[c]);
        list.setHeaderText(ComparisonList::RightNameColumn, "/daten/");
        QCOMPARE(list.headerText(ComparisonList::RightNameColumn), QString("/daten/"));
        QCOMPARE(list.headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    }

    void fieldsAsShown()
    {
        ComparisonList list;
        std::vector<Row> rows{{"Briefe/brief.doc", "BRIEFE/Brief.doc", 20031216140509, 20031216140510, Marker::OrphanRight}};
        list.appendRows(rows);
        QVERIFY(rows.empty());
        auto text = [&](int column) { return list.data(list.index(0, column)).toString(); };
        QCOMPARE(text(0), QString("Briefe/brief.doc"));
        QCOMPARE(text(1), QString("? <--"));
        QCOMPARE(text(2), QString("BRIEFE/Brief.doc"));
        QCOMPARE(text(3), QString());
        QCOMPARE(text(4), QString("2003121614:05:09"));
        QCOMPARE(text(5), QString("2003121614:05:10"));
        QCOMPARE(list.data(list.index(0, 1), Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    }

    void removeAndClear()
    {
        ComparisonList list;
        fill(list, {"a", "b", "c"});
        list.setHeaderText(ComparisonList::LeftNameColumn, "/l/");
        list.removeRow(1);
        QCOMPARE(leftNames(list), (QList<QByteArray>{"a", "c"}));
        list.ClearList();
        QCOMPARE(list.count(), 0);
        QCOMPARE(list.headerText(ComparisonList::LeftNameColumn), QString("/l/"));
    }

    void sortIsStableAndIgnoresCase()
    {
        ComparisonList list;
        fill(list, {"b", "A", "a", "C", "ä", "Ä"});
        QVERIFY(!list.isSorted());
        QCOMPARE(leftNames(list), (QList<QByteArray>{"b", "A", "a", "C", "ä", "Ä"}));
        list.setSorted(true);
        QCOMPARE(leftNames(list), (QList<QByteArray>{"A", "a", "b", "C", "ä", "Ä"}));
        list.setSortOrder(Qt::DescendingOrder);
        QCOMPARE(leftNames(list), (QList<QByteArray>{"ä", "Ä", "C", "b", "A", "a"}));
    }

    void sortByOtherColumns()
    {
        ComparisonList list;
        std::vector<Row> rows{{"x", {}, 20050101000000, 0, Marker::Equal},
                              {"y", {}, 20040101000000, 0, Marker::Different},
                              {"z", {}, 20060101000000, 0, Marker::CopyRight}};
        list.appendRows(rows);
        list.setSorted(true);
        list.setSortKey(ComparisonList::LeftStampColumn);
        QCOMPARE(leftNames(list), (QList<QByteArray>{"y", "x", "z"}));
        list.setSortKey(ComparisonList::MarkerColumn); // "-->" < "<>" < "=" by character code
        QCOMPARE(leftNames(list), (QList<QByteArray>{"z", "y", "x"}));
        list.setSortKey(ComparisonList::SpareColumn); // all equal: order stays
        QCOMPARE(leftNames(list), (QList<QByteArray>{"z", "y", "x"}));
    }

    void sortKeepsPersistentIndexes()
    {
        ComparisonList list;
        fill(list, {"c", "a", "b"});
        const QPersistentModelIndex c(list.index(0, 0));
        list.setSorted(true);
        QCOMPARE(c.row(), 2);
        QCOMPARE(c.data().toString(), QString("c"));
    }

    void frozenListSortsWhenThawed()
    {
        ComparisonList list;
        fill(list, {"c", "a", "b"});
        list.setFrozen(true);
        list.sort(ComparisonList::LeftNameColumn, Qt::DescendingOrder);
        QCOMPARE(leftNames(list), (QList<QByteArray>{"c", "a", "b"}));
        QVERIFY(list.isSorted());
        list.setFrozen(false);
        QCOMPARE(leftNames(list), (QList<QByteArray>{"c", "b", "a"}));
    }

    void sortWhileOffDoesNotMove()
    {
        ComparisonList list;
        fill(list, {"c", "a"});
        list.setSortKey(ComparisonList::LeftNameColumn);
        list.setSortOrder(Qt::AscendingOrder);
        QCOMPARE(leftNames(list), (QList<QByteArray>{"c", "a"}));
    }

    void indexFindsFirstRowWithoutRegardToCase()
    {
        ComparisonList list;
        fill(list, {"Sub/a.txt", "", "SUB/A.TXT", "Müll.txt", "caf\xe9.txt", "b.txt"});
        const LeftNameIndex index(list);
        QCOMPARE(index.find("sub/a.txt"), 0);
        QCOMPARE(index.find("SUB/a.TXT"), 0);
        QCOMPARE(index.find("MÜLL.TXT"), 3);
        QCOMPARE(index.find("caf\xe9.txt"), 4);
        QCOMPARE(index.find("CAF\xe9.TXT"), 4); // not UTF-8: ASCII letters still fold
        QCOMPARE(index.find("caf\xe8.txt"), -1); // would meet \xe9 through a lossy decoding
        QCOMPARE(index.find("b.tx"), -1);        // whole names, not prefixes
        QCOMPARE(index.find(""), -1);            // rows without a left name never match
    }

    void stamps()
    {
        QCOMPARE(StampText(FileStamp(1046855223)), QString("2003030509:07:03"));
        QCOMPARE(StampText(FileStamp(1046898423)), QString("2003030521:07:03"));
        QVERIFY(FileStamp(1046855223) < FileStamp(1046898423));
        QCOMPARE(StampText(0), QString());
    }

    void trailingSeparator()
    {
        QCOMPARE(WithTrailingBackslash("/a"), NativePath("/a/"));
        QCOMPARE(WithTrailingBackslash("/a/"), NativePath("/a/"));
        QCOMPARE(WithTrailingBackslash("/"), NativePath("/"));
    }
};

QTEST_GUILESS_MAIN(TestComparisonList)
#include "tst_comparisonlist.moc"
