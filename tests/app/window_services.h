#pragma once

#include "app/main_window.h"
#include "fakes/fake_app_services.h"
#include "fakes/fake_platform.h"

// Everything a window test hands the main window, as fakes, and the services made of them.
namespace vantor::test {

struct FakeWindowServices {
    FakeFileSystem files;
    FakeRandom random;
    FakeDialogs dialogs;
    FakeMessageBox messages;
    FakeInputBox input;
    FakeSettings settings;
    app::AppServices services{files, random, dialogs, messages, input, settings};
};

}  // namespace vantor::test
