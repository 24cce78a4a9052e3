#pragma once

#include "platform/dialogs.h"
#include "platform/input_box.h"
#include "platform/message_box.h"
#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The services the windows are handed, played by the tests: each records what it was asked
// and answers from a queue, and an empty queue cancels or says No.
namespace vantor::test {

// Records what was asked and answers from a queue, whenEmpty once the queue is used up.
template <typename Answer>
struct Scripted {
    std::vector<std::string> asked;
    std::deque<Answer> answers;

    Answer next(std::string what, Answer whenEmpty)
    {
        asked.push_back(std::move(what));
        if (answers.empty()) return whenEmpty;
        Answer answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};

// File dialogs: every request is kept (opened, saved, folders) and described in asked as
// "folder | proposed name | filter".
class FakeDialogs final : public platform::Dialogs, public Scripted<std::optional<platform::ChosenFile>> {
public:
    std::vector<platform::FileDialogRequest> opened;
    std::vector<platform::FileDialogRequest> saved;
    std::vector<platform::FileDialogRequest> folders;

    std::optional<platform::ChosenFile> openFile(const platform::FileDialogRequest& request) override
    {
        return keep(opened, request);
    }
    std::optional<platform::ChosenFile> saveFile(const platform::FileDialogRequest& request) override
    {
        return keep(saved, request);
    }
    std::optional<platform::ChosenFile> chooseFolder(const platform::FileDialogRequest& request) override
    {
        return keep(folders, request);
    }

private:
    std::optional<platform::ChosenFile> keep(std::vector<platform::FileDialogRequest>& kept,
                                             const platform::FileDialogRequest& request)
    {
        kept.push_back(request);
        return next(request.folder + " | " + request.proposedName + " | " + request.filter, std::nullopt);
    }
};

// Message boxes: every text shown is kept with its icon; every box must carry the program's
// title. Yes/No questions go to asked and are answered from the queue.
class FakeMessageBox final : public platform::MessageBox, public Scripted<bool> {
public:
    std::vector<std::string> shown;
    std::vector<platform::MessageIcon> icons;

    void showMessage(const std::string& text, const std::string& title, platform::MessageIcon icon) override
    {
        EXPECT_EQ(title, platform::kApplicationTitle);
        shown.push_back(text);
        icons.push_back(icon);
    }
    bool askYesNo(const std::string& text, const std::string& title) override
    {
        EXPECT_EQ(title, platform::kApplicationTitle);
        return next(text, false);
    }
};

// Records "title | prompt | default" of each question.
class FakeInputBox final : public platform::InputBox, public Scripted<std::optional<std::string>> {
public:
    std::optional<std::string> ask(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override
    {
        return next(title + " | " + prompt + " | " + defaultText, std::nullopt);
    }
};

// Settings in memory; writes are also recorded in order.
class FakeSettings final : public platform::SettingsStore {
public:
    std::map<std::string, std::string> values;                // "section/key" -> value
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

}  // namespace vantor::test
