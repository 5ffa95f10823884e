#include "ctlkit/wizard.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include <stdexcept>
#include <string>

namespace Nerith::Windows::Wizards {

// ---- BasePropertyPage ----

BasePropertyPage::BasePropertyPage(QWidget* parent) : QWizardPage(parent) {}
BasePropertyPage::~BasePropertyPage() = default;

void BasePropertyPage::SetWizardButtons(int buttons) { buttons_ = buttons; }
int BasePropertyPage::GetWizardButtons() const { return buttons_; }

void BasePropertyPage::PostWizardButtons(int buttons) {
    // Posted, so it takes effect after the sheet has settled its own buttons for the new page.
    QPointer<BaseWizard> sheet = qobject_cast<BaseWizard*>(wizard());
    if (!sheet) return;
    QMetaObject::invokeMethod(
        sheet, [sheet, buttons] { if (sheet) sheet->SetWizardButtons(buttons); }, Qt::QueuedConnection);
}

bool BasePropertyPage::OnSetActive() {
    PostWizardButtons(buttons_);
    return true;
}

bool BasePropertyPage::SaveData() { return true; }

// ---- WelcomePage ----

WelcomePage::WelcomePage(const QString& title, const QString& welcomeText, QWidget* parent)
    : BasePropertyPage(parent), title_(title), welcomeText_(welcomeText) {
    setWindowTitle(QStringLiteral("Welcome"));
    SetWizardButtons(NextButtonBit);

    // The title font: bold, 11 pixels at 96 dots per inch, scaled to this screen.
    titleFont_ = Fonts::PECFont::ForScreen(QStringLiteral("Verdana"), 11, 700, logicalDpiY());

    welcomeTo_ = new QLabel(QStringLiteral("Welcome to the"), this);
    welcomeTo_->setObjectName(QStringLiteral("9120"));
    titleLabel_ = new QLabel(title_, this);
    titleLabel_->setObjectName(QStringLiteral("9121"));
    textLabel_ = new QLabel(welcomeText_, this);
    textLabel_->setObjectName(QStringLiteral("9122"));
    textLabel_->setWordWrap(true);
    welcomeTo_->setFont(titleFont_);
    titleLabel_->setFont(titleFont_);
    auto* closing = new QLabel(QStringLiteral("Click Next to continue or Cancel to exit."), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(welcomeTo_);
    layout->addWidget(titleLabel_);
    layout->addSpacing(titleFont_.GetHeight());
    layout->addWidget(textLabel_);
    layout->addStretch(1);
    layout->addWidget(closing);

    // 255 by 190 dialog units: a quarter of the average character width across,
    // an eighth of the line height down.
    const QFontMetrics metrics(font());
    setMinimumSize(255 * metrics.averageCharWidth() / 4, 190 * metrics.height() / 8);
}

WelcomePage::~WelcomePage() = default;

bool WelcomePage::OnSetActive() {
    PostWizardButtons(NextButtonBit);
    return BasePropertyPage::OnSetActive();
}

QLabel* WelcomePage::GetLabel(int id) const {
    switch (id) {
    case 9120: return welcomeTo_;
    case 9121: return titleLabel_;
    case 9122: return textLabel_;
    default: return nullptr;
    }
}

// ---- BaseWizard ----

BaseWizard::BaseWizard(WIZARDMODE mode, const QString& title, const QString& welcomeText, QWidget* parent,
                       int startPage, const QPixmap& header, const QPixmap& watermark, bool onePage, bool help)
    : QWizard(parent), mode_(mode), title_(title), onePage_(onePage), startPage_(startPage) {
    setWindowTitle(title);
    if (!header.isNull()) setPixmap(QWizard::BannerPixmap, header);
    if (!watermark.isNull()) setPixmap(QWizard::WatermarkPixmap, watermark);
    setOption(QWizard::HaveHelpButton, help);
    connect(this, &QWizard::currentIdChanged, this, &BaseWizard::PageActivated);

    if (mode_ != WizardModeWithWelcome) {
        // A property sheet: OK and Cancel on every page, no Apply.
        setWizardStyle(QWizard::ClassicStyle);
        setOption(QWizard::HaveFinishButtonOnEarlyPages, true);
        setButtonText(QWizard::FinishButton, tr("OK"));
        return;
    }
    setWizardStyle(QWizard::ModernStyle);
    welcome_ = new WelcomePage(title, welcomeText, this);
    addPage(welcome_);  // the welcome page has no header: no page title
}

BaseWizard::~BaseWizard() = default;

void BaseWizard::AddWizPage(QWizardPage* page) {
    if (!page) return;
    if (mode_ == WizardModeWithWelcome) page->setTitle(title_);
    addPage(page);
}

int BaseWizard::GetPageCount() const { return static_cast<int>(pageIds().size()); }

QWizardPage* BaseWizard::GetPage(int index) const {
    const QList<int> ids = pageIds();
    if (index < 0 || index >= ids.size()) return nullptr;
    return page(ids[index]);
}

int BaseWizard::GetPageIndex(const QWizardPage* wanted) const {
    const QList<int> ids = pageIds();
    for (qsizetype i = 0; i < ids.size(); ++i)
        if (page(ids[i]) == wanted) return static_cast<int>(i);
    return -1;
}

int BaseWizard::GetActiveIndex() const { return currentId() == -1 ? -1 : static_cast<int>(pageIds().indexOf(currentId())); }

bool BaseWizard::HasBeenOpened(const QWizardPage* page) const {
    if (!page) return false;
    for (const QPointer<QWizardPage>& p : opened_)
        if (p == page) return true;
    return false;
}

void BaseWizard::SetActivePage(int index) {
    const QList<int> ids = pageIds();
    if (index < 0 || index >= ids.size())
        throw std::invalid_argument("no page " + std::to_string(index) + " in a sheet of " +
                                    std::to_string(ids.size()) + " pages");
    const int target = ids[index];
    if (currentId() == -1) {  // not open yet: it opens there
        setStartId(target);
        return;
    }
    if (currentId() == target) return;
    if (visitedIds().contains(target)) {
        // Earlier on the way here: step back to it.
        while (currentId() != target) {
            const int before = currentId();
            back();
            if (currentId() == before) break;
        }
        return;
    }
    jumpTarget_ = target;
    next();  // nextId() answers the target; the current page may still refuse to be left
    jumpTarget_ = -1;
}

void BaseWizard::SetNextPage(QWizardPage* page) {
    if (!page) return;
    const int index = GetPageIndex(page);
    if (index < 0) throw std::invalid_argument("the page is not in this sheet");
    SetActivePage(index + 1);
}

void BaseWizard::SetPreviousPage(QWizardPage* page) {
    if (!page) return;
    const int index = GetPageIndex(page);
    if (index < 0) throw std::invalid_argument("the page is not in this sheet");
    SetActivePage(index - 1);
}

bool BaseWizard::SaveWizardData() {
    const QList<int> ids = pageIds();
    for (int id : ids) {
        QWizardPage* p = page(id);
        if (!p) throw std::invalid_argument("no page " + std::to_string(id) + " in the sheet");
        if (!HasBeenOpened(p)) continue;  // never opened: nothing to save
        auto* ours = qobject_cast<BasePropertyPage*>(p);
        const bool saved = ours ? ours->SaveData() : p->validatePage();
        if (!saved) return false;
    }
    return true;
}

void BaseWizard::SetWizardButtons(int buttons) {
    if (QAbstractButton* b = button(QWizard::BackButton)) b->setEnabled(buttons & BackButtonBit);
    if (QAbstractButton* b = button(QWizard::NextButton)) b->setEnabled(buttons & NextButtonBit);
    if (buttons & (FinishButtonBit | DisabledFinishButtonBit)) {
        if (QAbstractButton* b = button(QWizard::FinishButton)) {
            b->setVisible(true);
            b->setEnabled((buttons & FinishButtonBit) != 0);
        }
    }
}

bool BaseWizard::OnInitDialog() {
    const int count = GetPageCount();
    if (count == 0) return true;
    const bool startValid = startPage_ >= 0 && startPage_ < count;
    if (onePage_) {
        // Keep only the chosen page (the first when the start index is outside the sheet).
        const QList<int> ids = pageIds();
        const int keep = startValid ? startPage_ : 0;
        for (int i = 0; i < count; ++i)
            if (i != keep) removePage(ids[i]);
        setStartId(ids[keep]);
    } else if (startValid) {
        setStartId(pageIds()[startPage_]);
    }
    return true;
}

void BaseWizard::setVisible(bool visible) {
    if (visible && !initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QWizard::setVisible(visible);
}

int BaseWizard::nextId() const { return jumpTarget_ != -1 ? jumpTarget_ : QWizard::nextId(); }

void BaseWizard::PageActivated(int id) {
    QWizardPage* p = page(id);
    if (!p) return;
    if (!HasBeenOpened(p)) opened_.append(p);
    if (auto* ours = qobject_cast<BasePropertyPage*>(p)) ours->OnSetActive();
}

} // namespace Nerith::Windows::Wizards
