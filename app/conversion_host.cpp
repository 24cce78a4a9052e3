#include "app/conversion_host.h"

#include "app/shell_texts.h"

#include <utility>

namespace vantor::app {

namespace entry = language::entry;
using language::LanguageTable;

WindowConversionHost::WindowConversionHost(const LanguageTable& texts, platform::InputBox& input,
                                           platform::MessageBox& messages)
    : m_texts(texts), m_input(input), m_messages(messages)
{
}

std::string WindowConversionHost::askOutputName(const std::string& proposed)
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

bool WindowConversionHost::confirmOverwrite(const std::string& path)
{
    (void)path;  // the question names no file, as the language files word it
    return m_messages.askYesNo(overwriteQuestion(m_texts));
}

WorkerConversionHost::WorkerConversionHost(std::string outputName, bool overwriteAgreed, RunControl& control)
    : m_outputName(std::move(outputName)), m_overwriteAgreed(overwriteAgreed), m_control(control)
{
}

std::string WorkerConversionHost::askOutputName(const std::string& proposed)
{
    (void)proposed;
    return m_outputName;
}

bool WorkerConversionHost::confirmOverwrite(const std::string& path)
{
    (void)path;
    return m_overwriteAgreed;
}

bool WorkerConversionHost::replacesUnasked() const { return m_overwriteAgreed; }

void WorkerConversionHost::recordConverted(const convert::ConversionProgress& progress)
{
    m_control.recordsDone.store(progress.recordsDone, std::memory_order_relaxed);
    m_control.bytesConsumed.store(progress.bytesConsumed, std::memory_order_relaxed);
    m_control.bytesTotal.store(progress.bytesTotal, std::memory_order_relaxed);
    if (m_control.stopRequested.load(std::memory_order_relaxed)) throw RunStopped{};
}

void WorkerConversionHost::beforePlacing()
{
    if (m_control.stopRequested.load(std::memory_order_relaxed)) throw RunStopped{};
}

}  // namespace vantor::app
