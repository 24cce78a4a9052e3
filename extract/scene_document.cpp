#include "scene_document.h"


namespace vantor::extract {

namespace {

constexpr std::string_view kOpenGroup = "<SceneObjectGroup";
constexpr std::string_view kCloseGroup = "</SceneObjectGroup";

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

    // Takes one SceneObjectGroup element up to its closing tag, or nothing.
    std::optional<std::string_view> takeGroup()
    {
        const std::string_view r = rest();
        if (!r.starts_with(kOpenGroup) || r.size() == kOpenGroup.size()) return std::nullopt;
        const char after = r[kOpenGroup.size()];
        if (after != '>' && !isBlank(after)) return std::nullopt;
        const std::size_t close = findByRareByte(m_text, m_at, kCloseGroup, kCloseGroup.find('j'));
        if (close == std::string_view::npos) return std::nullopt;
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

std::optional<std::vector<std::string_view>> splitSceneDocument(std::string_view text)
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
    }
    if (!cursor.skipBlanks() || !cursor.atEnd()) return std::nullopt;
    return groups;
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
