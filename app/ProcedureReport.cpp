#include "ProcedureReport.h"

namespace procedure {

int Report(const Status& status)
{
    if (status.Ok())
        return 0;
    ShowMessage(status);
    return 1;
}

int Fail(const Status& status, const std::string& leftBehind)
{
    ShowMessage(leftBehind.empty() ? status : status.Reworded(status.Text() + "\n\n" + leftBehind));
    return kFatalExitCode;
}

}  // namespace procedure
