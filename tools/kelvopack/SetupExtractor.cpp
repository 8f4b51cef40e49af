#include "SetupExtractor.h"

#include "Codepage.h"
#include "File.h"
#include "Platform.h"
#include "SetupCheck.h"

namespace {

class FileSink : public LzssDecoder::Sink {
public:
    explicit FileSink(File& file) : file_(file) {}
    bool Put(const uint8_t* data, size_t size) override { return file_.Write(data, size); }

private:
    File& file_;
};

std::string Slashed(std::string name)
{
    for (char& c : name) {
        if (c == '\\')
            c = '/';
    }
    return name;
}

}  // namespace

bool SetupExtractor::MakeFolders(const std::string& relative)
{
    for (size_t cut = relative.find('/'); cut != std::string::npos; cut = relative.find('/', cut + 1)) {
        const std::string folder = folder_ + "/" + relative.substr(0, cut);
        if (made_.count(folder) != 0)
            continue;
        if (!platform::FolderExists(folder.c_str()) && !platform::CreateFolder(folder.c_str()))
            return false;
        made_.insert(folder);
    }
    return true;
}

SetupExtractor::SetupExtractor(SetupArchive& archive, const std::string& folder) : archive_(archive), folder_(folder)
{
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
    if (!streamOpen_ && !stream_.Open(archive_.Path(), archive_.Reader().End(), error))
        return false;
    streamOpen_ = true;
    File out(target.c_str(), "wb");
    if (!out.IsOpen()) {
        *error = "cannot create \"" + target + "\"";
        return false;
    }
    FileSink sink(out);
    PackageReader::Decoded decoded;
    error->clear();
    if (!stream_.Decode(member.start, member.record.TamComp, sink, &decoded, error)) {
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
    if (!archive_.Reader().ReadScript(&text, error))
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
