#include "InstallRecorder.h"

Status InstallRecorder::Begin(const std::string& path, const std::vector<layout::WrittenEntry>& carried)
{
    path_ = path;
    held_.clear();
    added_.clear();
    file_ = File(path.c_str(), "wb");
    const std::string header = layout::RecordHeader();
    if (!file_.IsOpen() || !file_.Write(header.data(), header.size()))
        return Status::Failure(Fault::kCannotWrite, "Can't write \"" + path + "\".", "Error!");
    for (const layout::WrittenEntry& entry : carried) {
        if (!held_.insert(layout::EntryKey(entry)).second)
            continue;
        const std::string line = layout::RecordLine(entry);
        if (!file_.Write(line.data(), line.size()))
            return Status::Failure(Fault::kCannotWrite, "Can't write \"" + path + "\".", "Error!");
    }
    if (!file_.Flush())
        return Status::Failure(Fault::kCannotWrite, "Can't write \"" + path + "\".", "Error!");
    return Status();
}

Status InstallRecorder::Add(const layout::WrittenEntry& entry)
{
    if (!held_.insert(layout::EntryKey(entry)).second) {
        added_.push_back(entry);
        return Status();
    }
    added_.push_back(entry);
    return Put(entry);
}

Status InstallRecorder::Put(const layout::WrittenEntry& entry)
{
    const std::string line = layout::RecordLine(entry);
    if (!file_.IsOpen() || !file_.Write(line.data(), line.size()) || !file_.Flush())
        return Status::Failure(Fault::kCannotWrite,
                               "Can't write \"" + path_ + "\": the uninstaller would not know what was installed.",
                               "Error!");
    return Status();
}
