#pragma once

#include <QString>

// The modes of fetch_bench, each run in a child process of its own.
namespace tallyhive::bench {

inline const char* const kUserVariable = "TALLYHIVE_BENCH_USER";
inline const char* const kPasswordVariable = "TALLYHIVE_BENCH_PASSWORD";
inline const char* const kFolderVariable = "TALLYHIVE_BENCH_FOLDER";

struct Figures {
    qint64 messages = 0;
    qint64 bytes = 0;       // what the mode got: raw bytes for the floors, decoded characters for extraction
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time of the mode's process
    // The same of its main thread alone, which reads the connection and runs
    // the session and the window: on a machine of many cores, the one that
    // sets the pace.
    double mainCpuSeconds = 0;
    qint64 peakRssKb = 0;
    qint64 growthKb = 0;    // window modes: peak resident memory above what it was before Get All
    double longestGapMs = 0;  // window modes: longest time without processed events
    double stopMs = -1;       // from the Stop click to the end of the run; -1: the run ended before Stop
    double exportSeconds = 0;  // memory mode: Send To Excel of every row after Get All
};

Figures parseFigures(const QString& line);

// Runs one mode on the server the environment names and prints its figures:
// floor (fetchRaw one at a time), floor16 (the client's own window of
// requests), extraction (the session's loop), window (Get All in the main
// window), stop (the same, stopped half way), memory (Get All, then Check
// All and Send To Excel), stored (Get All with "Remember me" ticked, so
// with the store of XDG_CACHE_HOME), hostile (Get All, stopped after
// stopAfterMs unless negative). Returns 0 when every message came.
int runChild(const QString& mode, int count, int stopAfterMs);

}  // namespace tallyhive::bench
