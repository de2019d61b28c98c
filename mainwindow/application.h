#pragma once

namespace tallyhive {

// Starts the program: loads the main window and runs until it closes.
int runApplication(int argc, char** argv);

}  // namespace tallyhive
