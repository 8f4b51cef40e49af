#include "SetupExtractor.h"

#include "Codepage.h"
#include "File.h"
#include "FileSink.h"
#include "Platform.h"
#include "SetupCheck.h"

#include <thread>

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

SetupExtractor::SetupExtractor(const SetupArchive& archive, const std::string& folder)
    : archive_(archive), folder_(folder)
{
}

bool SetupExtractor::OpenReader(std::string* error)
{
    if (!readerOpen_)
        readerOpen_ = reader_.Open(archive_.Path().c_str(), error);
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

bool SetupExtractor::Extract(const SetupArchive::Member& member, std::string* shown, std::string* error)
{
    *shown = codepage::AnsiToNative(member.name);
    if (!IsContainedName(member.name)) {
        *error = "refused, the name would leave the target folder";
        return false;
    }
    if (!member.located) {
        *error = "the member cannot be located in the package";
        return false;
    }
    const std::string target = Target(member.name, shown);
    if (target.empty()) {
        *error = "cannot create its folder under \"" + folder_ + "\"";
        return false;
    }
    if (!OpenReader(error))
        return false;
    File out(target.c_str(), "wb");
    if (!out.IsOpen()) {
        *error = "cannot create \"" + target + "\"";
        return false;
    }
    FileSink sink(out);
    PackageReader::Decoded decoded;
    error->clear();
    if (!reader_.Decode(member.start, member.record.TamComp, sink, &decoded, error)) {
        if (error->empty())
            *error = "cannot write \"" + target + "\"";
    } else if (decoded.bytesIn != member.record.TamComp || decoded.bytesOut != member.record.TamOrig) {
        *error = "the member is damaged (" + std::to_string(decoded.bytesOut) + " bytes decoded, the record says " +
                 std::to_string(member.record.TamOrig) + ")";
    } else if (!out.Close()) {
        *error = "cannot write \"" + target + "\"";
    }
    if (!error->empty()) {
        out.Close();
        platform::RemoveFile(target.c_str());
        return false;
    }
    return true;
}

bool SetupExtractor::ExtractScript(std::string* shown, std::string* error)
{
    std::vector<uint8_t> text;
    if (!OpenReader(error) || !reader_.ReadScript(&text, error))
        return false;
    const std::string target = Target(kScriptName, shown);
    File out(target.c_str(), "wb");
    if (!out.IsOpen() || !out.Write(text.data(), text.size()) || !out.Close()) {
        platform::RemoveFile(target.c_str());
        *error = "cannot write \"" + target + "\"";
        return false;
    }
    return true;
}

std::vector<ExtractOutcome> ExtractMembers(const SetupArchive& archive, const std::string& folder,
                                           const std::vector<size_t>& chosen, unsigned jobs)
{
    std::vector<ExtractOutcome> outcomes(chosen.size());
    uint64_t total = 0;
    for (const size_t k : chosen)
        total += archive.Members()[k].record.TamComp + 1;
    const auto work = [&](size_t first, size_t last) {
        SetupExtractor extractor(archive, folder);
        for (size_t i = first; i < last; ++i) {
            ExtractOutcome& outcome = outcomes[i];
            if (!extractor.Extract(archive.Members()[chosen[i]], &outcome.shown, &outcome.error) &&
                outcome.error.empty())
                outcome.error = "cannot be extracted";
        }
    };
    // Runs of about equal compressed size.
    std::vector<std::thread> threads;
    size_t first = 0;
    uint64_t done = 0;
    for (unsigned t = 1; t <= jobs && first < chosen.size(); ++t) {
        size_t last = first;
        const uint64_t goal = total * t / jobs;
        while (last < chosen.size() && (done < goal || last == first)) {
            done += archive.Members()[chosen[last]].record.TamComp + 1;
            ++last;
        }
        if (t == jobs)
            last = chosen.size();
        threads.emplace_back(work, first, last);
        first = last;
    }
    for (std::thread& thread : threads)
        thread.join();
    return outcomes;
}

