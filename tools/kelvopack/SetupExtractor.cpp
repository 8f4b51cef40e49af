#include "SetupExtractor.h"

#include "Codepage.h"
#include "File.h"
#include "Platform.h"
#include "UnfinishedFile.h"
#include "WorkerCrew.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {

constexpr size_t kCopyBlock = size_t(1) << 20;

// The key under which two names are one file on Windows.
std::string WindowsKey(const std::string& ansiName)
{
    return layout::FoldCase(Slashed(ansiName));
}

}  // namespace

bool SetupExtractor::MakeFolders(const std::string& relative)
{
    for (size_t cut = relative.find('/'); cut != std::string::npos; cut = relative.find('/', cut + 1)) {
        const std::string folder = folder_ + "/" + relative.substr(0, cut);
        if (made_.count(folder) != 0)
            continue;
        // Another extractor may make the same folder at the same moment.
        if (!platform::FolderExists(folder.c_str()) && !platform::CreateFolder(folder.c_str()) &&
            !platform::FolderExists(folder.c_str()))
            return false;
        made_.insert(folder);
    }
    return true;
}

SetupExtractor::SetupExtractor(const SetupArchive& archive, const std::string& folder, ProgressHook* hook)
    : archive_(archive), folder_(folder), hook_(hook)
{
}

bool SetupExtractor::OpenReader(std::string* error)
{
    if (readerOpen_)
        return true;
    const Status opened = reader_.Open(archive_.Path().c_str());
    if (!opened)
        *error = opened.Text();
    readerOpen_ = opened.Ok();
    return readerOpen_;
}

std::string SetupExtractor::Target(const std::string& ansiName, std::string* shown)
{
    const std::string relative = Slashed(codepage::AnsiToNative(ansiName));
    *shown = relative;
    if (!MakeFolders(relative))
        return std::string();
    return folder_ + "/" + relative;
}

bool SetupExtractor::Extract(const SetupArchive::Member& member, const std::string& name, std::string* shown,
                             std::string* error)
{
    *shown = codepage::AnsiToNative(name);
    if (!layout::IsContainedName(name)) {
        *error = "refused, the name would leave the target folder";
        return false;
    }
    if (!member.located) {
        *error = "the member cannot be located in the package";
        return false;
    }
    if (member.placement == layout::Placement::kInImage) {
        *error = "the member would begin inside the program image, where the setup never reads one";
        return false;
    }
    const std::string target = Target(name, shown);
    if (target.empty()) {
        *error = "cannot create its folder under \"" + folder_ + "\"";
        return false;
    }
    if (!OpenReader(error))
        return false;
    const Status status = reader_.ExtractTo(member.start, member.record.TamComp, member.record.TamOrig, target.c_str(),
                                            hook_);
    if (status.IsCanceled())
        *error = "stopped";
    else if (!status)
        *error = status.Text();
    return status.Ok();
}

bool SetupExtractor::Copy(const std::string& from, const std::string& name, std::string* shown, std::string* error)
{
    *shown = codepage::AnsiToNative(name);
    if (!layout::IsContainedName(name) || !layout::IsContainedName(from)) {
        *error = "refused, the name would leave the target folder";
        return false;
    }
    std::string fromShown;
    const std::string source = Target(from, &fromShown);
    const std::string target = Target(name, shown);
    if (source.empty() || target.empty()) {
        *error = "cannot create its folder under \"" + folder_ + "\"";
        return false;
    }
    File in(source.c_str(), "rb");
    if (!in.IsOpen()) {
        *error = "cannot open \"" + source + "\" to copy it";
        return false;
    }
    UnfinishedFile unfinished;
    File out(target.c_str(), "wb");
    if (!out.IsOpen()) {
        *error = "cannot create \"" + target + "\"";
        return false;
    }
    unfinished.Arm(target);
    std::vector<uint8_t> block(kCopyBlock);
    size_t got;
    bool written = true;
    while (written && (got = in.Read(block.data(), block.size())) > 0)
        written = out.Write(block.data(), got);
    if (in.Failed())
        *error = "cannot read \"" + source + "\"";
    else if (!out.Close() || !written)
        *error = "cannot write \"" + target + "\"";
    if (!error->empty())
        return false;
    unfinished.Finished();
    return true;
}

bool SetupExtractor::ExtractScript(std::string* shown, std::string* error)
{
    std::vector<uint8_t> text;
    if (!OpenReader(error))
        return false;
    const Status read = reader_.ReadScript(&text);
    if (!read) {
        *error = read.Text();
        return false;
    }
    const std::string target = Target(layout::kScript, shown);
    File out(target.c_str(), "wb");
    if (!out.IsOpen() || !out.Write(text.data(), text.size()) || !out.Close()) {
        platform::RemoveFile(target.c_str());
        *error = "cannot write \"" + target + "\"";
        return false;
    }
    return true;
}

namespace {

// The names of one task that are its to write (indexes into its names),
// and the outcome of each of its names.
struct Work {
    std::vector<size_t> names;
    std::vector<size_t> outcomes;
};

// One outcome per name of the tasks, and each task's work. A name that is
// one file on Windows with a name of an earlier record's is refused in its
// outcome and left out of the work.
std::vector<Work> ClaimNames(const SetupArchive& archive, const std::vector<ExtractTask>& tasks,
                             std::vector<ExtractOutcome>* outcomes)
{
    std::vector<Work> work(tasks.size());
    std::vector<const std::string*> names;  // outcome -> its name
    std::map<std::string, size_t> claims;   // Windows key -> outcome
    for (size_t t = 0; t < tasks.size(); ++t) {
        for (const std::string& name : tasks[t].names) {
            const size_t o = outcomes->size();
            work[t].outcomes.push_back(o);
            outcomes->push_back({tasks[t].member, Slashed(codepage::AnsiToNative(name)), std::string()});
            names.push_back(&name);
            const auto [at, fresh] = claims.emplace(WindowsKey(name), o);
            if (!fresh && (*outcomes)[at->second].member > tasks[t].member)
                at->second = o;
        }
    }
    for (Work& w : work) {
        for (size_t i = 0; i < w.outcomes.size(); ++i) {
            const size_t o = w.outcomes[i];
            const size_t winner = claims[WindowsKey(*names[o])];
            if (winner == o) {
                w.names.push_back(i);
                continue;
            }
            const bool exact = Slashed(*names[o]) == Slashed(*names[winner]);
            (*outcomes)[o].error = "not extracted: " + archive.Label((*outcomes)[winner].member) +
                                   " goes to the same name" + (exact ? "" : " on Windows (letter case aside)") +
                                   " and comes first, so its file is the one the setup leaves there";
        }
    }
    return work;
}

// Writes one task's names: the member decoded into the first, copied to
// the others, as start-up copies a display file for a second role. Every
// outcome it touches is marked finished; an exception fails those not yet
// finished.
void WriteTask(SetupExtractor& extractor, const SetupArchive& archive, const ExtractTask& task, const Work& w,
               std::vector<ExtractOutcome>& outcomes, std::vector<char>& finished)
{
    try {
        const std::string& into = task.names[w.names[0]];
        ExtractOutcome& decoded = outcomes[w.outcomes[w.names[0]]];
        const bool ok = extractor.Extract(archive.Members()[task.member], into, &decoded.shown, &decoded.error);
        if (!ok && decoded.error.empty())
            decoded.error = "cannot be extracted";
        finished[w.outcomes[w.names[0]]] = 1;
        for (size_t n = 1; n < w.names.size(); ++n) {
            ExtractOutcome& copy = outcomes[w.outcomes[w.names[n]]];
            if (!ok)
                copy.error = decoded.error;
            else
                extractor.Copy(into, task.names[w.names[n]], &copy.shown, &copy.error);
            finished[w.outcomes[w.names[n]]] = 1;
        }
    } catch (...) {
        const std::string message = WorkerCrew::CurrentMessage();
        for (const size_t n : w.names) {
            const size_t o = w.outcomes[n];
            if (!finished[o]) {
                outcomes[o].error = message;
                finished[o] = 1;
            }
        }
    }
}

}  // namespace

std::vector<ExtractOutcome> ExtractMembers(const SetupArchive& archive, const std::string& folder,
                                           const std::vector<ExtractTask>& tasks, unsigned jobs, ProgressHook* hook)
{
    std::vector<ExtractOutcome> outcomes;
    const std::vector<Work> work = ClaimNames(archive, tasks, &outcomes);
    std::vector<size_t> todo;  // tasks with a name to write
    uint64_t total = 0;
    const auto weight = [&](size_t t) { return uint64_t{archive.Members()[tasks[t].member].record.TamComp} + 1; };
    for (size_t t = 0; t < tasks.size(); ++t) {
        if (!work[t].names.empty()) {
            todo.push_back(t);
            total += weight(t);
        }
    }

    // Each outcome is written by one worker and read once all have ended.
    std::vector<char> finished(outcomes.size(), 0);
    const auto run = [&](size_t first, size_t last) {
        SetupExtractor extractor(archive, folder, hook);
        for (size_t i = first; i < last; ++i)
            WriteTask(extractor, archive, tasks[todo[i]], work[todo[i]], outcomes, finished);
    };
    std::mutex failureMutex;
    std::string failure;  // what escaped a worker, if anything did
    {
        WorkerCrew crew([&](const std::string& message) {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (failure.empty())
                failure = message;
        });
        // Runs of about equal compressed size.
        jobs = std::max(1u, jobs);
        size_t first = 0;
        uint64_t done = 0;
        for (unsigned t = 1; t <= jobs && first < todo.size(); ++t) {
            size_t last = first;
            const uint64_t goal = total * t / jobs;
            while (last < todo.size() && (done < goal || last == first)) {
                done += weight(todo[last]);
                ++last;
            }
            if (t == jobs)
                last = todo.size();
            crew.Start([&run, first, last] { run(first, last); });
            first = last;
        }
    }
    // Whatever a worker left unfinished failed with it.
    for (const size_t t : todo) {
        for (const size_t n : work[t].names) {
            const size_t o = work[t].outcomes[n];
            if (!finished[o] && outcomes[o].error.empty())
                outcomes[o].error = failure.empty() ? std::string("not extracted") : failure;
        }
    }
    return outcomes;
}

std::vector<ExtractOutcome> ExtractMembers(const SetupArchive& archive, const std::string& folder,
                                           const std::vector<size_t>& chosen, unsigned jobs)
{
    std::vector<ExtractTask> tasks;
    for (const size_t k : chosen)
        tasks.push_back({k, archive.Members()[k].Names()});
    return ExtractMembers(archive, folder, tasks, jobs);
}
