#include "mainwindow/application.h"

#include <QApplication>

namespace tallyhive {

int runApplication(int argc, char** argv)
{
    QApplication application(argc, argv);
    return 0;
}

}  // namespace tallyhive
