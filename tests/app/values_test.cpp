#include "program/config.h"
#include "app/general_date.h"
#include "app/microsoft_application.h"
#include "app/numbers.h"
#include "interfaces/error.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace tallyhive;

TEST(ReadInteger, RoundsHalvesToEvenAndRefusesNonNumbers)
{
    EXPECT_EQ(readInteger(QStringLiteral("0")), 0);
    EXPECT_EQ(readInteger(QStringLiteral(" 3 ")), 3);
    EXPECT_EQ(readInteger(QStringLiteral("2.5")), 2);
    EXPECT_EQ(readInteger(QStringLiteral("3.5")), 4);
    EXPECT_EQ(readInteger(QStringLiteral("-1")), -1);
    EXPECT_THROW(readInteger(QString()), AppError);
    EXPECT_THROW(readInteger(QStringLiteral("abc")), AppError);
    EXPECT_THROW(readInteger(QStringLiteral("99999999999")), AppError);
}

// A deployment's number replaces the default only when it is a whole number above zero.
TEST(ConfigNumbers, OnlyAWholeNumberAboveZeroReplacesTheDefault)
{
    const struct {
        const char* text;
        int port;
        std::optional<int> window;
    } cases[] = {{" 1143 ", 1143, 256}, {"16", 16, 16}, {"0", 993, std::nullopt}, {"-5", 993, std::nullopt},
                 {"abc", 993, std::nullopt}, {"", 993, std::nullopt}};
    for (const auto& c : cases) {
        qputenv("TALLYHIVE_IMAP_PORT", c.text);
        qputenv("TALLYHIVE_FETCH_WINDOW", c.text);
        EXPECT_EQ(config::imapPort(), c.port) << c.text;
        EXPECT_EQ(config::fetchWindow(), c.window) << c.text;
    }
    qunsetenv("TALLYHIVE_IMAP_PORT");
    qunsetenv("TALLYHIVE_FETCH_WINDOW");
}

// Each value the environment sets reaches the window under its own name.
TEST(ConfigDeployment, EachVariableFillsItsOwnField)
{
    const std::pair<const char*, const char*> set[] = {
        {"TALLYHIVE_MAIL_DOMAINS", "a.test, b.test"}, {"TALLYHIVE_DOWNLOAD_PAGE", "http://127.0.0.1:1/d"},
        {"TALLYHIVE_HOME_PAGE", "http://127.0.0.1:1/h"}, {"TALLYHIVE_PING_HOST", "127.0.0.2"}, {"TALLYHIVE_SIGN_IN", " Password "}};
    std::vector<std::optional<QByteArray>> saved;
    for (const auto& [name, value] : set) {
        saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        qputenv(name, value);
    }
    const Deployment deployment = config::deployment();
    EXPECT_EQ(deployment.mailDomains, (std::array<QString, 3>{"a.test", "b.test", "outlook.com"}));
    EXPECT_EQ(deployment.downloadPage, QStringLiteral("http://127.0.0.1:1/d"));
    EXPECT_EQ(deployment.homePage, QStringLiteral("http://127.0.0.1:1/h"));
    EXPECT_EQ(deployment.pingHost, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(deployment.signInMode, QStringLiteral("password"));
    for (size_t i = 0; i < saved.size(); ++i)
        saved[i] ? qputenv(set[i].first, *saved[i]) : qunsetenv(set[i].first);
}

// The Microsoft application in force: the environment over what the dialog
// saved, that over what the package was built with; a saved value that
// could not be one does not count.
TEST(MicrosoftApplicationInForce, EnvironmentOverSavedOverBuiltIn)
{
    using platform::SettingSource;
    const QString id1 = QStringLiteral("11111111-1111-1111-1111-111111111111");
    const QString id2 = QStringLiteral("22222222-2222-2222-2222-222222222222");
    const QString id3 = QStringLiteral("33333333-3333-3333-3333-333333333333");
    const QString authority = QStringLiteral("http://127.0.0.1:1/common/oauth2/v2.0");
    const struct {
        ApplicationPlaces id, tenant;
        QString clientId;
        SettingSource idSource;
        QString tenantInForce;
        SettingSource tenantSource;
    } cases[] = {
        {{id1, id2, id3}, {authority, "organizations", "contoso.com"}, id1, SettingSource::Environment, "organizations", SettingSource::Environment},
        {{"", id2, id3}, {"", "organizations", "contoso.com"}, id2, SettingSource::Saved, "organizations", SettingSource::Saved},
        {{"", "not-an-id", id3}, {"", "", "contoso.com"}, id3, SettingSource::BuiltIn, "contoso.com", SettingSource::BuiltIn},
        {{"", "", ""}, {"", "a/../b", ""}, "", SettingSource::BuiltIn, "consumers", SettingSource::BuiltIn},
    };
    for (const auto& c : cases) {
        const platform::MicrosoftApplication inForce = applicationInForce(c.id, c.tenant);
        EXPECT_EQ(inForce.clientId, c.clientId);
        EXPECT_EQ(inForce.clientIdSource, c.idSource) << c.clientId.toStdString();
        EXPECT_EQ(inForce.tenant, c.tenantInForce);
        EXPECT_EQ(inForce.tenantSource, c.tenantSource) << c.tenantInForce.toStdString();
    }
}

TEST(ReadBoolean, TakesWordsInAnyCaseOrNumbers)
{
    EXPECT_TRUE(readBoolean(QStringLiteral("True")));
    EXPECT_TRUE(readBoolean(QStringLiteral("TRUE")));
    EXPECT_FALSE(readBoolean(QStringLiteral("false")));
    EXPECT_TRUE(readBoolean(QStringLiteral("1")));
    EXPECT_TRUE(readBoolean(QStringLiteral("-2")));
    EXPECT_FALSE(readBoolean(QStringLiteral("0")));
    EXPECT_THROW(readBoolean(QString()), AppError);
    EXPECT_THROW(readBoolean(QStringLiteral("yes")), AppError);
    EXPECT_EQ(booleanText(true), QStringLiteral("True"));
    EXPECT_EQ(booleanText(false), QStringLiteral("False"));
}

TEST(LeadingNumber, ReadsTheNumberATextBeginsWith)
{
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("40.4")), 40.4);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("  12abc")), 12);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("-3")), -3);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("abc")), 0);
    EXPECT_DOUBLE_EQ(leadingNumber(QString()), 0);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("1e3x")), 1000);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("7.")), 7);
}

class GeneralDateTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QString::fromLatin1(GetParam()))); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_P(GeneralDateTest, TextReadsBackAsTheSameDateAndTime)
{
    const QDateTime afternoon(QDate(2024, 3, 19), QTime(13, 5, 7));
    const QString text = general_date::format(afternoon);
    EXPECT_TRUE(text.contains(QStringLiteral("2024"))) << qPrintable(text);
    ASSERT_TRUE(general_date::parse(text).has_value()) << qPrintable(text);
    EXPECT_EQ(*general_date::parse(text), afternoon);
}

TEST_P(GeneralDateTest, MidnightIsWrittenAsTheDateAlone)
{
    const QDateTime midnight(QDate(2024, 3, 19), QTime(0, 0));
    const QString text = general_date::format(midnight);
    EXPECT_FALSE(text.contains(u':')) << qPrintable(text);
    EXPECT_EQ(text, general_date::format(QDateTime(midnight.date(), QTime(0, 0, 0, 400))));
    EXPECT_EQ(*general_date::parse(text), midnight);
}

TEST_P(GeneralDateTest, AfternoonRoundsToTheNextDay)
{
    const qint64 the19th = QDate(1899, 12, 30).daysTo(QDate(2024, 3, 19));
    EXPECT_EQ(general_date::dayNumber(QDateTime(QDate(2024, 3, 19), QTime(13, 0))), the19th + 1);
    EXPECT_EQ(general_date::dayNumber(QDateTime(QDate(2024, 3, 19), QTime(11, 59))), the19th);
    // Exactly noon is half a day: it goes to the even neighbour.
    const qint64 noon = *general_date::dayNumber(QDateTime(QDate(2024, 3, 19), QTime(12, 0)));
    EXPECT_EQ(noon % 2, 0);
    EXPECT_FALSE(general_date::dayNumber(QDateTime()).has_value());
}

TEST_P(GeneralDateTest, TheShownValueIsWhatTheTextReadsBackAs)
{
    for (const QTime time : {QTime(13, 5, 7, 999), QTime(0, 0, 0, 400), QTime(0, 0, 30), QTime(23, 59, 59), QTime(12, 0)}) {
        const QDateTime value(QDate(2024, 10, 27), time);
        const auto read = general_date::parse(general_date::format(value));
        ASSERT_TRUE(read.has_value()) << qPrintable(general_date::format(value));
        EXPECT_EQ(general_date::shownValue(value), read) << qPrintable(general_date::format(value));
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, GeneralDateTest, ::testing::Values("C", "en_US", "de_DE", "en_GB"));
