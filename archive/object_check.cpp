#include "object_check.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vantor::archive {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kGroup = "SceneObjectGroup";
constexpr std::string_view kPart = "SceneObjectPart";

ObjectProblem problem(ObjectFault fault, std::string what, std::size_t offset)
{
    return {fault, std::move(what) + " at byte " + std::to_string(offset)};
}

bool isContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF)
{
    return byte >= low && byte <= high;
}

// The first byte that is no UTF-8, or the first character XML forbids. The loader decodes
// bytes that are no UTF-8 into replacement characters, so such an object would arrive altered.
std::optional<ObjectProblem> checkCharacters(std::string_view text, std::size_t base)
{
    const auto byteAt = [&text](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0; };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = byteAt(i);
        if (lead < 0x80) {
            if (lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r') {
                return problem(ObjectFault::InvalidCharacter, "control character " + std::to_string(lead), base + i);
            }
            ++i;
            continue;
        }
        std::size_t length = 0;
        bool valid = false;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            valid = isContinuation(byteAt(i + 1));
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
            const unsigned char high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
            valid = isContinuation(byteAt(i + 1), low, high) && isContinuation(byteAt(i + 2));
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
            valid = isContinuation(byteAt(i + 1), low, high) && isContinuation(byteAt(i + 2))
                 && isContinuation(byteAt(i + 3));
        }
        if (!valid) return problem(ObjectFault::NotUtf8, "a byte that is no UTF-8", base + i);
        if (length == 3 && lead == 0xEF && byteAt(i + 1) == 0xBF && (byteAt(i + 2) == 0xBE || byteAt(i + 2) == 0xBF)) {
            return problem(ObjectFault::InvalidCharacter, byteAt(i + 2) == 0xBE ? "U+FFFE" : "U+FFFF", base + i);
        }
        i += length;
    }
    return std::nullopt;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int hexValue(char c)
{
    if (isDigit(c)) return c - '0';
    return (c >= 'a' ? c - 'a' : c - 'A') + 10;
}

// Checks the reference that begins at text[at] ('&'); the length of the whole reference.
std::optional<ObjectProblem> checkReference(std::string_view text, std::size_t at, std::size_t base,
                                            std::size_t& length)
{
    const std::size_t end = text.find(';', at);
    if (end == std::string_view::npos) return problem(ObjectFault::NotWellFormed, "an '&' that begins no reference", base + at);
    const std::string_view body = text.substr(at + 1, end - at - 1);
    length = end - at + 1;
    if (body == "amp" || body == "lt" || body == "gt" || body == "quot" || body == "apos") return std::nullopt;
    if (body.starts_with('#')) {
        const bool hex = body.size() > 1 && body[1] == 'x';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return problem(ObjectFault::NotWellFormed, "a character reference without digits", base + at);
        std::uint32_t value = 0;
        for (const char c : digits) {
            if (hex ? !isHexDigit(c) : !isDigit(c)) {
                return problem(ObjectFault::NotWellFormed, "a character reference with a stray character", base + at);
            }
            value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(hex ? hexValue(c) : c - '0');
            if (value > 0x10FFFF) break;
        }
        // OpenSim's reader takes references to other characters XML forbids (&#0;, &#xFFFE;),
        // but not these: it cannot make a string of them.
        if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return problem(ObjectFault::InvalidCharacter, "a reference to no character", base + at);
        }
        return std::nullopt;
    }
    const bool name = !body.empty() && std::all_of(body.begin(), body.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '_' || c == '-' || c == '.'
            || static_cast<unsigned char>(c) >= 0x80;
    });
    if (!name) return problem(ObjectFault::NotWellFormed, "an '&' that begins no reference", base + at);
    return problem(ObjectFault::NotWellFormed, "the undeclared entity &" + std::string(body) + ";", base + at);
}

// Checks raw text (element text or an attribute value, references not yet decoded) found at
// byte base of the document.
std::optional<ObjectProblem> checkRawText(std::string_view text, std::size_t base, bool attribute)
{
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '&') {
            std::size_t length = 1;
            if (auto found = checkReference(text, i, base, length)) return found;
            i += length;
            continue;
        }
        if (attribute && c == '<') return problem(ObjectFault::NotWellFormed, "a '<' in an attribute value", base + i);
        if (!attribute && c == ']' && text.substr(i, 3) == "]]>") {
            return problem(ObjectFault::NotWellFormed, "']]>' in element text", base + i);
        }
        ++i;
    }
    return std::nullopt;
}

// A qualified name's prefix, empty without one; nothing when its colons are misplaced.
std::optional<std::string_view> prefixOf(std::string_view name)
{
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos) return std::string_view{};
    if (colon == 0 || colon + 1 == name.size() || name.find(':', colon + 1) != std::string_view::npos) return std::nullopt;
    return name.substr(0, colon);
}

// Walks a parsed document (parsed in place from buffer, so that every name and value points
// into it and gives its offset) and checks what the parser lets pass.
class TreeCheck {
public:
    // base: where the buffer begins in the document.
    TreeCheck(const char* buffer, std::size_t base) : m_buffer(buffer), m_base(base) {}

    std::optional<ObjectProblem> run(const pugi::xml_document& document, std::string_view text)
    {
        if (auto found = checkTopLevel(document, text)) return found;
        // Depth-first, without recursion: a deeply nested document must not exhaust the stack.
        pugi::xml_node node = document.first_child();
        std::size_t depth = 0;
        while (node) {
            if (auto found = checkNode(node, depth)) return found;
            if (node.first_child()) {
                node = node.first_child();
                ++depth;
                continue;
            }
            while (node && !node.next_sibling()) {
                node = node.parent();
                if (node == document) return m_partSeen ? std::nullopt : noParts();
                --depth;
            }
            node = node.next_sibling();
        }
        return m_partSeen ? std::nullopt : noParts();
    }

private:
    std::size_t offsetOf(const char* text) const { return m_base + static_cast<std::size_t>(text - m_buffer); }

    static std::optional<ObjectProblem> noParts()
    {
        return ObjectProblem{ObjectFault::NoParts, "the group holds no SceneObjectPart"};
    }

    std::optional<ObjectProblem> checkTopLevel(const pugi::xml_document& document, std::string_view text) const
    {
        std::size_t elements = 0;
        std::size_t declarations = 0;
        pugi::xml_node root;
        for (const pugi::xml_node child : document.children()) {
            switch (child.type()) {
            case pugi::node_element:
                ++elements;
                root = child;
                break;
            case pugi::node_declaration:
                ++declarations;
                if (declarations > 1 || child != document.first_child() || !text.starts_with("<?xml")) {
                    return ObjectProblem{ObjectFault::NotWellFormed, "an XML declaration that does not open the document"};
                }
                if (std::string_view(child.first_attribute().name()) != "version") {
                    return ObjectProblem{ObjectFault::NotWellFormed, "an XML declaration without its version"};
                }
                break;
            case pugi::node_doctype:
                return problem(ObjectFault::DocumentType, "a document type declaration", offsetOf(child.value()));
            case pugi::node_pcdata:
            case pugi::node_cdata:
                return problem(ObjectFault::NotOneGroup, "text outside the group", offsetOf(child.value()));
            default:
                break;
            }
        }
        if (elements == 0) return ObjectProblem{ObjectFault::NotOneGroup, "no element"};
        if (elements > 1) return ObjectProblem{ObjectFault::NotOneGroup, std::to_string(elements) + " elements side by side"};
        if (std::string_view(root.name()) != kGroup) {
            return problem(ObjectFault::NotOneGroup, "the element " + std::string(root.name()) + " instead of a group",
                           offsetOf(root.name()));
        }
        return std::nullopt;
    }

    std::optional<ObjectProblem> checkNode(const pugi::xml_node& node, std::size_t depth)
    {
        switch (node.type()) {
        case pugi::node_element:
            return checkElement(node, depth);
        case pugi::node_pcdata:
            return checkRawText(node.value(), offsetOf(node.value()), false);
        case pugi::node_comment: {
            const std::string_view text = node.value();
            if (text.find("--") != std::string_view::npos || text.ends_with('-')) {
                return problem(ObjectFault::NotWellFormed, "'--' inside a comment", offsetOf(node.value()));
            }
            return std::nullopt;
        }
        case pugi::node_pi: {
            std::string target = node.name();
            std::transform(target.begin(), target.end(), target.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
            if (target == "xml") return problem(ObjectFault::NotWellFormed, "a reserved processing instruction", offsetOf(node.name()));
            return std::nullopt;
        }
        default:
            return std::nullopt;
        }
    }

    std::optional<ObjectProblem> checkElement(const pugi::xml_node& element, std::size_t depth)
    {
        const std::string_view name = element.name();
        if (depth > 0 && name == kGroup) return problem(ObjectFault::NotOneGroup, "a group inside the group", offsetOf(element.name()));
        if (name == kPart) m_partSeen = true;

        // The prefixes declared by elements that are not this one's ancestors are out of scope.
        while (!m_prefixes.empty() && m_prefixes.back().second >= depth) m_prefixes.pop_back();
        m_attributeNames.clear();
        for (const pugi::xml_attribute attribute : element.attributes()) {
            const std::string_view attributeName = attribute.name();
            m_attributeNames.push_back(attributeName);
            if (attributeName.starts_with("xmlns:")) m_prefixes.emplace_back(attributeName.substr(6), depth);
            if (auto found = checkRawText(attribute.value(), offsetOf(attribute.value()), true)) return found;
        }
        std::sort(m_attributeNames.begin(), m_attributeNames.end());
        const auto twice = std::adjacent_find(m_attributeNames.begin(), m_attributeNames.end());
        if (twice != m_attributeNames.end()) {
            return problem(ObjectFault::NotWellFormed, "the attribute " + std::string(*twice) + " given twice", offsetOf(twice->data()));
        }

        if (auto found = checkPrefix(name, false)) return found;
        for (const pugi::xml_attribute attribute : element.attributes()) {
            if (auto found = checkPrefix(attribute.name(), true)) return found;
        }
        return std::nullopt;
    }

    std::optional<ObjectProblem> checkPrefix(std::string_view name, bool attribute) const
    {
        const auto prefix = prefixOf(name);
        if (!prefix) return problem(ObjectFault::NotWellFormed, "the name " + std::string(name) + " with misplaced colons", offsetOf(name.data()));
        if (prefix->empty() || *prefix == "xml" || (attribute && *prefix == "xmlns")) return std::nullopt;
        const bool declared = std::any_of(m_prefixes.begin(), m_prefixes.end(),
                                          [&prefix](const auto& entry) { return entry.first == *prefix; });
        if (declared) return std::nullopt;
        return problem(ObjectFault::NotWellFormed, "the undeclared namespace prefix " + std::string(*prefix), offsetOf(name.data()));
    }

    const char* m_buffer;
    std::size_t m_base;
    bool m_partSeen = false;
    std::vector<std::pair<std::string_view, std::size_t>> m_prefixes;  // declared prefix, depth of its element
    std::vector<std::string_view> m_attributeNames;
};

}  // namespace

std::string_view withoutByteOrderMark(std::string_view document)
{
    if (document.starts_with(kByteOrderMark)) document.remove_prefix(kByteOrderMark.size());
    return document;
}

std::optional<ObjectProblem> checkObject(std::string_view document)
{
    if (document.size() > kLargestObjectBytes) {
        return ObjectProblem{ObjectFault::TooLarge, std::to_string(document.size()) + " bytes"};
    }
    const std::string_view text = withoutByteOrderMark(document);
    const std::size_t skipped = document.size() - text.size();
    if (auto found = checkCharacters(text, skipped)) return found;

    // Parsed in place from a copy, without decoding references or line ends, so that every
    // value is the document's own text at its own offset. As a fragment, so that the parser
    // keeps text outside the root element instead of dropping it.
    std::string buffer(text);
    pugi::xml_document parsed;
    constexpr unsigned kParse = pugi::parse_cdata | pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration
                              | pugi::parse_doctype | pugi::parse_fragment;
    const pugi::xml_parse_result result = parsed.load_buffer_inplace(buffer.data(), buffer.size(), kParse, pugi::encoding_utf8);
    if (!result) return problem(ObjectFault::NotWellFormed, result.description(), skipped + static_cast<std::size_t>(result.offset));
    return TreeCheck(buffer.data(), skipped).run(parsed, text);
}

}  // namespace vantor::archive
