#include "TProgramGroups.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

TProgramGroups::TProgramGroups() : worker_(kConnectMs)
{
}

Status TProgramGroups::ListGroups(char* list, int Len)
{
    if (!ViaService())
        return Status::Failure(Fault::kPlatform, "No program-group service answered.", "Create Group");
    if (list == nullptr || Len <= 0)
        return Status();
    // The reply is taken into a buffer of the job's own: a job that is given
    // up may still write after the caller's buffer is gone. Not make_shared:
    // its control block asks for the type's identity, which without run-time
    // type information links the library's exception machinery.
    const std::shared_ptr<std::vector<char>> reply(new std::vector<char>(static_cast<size_t>(Len), '\0'));
    const Status status = worker_.Run(
        [reply](TGrupoAplicativo& client) { return client.ListGroups(reply->data(), static_cast<int>(reply->size())); },
        kListMs);
    if (status.Ok())
        std::memcpy(list, reply->data(), reply->size());
    return status;
}

Status TProgramGroups::CreateGroup(const char* nome, bool closeFolderWindow)
{
    if (!ViaService())
        return startMenu_.CreateGroup(nome);
    const std::string name = nome != nullptr ? nome : "";
    // Taken before the command, so that no window the user had open counts
    // as the group's.
    if (closeFolderWindow) {
        windowsBefore_.emplace();
        windowGroup_ = name;
    }
    const Status status = worker_.Run([name](TGrupoAplicativo& client) { return client.CreateGroup(name.c_str()); },
                                      kCommandMs);
    if (!status)
        windowsBefore_.reset();
    return status;
}

Status TProgramGroups::AddItem(const char* arq, const char* nome)
{
    if (!ViaService())
        return startMenu_.AddItem(arq, nome);
    const std::string command = arq != nullptr ? arq : "";
    const std::string name = nome != nullptr ? nome : "";
    return worker_.Run([command,
                        name](TGrupoAplicativo& client) { return client.AddItem(command.c_str(), name.c_str()); },
                       kCommandMs);
}

Status TProgramGroups::DeleteGroup(const char* nome, const std::string& destination)
{
    const std::string name = nome != nullptr ? nome : "";
    // The service refuses a group it does not have (the user removed it, or
    // it was made without the service): what is left is looked for below.
    if (ViaService())
        worker_.Run([name](TGrupoAplicativo& client) { return client.DeleteGroup(name.c_str()); }, kCommandMs);
    return startMenu_.DeleteGroup(name.c_str(), destination);
}

Status TProgramGroups::Close()
{
    if (!ViaService())
        return Status();
    const Status status = worker_.Run([](TGrupoAplicativo& client) { return client.Close(); }, kCommandMs);
    if (windowsBefore_) {
        windowsBefore_->CloseNew(windowGroup_.c_str(), kFolderWindowMs);
        windowsBefore_.reset();
    }
    return status;
}
