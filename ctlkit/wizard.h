#pragma once
// A base for multi-page wizards and property sheets, with a ready-made welcome page.
//
// BaseWizard runs in one of two modes: the wizard mode (0), whose first page is a
// WelcomePage, and a plain property sheet (any other value). With the one-page flag
// only the page at the start index is kept when the sheet opens. Pages are counted
// from 0 in the order they were added (the welcome page included).

#include "ctlkit/ctlkit_export.h"
#include "ctlkit/pec_font.h"

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWizard>
#include <QWizardPage>

class QLabel;

namespace Nerith::Windows::Wizards {

// The sheet's mode: 0 is the wizard mode with a welcome page, anything else a property sheet.
using WIZARDMODE = int;
inline constexpr WIZARDMODE WizardModeWithWelcome = 0;
inline constexpr WIZARDMODE PropertySheetMode = 1;

// Bits of the wizard buttons a page shows while it is active.
enum WizardButtons : int {
    BackButtonBit = 1,
    NextButtonBit = 2,
    FinishButtonBit = 4,
    DisabledFinishButtonBit = 8,
};

class BaseWizard;

class CTLKIT_EXPORT BasePropertyPage : public QWizardPage {
    Q_OBJECT
public:
    ~BasePropertyPage() override;

    // The buttons to show while the page is active (default Back and Next).
    void SetWizardButtons(int buttons);
    int GetWizardButtons() const;
    // Called when the page becomes the active one: asks the sheet for the page's buttons.
    virtual bool OnSetActive();
    // The page's data-saving step, run by BaseWizard::SaveWizardData; false stops the saving.
    virtual bool SaveData();

protected:
    explicit BasePropertyPage(QWidget* parent = nullptr);
    // Posts a request for the given buttons to the sheet the page is in.
    void PostWizardButtons(int buttons);

private:
    int buttons_ = BackButtonBit | NextButtonBit;
};

class CTLKIT_EXPORT WelcomePage : public BasePropertyPage {
    Q_OBJECT
public:
    WelcomePage(const QString& title, const QString& welcomeText, QWidget* parent = nullptr);
    ~WelcomePage() override;

    bool OnSetActive() override;
    QString GetTitle() const { return title_; }
    QString GetWelcomeText() const { return welcomeText_; }
    const Fonts::PECFont& GetTitleFont() const { return titleFont_; }
    // The labels, by their control numbers 9120, 9121 and 9122 (others: nullptr).
    QLabel* GetLabel(int id) const;

private:
    QString title_;
    QString welcomeText_;
    Fonts::PECFont titleFont_;
    QLabel* welcomeTo_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* textLabel_ = nullptr;
};

class CTLKIT_EXPORT BaseWizard : public QWizard {
    Q_OBJECT
public:
    ~BaseWizard() override;

    // Adds a page at the end; in the wizard mode its header shows the wizard's title.
    void AddWizPage(QWizardPage* page);
    // Make the page after, or before, the given one active. A null page does
    // nothing; a page that is not in the sheet, or a neighbour that does not
    // exist, throws std::invalid_argument.
    void SetNextPage(QWizardPage* page);
    void SetPreviousPage(QWizardPage* page);
    // Runs the data-saving step of every page that has been opened, in order;
    // stops at and returns false for the first that fails.
    bool SaveWizardData();
    WIZARDMODE GetMode() const { return mode_; }
    // Runs once when the sheet first opens; with the one-page flag it removes
    // every page but the one at the start index.
    virtual bool OnInitDialog();

    int GetPageCount() const;
    QWizardPage* GetPage(int index) const;  // nullptr outside the sheet
    int GetPageIndex(const QWizardPage* page) const;  // -1 when not in the sheet
    int GetActiveIndex() const;  // -1 before the sheet opens
    // Makes the page at index active; throws std::invalid_argument outside the sheet.
    void SetActivePage(int index);
    // Shows the buttons given as WizardButtons bits.
    void SetWizardButtons(int buttons);
    WelcomePage* GetWelcomePage() const { return welcome_; }
    QString GetTitle() const { return title_; }
    bool IsOnePage() const { return onePage_; }
    int GetStartPage() const { return startPage_; }
    bool HasBeenOpened(const QWizardPage* page) const;

    // The page after the current one: the target of a jump while SetActivePage moves forward.
    int nextId() const override;
    // Runs OnInitDialog before the sheet first shows.
    void setVisible(bool visible) override;

protected:
    BaseWizard(WIZARDMODE mode, const QString& title, const QString& welcomeText, QWidget* parent = nullptr,
               int startPage = 0, const QPixmap& header = QPixmap(), const QPixmap& watermark = QPixmap(),
               bool onePage = false, bool help = false);

private:
    void PageActivated(int id);

    WIZARDMODE mode_;
    QString title_;
    bool onePage_;
    int startPage_;
    WelcomePage* welcome_ = nullptr;
    bool initialised_ = false;
    int jumpTarget_ = -1;
    QList<QPointer<QWizardPage>> opened_;  // pages that have been active at least once
};

} // namespace Nerith::Windows::Wizards
