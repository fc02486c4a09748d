#include "snp/tag_image.h"

namespace tarnlight::snp {

uint32_t TagRawFromImage(const TagDefinition& tag, const MemoryImage& image) {
    const auto word = [&](uint32_t address) -> uint32_t {
        const auto& words = image.words[static_cast<size_t>(tag.area - kAI)];
        return address < words.size() ? words[address] : 0u;
    };
    if (IsBitArea(tag.area)) {
        const auto& bits = image.bits[static_cast<size_t>(tag.area)];
        return tag.address < bits.size() && bits[tag.address] != 0 ? 1u : 0u;
    }
    if (!IsWordArea(tag.area)) return 0;
    if (TagWordCount(tag.type) == 1) return word(tag.address);
    return word(tag.address + 1u) << 16 | word(tag.address);
}

WriteResult WriteTagRaw(PlcWriter& writer, const TagDefinition& tag, uint32_t raw) {
    if (IsBitArea(tag.area)) return writer.WriteBit(tag.address, raw != 0 ? 1 : 0, tag.area);
    const int area = tag.area - kAI;
    if (TagWordCount(tag.type) == 1)
        return writer.WriteWord(tag.address, static_cast<uint16_t>(raw & 0xFFFF), area);
    const uint16_t words[2] = {static_cast<uint16_t>(raw & 0xFFFF),
                               static_cast<uint16_t>(raw >> 16)};
    return writer.WriteWords(tag.address, words, 2, area);
}

}  // namespace tarnlight::snp
