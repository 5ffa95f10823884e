// The bytes pane and the window's conveniences: the hex view and its marks,
// report lines and bytes choosing each other, Record -> "Statistics", a dropped
// file, recent files and the remembered layout.

#include "app/qt/bytes_pane.h"
#include "app/qt/hlist_box.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/statistics_dialog.h"
#include "app/tarvik_view.h"
#include "tests/gui/shown_window.h"
#include "tools/synth/report_records.h"
#include "tools/synth/sample_records.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QUrl>

#include <memory>

using namespace tarvik;

class BytesPaneTest : public QObject, testing::ShownWindow {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void hexViewMarksAndClicks();
    void reportLinesAndBytesChooseEachOther();
    void statisticsDroppedFileRecentFilesAndLayout();

private:
    std::string detectionsFile() {
        FrameBuilder b = synth::sampleBuilder(7027, 7125, 1);
        synth::data7027(b.data(), 101, 3);
        return dir->write("d.vxr", b.build());
    }
};

void BytesPaneTest::init() { openWindow(); }

void BytesPaneTest::cleanup() { closeWindow(); }

void BytesPaneTest::hexViewMarksAndClicks() {
    for (int i = 0; i < 16; ++i) {
        QCOMPARE(CBytesPane::byteInLineAt(CBytesPane::hexColumn(i)), std::optional<int>(i));
        QCOMPARE(CBytesPane::byteInLineAt(CBytesPane::hexColumn(i) + 1), std::optional<int>(i));
        QCOMPARE(CBytesPane::byteInLineAt(CBytesPane::charColumn(i)), std::optional<int>(i));
    }
    QCOMPARE(CBytesPane::byteInLineAt(3), std::nullopt);  // the offset column

    CBytesPane pane;
    pane.resize(700, 200);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    Bytes bytes(40);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>('A' + i % 26);
    pane.setBytes(bytes);
    QCOMPARE(pane.document()->blockCount(), 3);
    QCOMPARE(pane.document()->findBlockByNumber(1).text().mid(CBytesPane::hexColumn(0), 2), QString("51"));
    QCOMPARE(pane.document()->findBlockByNumber(1).text().mid(CBytesPane::charColumn(0), 1), QString("Q"));

    pane.highlight(14, 4);  // across a line end: two marks on each line
    QCOMPARE(pane.extraSelections().size(), 4);
    QCOMPARE(pane.extraSelections()[0].cursor.selectedText(), QString("4F 50"));
    QCOMPARE(pane.extraSelections()[3].cursor.selectedText(), QString("QR"));
    pane.highlight(38, 10);  // clipped to the bytes held
    QCOMPARE(pane.highlighted(), std::make_pair(std::size_t{38}, std::size_t{2}));

    QSignalSpy clicked(&pane, &CBytesPane::byteClicked);
    QTextCursor at(pane.document()->findBlockByNumber(2));
    at.setPosition(at.block().position() + CBytesPane::hexColumn(3));
    const QPoint point = pane.cursorRect(at).center() + QPoint(2, 0);
    QTest::mouseClick(pane.viewport(), Qt::LeftButton, {}, point);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked[0][0].value<std::size_t>(), std::size_t{35});
}

void BytesPaneTest::reportLinesAndBytesChooseEachOther() {
    QVERIFY(window->view().openRecordFile(detectionsFile()));
    window->selectRecordRow(0);
    CBytesPane* pane = window->form().bytesPane();
    CHListBox* report = window->form().reportList();
    QTRY_VERIFY(pane->byteCount() > 0);
    const QList<QListWidgetItem*> found = report->findItems("Ping number 101", Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    const int line = report->row(found[0]);
    report->setCurrentRow(line);
    QCOMPARE(pane->highlighted(), std::make_pair(std::size_t{72}, std::size_t{4}));

    report->setCurrentRow(0);
    QCOMPARE(pane->highlighted(), std::make_pair(std::size_t{0}, std::size_t{64}));
    emit pane->byteClicked(73);
    QCOMPARE(report->currentRow(), line);
    QCOMPARE(pane->highlighted(), std::make_pair(std::size_t{72}, std::size_t{4}));
}

void BytesPaneTest::statisticsDroppedFileRecentFilesAndLayout() {
    // A file dropped on the window is read.
    synth::SampleOptions options;
    options.frames = 20;
    const std::string sample = dir->file("s.vxr");
    QVERIFY(synth::writeSampleFile(sample, options));
    QVERIFY(window->acceptDrops());
    QVERIFY(!window->openDroppedFiles({QUrl("http://example.invalid/s.vxr")}));
    QVERIFY(window->openDroppedFiles({QUrl::fromLocalFile(QString::fromStdString(sample))}));
    QCOMPARE(window->view().currentRecordFileName(), sample);
    QCOMPARE(window->view().recordRowCount(), std::size_t{22});

    // Record -> Statistics: a row per record type of the file.
    QAction* statistics = menuAction("Record", "Statistics");
    QVERIFY(statistics);
    statistics->trigger();
    auto* dialog = window->findChild<CStatisticsDialog*>();
    QVERIFY(dialog);
    QCOMPARE(dialog->table()->rowCount(), static_cast<int>(window->view().sourceStatistics().rows().size()));
    QCOMPARE(dialog->table()->item(0, 0)->text(), QString("7000"));
    dialog->close();

    // File -> Recent Files lists it; choosing an entry reads that file.
    const std::string other = detectionsFile();
    window->view().openRecordFile(other);
    QAction* recent = nullptr;
    for (QAction* top : window->menuBar()->actions())
        if (top->text() == "File")
            for (QAction* a : top->menu()->actions())
                if (a->text() == "Recent Files") recent = a;
    QVERIFY(recent && recent->menu());
    emit recent->menu()->aboutToShow();
    const auto entries = recent->menu()->actions();
    QCOMPARE(entries.size(), 2);
    QVERIFY(entries[1]->text().endsWith(QString::fromStdString(sample)));
    entries[1]->trigger();
    QCOMPARE(window->view().currentRecordFileName(), sample);

    // Size and column widths come back in the next window.
    window->form().recordList()->setColumnWidth(1, 151);
    window->resize(1200, 700);
    window->close();
    window = std::make_unique<CMainFrame>(*settings, "TCP");
    QCOMPARE(window->form().recordList()->columnWidth(1), 151);
    QCOMPARE(window->size(), QSize(1200, 700));
}

QTEST_MAIN(BytesPaneTest)
#include "bytes_pane_test.moc"
