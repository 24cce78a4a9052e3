#pragma once

#include "platform/dialogs.h"
#include "platform/input_box.h"
#include "platform/message_box.h"
#include "platform/public_address_lookup.h"
#include "platform/settings_store.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantor::test {

// The one QApplication of a test program (offscreen). It is never destroyed: tearing it
// down among the other static objects at exit crashes inside Qt.
inline QApplication& qtApplication()
{
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static auto* application = new QApplication(argc, argv);
    return *application;
}

// Settings in memory; writes are also recorded in order.
class FakeSettings final : public platform::SettingsStore {
public:
    std::map<std::string, std::string> values;  // "section/key" -> value
    std::vector<std::pair<std::string, std::string>> writes;  // key, value

    std::string read(const std::string& section, const std::string& key, const std::string& fallback) const override
    {
        const auto it = values.find(section + "/" + key);
        return it == values.end() ? fallback : it->second;
    }
    void write(const std::string& section, const std::string& key, const std::string& value) override
    {
        values[section + "/" + key] = value;
        writes.emplace_back(key, value);
    }
    [[nodiscard]] std::string param(const std::string& key) const { return read("param", key, "<absent>"); }
};

// Answers the input box from a queue; an empty queue cancels.
class FakeInputBox final : public platform::InputBox {
public:
    struct Asked {
        std::string prompt, title, defaultText;
    };
    std::deque<std::optional<std::string>> answers;
    std::vector<Asked> asked;

    std::optional<std::string> ask(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override
    {
        asked.push_back({prompt, title, defaultText});
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Records every message; Yes/No questions are answered from a queue (No when empty).
class FakeMessageBox final : public platform::MessageBox {
public:
    struct Shown {
        std::string text, title;
        platform::MessageIcon icon = platform::MessageIcon::None;
    };
    std::vector<Shown> shown;
    std::vector<std::string> questions;
    std::deque<bool> yesNoAnswers;

    void showMessage(const std::string& text, const std::string& title, platform::MessageIcon icon) override
    {
        shown.push_back({text, title, icon});
    }
    bool askYesNo(const std::string& text, const std::string& title) override
    {
        questions.push_back(text);
        EXPECT_EQ(title, platform::kApplicationTitle);
        if (yesNoAnswers.empty()) return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
};

// Answers file dialogs from a queue; an empty queue cancels.
class FakeDialogs final : public platform::Dialogs {
public:
    std::deque<std::optional<platform::ChosenFile>> answers;
    std::vector<platform::FileDialogRequest> requests;

    std::optional<platform::ChosenFile> openFile(const platform::FileDialogRequest& request) override
    {
        return next(request);
    }
    std::optional<platform::ChosenFile> saveFile(const platform::FileDialogRequest& request) override
    {
        return next(request);
    }

private:
    std::optional<platform::ChosenFile> next(const platform::FileDialogRequest& request)
    {
        requests.push_back(request);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Holds the callback until the test answers.
class FakeAddressLookup final : public platform::PublicAddressLookup {
public:
    Callback pending;
    int starts = 0;

    void start(Callback done) override
    {
        ++starts;
        pending = std::move(done);
    }
    void answer(const std::optional<std::string>& address)
    {
        auto done = std::exchange(pending, nullptr);
        if (done) done(address);
    }
};

}  // namespace vantor::test
