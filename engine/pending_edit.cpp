// The manual write of the Edit page, performed by the worker.
#include <cstdio>

#include "engine/engine.h"

namespace tarnlight {

namespace {

// "W26: flow = 400000 does not fit INT".
std::string BadTagValueText(const TagDefinition& tag, double value, TagEncodeResult result) {
    char number[32];
    std::snprintf(number, sizeof number, "%.9g", value);
    std::string text = "W26: " + tag.name + " = " + number;
    if (result == TagEncodeResult::NotANumber) return text + " is not a number";
    return text + " does not fit " + TagTypeName(tag.type);
}

}  // namespace

void Engine::ClearPendingEdit(uint32_t generation) {
    // Clear, then look again: an Apply whose generation step came after the
    // inputs were read raises the flag again (its own raise may still be on
    // its way), so its values are written in the next cycle. Apply steps the
    // generation before it raises the flag, so no order of the two threads
    // leaves a newer request cleared.
    flags_.pendingEdit = 0;
    if (editGeneration_.load() != generation) flags_.pendingEdit = 1;
}

bool Engine::PerformPendingEdit() {
    // Nothing pending: Apply is enabled already, so there is nothing to do or
    // to show (re-enabling it every cycle would only flood the window).
    if (!flags_.pendingEdit) return true;

    // The values the page shows now, not when Apply was pressed. An Apply
    // pressed from here on may carry values this write does not see.
    const uint32_t generation = editGeneration_.load();
    const EditInputs in = window_.ReadEditInputs();
    if (!in.tagName.empty()) return PerformTagEdit(in, generation);
    const bool validType = in.memType >= snp::kI && in.memType <= snp::kAQ;
    if (!validType || in.address < 1 || in.address > 0xFFFF) {
        // Not a cell any request can address (the page's controls never give
        // this): drop the request instead of failing the link over and over.
        ClearPendingEdit(generation);
        window_.SetEnabled(Control::Butt_UpdateMem, true);
        return true;
    }

    const auto address = static_cast<uint16_t>(in.address);
    snp::WriteResult result;
    if (snp::IsBitArea(in.memType)) {
        result = writer_.WriteBit(address, in.bitValue ? 1 : 0, in.memType);
    } else {
        // Low 16 bits: 65535 and -1 write the same word.
        result = writer_.WriteWord(address, static_cast<uint16_t>(in.wordValue & 0xFFFF),
                                   in.memType - snp::kAI);
    }
    return EndEdit(result, generation);
}

bool Engine::PerformTagEdit(const EditInputs& in, uint32_t generation) {
    const int index = FindTag(config_.tags, in.tagName);
    uint32_t raw = 0;
    const TagEncodeResult encoded = index >= 0
                                        ? TagRawFromValue(config_.tags[index], in.tagValue, &raw)
                                        : TagEncodeResult::OutOfRange;
    if (encoded != TagEncodeResult::Ok) {
        // Refused as the page refuses it: never written, never tried again.
        // A name this link does not know (a list from before Connect) is
        // dropped like a cell no request can address.
        ClearPendingEdit(generation);
        if (index >= 0) ShowMessage(BadTagValueText(config_.tags[index], in.tagValue, encoded));
        window_.SetEnabled(Control::Butt_UpdateMem, true);
        return true;
    }
    return EndEdit(snp::WriteTagRaw(writer_, config_.tags[index], raw), generation);
}

bool Engine::EndEdit(snp::WriteResult result, uint32_t generation) {
    // A refused write is over too (the refusal is in the message panel):
    // sending it again would get the same answer. Clear the flag before
    // Apply comes back, so an Apply pressed right after the write raises it
    // again and is not lost.
    const bool linkUp = result != snp::WriteResult::Failed;
    if (linkUp) ClearPendingEdit(generation);
    window_.SetEnabled(Control::Butt_UpdateMem, true);
    flags_.linkLost = linkUp ? 0 : 1;
    return linkUp;
}

}  // namespace tarnlight
