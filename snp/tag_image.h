#pragma once
// Tags over the memory image and the write requests: where a tag's raw bits
// come from after a pass's reads, and the one request that writes them.
#include <array>
#include <cstdint>

#include "snp/memory.h"
#include "snp/plc_writer.h"
#include "types/link_config.h"
#include "types/tag.h"

namespace tarnlight::snp {

// Per MemoryType: the area was read completely in this pass, so the image
// holds its fresh values.
using AreasRead = std::array<bool, kAreaCount>;

// The tag's raw bits as the image holds them: the bit (0/1), the word, or
// the word after the address as the high 16 bits and the word at it as the
// low ones. An address past the image reads 0.
uint32_t TagRawFromImage(const TagDefinition& tag, const MemoryImage& image);

// Its cells are fresh: the area it lies in was read in the pass. A 32-bit
// tag lies in one area, whose range holds both words (checked at Connect).
inline bool TagRead(const TagDefinition& tag, const AreasRead& areasRead) {
    return tag.area >= 0 && tag.area < kAreaCount && areasRead[static_cast<size_t>(tag.area)];
}

// Writes raw in one request: the one-bit write for BOOL, the one-word write
// for 16-bit tags, and both words of a 32-bit tag in one request of length
// 2, low word first, so the controller never sees a torn value.
WriteResult WriteTagRaw(PlcWriter& writer, const TagDefinition& tag, uint32_t raw);

}  // namespace tarnlight::snp
