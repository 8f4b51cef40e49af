#include "WorkFolder.h"

#include "SystemFolders.h"

#include "Platform.h"

void WorkFolder::Enter() const
{
    platform::ChangeFolder(path_.c_str());
}

void WorkFolder::Leave() const
{
    platform::ChangeFolder(sysfolders::TemporaryFolder().c_str());
    platform::RemoveFolder(path_.c_str());
}
