#pragma once

#include <QApplication>

namespace tallyhive::testing {

// The one application object a widget test needs, made on first use.
inline QApplication& guiApplication()
{
    static int argc = 1;
    static char name[] = "tallyhive-test";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    return application;
}

}  // namespace tallyhive::testing
