// The main() of every test program. Whatever environment a test program is
// started in (by ctest, by hand, from a shell whose profile points the
// program at a real mailbox), it reaches no address but loopback: every
// outside address the program knows of is pointed at loopback or switched
// off here, before any test runs. A test that needs a server sets its own
// address, always on loopback.

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Not an address: no check that the machine is online, no home page.
    qputenv("TALLYHIVE_PING_HOST", "");
    qputenv("TALLYHIVE_HOME_PAGE", "");
    // Loopback, and a port on which nothing listens for the ones with one.
    qputenv("TALLYHIVE_IMAP_HOST", "127.0.0.1");
    qputenv("TALLYHIVE_OAUTH_HOST", "http://127.0.0.1:1");
    qputenv("TALLYHIVE_OAUTH_AUTHORITY", "http://127.0.0.1:1/consumers/oauth2/v2.0");
    qputenv("TALLYHIVE_DOWNLOAD_PAGE", "http://127.0.0.1:1/tallyhive");
    // Neither a browser nor a spreadsheet program is started for a test.
    qputenv("TALLYHIVE_BROWSER", "true");
    qputenv("TALLYHIVE_OPEN_WORKBOOK", "0");
    // Messages kept between runs go to a folder of this program's own,
    // never to the user's cache.
    const QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
