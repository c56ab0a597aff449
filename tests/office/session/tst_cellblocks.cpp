// The plan of a buffered write: the blocks that cover exactly the cells kept, without an office.
#include "support/testmain.h"

#include "office/session/cellblocks_p.h"

#include <QTest>

using namespace tessivane;

using Cells = std::vector<std::pair<int, int>>;
using Blocks = std::vector<CellBlock>;
Q_DECLARE_METATYPE(Cells)
Q_DECLARE_METATYPE(Blocks)

namespace {

/// Every cell of the blocks, once each, as (row, column) in order.
Cells covered(const Blocks& blocks)
{
    Cells cells;
    for (const CellBlock& block : blocks)
        for (int row = block.firstRow; row <= block.lastRow; ++row)
            for (int column = block.firstColumn; column <= block.lastColumn; ++column)
                cells.emplace_back(row, column);
    std::sort(cells.begin(), cells.end());
    return cells;
}

} // namespace

class TestCellBlocks : public QObject
{
    Q_OBJECT

private slots:
    void blocksCoverExactlyTheCells_data()
    {
        QTest::addColumn<Cells>("cells");
        QTest::addColumn<Blocks>("blocks");
        QTest::newRow("none") << Cells {} << Blocks {};
        QTest::newRow("one cell") << Cells {{3, 2}} << Blocks {{3, 3, 2, 2}};
        QTest::newRow("a column's run") << Cells {{4, 1}, {2, 1}, {3, 1}} << Blocks {{2, 4, 1, 1}};
        QTest::newRow("a gap splits a column")
            << Cells {{1, 1}, {2, 1}, {4, 1}} << Blocks {{1, 2, 1, 1}, {4, 4, 1, 1}};
        QTest::newRow("a full rectangle")
            << Cells {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}} << Blocks {{1, 2, 1, 3}};
        QTest::newRow("one row of a table")
            << Cells {{5, 1}, {5, 2}, {5, 4}} << Blocks {{5, 5, 1, 2}, {5, 5, 4, 4}};
        QTest::newRow("runs of other lengths stay apart")
            << Cells {{1, 1}, {2, 1}, {1, 2}} << Blocks {{1, 1, 2, 2}, {1, 2, 1, 1}};
        QTest::newRow("the same cell twice") << Cells {{1, 1}, {1, 1}} << Blocks {{1, 1, 1, 1}};
    }

    void blocksCoverExactlyTheCells()
    {
        QFETCH(Cells, cells);
        QFETCH(Blocks, blocks);
        const Blocks planned = cellBlocks(cells);
        QVERIFY(planned == blocks);
        Cells distinct = cells;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        QVERIFY(covered(planned) == distinct);
    }
};

TESSIVANE_CORE_TEST_MAIN(TestCellBlocks)
#include "tst_cellblocks.moc"
