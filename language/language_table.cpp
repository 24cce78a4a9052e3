#include "language/language_table.h"

#include "text/text_codec.h"

#include <iterator>

namespace {
#include "english_texts.inc"
}  // namespace

namespace vantor::language {

LanguageTable LanguageTable::fromFileBytes(std::string bytes)
{
    const std::string text = text::decodeText(std::move(bytes));
    std::vector<std::string> entries;
    for (const std::string_view line : text::splitLines(text)) entries.emplace_back(line);
    return LanguageTable(std::move(entries));
}

const std::string& LanguageTable::entry(std::size_t k) const
{
    static const std::string kMissing;
    const bool present = k < m_entries.size();
    if (k >= entry::kFirstProgramText && (!present || m_entries[k].empty()) && this != &builtInEnglish())
        return builtInEnglish().entry(k);
    return present ? m_entries[k] : kMissing;
}

const LanguageTable& builtInEnglish()
{
    static const LanguageTable english =
        LanguageTable::fromFileBytes(std::string(std::begin(kEnglishLanguageFile), std::end(kEnglishLanguageFile)));
    return english;
}

std::optional<LanguageTable> readLanguageFile(const platform::FileSystem& files, const std::string& folder,
                                              const std::string& name, std::string* reason)
{
    auto bytes = files.readAll(folder + "/" + name, reason);
    if (!bytes) return std::nullopt;
    return LanguageTable::fromFileBytes(std::move(*bytes));
}

}  // namespace vantor::language
