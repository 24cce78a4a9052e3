#pragma once

#include "platform/dialogs.h"
#include "platform/message_box.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace vantor::test {

// File dialogs that record every request and answer from a queue; an empty queue cancels.
class FakeDialogs final : public platform::Dialogs {
public:
    std::vector<platform::FileDialogRequest> opened;
    std::vector<platform::FileDialogRequest> saved;
    std::deque<std::optional<platform::ChosenFile>> answers;

    std::optional<platform::ChosenFile> openFile(const platform::FileDialogRequest& request) override
    {
        opened.push_back(request);
        return next();
    }
    std::optional<platform::ChosenFile> saveFile(const platform::FileDialogRequest& request) override
    {
        saved.push_back(request);
        return next();
    }

private:
    std::optional<platform::ChosenFile> next()
    {
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Message boxes that record every text and title; Yes/No questions are answered No.
class FakeMessageBox final : public platform::MessageBox {
public:
    std::vector<std::string> shown;
    std::vector<std::string> titles;

    void showMessage(const std::string& text, const std::string& title, platform::MessageIcon) override
    {
        shown.push_back(text);
        titles.push_back(title);
    }
    bool askYesNo(const std::string& text, const std::string& title) override
    {
        shown.push_back(text);
        titles.push_back(title);
        return false;
    }
};

}  // namespace vantor::test
