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

// The main window's two questions before a run, worded from the language table. The window
// asks them on its own thread; the run itself then gets the answers from a WorkerConversionHost.
class WindowConversionHost final : public convert::ConversionHost {
public:
    WindowConversionHost(const language::LanguageTable& texts, platform::InputBox& input, platform::MessageBox& messages);

    // Asks with entry 18 as prompt and entry 19 as title, proposing the last name without its
    // final ".xml". A name that would leave the output folder is refused with entry 43 and
    // asked again; a cancelled box is an empty answer.
    std::string askOutputName(const std::string& proposed) override;
    // Asks entry 20 and entry 21 on two lines, with Yes and No.
    bool confirmOverwrite(const std::string& path) override;

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
};

// Thrown between two records when the user stopped the run. It is no std::exception, so
// nothing in the engine mistakes it for a failure of its own; the run's outputs are dropped
// uncommitted as the stack unwinds.
struct RunStopped {};

// The run's side on the worker thread: the answers the window already got, and progress
// handed over through RunControl.
class WorkerConversionHost final : public convert::ConversionHost {
public:
    // overwriteAgreed: the user was asked about an existing scene file and said Yes.
    WorkerConversionHost(std::string outputName, bool overwriteAgreed, RunControl& control);

    std::string askOutputName(const std::string& proposed) override;
    // Only a file the user agreed to replace is replaced: one that came after the question
    // (or after the window found the name free) ends the run with nothing written.
    bool confirmOverwrite(const std::string& path) override;
    bool replacesUnasked() const override;
    // Throws RunStopped once the window asked to stop.
    void recordConverted(const convert::ConversionProgress& progress) override;
    // Throws RunStopped when the window asked to stop after the last record.
    void beforePlacing() override;

private:
    std::string m_outputName;
    bool m_overwriteAgreed = false;
    RunControl& m_control;
};

// Runs one conversion; the program passes convert::runConversion, tests may pass their own.
// It runs on a worker thread.
using ConversionRunner = std::function<convert::ConversionReport(
    const convert::ConversionRequest&, convert::ConversionHost&, platform::FileSystem&, platform::RandomSource&)>;

}  // namespace vantor::app
