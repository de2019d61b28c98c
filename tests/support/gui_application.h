#pragma once

#include <QApplication>

namespace tallyhive::testing {

// The one application object a widget test needs, made on first use.
inline QApplication& guiApplication()
{
    static int argc = 1;
    static char name[] = "tallyhive-test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit Qt's own globals may already be gone, and
    // tearing the application down after them crashes the test binary.
    static auto* application = new QApplication(argc, argv);
    return *application;
}

}  // namespace tallyhive::testing
