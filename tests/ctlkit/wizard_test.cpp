// The wizard base: modes, one-page sheets, page navigation, saving, the welcome page.

#include "ctlkit/wizard.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>

#include <stdexcept>

using namespace Nerith::Windows::Wizards;
using Nerith::Windows::Fonts::PECFont;

namespace {

class TestPage : public BasePropertyPage {
public:
    explicit TestPage(const QString& name, bool saves = true) : saves_(saves) { setObjectName(name); }
    bool SaveData() override {
        ++saveCalls;
        return saves_;
    }
    using BasePropertyPage::SetWizardButtons;
    int saveCalls = 0;

private:
    bool saves_;
};

class TestWizard : public BaseWizard {
public:
    TestWizard(WIZARDMODE mode, int startPage = 0, bool onePage = false, bool help = false)
        : BaseWizard(mode, QStringLiteral("Survey Set-up"), QStringLiteral("Sets up a survey."), nullptr, startPage,
                     QPixmap(), QPixmap(), onePage, help) {}
};

// Adds pages named A, B, C, ...; the last `failing` of them refuse to save.
QList<TestPage*> addPages(BaseWizard& wizard, int count, const QSet<int>& failing = {}) {
    QList<TestPage*> pages;
    for (int i = 0; i < count; ++i) {
        pages.append(new TestPage(QString(QChar('A' + i)), !failing.contains(i)));
        wizard.AddWizPage(pages.last());
    }
    return pages;
}

void open(QWizard& wizard) {
    wizard.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wizard));
    QCoreApplication::processEvents();  // posted button requests
}

} // namespace

class WizardTest : public QObject {
    Q_OBJECT
private slots:
    void modesBuildTheirSheets();
    void onePageKeepsOnlyTheStartPage();
    void navigationAndItsRefusals();
    void savingStopsAtTheFirstFailure();
    void welcomePageTextsAndFont();
    void pagesAskForTheirButtons();
};

void WizardTest::modesBuildTheirSheets() {
    TestWizard wizard(WizardModeWithWelcome);
    const QList<TestPage*> pages = addPages(wizard, 2);
    QCOMPARE(wizard.GetMode(), WizardModeWithWelcome);
    QCOMPARE(wizard.GetPageCount(), 3);
    QVERIFY(wizard.GetWelcomePage() != nullptr);
    QCOMPARE(wizard.GetPage(0), wizard.GetWelcomePage());
    QCOMPARE(wizard.GetPageIndex(pages[1]), 2);
    QCOMPARE(wizard.GetPage(3), nullptr);
    QCOMPARE(wizard.windowTitle(), QStringLiteral("Survey Set-up"));
    QCOMPARE(pages[0]->title(), QStringLiteral("Survey Set-up"));  // the wizard's title in each header
    QVERIFY(wizard.GetWelcomePage()->title().isEmpty());            // the welcome page has no header
    QCOMPARE(wizard.wizardStyle(), QWizard::ModernStyle);
    QVERIFY(!wizard.testOption(QWizard::HaveHelpButton));
    QCOMPARE(TestWizard(WizardModeWithWelcome, 0, false, true).testOption(QWizard::HaveHelpButton), true);

    TestWizard sheet(PropertySheetMode);
    const QList<TestPage*> sheetPages = addPages(sheet, 2);
    QCOMPARE(sheet.GetMode(), PropertySheetMode);
    QCOMPARE(sheet.GetWelcomePage(), nullptr);
    QCOMPARE(sheet.GetPageCount(), 2);
    QVERIFY(sheetPages[0]->title().isEmpty());
    QCOMPARE(sheet.windowTitle(), QStringLiteral("Survey Set-up"));
    QCOMPARE(TestWizard(7).GetMode(), 7);  // any mode but 0 is a property sheet
    QCOMPARE(TestWizard(7).GetWelcomePage(), nullptr);
}

void WizardTest::onePageKeepsOnlyTheStartPage() {
    {
        TestWizard sheet(PropertySheetMode, 2, true);
        const QList<TestPage*> pages = addPages(sheet, 4);
        open(sheet);
        QCOMPARE(sheet.GetPageCount(), 1);
        QCOMPARE(sheet.currentPage(), pages[2]);
        QVERIFY(pages[2]->isVisible());
        QVERIFY(!pages[0]->isVisible() && !pages[1]->isVisible() && !pages[3]->isVisible());
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, sheet.SetNextPage(pages[2]));
    }
    {
        // In the wizard mode the welcome page is page 0.
        TestWizard wizard(WizardModeWithWelcome, 2, true);
        const QList<TestPage*> pages = addPages(wizard, 3);
        open(wizard);
        QCOMPARE(wizard.GetPageCount(), 1);
        QCOMPARE(wizard.currentPage(), pages[1]);
    }
    {
        // A start index outside the sheet keeps the first page instead of none.
        TestWizard sheet(PropertySheetMode, 9, true);
        const QList<TestPage*> pages = addPages(sheet, 2);
        open(sheet);
        QCOMPARE(sheet.GetPageCount(), 1);
        QCOMPARE(sheet.currentPage(), pages[0]);
    }
    {
        // Without the one-page flag the start index only chooses where the sheet opens.
        TestWizard sheet(PropertySheetMode, 1);
        const QList<TestPage*> pages = addPages(sheet, 3);
        open(sheet);
        QCOMPARE(sheet.GetPageCount(), 3);
        QCOMPARE(sheet.currentPage(), pages[1]);
    }
}

void WizardTest::navigationAndItsRefusals() {
    TestWizard wizard(WizardModeWithWelcome);
    const QList<TestPage*> pages = addPages(wizard, 2);
    TestPage stranger(QStringLiteral("stranger"));
    open(wizard);
    WelcomePage* welcome = wizard.GetWelcomePage();
    QCOMPARE(wizard.currentPage(), welcome);

    wizard.SetNextPage(welcome);
    QCOMPARE(wizard.currentPage(), pages[0]);
    wizard.SetNextPage(pages[0]);
    QCOMPARE(wizard.GetActiveIndex(), 2);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, wizard.SetNextPage(pages[1]));  // the last page
    QCOMPARE(wizard.currentPage(), pages[1]);
    wizard.SetPreviousPage(pages[1]);
    QCOMPARE(wizard.currentPage(), pages[0]);
    wizard.SetPreviousPage(pages[0]);
    QCOMPARE(wizard.currentPage(), welcome);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, wizard.SetPreviousPage(welcome));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, wizard.SetNextPage(&stranger));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, wizard.SetActivePage(-1));
    wizard.SetNextPage(nullptr);
    wizard.SetPreviousPage(nullptr);
    QCOMPARE(wizard.currentPage(), welcome);

    // Jumps ahead and back over pages not yet seen.
    wizard.SetActivePage(2);
    QCOMPARE(wizard.currentPage(), pages[1]);
    wizard.SetActivePage(0);
    QCOMPARE(wizard.currentPage(), welcome);
    // The framework's own Next button on the welcome page leads to the page after it.
    wizard.button(QWizard::NextButton)->click();
    QCOMPARE(wizard.currentPage(), pages[0]);

    // A sheet opened at a later page can still go back before it.
    TestWizard late(PropertySheetMode, 2);
    const QList<TestPage*> latePages = addPages(late, 3);
    open(late);
    late.SetPreviousPage(latePages[1]);
    QCOMPARE(late.currentPage(), latePages[0]);
}

void WizardTest::savingStopsAtTheFirstFailure() {
    TestWizard sheet(PropertySheetMode);
    const QList<TestPage*> pages = addPages(sheet, 4, {2});
    QVERIFY(sheet.SaveWizardData());  // nothing opened yet: nothing to save
    QCOMPARE(pages[0]->saveCalls, 0);
    open(sheet);
    QVERIFY(sheet.SaveWizardData());  // only the first page has been opened
    QCOMPARE(pages[0]->saveCalls, 1);
    QCOMPARE(pages[2]->saveCalls, 0);

    sheet.SetActivePage(3);  // skips B and C: they were never opened
    QVERIFY(sheet.SaveWizardData());
    QCOMPARE(pages[1]->saveCalls, 0);
    QCOMPARE(pages[3]->saveCalls, 1);

    sheet.SetActivePage(2);
    QVERIFY(!sheet.HasBeenOpened(pages[1]));
    QVERIFY(!sheet.SaveWizardData());
    QCOMPARE(pages[0]->saveCalls, 3);
    QCOMPARE(pages[2]->saveCalls, 1);
    QCOMPARE(pages[3]->saveCalls, 1);  // after the failing page: not run
}

void WizardTest::welcomePageTextsAndFont() {
    QCOMPARE(PECFont::ScaleHeight(11, 96), 11);
    QCOMPARE(PECFont::ScaleHeight(11, 120), 14);  // 13.75, rounded
    QCOMPARE(PECFont::ScaleHeight(11, 144), 17);
    QCOMPARE(PECFont::ScaleHeight(11, 0), 1);
    QCOMPARE(PECFont().GetHeight(), 0);

    TestWizard wizard(WizardModeWithWelcome);
    WelcomePage* welcome = wizard.GetWelcomePage();
    QCOMPARE(welcome->windowTitle(), QStringLiteral("Welcome"));
    QCOMPARE(welcome->GetLabel(9120)->text(), QStringLiteral("Welcome to the"));
    QCOMPARE(welcome->GetLabel(9121)->text(), QStringLiteral("Survey Set-up"));
    QCOMPARE(welcome->GetLabel(9122)->text(), QStringLiteral("Sets up a survey."));
    QCOMPARE(welcome->GetLabel(9123), nullptr);
    bool closingLine = false;
    for (QLabel* label : welcome->findChildren<QLabel*>())
        closingLine |= label->text() == QStringLiteral("Click Next to continue or Cancel to exit.");
    QVERIFY(closingLine);

    const PECFont& font = welcome->GetTitleFont();
    QCOMPARE(font.GetHeight(), PECFont::ScaleHeight(11, welcome->logicalDpiY()));
    QCOMPARE(font.GetFont().weight(), QFont::Bold);
    QCOMPARE(font.GetFont().family(), QStringLiteral("Verdana"));
    QCOMPARE(welcome->GetLabel(9121)->font().pixelSize(), font.GetHeight());
    QVERIFY(welcome->GetLabel(9120)->font().bold());
    QVERIFY(!welcome->GetLabel(9122)->font().bold());
    QCOMPARE(welcome->GetWizardButtons(), int(NextButtonBit));
}

void WizardTest::pagesAskForTheirButtons() {
    TestWizard wizard(WizardModeWithWelcome);
    const QList<TestPage*> pages = addPages(wizard, 2);
    QCOMPARE(pages[0]->GetWizardButtons(), BackButtonBit | NextButtonBit);
    pages[0]->SetWizardButtons(BackButtonBit | FinishButtonBit);
    open(wizard);
    QVERIFY(!wizard.button(QWizard::BackButton)->isEnabled());  // welcome: Next only
    QVERIFY(wizard.button(QWizard::NextButton)->isEnabled());

    wizard.SetNextPage(wizard.GetWelcomePage());
    QCoreApplication::processEvents();
    QVERIFY(wizard.button(QWizard::BackButton)->isEnabled());
    QVERIFY(!wizard.button(QWizard::NextButton)->isEnabled());
    QVERIFY(wizard.button(QWizard::FinishButton)->isVisible());
    QVERIFY(wizard.button(QWizard::FinishButton)->isEnabled());

    wizard.SetWizardButtons(DisabledFinishButtonBit);
    QVERIFY(!wizard.button(QWizard::FinishButton)->isEnabled());
    QVERIFY(!wizard.button(QWizard::BackButton)->isEnabled());
}

QTEST_MAIN(WizardTest)
#include "wizard_test.moc"
