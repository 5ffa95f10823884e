// Uses each piece of the installed library once; writes a picture of a slider to argv[1].

#include <ctlkit/round_slider_ctrl.h>
#include <ctlkit/screen_capture.h>
#include <ctlkit/wizard.h>

#include <QApplication>

#include <cstdio>

namespace {

class Page : public Nerith::Windows::Wizards::BasePropertyPage {};

class Wizard : public Nerith::Windows::Wizards::BaseWizard {
public:
    Wizard() : BaseWizard(Nerith::Windows::Wizards::WizardModeWithWelcome, "Outside", "Built elsewhere.") {
        AddWizPage(new Page);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    Nerith::Windows::Controls::CRoundSliderCtrl slider;
    slider.resize(80, 80);
    slider.setValue(270);
    if (!slider.SetRadius(50) || slider.GetRadius() != 50) return 1;
    Wizard wizard;
    if (wizard.GetPageCount() != 2) return 1;
    if (!Nerith::Windows::Utils::Screen2Bmp(&slider, slider.rect(), QString::fromLocal8Bit(argv[1]))) return 1;
    std::puts("ok");
    return 0;
}
