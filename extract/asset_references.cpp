#include "asset_references.h"

#include <pugixml.hpp>

#include <algorithm>
#include <utility>

namespace vantor::extract {

namespace {

constexpr std::size_t kUuidTextLength = 36;

// The value of a hexadecimal digit, or -1.
int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value of a base64 character, or -1.
int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The shortest base64 text that can hold 16 bytes.
constexpr std::size_t kShortestBase64Uuid = 22;

}  // namespace

std::optional<UuidBytes> uuidBytes(std::string_view text)
{
    if (text.size() != kUuidTextLength) return std::nullopt;
    UuidBytes bytes{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[at++] = static_cast<unsigned char>(high * 16 + low);
        i += 2;
    }
    return bytes;
}

std::optional<std::string> decodeBase64(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 2);
    unsigned bits = 0;
    int held = 0;  // bits held in `bits`
    std::size_t characters = 0;
    bool padded = false;
    for (const char c : text) {
        if (isBlank(c)) continue;
        if (c == '=') {
            padded = true;
            continue;
        }
        const int value = base64Value(c);
        if (value < 0 || padded) return std::nullopt;
        ++characters;
        bits = (bits << 6) | static_cast<unsigned>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes += static_cast<char>((bits >> held) & 0xFFu);
        }
    }
    if (characters % 4 == 1) return std::nullopt;
    return bytes;
}

AssetReferences::AssetReferences(std::vector<UuidBytes> known) : m_known(std::move(known))
{
    std::sort(m_known.begin(), m_known.end());
    m_known.erase(std::unique(m_known.begin(), m_known.end()), m_known.end());
    m_referenced.assign(m_known.size(), false);
}

void AssetReferences::mark(const UuidBytes& uuid)
{
    const auto found = std::lower_bound(m_known.begin(), m_known.end(), uuid);
    if (found == m_known.end() || *found != uuid) return;
    const auto k = static_cast<std::size_t>(found - m_known.begin());
    if (!m_referenced[k]) {
        m_referenced[k] = true;
        ++m_referencedCount;
    }
}

bool AssetReferences::isReferenced(const UuidBytes& uuid) const
{
    const auto found = std::lower_bound(m_known.begin(), m_known.end(), uuid);
    return found != m_known.end() && *found == uuid && m_referenced[static_cast<std::size_t>(found - m_known.begin())];
}

void AssetReferences::scanText(std::string_view text)
{
    for (std::size_t dash = text.find('-', 8); dash != std::string_view::npos; dash = text.find('-', dash + 1)) {
        // Each '-' may be the first of a UUID's four.
        if (dash < 8 || text.size() - (dash - 8) < kUuidTextLength) continue;
        if (const auto uuid = uuidBytes(text.substr(dash - 8, kUuidTextLength))) mark(*uuid);
    }
}

void AssetReferences::scanBytes(std::string_view bytes)
{
    UuidBytes window{};
    for (std::size_t at = 0; at + window.size() <= bytes.size(); ++at) {
        std::copy_n(bytes.data() + at, window.size(), reinterpret_cast<char*>(window.data()));
        mark(window);
    }
}

void AssetReferences::scan(std::string_view object)
{
    if (m_known.empty()) return;
    scanText(object);
    pugi::xml_document document;
    if (!document.load_buffer(object.data(), object.size(), pugi::parse_default, pugi::encoding_utf8)) return;
    struct Walker final : pugi::xml_tree_walker {
        AssetReferences& references;
        explicit Walker(AssetReferences& owner) : references(owner) {}
        bool for_each(pugi::xml_node& node) override
        {
            if (node.type() != pugi::node_pcdata && node.type() != pugi::node_cdata) return true;
            const std::string_view value = node.value();
            if (value.size() < kShortestBase64Uuid) return true;
            if (const auto bytes = decodeBase64(value)) references.scanBytes(*bytes);
            return true;
        }
    } walker(*this);
    document.traverse(walker);
}

}  // namespace vantor::extract
