#pragma once

#include "app/language_table.h"
#include "convert/conversion_run.h"
#include "platform/input_box.h"
#include "platform/message_box.h"

#include <functional>
#include <string>

namespace vantor::app {

// The main window's side of a conversion run: the name question and the overwrite question
// worded from the language table, and progress passed on between records.
class WindowConversionHost final : public convert::ConversionHost {
public:
    using ProgressHandler = std::function<void(const convert::ConversionProgress&)>;

    WindowConversionHost(const LanguageTable& texts, platform::InputBox& input, platform::MessageBox& messages,
                         ProgressHandler onProgress = {});

    // Asks with entry 18 as prompt and entry 19 as title; a cancelled box is an empty answer.
    std::string askOutputName(const std::string& proposed) override;
    // Asks entry 20 and entry 21 on two lines, with Yes and No.
    bool confirmOverwrite(const std::string& path) override;
    void recordConverted(const convert::ConversionProgress& progress) override;

private:
    const LanguageTable& m_texts;
    platform::InputBox& m_input;
    platform::MessageBox& m_messages;
    ProgressHandler m_onProgress;
};

// Runs one conversion; the program passes convert::runConversion, tests may pass their own.
using ConversionRunner = std::function<convert::ConversionReport(
    const convert::ConversionRequest&, convert::ConversionHost&, platform::FileSystem&, platform::RandomSource&)>;

}  // namespace vantor::app
