#pragma once

#include "support/dovecot_server.h"

#include <gtest/gtest.h>

#include <memory>

namespace tallyhive::testing {

// One server for a whole test suite. A suite that needs messages hides
// SetUpTestSuite and calls start() with its mail source.
class DovecotTest : public ::testing::Test {
public:
    static void SetUpTestSuite() { start({}); }
    static void TearDownTestSuite();

protected:
    static void start(const QString& mailSource);
    void SetUp() override;
    static DovecotServer& server() { return *server_; }

private:
    static std::unique_ptr<DovecotServer> server_;
    static QString startError_;
};

}  // namespace tallyhive::testing
