#include "app/conversion_host.h"

#include "app/shell_texts.h"

#include <utility>

namespace vantor::app {

WindowConversionHost::WindowConversionHost(const LanguageTable& texts, platform::InputBox& input,
                                           platform::MessageBox& messages, ProgressHandler onProgress)
    : m_texts(texts), m_input(input), m_messages(messages), m_onProgress(std::move(onProgress))
{
}

std::string WindowConversionHost::askOutputName(const std::string& proposed)
{
    return m_input.ask(m_texts.entry(entry::kOutputNamePrompt), m_texts.entry(entry::kOutputNameTitle), proposed)
        .value_or(std::string());
}

bool WindowConversionHost::confirmOverwrite(const std::string& path)
{
    (void)path;  // the question names no file, as the language files word it
    return m_messages.askYesNo(overwriteQuestion(m_texts));
}

void WindowConversionHost::recordConverted(const convert::ConversionProgress& progress)
{
    if (m_onProgress) m_onProgress(progress);
}

}  // namespace vantor::app
