#include "platform/mime/mime_raw_header.h"

namespace tallyhive::platform::mime {

QByteArray rawHeaderValue(const QByteArray& bytes, GMimeObject* object, const char* name)
{
    GMimeHeader* header = g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
    if (header == nullptr)
        return {};
    const char* gmimeValue = g_mime_header_get_raw_value(header);
    const gint64 offset = g_mime_header_get_offset(header);
    const qsizetype colon = offset >= 0 && offset < bytes.size() ? bytes.indexOf(':', offset) : -1;
    // GMime's offset is trusted only where its copy of the value stands.
    if (colon < 0 || !QByteArrayView(bytes).sliced(colon + 1).startsWith(gmimeValue))
        return gmimeValue;
    qsizetype end = colon;
    do {
        end = bytes.indexOf('\n', end + 1);
    } while (end >= 0 && end + 1 < bytes.size() && (bytes[end + 1] == ' ' || bytes[end + 1] == '\t'));
    if (end < 0)
        end = bytes.size();
    return bytes.sliced(colon + 1, end - colon - 1);
}

}  // namespace tallyhive::platform::mime
