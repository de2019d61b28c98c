#pragma once

#include "program/command_line.h"

namespace tallyhive {

// The command line's --forget: removes the messages kept between runs.
CommandLineAnswer forgetKeptMail();

// Starts the program: loads the main window and runs until it closes.
int runApplication(int argc, char** argv);

}  // namespace tallyhive
