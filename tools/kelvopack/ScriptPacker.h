// Compresses a setup's script while its members are being compressed,
// instead of after them while all but one core wait. The script is its
// settings, then one record per member in order, each naming the member's
// compressed size: its bytes up to record k are known once member k is
// written, and the coder streams, so the script compressed as it comes is
// the script compressed whole. The writer tells it each record as it is
// written and gives it a turn whenever it would wait for the workers.
#pragma once

#include "LzssEncoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class SetupPlan;

class ScriptPacker {
public:
    explicit ScriptPacker(const SetupPlan& plan);
    ScriptPacker(const ScriptPacker&) = delete;
    ScriptPacker& operator=(const ScriptPacker&) = delete;

    // Record k, the next one in order, compresses to `packed` bytes.
    void Known(size_t k, uint32_t packed);
    // One short turn of compressing what is known; false when there is too
    // little of it to be worth a turn.
    bool Step();
    // Whether every record was told, in order: the text is then the whole
    // script, the plan's Script() of the sizes told.
    bool Complete() const;
    const std::vector<uint8_t>& Text() const { return text_; }
    // Once complete, compresses what is left into *packed: the bytes of the
    // script compressed whole. False, with nothing written, otherwise (then
    // compress it whole).
    bool Finish(std::vector<uint8_t>* packed);

private:
    // Hands the encoder text up to `end`; `last`: that is the script's end.
    void Feed(size_t end, bool last);

    const SetupPlan& plan_;
    std::unique_ptr<LzssEncoder> encoder_;
    std::vector<uint8_t> text_;  // the script as far as it is known
    size_t next_ = 0;            // the record told next
    size_t fed_ = 0;             // bytes of text_ the encoder took
    std::vector<uint8_t> packed_;
    size_t written_ = 0;  // bytes of packed_ filled
    bool broken_ = false;
};
