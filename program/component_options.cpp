#include "program/component_options.h"

#include "program/config.h"

namespace tallyhive {

platform::ImapServer imapServerFromConfig() { return {config::imapHost(), config::imapPort()}; }

platform::ImapOptions imapOptionsFromConfig()
{
    platform::ImapOptions options;
    options.caFile = config::caFile();
    if (const auto value = config::readTimeoutMs())
        options.readTimeoutMs = *value;
    if (const auto value = config::reconnectDelayMs())
        options.reconnectDelayMs = *value;
    if (const auto value = config::fetchWindow())
        options.window.requests = *value;
    return options;
}

platform::WorkbookOptions workbookOptionsFromConfig() { return {config::exportDir(), config::openWorkbook()}; }

platform::MessageStoreOptions messageStoreOptionsFromConfig()
{
    platform::MessageStoreOptions options;
    options.folder = config::storeDir();
    if (const auto megabytes = config::storeCapMegabytes())
        options.capBytes = qint64(*megabytes) * 1024 * 1024;
    return options;
}

}  // namespace tallyhive
