#include "tests/ui/QtTestApp.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<QApplication> application;

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { application.reset(); }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

QApplication& EnsureQApplication()
{
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    if (!application) {
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
    }
    return *application;
}
