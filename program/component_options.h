#pragma once

#include "interfaces/imap_component.h"
#include "platform/imap/imap_options.h"
#include "platform/store/sqlite_message_store.h"
#include "platform/xlsx/xlsx_spreadsheet.h"

namespace tallyhive {

// The outside components' options as the configuration gives them: read
// where the program is wired together, once, and handed down.
platform::ImapServer imapServerFromConfig();
platform::ImapOptions imapOptionsFromConfig();
platform::WorkbookOptions workbookOptionsFromConfig();
platform::MessageStoreOptions messageStoreOptionsFromConfig();

}  // namespace tallyhive
