#pragma once

#include "convert/conversion_run.h"
#include "language/language_table.h"
#include "platform/input_box.h"
#include "platform/message_box.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

namespace vantor::app {

// The main window's two questions before a run, worded from the language table. The answers
// go into the run's request; the run itself asks nothing.
class ConversionQuestions {
public:
    ConversionQuestions(const language::LanguageTable& texts, platform::InputBox& input, platform::MessageBox& messages);

    // Asks with entry 18 as prompt and entry 19 as title, proposing the last name without its
    // final ".xml". A name that would leave the output folder is refused with entry 43 and
    // asked again; a cancelled box is an empty answer.
    [[nodiscard]] std::string askOutputName(const std::string& proposed);
    // Asks entry 20 and entry 21 on two lines, with Yes and No.
    [[nodiscard]] bool confirmOverwrite();

private:
    const language::LanguageTable& m_texts;
    platform::InputBox& m_input;
    platform::MessageBox& m_messages;
};

// What a run on the worker thread and the window share: the progress so far and the window's
// request to stop.
struct RunControl {
    std::atomic<bool> stopRequested{false};
    std::atomic<std::size_t> recordsDone{0};
    std::atomic<std::size_t> bytesConsumed{0};
    std::atomic<std::size_t> bytesTotal{0};

    // The run's progress callback: hands the progress over and stops the run once the window
    // asked to.
    [[nodiscard]] convert::ProgressCallback progressCallback();
};

// Runs one conversion; the program passes convert::runConversion, tests may pass their own.
// It runs on a worker thread.
using ConversionRunner = std::function<convert::ConversionReport(const convert::ConversionRequest&,
                                                                 platform::FileSystem&, platform::RandomSource&)>;

}  // namespace vantor::app
