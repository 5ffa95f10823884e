// ctlkit-gallery: the round slider in several looks, the wizard and the property
// sheet, and the window capture, in one window.
//
//   ctlkit-gallery [--screenshot PATH]
// --screenshot saves the painted window to PATH (format by extension) and exits.

#include "ctlkit/round_slider_ctrl.h"
#include "ctlkit/screen_capture.h"
#include "ctlkit/wizard.h"

#include <QApplication>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <string_view>

using namespace Nerith::Windows;
using Controls::CRoundSliderCtrl;

namespace {

class NamePage : public Wizards::BasePropertyPage {
public:
    NamePage() {
        setSubTitle(QStringLiteral("Name the sonar this set-up is for."));
        auto* form = new QFormLayout(this);
        form->addRow(QStringLiteral("Sonar name:"), new QLineEdit(QStringLiteral("Port side"), this));
    }
};

class HeadingPage : public Wizards::BasePropertyPage {
public:
    HeadingPage() {
        setSubTitle(QStringLiteral("Turn the dial to the mounting heading."));
        SetWizardButtons(Wizards::BackButtonBit | Wizards::FinishButtonBit);
        auto* layout = new QHBoxLayout(this);
        auto* dial = new CRoundSliderCtrl(this);
        dial->setFixedSize(140, 140);
        layout->addWidget(dial);
        layout->addStretch(1);
    }
};

class DemoWizard : public Wizards::BaseWizard {
public:
    DemoWizard(Wizards::WIZARDMODE mode, QWidget* parent)
        : BaseWizard(mode, QStringLiteral("Sonar Set-up"),
                     QStringLiteral("This will guide you through naming a sonar and setting its heading."), parent) {
        AddWizPage(new NamePage);
        AddWizPage(new HeadingPage);
    }
};

QString codeName(int code) {
    switch (code) {
    case CRoundSliderCtrl::LineLeft: return QStringLiteral("line left");
    case CRoundSliderCtrl::LineRight: return QStringLiteral("line right");
    case CRoundSliderCtrl::PageLeft: return QStringLiteral("page left");
    case CRoundSliderCtrl::PageRight: return QStringLiteral("page right");
    case CRoundSliderCtrl::ThumbPosition: return QStringLiteral("thumb position");
    case CRoundSliderCtrl::ThumbTrack: return QStringLiteral("thumb track");
    case CRoundSliderCtrl::EndScroll: return QStringLiteral("end scroll");
    default: return QString::number(code);
    }
}

CRoundSliderCtrl* makeSlider(QWidget* parent, QGridLayout* grid, int column, const QString& caption) {
    auto* slider = new CRoundSliderCtrl(parent);
    slider->setFixedSize(150, 150);
    grid->addWidget(slider, 0, column, Qt::AlignCenter);
    auto* label = new QLabel(caption, parent);
    label->setAlignment(Qt::AlignCenter);
    grid->addWidget(label, 1, column);
    return slider;
}

} // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists, so that it needs no display.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("ctlkit-gallery %s\n", TARVIK_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QString screenshot;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size()) {
            screenshot = args[++i];
        } else {
            std::fprintf(stderr, "usage: ctlkit-gallery [--screenshot PATH] | --version\n");
            return 2;
        }
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("Ctlkit gallery"));
    auto* top = new QVBoxLayout(&window);
    auto* grid = new QGridLayout;
    top->addLayout(grid);

    CRoundSliderCtrl* plain = makeSlider(&window, grid, 0, QStringLiteral("Default"));
    plain->setValue(45);

    CRoundSliderCtrl* sector = makeSlider(&window, grid, 1, QStringLiteral("Sector, limits, cross-hair"));
    sector->SetShowSector(true);
    sector->SetStartSector(300, 0x00C000);
    sector->SetEndSector(60, 0x3232FF);
    sector->SetStartLimit(270);
    sector->SetEndLimit(90);
    sector->SetShowCrossHair(true);
    sector->SetDialColor(0xF0E8D8);
    sector->SetKnobColor(0x30A0F0);
    sector->SetShowColorKnob(true);
    sector->setValue(20);

    CRoundSliderCtrl* radio = makeSlider(&window, grid, 2, QStringLiteral("Radio-button style, inverted"));
    radio->SetRadioButtonStyle(true);
    radio->SetInverted(true);
    radio->SetKnobRadius(9);
    radio->setValue(300);
    radio->SetFontBold(true);
    radio->SetTextColor(0x800000);

    CRoundSliderCtrl* free = makeSlider(&window, grid, 3, QStringLiteral("Free radius, zero at the right"));
    free->SetFixedRadius(false);
    free->SetZero(90);
    free->setRange(-180, 179);
    free->SetText(QStringLiteral("%+d\u00B0"));
    free->setValue(-30);
    free->SetFontSize(18);

    auto* status = new QLabel(QStringLiteral("Drag a knob or use the keys: the notifications appear here."), &window);
    top->addWidget(status);
    for (CRoundSliderCtrl* slider : {plain, sector, radio, free}) {
        QObject::connect(slider, &CRoundSliderCtrl::scrollNotified, status, [status](int code, int position) {
            status->setText(QStringLiteral("Notification %1 (%2), position %3").arg(code).arg(codeName(code)).arg(position));
        });
    }

    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    auto* wizardButton = new QPushButton(QStringLiteral("Wizard..."), &window);
    auto* sheetButton = new QPushButton(QStringLiteral("Property sheet..."), &window);
    auto* captureButton = new QPushButton(QStringLiteral("Capture..."), &window);
    buttons->addWidget(wizardButton);
    buttons->addWidget(sheetButton);
    buttons->addStretch(1);
    buttons->addWidget(captureButton);
    QObject::connect(wizardButton, &QPushButton::clicked, &window, [&window] {
        DemoWizard wizard(Wizards::WizardModeWithWelcome, &window);
        wizard.exec();
    });
    QObject::connect(sheetButton, &QPushButton::clicked, &window, [&window] {
        DemoWizard sheet(Wizards::PropertySheetMode, &window);
        sheet.exec();
    });
    QObject::connect(captureButton, &QPushButton::clicked, &window, [&window, status] {
        const QString path = QFileDialog::getSaveFileName(&window, QStringLiteral("Save a picture of the gallery"),
                                                          QStringLiteral("gallery.png"));
        if (path.isEmpty()) return;
        const bool written = Utils::Screen2Bmp(&window, window.rect(), path);
        status->setText(written ? QStringLiteral("Saved %1").arg(path)
                                : QStringLiteral("Nothing written: unknown extension or no such folder"));
    });

    window.show();
    if (!screenshot.isEmpty()) {
        int result = 1;
        QTimer::singleShot(300, &window, [&] {
            plain->setFocus();
            window.repaint();
            result = Utils::Screen2Bmp(&window, window.rect(), screenshot) ? 0 : 1;
            if (result != 0) std::fprintf(stderr, "could not write %s\n", qPrintable(screenshot));
            app.quit();
        });
        app.exec();
        return result;
    }
    return app.exec();
}
