#include "app/conversion_host.h"

#include "app/shell_texts.h"

namespace vantor::app {

namespace entry = language::entry;
using language::LanguageTable;

ConversionQuestions::ConversionQuestions(const LanguageTable& texts, platform::InputBox& input,
                                         platform::MessageBox& messages)
    : m_texts(texts), m_input(input), m_messages(messages)
{
}

std::string ConversionQuestions::askOutputName(const std::string& proposed)
{
    std::string proposal = withoutXmlExtension(proposed);
    while (true) {
        const auto answer =
            m_input.ask(m_texts.entry(entry::kOutputNamePrompt), m_texts.entry(entry::kOutputNameTitle), proposal);
        if (!answer || answer->empty()) return {};
        if (convert::isAcceptableOutputName(*answer)) return *answer;
        m_messages.showMessage(m_texts.entry(entry::kOutputNameRefused));
        proposal = *answer;
    }
}

// The question names no file, as the language files word it.
bool ConversionQuestions::confirmOverwrite() { return m_messages.askYesNo(overwriteQuestion(m_texts)); }

convert::ProgressCallback RunControl::progressCallback()
{
    return [this](const convert::ConversionProgress& progress) {
        recordsDone.store(progress.recordsDone, std::memory_order_relaxed);
        bytesConsumed.store(progress.bytesConsumed, std::memory_order_relaxed);
        bytesTotal.store(progress.bytesTotal, std::memory_order_relaxed);
        return !stopRequested.load(std::memory_order_relaxed);
    };
}

}  // namespace vantor::app
