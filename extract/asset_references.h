#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::extract {

// A UUID as 16 bytes, in the order of its hexadecimal digits: the order in which OpenSim
// writes UUIDs into binary values such as texture entries.
using UuidBytes = std::array<unsigned char, 16>;

// The bytes of a UUID written as 8-4-4-4-12 hexadecimal digits (any letter case); nothing
// for any other text.
[[nodiscard]] std::optional<UuidBytes> uuidBytes(std::string_view text);

// The bytes that base64 text stands for (the standard alphabet, '=' padding optional, blanks
// and line breaks anywhere ignored); nothing when the text holds anything else, or ends in a
// lone character.
[[nodiscard]] std::optional<std::string> decodeBase64(std::string_view text);

// Which of an archive's assets a set of objects refers to. An object refers to an asset when
// the asset's UUID appears in its text, or when the UUID's 16 bytes appear in the decoded
// base64 text of any of its elements: texture entries and sculpt maps hold UUIDs in binary.
// Only the known UUIDs are held, never the objects' decoded values.
class AssetReferences {
public:
    // known: the UUIDs of the assets that can be referred to (repeats allowed).
    explicit AssetReferences(std::vector<UuidBytes> known);

    // Marks the known assets that object refers to. An object that is no XML is searched as
    // text only.
    void scan(std::string_view object);

    [[nodiscard]] bool isReferenced(const UuidBytes& uuid) const;
    [[nodiscard]] std::size_t referencedCount() const { return m_referencedCount; }
    [[nodiscard]] bool empty() const { return m_known.empty(); }

private:
    void mark(const UuidBytes& uuid);
    void scanText(std::string_view text);
    void scanBytes(std::string_view bytes);

    std::vector<UuidBytes> m_known;  // sorted, each once
    std::vector<bool> m_referenced;  // beside m_known
    std::size_t m_referencedCount = 0;
};

}  // namespace vantor::extract
