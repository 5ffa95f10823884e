// The window's own controls: the check-mark combo box, the list box whose
// scroll range follows its widest line, the label and the image button.

#include "app/check_combo_text.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/hlist_box.h"
#include "app/qt/image_button.h"
#include "app/qt/label.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace tarvik;

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void joinedTextRule();
    void checkComboToggling();
    void checkComboDropDown();
    void hlistBoxExtent();
    void labelFlashingAndLinks();
    void imageButtonPaintsItsImage();
};

void ControlsTest::joinedTextRule() {
    QCOMPARE(checkComboSeparator(""), std::string("; "));
    QCOMPARE(checkComboSeparator(";"), std::string("; "));
    QCOMPARE(checkComboSeparator(",  "), std::string(", "));

    std::vector<CheckItem> items{{"7000", true}, {"7001", false}, {"7004", true}};
    QCOMPARE(joinCheckedItems(items, "; ", "ALL RECORDS"), std::string("7000; 7004"));
    items[0].checked = items[2].checked = false;
    QCOMPARE(joinCheckedItems(items, "; ", "ALL RECORDS"), std::string("ALL RECORDS"));
    QCOMPARE(joinCheckedItems({}, "; ", ""), std::string());
}

void ControlsTest::checkComboToggling() {
    CCheckComboBox combo("ALL RECORDS");
    for (const char* type : {"7000", "7001", "7004"}) combo.addCheckItem(type);
    QSignalSpy changed(&combo, &CCheckComboBox::checkSelectionChanged);
    QCOMPARE(combo.text(), QString("ALL RECORDS"));

    combo.toggle(2);
    combo.toggle(0);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(combo.text(), QString("7000; 7004"));  // list order, not the order of checking
    combo.toggle(0);
    QCOMPARE(combo.text(), QString("7004"));
    combo.toggle(7);  // no such item
    QCOMPARE(changed.count(), 3);

    combo.setJoinedText("7001; 7000");
    QVERIFY(combo.isChecked(0) && combo.isChecked(1) && !combo.isChecked(2));
    QCOMPARE(combo.text(), QString("7000; 7001"));
    combo.setJoinedText("ALL RECORDS");
    QCOMPARE(combo.text(), QString("ALL RECORDS"));
}

// In the open drop-down a click toggles the item and leaves the drop-down
// open; the space bar toggles the current item; closing it is announced.
void ControlsTest::checkComboDropDown() {
    CCheckComboBox combo("ALL RECORDS");
    for (const char* type : {"7000", "7001", "7004"}) combo.addCheckItem(type);
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    QSignalSpy closed(&combo, &CCheckComboBox::dropDownClosed);

    combo.showPopup();
    QAbstractItemView* list = combo.view();
    QTRY_VERIFY(list->isVisible());
    const QRect second = list->visualRect(combo.model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QVERIFY(list->isVisible());
    QCOMPARE(combo.text(), QString("7001"));

    list->setCurrentIndex(combo.model()->index(2, 0));
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(combo.text(), QString("7001; 7004"));

    combo.hidePopup();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(combo.text(), QString("7001; 7004"));
}

void ControlsTest::hlistBoxExtent() {
    CHListBox box;
    box.resize(120, 100);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QFontMetrics metrics(box.font());
    auto width = [&](const QString& s) { return metrics.horizontalAdvance(s) + 3 * box.frameWidth(); };

    const QString shortLine = "Device 7125";
    const QString longLine = "Record counter 12, Tot. recs in fragmented set 0, frag. # 0 and then some";
    box.addString(shortLine);
    QCOMPARE(box.horizontalExtent(), width(shortLine));
    box.addString(longLine, true);
    box.addString(shortLine);
    QCOMPARE(box.horizontalExtent(), width(longLine));
    QTRY_VERIFY(box.horizontalScrollBar()->maximum() > 0);
    QVERIFY(box.isMarked(1) && !box.isMarked(0));

    box.deleteString(1);
    QCOMPARE(box.horizontalExtent(), width(shortLine));
    QCOMPARE(box.count(), 2);

    const ReportLine lines[] = {{"one", false}, {"two changed", true}};
    box.setLines(lines);
    QCOMPARE(box.lines(), QStringList({"one", "two changed"}));
    QVERIFY(!box.isMarked(0) && box.isMarked(1));
    QCOMPARE(box.item(1)->foreground().color(), CHListBox::markedColour());
    QCOMPARE(box.horizontalExtent(), width("two changed"));
    box.setLines({});
    QCOMPARE(box.count(), 0);
    QCOMPARE(box.horizontalExtent(), 0);
}

void ControlsTest::labelFlashingAndLinks() {
    CLabel label("someone@example.org");
    label.setFlash(CLabel::Flash::Text);
    QVERIFY(label.flashTimerActive());
    QVERIFY(!label.flashPhase());
    QTRY_VERIFY_WITH_TIMEOUT(label.flashPhase(), 1500);
    QTRY_VERIFY_WITH_TIMEOUT(!label.flashPhase(), 1500);
    label.setFlash(CLabel::Flash::None);
    QVERIFY(!label.flashTimerActive());

    QCOMPARE(label.linkAddress(), QString());
    label.setLink(CLabel::Link::Mail);
    QCOMPARE(label.linkAddress(), QString("mailto:someone@example.org"));
    label.setLink(CLabel::Link::Open, "https://example.org/tarvik");
    QCOMPARE(label.linkAddress(), QString("https://example.org/tarvik"));

    // With notification requested a click goes to the parent, not to the link.
    label.setNotifyParent(true);
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QSignalSpy clicked(&label, &CLabel::clicked);
    QTest::mouseClick(&label, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);

    // Flashing the background leaves the label's own background out in one phase.
    label.setLink(CLabel::Link::None);
    label.setText("");
    label.setBackgroundColour(Qt::red);
    QCOMPARE(label.grab().toImage().pixelColor(label.width() / 2, label.height() / 2), QColor(Qt::red));
}

void ControlsTest::imageButtonPaintsItsImage() {
    CImageButton button;
    QVERIFY(!button.loadImage("/nonexistent/face.png"));
    QImage face(4, 4, QImage::Format_RGB32);
    face.fill(QColor(0, 128, 255));
    button.setImage(face);
    button.resize(60, 40);
    const QImage shot = button.grab().toImage();
    QCOMPARE(shot.pixelColor(30, 20), QColor(0, 128, 255));
    QVERIFY(shot.pixelColor(0, 0) != QColor(0, 128, 255));  // the edge
}

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
