#include "platform/mime/mime_base64.h"

#include <gtest/gtest.h>

namespace tallyhive::platform::mime {
namespace {

TEST(DecodeBase64, TakesWhatMailReadersTake)
{
    struct Case {
        QByteArrayView encoded;
        QByteArrayView bytes;
    };
    const Case cases[] = {
        {"SGFsbG8gV2VsdCE=", "Hallo Welt!"},
        {"SGFsbG8g\r\nV2Vs\r\ndCE=\r\n", "Hallo Welt!"},
        {"SGFsbG8gV2VsdCE", "Hallo Welt!"},   // padding missing
        {"SGFsbG8gV2VsdA", "Hallo Welt"},
        {"SGFs!!bG8g V2Vs*dCE=", "Hallo Welt!"},  // stray characters
        {"SGFsbG8=\r\nV2VsdCE=", "Hallo"},    // padding ends the data
        {"=SGFs", "Hal"},                      // padding before any group is noise
        {"S", ""},
        {"", ""},
        {"AA==", QByteArrayView("\0", 1)},
        {"/+/+", "\xff\xef\xfe"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeBase64(c.encoded), c.bytes.toByteArray()) << c.encoded.toByteArray().constData();
}

TEST(DecodeBase64, RoundTripsEveryByteValue)
{
    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    for (qsizetype length = 0; length <= all.size(); length += 37)
        EXPECT_EQ(decodeBase64(all.first(length).toBase64()), all.first(length)) << length;
}

}  // namespace
}  // namespace tallyhive::platform::mime
