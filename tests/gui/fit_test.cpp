// Every text of the main form fits its widget at the size the window opens
// with: labels, buttons, check and radio buttons, fields with the values they
// hold, combo boxes, group titles and the bytes pane's lines. The same test
// runs a second time with QT_SCALE_FACTOR=2, and here once more with a font
// a quarter larger, as on a screen set to larger text.

#include "app/controls.h"
#include "app/qt/bytes_pane.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/main_form.h"
#include "app/qt/qt_view_port.h"
#include "imagery/qt/sector_widget.h"
#include "tests/gui/shown_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QToolButton>

using namespace tarvik;

class FitTest : public QObject, public tarvik::testing::ShownWindow {
    Q_OBJECT
private slots:
    void cleanup() { closeWindow(); }
    void opensUsingTheScreen();
    void everyTextFitsItsWidget();
    void everyTextFitsWithALargerFont();
    void panelFoldsAwayWithoutAConnection();
    void panelLeavesThePicturesTheirHeight();

private:
    // Shows every control of the form, as a connection does, and the remote panel.
    void showEverything();
    // One line per text that does not fit: "what: needs N, has M".
    QStringList clippedTexts() const;
};

namespace {

QString describe(const QWidget* w, const QString& text) {
    return QString("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), text);
}

// The text a field is made for when it is empty, or what it holds.
QString fieldText(const CMainForm& form, const QWidget* field, const QString& held) {
    if (field == form.control(controls::kPort)) return "65535";
    if (field == form.control(controls::kRequestOneNumber) && held.isEmpty()) return "7000";
    return held;
}

} // namespace

void FitTest::showEverything() {
    CMainForm& form = window->form();
    for (int number : {controls::kSendRequestRecords, controls::kRequestOneLabel, controls::kRequestOneNumber,
                       controls::kRequestOneButton, controls::kButton1010, controls::kChooseDevice})
        form.showControl(number, true);
    form.setRemotePanelExpanded(true);
    for (int number : {1016, 1021, 1031, 1035, 1039, 1067}) form.control(number)->setVisible(true);
    window->port().setText(controls::kAddress, "255.255.255.255");
    QApplication::processEvents();
}

QStringList FitTest::clippedTexts() const {
    CMainForm& form = window->form();
    QStringList clipped;
    auto check = [&](const QWidget* w, const QString& text, int needs, int has) {
        if (needs > has) clipped << QString("%1: needs %2, has %3").arg(describe(w, text)).arg(needs).arg(has);
    };
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        const QFontMetrics fm = w->fontMetrics();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty() || label->wordWrap()) continue;
            const int has = label->contentsRect().width() - 2 * label->margin() - std::max(0, label->indent());
            check(w, label->text(), fm.horizontalAdvance(label->text()), has);
            check(w, label->text() + " (height)", fm.height(), label->contentsRect().height());
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            QStyleOptionButton o;
            o.initFrom(radio);
            o.text = radio->text();
            const QRect r = radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &o, radio);
            check(w, radio->text(), fm.horizontalAdvance(radio->text()), r.width());
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            QStyleOptionButton o;
            o.initFrom(box);
            o.text = box->text();
            const QRect r = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &o, box);
            check(w, box->text(), fm.horizontalAdvance(box->text()), r.width());
        } else if (auto* tool = qobject_cast<QToolButton*>(w)) {
            check(w, tool->text(), tool->sizeHint().width(), tool->width());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            QStyleOptionButton o;
            o.initFrom(button);
            o.text = button->text();
            o.features = QStyleOptionButton::None;
            const QRect r = button->style()->subElementRect(QStyle::SE_PushButtonContents, &o, button);
            check(w, button->text(), fm.horizontalAdvance(button->text()) + 4, r.width());
            check(w, button->text() + " (height)", fm.height(), r.height());
        } else if (auto* field = qobject_cast<QLineEdit*>(w)) {
            const QString text = fieldText(form, field, field->text());
            if (text.isEmpty()) continue;
            QStyleOptionFrame o;
            o.initFrom(field);
            o.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, field);
            const QMargins m = field->textMargins();
            const QRect r = field->style()->subElementRect(QStyle::SE_LineEditContents, &o, field);
            // The line edit keeps two pixels each side of its text.
            check(w, text, fm.horizontalAdvance(text), r.width() - m.left() - m.right() - 4);
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            const auto* checks = qobject_cast<CCheckComboBox*>(combo);
            const QString text = checks ? checks->text() : combo->currentText();
            if (text.isEmpty()) continue;
            QStyleOptionComboBox o;
            o.initFrom(combo);
            o.editable = combo->isEditable();
            o.currentText = text;
            const QRect r = combo->style()->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, combo);
            check(w, text, fm.horizontalAdvance(text) + (combo->isEditable() ? 4 : 0), r.width());
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            if (!group->title().isEmpty()) check(w, group->title(), fm.horizontalAdvance(group->title()) + 16, group->width());
        } else if (auto* bytes = qobject_cast<CBytesPane*>(w)) {
            const int margins = 2 * static_cast<int>(bytes->document()->documentMargin());
            check(w, "a whole line of bytes", bytes->lineTextWidth() + margins, bytes->viewport()->width());
        }
    }
    // The bytes pane shows a long record without scrolling sideways.
    CBytesPane* bytes = form.bytesPane();
    bytes->setBytes(std::vector<std::uint8_t>(4096, 0x41));
    QApplication::processEvents();
    if (bytes->horizontalScrollBar()->maximum() > 0)
        clipped << QString("bytes pane scrolls sideways by %1").arg(bytes->horizontalScrollBar()->maximum());
    return clipped;
}

void FitTest::opensUsingTheScreen() {
    openWindow();
    const QRect room = window->screen()->availableGeometry();
    // At least the form's own size, and most of a screen that has room for more.
    QVERIFY(window->centralWidget()->width() >= CMainFrame::kClientWidth ||
            window->width() >= room.width() * 85 / 100);
    QVERIFY(window->width() >= std::min(room.width() * 85 / 100, window->minimumSizeHint().width()));
    QVERIFY(window->height() >= std::min(room.height() * 85 / 100, window->minimumSizeHint().height()));
    // The report and the bytes take most of the right side.
    const QList<int> sizes = window->form().rightSplitter()->sizes();
    QCOMPARE(sizes.size(), 4);
    int total = 0;
    for (int s : sizes) total += s;
    QVERIFY2((sizes[0] + sizes[1]) * 2 > total, qPrintable(QString("%1 + %2 of %3").arg(sizes[0]).arg(sizes[1]).arg(total)));
    QVERIFY(sizes[1] > 0);
    QVERIFY(sizes[0] > sizes[2] / 2);

    // A size the user chose is the size the next window opens with.
    window->resize(window->width() - 40, window->height() - 30);
    const QSize chosen = window->size();
    window->close();
    window = std::make_unique<CMainFrame>(*settings, "TCP");
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->size(), chosen);
}

void FitTest::everyTextFitsItsWidget() {
    openWindow();
    showEverything();
    const QStringList clipped = clippedTexts();
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("\n")));
}

void FitTest::everyTextFitsWithALargerFont() {
    const QFont before = QApplication::font();
    QFont larger = before;
    larger.setPointSizeF(before.pointSizeF() * 1.25);
    QApplication::setFont(larger);
    openWindow();
    showEverything();
    const QStringList clipped = clippedTexts();
    QApplication::setFont(before);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("\n")));
}

void FitTest::panelFoldsAwayWithoutAConnection() {
    openWindow();
    CMainForm& form = window->form();
    QWidget* send = form.control(controls::kSendRemoteControl);
    QVERIFY(!form.remotePanelExpanded());
    QVERIFY(!send->isVisible());
    // A connection enables sending and shows the panel; its end folds it away again.
    window->port().setEnabled(controls::kSendRemoteControl, true);
    QApplication::processEvents();
    QVERIFY(form.remotePanelExpanded());
    QVERIFY(send->isVisible());
    QVERIFY(form.rightSplitter()->sizes()[3] >= form.control(controls::kRemoteCommand)->height() * 3);
    window->port().setEnabled(controls::kSendRemoteControl, false);
    QApplication::processEvents();
    QVERIFY(!form.remotePanelExpanded());
    // The header opens it by hand, without a connection too.
    form.remotePanelToggle()->click();
    QVERIFY(form.remotePanelExpanded());
    QVERIFY(form.control(controls::kRemoteCommand)->isVisible());
    // The heads' caption ends a blank's width or more before its first radio button.
    QLabel* heads = nullptr;
    for (QLabel* label : form.findChildren<QLabel*>())
        if (label->text() == "IDH - Cmd Head Select") heads = label;
    QVERIFY(heads && heads->isVisible());
    const int captionEnd = heads->mapTo(&form, heads->contentsRect().topLeft()).x() +
                           heads->fontMetrics().horizontalAdvance(heads->text());
    const int gap = form.control(controls::kHeadPort)->mapTo(&form, QPoint(0, 0)).x() - captionEnd;
    QVERIFY2(gap >= heads->fontMetrics().horizontalAdvance(" "), qPrintable(QString("gap %1").arg(gap)));
    form.remotePanelToggle()->click();
    QVERIFY(!form.remotePanelExpanded());
}

// Unfolded, the panel scrolls rather than squeezing the pictures; the height
// the user gives it is the height it unfolds to, in this window and the next.
void FitTest::panelLeavesThePicturesTheirHeight() {
    openWindow();
    QSplitter* right = window->form().rightSplitter();
    // Unfolding by itself leaves the pictures 220 pixels, where they had them.
    const int before = right->sizes()[2];
    const int least = std::min(before, 220);
    QVERIFY(window->form().sector()->parentWidget()->minimumHeight() >= 150);
    window->port().setEnabled(controls::kSendRemoteControl, true);
    QApplication::processEvents();
    QVERIFY(right->sizes()[2] >= least);
    // A command with six rows: the rows scroll inside the panel.
    auto* list = qobject_cast<QComboBox*>(window->form().control(controls::kRemoteCommand));
    list->setCurrentIndex(list->findText("1053  Third party data connection"));
    emit list->activated(list->currentIndex());
    QApplication::processEvents();
    QVERIFY(right->sizes()[2] >= least);
    QVERIFY(window->form().control(1023)->isVisible());

    // The user moves the border above the panel.
    QList<int> sizes = right->sizes();
    sizes[3] += 40;
    sizes[0] -= 40;
    right->setSizes(sizes);
    const int chosen = right->sizes()[3];
    emit right->splitterMoved(0, 3);
    QCOMPARE(window->form().remotePanelHeight(), chosen);
    window->port().setEnabled(controls::kSendRemoteControl, false);
    window->port().setEnabled(controls::kSendRemoteControl, true);
    QApplication::processEvents();
    QCOMPARE(right->sizes()[3], chosen);

    window->close();
    window = std::make_unique<CMainFrame>(*settings, "TCP");
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->form().remotePanelHeight(), chosen);
}

QTEST_MAIN(FitTest)
#include "fit_test.moc"
