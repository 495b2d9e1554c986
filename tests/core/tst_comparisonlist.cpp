#include "comparisonlist.h"
#include "rightpairing.h"

#include <QDateTime>
#include <QTest>

#include <algorithm>

using namespace common;

// Rows stamped a second apart, the right files a minute later and in the opposite order, with the markers in
// their order.
static void fill(ComparisonList &list, const QByteArrayList &leftNames, const QByteArrayList &rightNames = {})
{
    std::vector<Row> rows;
    for (int i = 0; i < leftNames.size(); ++i)
        rows.push_back({leftNames[i], rightNames.value(i), {0, -1, 1072915200 + i}, {0, -1, 1072915260 - i},
                        Marker(i % 15)});
    list.appendRows(rows);
}

static QByteArrayList names(const ComparisonList &list, bool right = false)
{
    QByteArrayList names;
    for (int i = 0; i < list.count(); ++i)
        names << (right ? list.row(i).rightName : list.row(i).leftName);
    return names;
}

class TestComparisonList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The columns show the names, the marker and, hidden in the window, the stamps in local time. German order: case ignored, umlauts with their
    // base letter, ß as ss; equal texts by their bytes, rows alike in the sort column (right-only rows under
    // a left-name sort) by the other names. The descending order is the whole ascending one reversed, ties
    // too.
    void shownAndSorted()
    {
        ComparisonList list;
        fill(list, {"b", "A", "Straße", "a", "C", "ä", "z", "Ä", "strasse", "Übel", "Strasse", "", "", ""},
             {"B", "", "", "", "", "", "", "", "", "", "", "b", "a", "B"});
        QStringList shown;
        for (int c = 0; c < 5; ++c)
            shown << list.data(list.index(0, c)).toString();
        const QString stamp = QDateTime::fromSecsSinceEpoch(1072915200).toString("yyyyMMddhh:mm:ss"); // local
        QCOMPARE(shown, (QStringList{"b", "", "B", "", stamp}));
        list.setSorted(true);
        const QByteArrayList ascending{"", "", "", "A", "a", "Ä", "ä", "b", "C", "Strasse", "Straße",
                                       "strasse", "Übel", "z"};
        QCOMPARE(names(list), ascending);
        list.setSortOrder(Qt::DescendingOrder);
        QCOMPARE(names(list), QByteArrayList(ascending.rbegin(), ascending.rend()));
        QCOMPARE(names(list, true).mid(11), (QByteArrayList{"b", "B", "a"})); // the ties: a, B, b ascending
        list.setSortKey(ComparisonList::LeftStampColumn); // a stamp without its name sorts first
        QCOMPARE(names(list).mid(0, 3), (QByteArrayList{"Strasse", "Übel", "strasse"}));
        list.setSortKey(ComparisonList::MarkerColumn); // by the marker's text
        QCOMPARE(MarkerText(list.row(0).marker) + MarkerText(list.row(1).marker), QString("][XX"));
    }

    // A row's tip names both files with their sizes and times, to the nanosecond where only that differs; a
    // side without a file says so.
    void tips()
    {
        ComparisonList list;
        std::vector<Row> rows{{"sub/a", "sub/A", {0, 1234567, 1072915200, 5}, {0, 7, 1072915200, 6}, Marker::Equal},
                              {"b", {}, {0, 0, 1072915201}, {}, Marker::None}};
        list.appendRows(rows);
        const auto at = [](qint64 t) { return QDateTime::fromSecsSinceEpoch(t).toString("dd.MM.yyyy HH:mm:ss"); };
        QCOMPARE(list.data(list.index(0, 1), Qt::ToolTipRole).toString(),
                 "Links: sub/a\n    1.234.567 Bytes, " + at(1072915200) + ",000000005\nRechts: sub/A\n    7 Bytes, " +
                     at(1072915200) + ",000000006");
        QCOMPARE(list.data(list.index(1, 0), Qt::ToolTipRole).toString(),
                 "Links: b\n    0 Bytes, " + at(1072915201) + "\nRechts: keine Datei");
    }

    // 300,000 shuffled names sort for longer than one slice of work: the sort pauses, in the middle of its
    // merges and its moves too, and still ends with every row once, in the order of a sort without pauses
    // (for these lower-case ASCII names, their byte order). A selected row follows its row. A header click
    // meanwhile (while an operation runs) sorts once the list thaws.
    void longSortsPauseAndKeepEveryRow()
    {
        QByteArrayList unsorted;
        for (int i = 0; i < 300000; ++i)
            unsorted << "n" + QByteArray::number(qint64(i) * 7919 % 300000).rightJustified(6, '0');
        ComparisonList list;
        fill(list, unsorted);
        const QPersistentModelIndex first(list.index(0, 0));
        int pauses = 0;
        list.setFrozen(true);
        list.sortNow([&] {
            if (++pauses == 1) // while its keys are made, or while it merges: it keeps its own order
                list.sort(ComparisonList::LeftNameColumn, Qt::DescendingOrder);
            return true;
        });
        QCOMPARE(list.row(first.row()).leftName, unsorted[0]);
        std::sort(unsorted.begin(), unsorted.end());
        QCOMPARE(names(list), unsorted);
        list.setFrozen(false);
        QCOMPARE(names(list), QByteArrayList(unsorted.rbegin(), unsorted.rend()));
    }

    // The row each right file pairs with (-1: a row of its own): exact names first, then, where one file and
    // one row of a name are left, without regard to letter case (Z and umlauts too; in a name not in UTF-8
    // its ASCII letters only, so that no lossy decoding lets two names meet). Twins of one name: "AA" and
    // "aa" on both sides, each with its exact name; "bb" and "BB" on the left only, and "CC" and "Cc" on the
    // right only, none of them; "DD" and "dd", the exact name, and a twin without a partner; "ee" and "Ee"
    // after the exact ones, one of each left. A file in a folder only the right side has never takes a row
    // of the same name in the next folder ("b/f" beside "a/f" and "c/f").
    void pairingByName()
    {
        ComparisonList list;
        fill(list,
             {"Ordner/AMüll.txt", "Zz", "caf\xe9", "aa", "AA", "bb", "BB", "cc", "dd", "ee", "EE", "a/f", "c/f"});
        const QByteArrayList right{"ORDNER/AMÜLL.TXT", "zZ", "caf\xe8", "CAF\xe9", "AA", "aa", "Bb",
                                   "CC", "Cc", "DD", "dd", "ee", "Ee", "a/f", "b/f", "c/f"};
        const RightPairing pairing(list, size_t(right.size()),
                                   [&](size_t i) -> const NativePath & { return right[int(i)]; });
        QList<int> found;
        for (int i = 0; i < right.size(); ++i)
            found << pairing.rowOf(size_t(i));
        QCOMPARE(found, (QList<int>{0, 1, -1, 2, 4, 3, -1, -1, -1, -1, 8, 9, 10, 11, -1, 12}));
    }
};

QTEST_GUILESS_MAIN(TestComparisonList)
#include "tst_comparisonlist.moc"
