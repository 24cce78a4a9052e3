#include "scene_document.h"

#include <pugixml.hpp>

#include <cstddef>

namespace vantor::extract {

namespace {

constexpr std::string_view kOpenGroup = "<SceneObjectGroup";
constexpr std::string_view kCloseGroup = "</SceneObjectGroup";
constexpr std::string_view kGroupName = "SceneObjectGroup";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads the text of a scene document from left to right.
class DocumentCursor {
public:
    explicit DocumentCursor(std::string_view text) : m_text(text) {}

    // Skips blanks, line ends and comments; false when a comment is not closed.
    bool skipBlanks()
    {
        for (;;) {
            while (m_at < m_text.size() && isBlank(m_text[m_at])) ++m_at;
            if (!rest().starts_with("<!--")) return true;
            const std::size_t end = m_text.find("-->", m_at + 4);
            if (end == std::string_view::npos) return false;
            m_at = end + 3;
        }
    }

    // Takes "<name" followed by blanks and ">"; false (taking nothing) otherwise.
    bool takeTag(std::string_view name)
    {
        if (!rest().starts_with(name)) return false;
        std::size_t at = m_at + name.size();
        while (at < m_text.size() && isBlank(m_text[at])) ++at;
        if (at >= m_text.size() || m_text[at] != '>') return false;
        m_at = at + 1;
        return true;
    }

    bool takeDeclaration()
    {
        if (!rest().starts_with("<?xml")) return true;
        const std::size_t end = m_text.find("?>", m_at);
        if (end == std::string_view::npos) return false;
        m_at = end + 2;
        return true;
    }

    // Takes one SceneObjectGroup element up to its closing tag, or nothing. Nothing too when
    // another SceneObjectGroup opens before it closes: objects do not nest, so the element is
    // cut off (a line that ends inside a tag, followed by the next object's line).
    std::optional<std::string_view> takeGroup()
    {
        const std::string_view r = rest();
        if (!r.starts_with(kOpenGroup) || r.size() == kOpenGroup.size()) return std::nullopt;
        const char after = r[kOpenGroup.size()];
        if (after != '>' && !isBlank(after)) return std::nullopt;
        std::size_t close = std::string_view::npos;
        for (std::size_t at = m_at + kOpenGroup.size();;) {
            const std::size_t name = findByRareByte(m_text, at, kGroupName, kGroupName.find('j'));
            if (name == std::string_view::npos) return std::nullopt;
            if (name >= 2 && m_text.substr(name - 2, 2) == "</") {
                close = name - 2;
                break;
            }
            const std::size_t next = name + kGroupName.size();
            if (m_text[name - 1] == '<' && next < m_text.size()
                && (m_text[next] == '>' || m_text[next] == '/' || isBlank(m_text[next]))) {
                return std::nullopt;
            }
            at = name + 1;
        }
        std::size_t end = close + kCloseGroup.size();
        while (end < m_text.size() && isBlank(m_text[end])) ++end;
        if (end >= m_text.size() || m_text[end] != '>') return std::nullopt;
        const std::string_view group = m_text.substr(m_at, end + 1 - m_at);
        m_at = end + 1;
        return group;
    }

    [[nodiscard]] bool atEnd() const { return m_at == m_text.size(); }
    [[nodiscard]] std::string_view rest() const { return m_text.substr(m_at); }

private:
    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

bool isOneObjectLine(std::string_view line)
{
    return line.starts_with("<SceneObjectGroup>") && line.ends_with("</SceneObjectGroup>");
}

std::optional<std::vector<std::string_view>> splitSceneDocument(std::string_view text,
                                                                const std::function<void(std::string_view)>& found)
{
    DocumentCursor cursor(text);
    if (!cursor.skipBlanks() || !cursor.takeDeclaration() || !cursor.skipBlanks()) return std::nullopt;
    if (!cursor.takeTag("<scene")) return std::nullopt;
    std::vector<std::string_view> groups;
    for (;;) {
        if (!cursor.skipBlanks()) return std::nullopt;
        if (cursor.takeTag("</scene")) break;
        const auto group = cursor.takeGroup();
        if (!group) return std::nullopt;
        groups.push_back(*group);
        if (found) found(*group);
    }
    if (!cursor.skipBlanks() || !cursor.atEnd()) return std::nullopt;
    return groups;
}

std::optional<std::vector<std::string_view>> findSceneObjects(std::string_view text)
{
    // Nothing of the text is changed while it is parsed (no entity or line-end translation),
    // so every node's offset is its offset in text; comments, CDATA sections and processing
    // instructions become nodes, so that no closing tag inside them is taken for an object's.
    constexpr unsigned kOptions = pugi::parse_comments | pugi::parse_cdata | pugi::parse_pi | pugi::parse_doctype;
    pugi::xml_document document;
    if (!document.load_buffer(text.data(), text.size(), kOptions, pugi::encoding_utf8)) return std::nullopt;
    pugi::xml_node scene;
    for (const pugi::xml_node node : document.children()) {
        if (node.type() != pugi::node_element) continue;
        if (scene) return std::nullopt;  // a second root: not one document
        scene = node;
    }
    if (!scene || std::string_view(scene.name()) != "scene") return std::nullopt;
    // An element's offset is that of its name, just after its "<"; other nodes' is that of
    // their text, after the markup that opens them. Either way an object ends before it.
    const std::size_t sceneEnd = text.rfind("</scene");
    std::vector<std::string_view> objects;
    for (pugi::xml_node node = scene.first_child(); node; node = node.next_sibling()) {
        if (node.type() != pugi::node_element || std::string_view(node.name()) != kGroupName) continue;
        const std::ptrdiff_t nameAt = node.offset_debug();
        const pugi::xml_node next = node.next_sibling();
        const std::ptrdiff_t limit = next ? next.offset_debug() : static_cast<std::ptrdiff_t>(sceneEnd);
        if (nameAt < 1 || limit < nameAt) return std::nullopt;
        const auto start = static_cast<std::size_t>(nameAt) - 1;
        const std::string_view span = text.substr(start, static_cast<std::size_t>(limit) - start);
        // A self-closing element is an object without parts, which its reading reports.
        std::size_t end = span.rfind(kCloseGroup);
        end = end == std::string_view::npos ? span.find("/>") : span.find('>', end);
        if (end == std::string_view::npos) return std::nullopt;
        objects.push_back(span.substr(0, end + 1));
    }
    return objects;
}

std::size_t findByRareByte(std::string_view text, std::size_t from, std::string_view needle, std::size_t rare)
{
    for (std::size_t at = from + rare; at < text.size();) {
        const std::size_t hit = text.find(needle[rare], at);
        if (hit == std::string_view::npos) break;
        const std::size_t start = hit - rare;
        if (text.substr(start, needle.size()) == needle) return start;
        at = hit + 1;
    }
    return std::string_view::npos;
}

std::size_t lineNumberAt(std::string_view text, std::size_t offset)
{
    std::size_t line = 1;
    const std::string_view before = text.substr(0, offset);
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] == '\n') {
            ++line;
        } else if (before[i] == '\r') {
            ++line;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    return line;
}

}  // namespace vantor::extract
