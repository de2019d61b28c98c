#pragma once

#include "interfaces/imap_component.h"
#include "mail/imap_session.h"

#include <functional>
#include <memory>

namespace tallyhive {

// The main window's connection, shared by the commands that connect,
// disconnect and fetch.
struct WindowSession {
    // Made at load; every session talks through it.
    std::shared_ptr<platform::ImapComponent> component;
    // The window's session: made by a connect or a fetch run, let go when the
    // run ends, on Stop and on Disconnect. A run keeps its own reference.
    std::shared_ptr<clsChilkatIMAP> current;
    // A new session that signs in as the panel says, its events wired to the window.
    std::function<std::shared_ptr<clsChilkatIMAP>()> make;
};

}  // namespace tallyhive
