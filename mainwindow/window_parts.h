#pragma once

#include "mainwindow/form1_services.h"
#include "mainwindow/window_activity.h"
#include "mainwindow/window_session.h"

namespace tallyhive {

class CheckButtons;
class EmailList;
class ExportButton;
class FetchPanel;
class FolderChoice;
class SignInPanel;
class WindowPointer;

// What the main window's parts share: the services, what the window is
// doing, its pointer and its connection, and the parts themselves. A part
// reaches another only through here, and only once all are made.
struct WindowParts {
    const Form1Services& services;
    WindowActivity& activity;
    WindowPointer& pointer;
    WindowSession& session;
    // In the order of the window's tab stops, which is the order they are made in.
    SignInPanel* signIn = nullptr;
    FolderChoice* folders = nullptr;
    FetchPanel* fetch = nullptr;
    EmailList* list = nullptr;
    CheckButtons* checks = nullptr;
    ExportButton* exporter = nullptr;
};

}  // namespace tallyhive
