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

// The tag's raw bits as the image holds them: the bit (0/1), the word, or
// the word after the address as the high 16 bits and the word at it as the
// low ones. An address past the image reads 0.
uint32_t TagRawFromImage(const TagDefinition& tag, const MemoryImage& image);

// Writes raw in one request: the one-bit write for BOOL, the one-word write
// for 16-bit tags, and both words of a 32-bit tag in one request of length
// 2, low word first, so the controller never sees a torn value.
WriteResult WriteTagRaw(PlcWriter& writer, const TagDefinition& tag, uint32_t raw);

}  // namespace tarnlight::snp
