#include "types/db_tls.h"

#include <array>
#include <cctype>

namespace tarnlight {
namespace {

constexpr std::array<const char*, 5> kNames = {"DISABLED", "PREFERRED", "REQUIRED", "VERIFY_CA",
                                               "VERIFY_IDENTITY"};

}  // namespace

const char* SslModeName(SslMode mode) {
    const auto index = static_cast<size_t>(mode);
    return index < kNames.size() ? kNames[index] : "?";
}

std::optional<SslMode> ParseSslMode(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    for (size_t i = 0; i < kNames.size(); ++i) {
        const std::string_view name = kNames[i];
        if (name.size() != text.size()) continue;
        bool same = true;
        for (size_t c = 0; c < name.size() && same; ++c)
            same = std::toupper(static_cast<unsigned char>(text[c])) == name[c];
        if (same) return static_cast<SslMode>(i);
    }
    return std::nullopt;
}

}  // namespace tarnlight
