// The wizard's steps without windows: what each step shows, where Next and
// Back lead, and how each page sets up the three buttons.
#include "PageSequence.h"
#include "PageTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using wizard::PageSequence;
using wizard::Step;

// "title|back|next|cancel", "-" for a disabled button.
std::string Buttons(const PageText& page)
{
    const auto caption = [](const char* text) { return std::string(text != nullptr ? text : "-"); };
    return std::string(page.title) + "|" + caption(page.back) + "|" + caption(page.next) + "|" + caption(page.cancel);
}

TEST(PageSequence, InstallRunsThroughFiveStepsAndBackNeverBelowTheFirst)
{
    PageSequence steps(startup::kInstallMode);
    const Step expected[] = {Step::kPresentation, Step::kAgreement, Step::kOptions, Step::kStart, Step::kInstall};
    for (int etapa = 1; etapa <= 5; ++etapa) {
        EXPECT_EQ(steps.Etapa(), etapa);
        EXPECT_EQ(steps.Current(), expected[etapa - 1]);
        // Only the start page stays up: the progress dialog opens over it.
        EXPECT_EQ(steps.NextClosesPages(), etapa != 4) << etapa;
        steps.Forward();
    }
    EXPECT_EQ(steps.Current(), Step::kNothing);

    for (int etapa = 6; etapa > 1; --etapa)
        steps.Backward();
    EXPECT_EQ(steps.Current(), Step::kPresentation);
    steps.Backward();  // the disabled Back, asked anyway, stays at the first step
    EXPECT_EQ(steps.Etapa(), 1);

    // Only the options step reads the script again: coming back to it
    // restores the script's destination, group and mode.
    EXPECT_FALSE(PageSequence::ReadsScript(Step::kPresentation));
    EXPECT_FALSE(PageSequence::ReadsScript(Step::kAgreement));
    EXPECT_TRUE(PageSequence::ReadsScript(Step::kOptions));
    EXPECT_FALSE(PageSequence::ReadsScript(Step::kStart));
    EXPECT_FALSE(PageSequence::ReadsScript(Step::kInstall));
}

TEST(PageSequence, UninstallConfirmsOnceAfterReadingTheScript)
{
    PageSequence steps(startup::kUninstallMode);
    EXPECT_EQ(steps.Current(), Step::kConfirmation);
    EXPECT_TRUE(PageSequence::ReadsScript(Step::kConfirmation));
    EXPECT_TRUE(steps.NextClosesPages());
    steps.Forward();
    EXPECT_EQ(steps.Current(), Step::kUninstall);
    EXPECT_FALSE(PageSequence::ReadsScript(Step::kUninstall));
    steps.Backward();
    steps.Backward();
    EXPECT_EQ(steps.Current(), Step::kConfirmation);
}

TEST(PageSequence, EachPageSetsUpTheButtonsWithItsCaptions)
{
    EXPECT_EQ(Buttons(pages::kPresentation), "Installation Utility Ready!|-|Next >|Cancel");
    EXPECT_EQ(Buttons(pages::kAgreement), "License Agreement|< Back|Yes|No");
    EXPECT_EQ(Buttons(pages::kOptions), "Installation Options|< Back|Next >|Cancel");
    EXPECT_EQ(Buttons(pages::kStart), "Start Installation|< Back|Start !|Cancel");
    EXPECT_EQ(Buttons(pages::kConfirmation), "Uninstallation|-|Yes|No");

    // Texts are lines split at line feeds: the agreement's question is line 11.
    const std::string agreement = pages::kAgreement.text;
    EXPECT_EQ(agreement.substr(agreement.rfind('\n') + 1), "Do you accept? (Press \"Yes\" or \"No\")");
    EXPECT_EQ(std::count(agreement.begin(), agreement.end(), '\n'), 11);
    EXPECT_EQ(std::string(pages::kStart.text).find("\nTo start the installation"), 0u);
}

}  // namespace
