#include "text/strings.h"

namespace vantor::text {

std::string removeAll(std::string text, std::string_view what)
{
    if (what.empty()) return text;
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        result.append(text, from, at - from);
        from = at + what.size();
    }
    result.append(text, from, std::string::npos);
    return result;
}

std::string messageExcerpt(std::string_view text, std::size_t length)
{
    // Counts the bytes that begin a character (every byte but the continuation bytes
    // 10xxxxxx); the excerpt ends before the first byte of character length + 1.
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
        if (characters == length) return std::string(text.substr(0, at)) + "\xE2\x80\xA6";
        ++characters;
    }
    return std::string(text);
}

bool isDottedIpv4(std::string_view text)
{
    std::size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
        const std::size_t start = i;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) {
            value = value * 10 + (text[i] - '0');
            ++i;
        }
        const std::size_t digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
    }
    return i == text.size();
}

std::optional<std::string> parseDottedIpv4(std::string_view answer)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!answer.empty() && isBlank(answer.front())) answer.remove_prefix(1);
    while (!answer.empty() && isBlank(answer.back())) answer.remove_suffix(1);
    if (!isDottedIpv4(answer)) return std::nullopt;
    return std::string(answer);
}

}  // namespace vantor::text
