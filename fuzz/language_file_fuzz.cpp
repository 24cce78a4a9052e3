// The language file loader: any bytes give a table of UTF-8 entries, one per line of the
// decoded text (a line ends at CR LF, a lone CR or a lone LF); a file in UTF-8 is taken as it
// is; every entry the program asks for can be read, missing program texts being English.

#include "fuzz/fuzz_support.h"
#include "language/language_table.h"
#include "text/text_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace vantor;
using fuzz::check;

const char* const vantor::fuzz::kTargetName = "language file";

namespace {

// The lines of text, cut character by character; a last line without a line end counts
// when it is not empty.
std::vector<std::string> linesOf(std::string_view text)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line += text[i];
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const language::LanguageTable table = language::LanguageTable::fromFileBytes(std::string(bytes));

    const std::string decoded = text::decodeText(std::string(bytes));
    check(text::isValidUtf8(decoded), "the decoded text is UTF-8");
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (text::isValidUtf8(bytes)) check(decoded == bytes, "a UTF-8 file is taken as it is");

    const std::vector<std::string> lines = linesOf(decoded);
    check(table.size() == lines.size(), "one entry per line");
    const language::LanguageTable& english = language::builtInEnglish();
    for (std::size_t k = 0; k <= language::entry::kLastProgramText + 1; ++k) {
        const std::string& entry = table.entry(k);
        const std::string line = k < lines.size() ? lines[k] : std::string();
        if (k >= language::entry::kFirstProgramText && line.empty()) {
            check(entry == english.entry(k), "a program text the file lacks is the English one");
        } else {
            check(entry == line, "an entry is its line");
        }
    }
    return 0;
}
