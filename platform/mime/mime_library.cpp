#include "platform/mime/mime_library.h"

#include <iconv.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

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
        keepConverterLoaded("windows-1252");
        return made;
    }();
    return options;
}

void keepConverterLoaded(const char* charset)
{
    // Enough for every charset mail is written in; a message naming
    // thousands of made-up ones opens no more.
    constexpr size_t kMostKept = 64;
    static std::mutex guard;
    static std::set<std::string> seen;
    // Never closed, and reachable to the end.
    static auto* const kept = new std::vector<iconv_t>;
    std::string name(charset);
    for (char& c : name)
        c = g_ascii_tolower(c);
    std::lock_guard lock(guard);
    if (seen.size() >= kMostKept || !seen.insert(std::move(name)).second)
        return;
    if (const iconv_t converter = iconv_open("UTF-8", charset); converter != reinterpret_cast<iconv_t>(-1))
        kept->push_back(converter);
}

}  // namespace tallyhive::platform::mime
