#include "comparisonlist.h"
#include "names.h"

#include <QTest>

#include <algorithm>

#include <ctime>

using namespace common;

namespace {

SeenFile modifiedAt(qint64 seconds)
{
    SeenFile seen;
    seen.modified = seconds;
    return seen;
}

void fill(ComparisonList &list, const QList<QByteArray> &leftNames)
{
    std::vector<Row> rows;
    for (int i = 0; i < leftNames.size(); ++i)
        rows.push_back({leftNames[i], {}, modifiedAt(1072915200 + i), {}, Marker(i % 15)});
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
        std::vector<Row> rows{
            {"Briefe/brief.doc", "BRIEFE/Brief.doc", modifiedAt(1071583509), modifiedAt(1071583510), Marker::OrphanRight}};
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
        // German order: case ignored, umlauts with their base letter, ß as ss; equal texts by their bytes.
        ComparisonList list;
        const QByteArrayList names{"b", "A", "Straße", "a", "C", "ä", "zebra", "Ä", "strasse", "Übersicht.txt", "Strasse"};
        fill(list, names);
        const QPersistentModelIndex b(list.index(0, 0));
        list.setSortOrder(Qt::DescendingOrder); // nothing moves while the list is not sorted
        QCOMPARE(leftNames(list), names);
        list.setSortOrder(Qt::AscendingOrder);
        list.setSorted(true);
        const QByteArrayList ascending{"A", "a", "Ä", "ä", "b", "C", "Strasse", "Straße", "strasse", "Übersicht.txt",
                                       "zebra"};
        QCOMPARE(leftNames(list), ascending);
        QCOMPARE(b.row(), 4);
        list.setSortOrder(Qt::DescendingOrder); // the whole order reversed, ties too
        QByteArrayList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(leftNames(list), descending);
        list.setSortKey(ComparisonList::LeftStampColumn);
        QCOMPARE(leftNames(list).mid(0, 3), (QByteArrayList{"Strasse", "Übersicht.txt", "strasse"}));
        list.setSortKey(ComparisonList::MarkerColumn); // by the marker's text
        QCOMPARE(MarkerText(list.row(0).marker), QString("X->"));

        list.setFrozen(true); // a running operation: the request waits
        list.sort(ComparisonList::LeftStampColumn, Qt::AscendingOrder);
        QCOMPARE(MarkerText(list.row(0).marker), QString("X->"));
        list.setFrozen(false);
        QCOMPARE(leftNames(list), names);
    }

    void longSortsPauseAndKeepEveryRow()
    {
        // 300,000 shuffled names sort for longer than one slice of work: the sort pauses, in the middle of
        // its merges and its moves too, and still ends with every row once, in the order of a sort without
        // pauses (for these lower-case ASCII names, their byte order). A selected row follows its row.
        QByteArrayList names;
        for (int i = 0; i < 300000; ++i)
            names << "n" + QByteArray::number(qint64(i) * 7919 % 300000).rightJustified(6, '0');
        ComparisonList list;
        fill(list, names);
        const QPersistentModelIndex first(list.index(0, 0));
        int pauses = 0;
        list.sortNow([&] {
            ++pauses;
            return true;
        });
        QVERIFY(pauses > 0);
        QByteArrayList expected = names;
        std::sort(expected.begin(), expected.end());
        QCOMPARE(leftNames(list), expected);
        QCOMPARE(list.row(first.row()).leftName, names[0]);
        // Given up before anything moved: the rows stay as they were.
        ComparisonList givenUp;
        fill(givenUp, names);
        givenUp.sortNow([] { return false; });
        QCOMPARE(leftNames(givenUp), names);
    }

    void equalTextsSortByTheOtherColumn()
    {
        // Rows alike in the sort column (all right-only rows under a left-name sort) follow the other names.
        ComparisonList list;
        std::vector<Row> rows;
        for (const auto &[leftName, rightName] : {std::pair{"", "b"}, {"x", "y"}, {"", "a"}, {"", "B"}})
            rows.push_back({leftName, rightName, {}, {}, Marker::None});
        list.appendRows(rows);
        list.sort(ComparisonList::LeftNameColumn, Qt::AscendingOrder);
        QByteArrayList right;
        for (int i = 0; i < list.count(); ++i)
            right << list.row(i).rightName;
        QCOMPARE(right, (QByteArrayList{"a", "B", "b", "y"}));
    }

    void pairingByName_data()
    {
        QTest::addColumn<QByteArrayList>("left");
        QTest::addColumn<QByteArrayList>("right");
        QTest::addColumn<QList<int>>("rows"); // the row of each right file; -1: a row of its own
        QTest::newRow("letter case, in folders too") << QByteArrayList{"Sub/a.txt", "", "b.txt"}
                                                     << QByteArrayList{"SUB/A.TXT", "B.txt"} << QList<int>{0, 2};
        QTest::newRow("umlauts") << QByteArrayList{"Müll.txt"} << QByteArrayList{"MÜLL.TXT"} << QList<int>{0};
        // Not UTF-8: the ASCII letters still fold, and no lossy decoding lets two names meet.
        QTest::newRow("not UTF-8") << QByteArrayList{"caf\xe9.txt"} << QByteArrayList{"caf\xe8.txt", "CAF\xe9.TXT"}
                                   << QList<int>{-1, 0};
        QTest::newRow("whole names") << QByteArrayList{"b.txt"} << QByteArrayList{"b.tx"} << QList<int>{-1};
        QTest::newRow("twins, exact names first") << QByteArrayList{"a.txt", "A.TXT"}
                                                  << QByteArrayList{"A.TXT", "a.txt"} << QList<int>{1, 0};
        QTest::newRow("twins on the left") << QByteArrayList{"a.txt", "A.TXT"} << QByteArrayList{"A.txt"}
                                           << QList<int>{-1};
        QTest::newRow("twins on the right") << QByteArrayList{"a.txt"} << QByteArrayList{"A.TXT", "A.txt"}
                                            << QList<int>{-1, -1};
        QTest::newRow("an exact partner and a twin") << QByteArrayList{"a.txt"} << QByteArrayList{"A.TXT", "a.txt"}
                                                     << QList<int>{-1, 0};
        QTest::newRow("one left of each after the exact ones") << QByteArrayList{"a.txt", "A.TXT"}
                                                               << QByteArrayList{"a.txt", "A.txt"} << QList<int>{0, 1};
    }
    void pairingByName()
    {
        QFETCH(QByteArrayList, left);
        QFETCH(QByteArrayList, right);
        QFETCH(QList<int>, rows);
        ComparisonList list;
        fill(list, left);
        const RightPairing pairing(list, size_t(right.size()), [&](size_t i) -> const NativePath & { return right[int(i)]; });
        QList<int> found;
        for (int i = 0; i < right.size(); ++i)
            found << pairing.rowOf(size_t(i));
        QCOMPARE(found, rows);
    }

};

QTEST_GUILESS_MAIN(TestComparisonList)
#include "tst_comparisonlist.moc"
