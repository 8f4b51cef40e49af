#include "RunCleanup.h"

#include "DelayedRemoval.h"
#include "WorkingFiles.h"

#include "Platform.h"
#include "SetupLayout.h"

#include <string>

namespace cleanup {

void EndRun(const WorkFolder& workFolder, bool uninstalling)
{
    // Gone already (the procedure's own end): nothing of the current folder
    // may be taken for it.
    if (!platform::ChangeFolder(workFolder.Path().c_str()))
        return;
    std::string program;
    working::ReadLine(layout::kProgramName, &program);
    std::string start;
    working::ReadLine(layout::kStartFolder, &start);
    working::RemoveAll(false, program);
    // The relaunch's own folder: the data and the copy that runs (which the
    // system keeps while it runs). Only a run folder is emptied so.
    const bool relaunchFolder = uninstalling && layout::IsRunFolder(start);
    if (relaunchFolder && platform::ChangeFolder(start.c_str()))
        working::RemoveAll(true, program);
    workFolder.Leave();
    if (!relaunchFolder)
        return;
    platform::RemoveFolder(start.c_str());
    const std::string image = start + "\\" + program;
    if (!program.empty() && platform::FileExists(image.c_str()))
        delayed::ScheduleRemoval(image, start);
}

}  // namespace cleanup
