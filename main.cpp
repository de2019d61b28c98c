#include "mainwindow/application.h"

int main(int argc, char** argv) { return tallyhive::runApplication(argc, argv); }
