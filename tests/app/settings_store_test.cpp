#include "platform/qt/qt_settings_store.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using tallyhive::platform::QtSettingsStore;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    }
    QTemporaryDir dir_;
    QtSettingsStore store_;
};

TEST_F(SettingsStoreTest, AbsentKeysGiveTheDefaultOrTheEmptyText)
{
    EXPECT_EQ(store_.getSetting("Corvanta", "Tallyhive", "StayConnected", QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(store_.getSetting("Corvanta", "Tallyhive", "User"), QString());
}

TEST_F(SettingsStoreTest, TextsComeBackExactlyAsWritten)
{
    for (const QString& value : {QStringLiteral("p\"a\\ss, wörd;=[x]"), QStringLiteral("True"), QStringLiteral("-1"),
                                 QStringLiteral("a,b,c"), QStringLiteral(" spaced "), QString(),
                                 QStringLiteral("quote \" and \\ backslash"), QStringLiteral("Ünïcødé €"),
                                 QStringLiteral("Projects/2026"), QStringLiteral("a&b")}) {
        store_.saveSetting("Corvanta", "Tallyhive", "Password", value);
        EXPECT_EQ(store_.getSetting("Corvanta", "Tallyhive", "Password", QStringLiteral("default")), value);
    }
}

TEST_F(SettingsStoreTest, SectionsKeepTheirOwnKeys)
{
    store_.saveSetting("Corvanta", "Tallyhive", "User", "a");
    store_.saveSetting("Corvanta", "Other", "User", "b");
    EXPECT_EQ(store_.getSetting("Corvanta", "Tallyhive", "User"), QStringLiteral("a"));
    EXPECT_EQ(store_.getSetting("Corvanta", "Other", "User"), QStringLiteral("b"));
}

TEST_F(SettingsStoreTest, TheFileIsReadableByItsOwnerOnly)
{
    store_.saveSetting("Corvanta", "Tallyhive", "Password", "secret");
    const QString path = QtSettingsStore::filePath(QStringLiteral("Corvanta"));
    ASSERT_TRUE(path.startsWith(dir_.path()));
    EXPECT_EQ(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ReadOwner | QFile::WriteOwner),
              QFile::Permissions());
}
