// kelvopack's build in one call for the tests: the project checked against
// the settings' output (the checks must pass), then the setup written, as
// `kelvopack build` does it. The stub is left unchecked: the writer copies
// whatever bytes a test gives it, and the rule of what a stub may be has
// tests of its own.
#pragma once

#include "ProjectCheck.h"
#include "ProjectFile.h"
#include "SetupPlan.h"
#include "SetupWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline SetupSummary CheckedBuild(::Project project, const SetupSettings& settings)
{
    const std::vector<std::string> problems = CheckProject(&project, CheckInputs{settings.output, std::string()});
    EXPECT_TRUE(problems.empty()) << problems.front();
    return WriteSetup(SetupPlan(project, DefaultSetupPath(settings.output)), settings);
}
