#pragma once

#include <string>
#include <vector>

// What the command line asks of one run.
struct RunSettings {
    std::string server;   // empty: the local computer
    std::string user;
    std::string password;
    std::string pattern;
    bool patternMode = true;
    bool listMode = false;
    bool helpPage = false; // "help" was met, or there were no arguments, or only "--help" or "-h"
    bool versionLine = false; // the only argument was "--version"
    int logOpenings = 0;   // how many "log" arguments were met before the loop ended
};

// Reads the arguments that follow the program name.
RunSettings readArguments(const std::vector<std::string>& arguments);

// The values of the environment variables BRIMLET_USER and BRIMLET_PASSWORD (null when
// unset) stand for "user" and "pass" where the command line gives none: a process's
// environment is for its owner's eyes, its command line for every local user's.
void takeCredentials(RunSettings& settings, const char* user, const char* password);

// The day on which every "this month" period begins, from the value of the environment
// variable BRIMLET_MONTH_START (null when unset): its decimal digits when they give 1
// to 31, else 1, the calendar month. From 29 on, a shorter month's cycle begins on its
// last day (periodBoundaries). A value out of range does not fail the run: the line of
// a status bar still appears, with the calendar month's figures.
int monthStartDay(const char* setting);
