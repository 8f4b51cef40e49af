#include "PageSequence.h"

namespace wizard {

Step PageSequence::Current() const
{
    static const Step kInstallSteps[] = {Step::kPresentation, Step::kAgreement, Step::kOptions, Step::kStart,
                                         Step::kInstall};
    static const Step kUninstallSteps[] = {Step::kConfirmation, Step::kUninstall};
    if (install_)
        return etapa_ >= 1 && etapa_ <= 5 ? kInstallSteps[etapa_ - 1] : Step::kNothing;
    return etapa_ >= 1 && etapa_ <= 2 ? kUninstallSteps[etapa_ - 1] : Step::kNothing;
}

const PageText* PageSequence::Page(Step step)
{
    switch (step) {
    case Step::kPresentation:
        return &pages::kPresentation;
    case Step::kAgreement:
        return &pages::kAgreement;
    case Step::kOptions:
        return &pages::kOptions;
    case Step::kStart:
    case Step::kInstall:
        return &pages::kStart;
    case Step::kConfirmation:
    case Step::kUninstall:
        return &pages::kConfirmation;
    case Step::kNothing:
        break;
    }
    return nullptr;
}

}  // namespace wizard
