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

}  // namespace wizard
