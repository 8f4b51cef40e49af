#include "TFat.h"

#include "Limits.h"
#include "Report.h"

#include <cstring>
#include <string>

void TFat::AdArq(const char* nomeArq, uint64_t Indice, uint32_t Tam)
{
    const Status status = TryAdArq(nomeArq, Indice, Tam);
    if (!status)
        FatalMessage(status);
}

Status TFat::TryAdArq(const char* nomeArq, uint64_t Indice, uint32_t Tam)
{
    if (std::strlen(nomeArq) > kMemberNameMax)
        return Status::Failure(Fault::kRefused,
                               "Member name longer than " + std::to_string(kMemberNameMax) + " characters: \"" +
                                   std::string(nomeArq) + "\".",
                               "Error!");
    // The table stays a list in registration order; the map only spares the
    // linear search, so that registering many members costs linear time.
    if (!index.emplace(nomeArq, fat.size()).second)
        return Status::Failure(Fault::kRefused, "File already exits in \"FAT\"!", nomeArq);
    fat.push_back(SFat{nomeArq, Indice, Tam});
    return Status();
}

const TFat::SFat* TFat::Find(const char* nomeArq) const
{
    const auto it = index.find(nomeArq);
    return it == index.end() ? nullptr : &fat[it->second];
}

uint64_t TFat::Indice(const char* nomeArq) const
{
    const SFat* entry = Find(nomeArq);
    return entry != nullptr ? entry->Indice : 0;
}

uint32_t TFat::Tam(const char* nomeArq) const
{
    const SFat* entry = Find(nomeArq);
    return entry != nullptr ? entry->Tam : 0;
}
