#include "ScriptPacker.h"

#include "SetupPlan.h"

#include <algorithm>

namespace {

// A turn's text: a few milliseconds of coding, so that chunks waiting for
// the writer wait no longer.
constexpr size_t kTurn = size_t(16) << 10;

}  // namespace

ScriptPacker::ScriptPacker(const SetupPlan& plan)
    : plan_(plan), encoder_(std::make_unique<LzssEncoder>()), text_(plan.ScriptHead())
{
}

void ScriptPacker::Known(size_t k, uint32_t packed)
{
    if (k != next_) {
        broken_ = true;  // out of order: Finish compresses the script whole
        return;
    }
    plan_.AppendScriptRecord(k, packed, &text_);
    ++next_;
}

void ScriptPacker::Feed(size_t end, bool last)
{
    while (!encoder_->Finished()) {
        const size_t n = std::min(end - fed_, kTurn);
        const size_t room = lzss::CompressBound(n) + lzss::kMaxGroupSize + 1;
        if (packed_.size() - written_ < room)
            packed_.resize(std::max(written_ + room, packed_.size() * 2));
        size_t consumed = 0;
        written_ += encoder_->Encode(text_.data() + fed_, n, last && fed_ + n == end, packed_.data() + written_,
                                     packed_.size() - written_, &consumed);
        fed_ += consumed;
        if (!last && (consumed == 0 || fed_ == end))
            return;
    }
}

bool ScriptPacker::Step()
{
    if (broken_ || text_.size() - fed_ < kTurn)
        return false;
    Feed(fed_ + kTurn, false);
    return true;
}

bool ScriptPacker::Complete() const
{
    return !broken_ && next_ == plan_.Records().size();
}

bool ScriptPacker::Finish(std::vector<uint8_t>* packed)
{
    if (!Complete() || encoder_->Finished())
        return false;
    Feed(text_.size(), true);
    packed_.resize(written_);
    *packed = std::move(packed_);
    broken_ = true;  // spent
    return true;
}
