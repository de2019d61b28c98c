#include "support/dovecot_test.h"

#include "interfaces/error.h"

namespace tallyhive::testing {

std::unique_ptr<DovecotServer> DovecotTest::server_;
QString DovecotTest::startError_;

void DovecotTest::start(const QString& mailSource)
{
    startError_.clear();
    try {
        server_ = std::make_unique<DovecotServer>(mailSource);
        server_->applyEnvironment();
    } catch (const AppError& error) {
        startError_ = error.description();
    }
}

void DovecotTest::TearDownTestSuite() { server_.reset(); }

void DovecotTest::SetUp() { ASSERT_TRUE(server_) << startError_.toStdString(); }

}  // namespace tallyhive::testing
