#include "platform/mime/mime_library.h"

namespace tallyhive::platform::mime {

GMimeParserOptions* parserOptions()
{
    static GMimeParserOptions* const options = [] {
        g_mime_init();
        GMimeParserOptions* made = g_mime_parser_options_new();
        // Raw 8-bit header bytes: UTF-8 when they are valid UTF-8, else windows-1252.
        static const char* fallbackCharsets[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(made, fallbackCharsets);
        g_mime_parser_options_set_rfc2047_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_address_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_parameter_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_allow_addresses_without_domain(made, TRUE);
        return made;
    }();
    return options;
}

}  // namespace tallyhive::platform::mime
