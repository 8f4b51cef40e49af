#include "TGrupoAplicativo.h"

#include "GroupCommand.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

// The client whose Setup ran last on this thread. DDEML's callback carries
// no object, yet a disconnection has to mark that client's conversation as
// gone; DDEML calls it on the thread of the client's instance, and a client
// may live on a thread of its own (TGroupWorker). The system's thread slots
// (the compiler's thread_local would bring a threads library along).
class CurrentClient {
public:
    CurrentClient() : slot_(TlsAlloc()) {}
    ~CurrentClient()
    {
        if (slot_ != TLS_OUT_OF_INDEXES)
            TlsFree(slot_);
    }
    CurrentClient(const CurrentClient&) = delete;
    CurrentClient& operator=(const CurrentClient&) = delete;

    TGrupoAplicativo* Get() const
    {
        return slot_ != TLS_OUT_OF_INDEXES ? static_cast<TGrupoAplicativo*>(TlsGetValue(slot_)) : nullptr;
    }
    void Set(TGrupoAplicativo* client) const
    {
        if (slot_ != TLS_OUT_OF_INDEXES)
            TlsSetValue(slot_, client);
    }

private:
    DWORD slot_;
};
const CurrentClient currentClient;

const char kCaption[] = "Create Group";
const char kServiceName[] = "PROGMAN";
const char kGroupsItem[] = "Groups";
// The shell opens a group's folder window before it answers the next
// command: on a slow or busy machine that takes more than a second (an
// emulated one needed that for an AddItem right after a CreateGroup). Still
// inside the bound TProgramGroups gives each command.
constexpr DWORD kTimeoutMs = 5000;
// The shell reads every group of a Start Menu to answer: a large one, on a
// cold disk or a network profile, takes seconds.
constexpr DWORD kListTimeoutMs = 15000;

Status Failure(std::string text, unsigned style = kMbOk | kMbIconHand, Fault fault = Fault::kPlatform)
{
    return Status::Failure(fault, std::move(text), kCaption, style);
}

Status NoConversation()
{
    return Failure("DDEML Call Back Error: Can't start conversation.\nMake sure PROGMAN is running.");
}

}  // namespace

TGrupoAplicativo::TGrupoAplicativo() : CallBackProc(&TGrupoAplicativo::CallBack)
{
    Setup();
}

TGrupoAplicativo::~TGrupoAplicativo()
{
    Close();
}

void TGrupoAplicativo::Setup()
{
    InstId = 0;
    HConv = nullptr;
    Topic = nullptr;
    Service = nullptr;
    currentClient.Set(this);
    if (!CallBackProc) {
        setupStatus_ = Failure("DEML Call Back Error: Setup of callback failed.");
    } else if (DdeInitializeA(&InstId, CallBackProc, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        InstId = 0;
        setupStatus_ = Failure("DEML Call Back Error: Initialization failed.");
    } else {
        Service = DdeCreateStringHandleA(InstId, kServiceName, CP_WINANSI);
        Topic = DdeCreateStringHandleA(InstId, kServiceName, CP_WINANSI);
        if (!Service || !Topic)
            setupStatus_ = Failure("DEML Call Back Error: Creation of strings failed.");
    }
    // Null string handles would connect to any service at all: without both
    // there is simply no conversation.
    if (InstId && Service && Topic)
        HConv = DdeConnect(InstId, Service, Topic, nullptr);
}

Status TGrupoAplicativo::SendCommand(const char* comando)
{
    if (!HConv)
        return Notices(NoConversation());
    const std::string command = comando ? comando : "";
    // DDEML may keep the data until the service has read it: a buffer of
    // its own, the terminating zero included.
    std::vector<BYTE> data(command.begin(), command.end());
    data.push_back(0);
    HDDEDATA accepted = DdeClientTransaction(data.data(), static_cast<DWORD>(data.size()), HConv, nullptr, CF_TEXT,
                                             XTYP_EXECUTE, kTimeoutMs, nullptr);
    if (!accepted) {
        const UINT error = DdeGetLastError(InstId);
        if (error == DMLERR_EXECACKTIMEOUT)
            return Notices(Failure("PROGMAN did not answer the command " + command + " in time."));
        return Notices(Failure("PROGMAN refused the command " + command + "."));
    }
    return Notices(Status());
}

Status TGrupoAplicativo::SendFormatted(bool fits, const char* buffer, const char* command)
{
    if (!fits)
        return Notices(Failure(std::string("The command ") + command + " is longer than " +
                                   std::to_string(groupcommand::kMaxCommandLength) +
                                   " characters and was not sent to PROGMAN.",
                               kMbOk | kMbIconHand, Fault::kRefused));
    return SendCommand(buffer);
}

Status TGrupoAplicativo::CreateGroup(const char* nome)
{
    groupcommand::CommandBuffer buffer;
    return SendFormatted(groupcommand::CreateGroup(buffer, nome), buffer, "CreateGroup");
}

Status TGrupoAplicativo::AddItem(const char* arq, const char* nome)
{
    groupcommand::CommandBuffer buffer;
    return SendFormatted(groupcommand::AddItem(buffer, arq, nome), buffer, "AddItem");
}

Status TGrupoAplicativo::DeleteGroup(const char* nome)
{
    groupcommand::CommandBuffer buffer;
    return SendFormatted(groupcommand::DeleteGroup(buffer, nome), buffer, "DeleteGroup");
}

Status TGrupoAplicativo::DeleteItem(const char* nome)
{
    groupcommand::CommandBuffer buffer;
    return SendFormatted(groupcommand::DeleteItem(buffer, nome), buffer, "DeleteItem");
}

Status TGrupoAplicativo::ListGroups(char* list, int Len)
{
    if (!HConv)
        return Notices(NoConversation());
    HSZ item = DdeCreateStringHandleA(InstId, kGroupsItem, CP_WINANSI);
    HDDEDATA reply = DdeClientTransaction(nullptr, 0, HConv, item, CF_TEXT, XTYP_REQUEST, kListTimeoutMs, nullptr);
    const UINT error = DdeGetLastError(InstId);
    if (item)
        DdeFreeStringHandle(InstId, item);
    // Wine's service follows the data of every request with an extra,
    // positive acknowledgement, which the next transaction on this
    // conversation would take for its own answer (a refused command would
    // seem accepted), however soon one looked for it. A new conversation
    // leaves it behind. (A second conversation of the same client is
    // refused, so the request cannot have one of its own.)
    if (HConv) {
        Disconnect();
        HConv = DdeConnect(InstId, Service, Topic, nullptr);
    }
    if (!reply && error != DMLERR_NO_ERROR)
        return Notices(Status::Failure(Fault::kPlatform, "(hData == false) && (Erro != DMLERR_NO_ERROR)",
                                       "TGrupoAplicativo::ListGroups", kMbOk));
    if (list && Len > 0) {
        std::memset(list, 0, static_cast<size_t>(Len));
        if (reply)
            DdeGetData(reply, reinterpret_cast<LPBYTE>(list), static_cast<DWORD>(Len), 0);
    }
    if (reply)
        DdeFreeDataHandle(reply);
    return Notices(Status());
}

void TGrupoAplicativo::Disconnect()
{
    // HConv is cleared first: the end of a conversation the client itself
    // ends is no notice.
    HCONV ending = HConv;
    HConv = nullptr;
    DdeDisconnect(ending);
}

Status TGrupoAplicativo::Close()
{
    if (closed_)
        return Status();
    closed_ = true;
    groupcommand::CommandBuffer buffer;
    const Status result = SendFormatted(groupcommand::ExitProgman(buffer), buffer, "ExitProgman");
    if (HConv)
        Disconnect();
    if (InstId) {
        if (Service)
            DdeFreeStringHandle(InstId, Service);
        if (Topic)
            DdeFreeStringHandle(InstId, Topic);
        DdeUninitialize(InstId);
    }
    InstId = 0;
    Service = nullptr;
    Topic = nullptr;
    if (currentClient.Get() == this)
        currentClient.Set(nullptr);
    // A notice that the disconnection itself brought stands in for the
    // command's success, as the command's own notices do.
    return Notices(result);
}

std::vector<Status> TGrupoAplicativo::TakeNotices()
{
    std::vector<Status> waiting(std::make_move_iterator(notices_.begin()), std::make_move_iterator(notices_.end()));
    notices_.clear();
    return waiting;
}

Status TGrupoAplicativo::Notices(Status result)
{
    if (!result.Ok() || notices_.empty())
        return result;
    Status notice = std::move(notices_.front());
    notices_.pop_front();
    return notice;
}

HDDEDATA CALLBACK TGrupoAplicativo::CallBack(UINT type, UINT, HCONV conversation, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                                             ULONG_PTR)
{
    TGrupoAplicativo* client = currentClient.Get();
    if (!client)
        return nullptr;
    // Only the end of the live conversation is news (see Disconnect).
    if (type == XTYP_DISCONNECT && conversation != client->HConv)
        return nullptr;
    // DDEML is C: nothing is thrown back into it, as the program is built
    // without exceptions (running out of memory ends it where it happens).
    if (type == XTYP_ERROR) {
        client->notices_.push_back(
            Failure("DDEML Call Back Error: A critical DDE error has occured.", kMbOk | kMbIconAsterisk));
    } else if (type == XTYP_DISCONNECT) {
        client->notices_.push_back(Failure("DDEML Call Back: Disconnected.", kMbOk | kMbIconAsterisk));
        client->HConv = nullptr;
    }
    return nullptr;
}
