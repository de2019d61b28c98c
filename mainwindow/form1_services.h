#pragma once

#include "app/deployment.h"
#include "interfaces/browser_sign_in.h"
#include "interfaces/imap_component.h"
#include "interfaces/message_boxes.h"
#include "interfaces/message_store.h"
#include "interfaces/settings_store.h"
#include "interfaces/spreadsheet.h"

#include <functional>
#include <memory>

namespace tallyhive {

// What the main window is given rather than makes itself, so tests can
// hand in fakes.
struct Form1Services {
    platform::MessageBoxes& boxes;
    platform::SettingsStore& settings;
    platform::SpreadsheetFactory& spreadsheets;
    // Outlives the window; each session connects to what it says then.
    const platform::ImapServer& server;
    // Read once at start-up; outlives the window.
    const Deployment& deployment;
    std::function<std::shared_ptr<platform::ImapComponent>()> createImapComponent;
    // Microsoft account sign-in; needed only when that is the sign-in method.
    platform::BrowserSignIn* signIn = nullptr;
    // Fetched messages kept between runs while "Remember me" is ticked; none without.
    platform::MessageStore* messageStore = nullptr;
};

}  // namespace tallyhive
