// Where the program finds its files: com.ini, don.msg, demo_trk.bin and port.out.
//
// In a working folder (a set-up of the engineer's, the build tree) nothing
// changes: every file is the one in the working folder. An installed program
// (its data folder <prefix>/share/startzel lies beside its bin folder) started
// from a folder that lacks a file uses a per-user folder instead,
// $XDG_CONFIG_HOME/startzel (~/.config/startzel by default):
//
// - com.ini: the working folder's when it has one, else the per-user one (read
//   at start, written by the port settings dialog);
// - don.msg, demo_trk.bin: the working folder's, else the per-user copy, which
//   is seeded from the data folder the first time (the demo image is rewritten
//   in demo mode, so it must be the user's own);
// - port.out: beside the com.ini in use.
//
// Qt-free; the desktop program and startzel-cli both use it.
#pragma once

#include <string>

struct DataFiles {
    std::string comIni = "com.ini";
    std::string donMsg = "don.msg";
    std::string demoImage = "demo_trk.bin";
    std::string portOut = "port.out";
    // Where each came from, for startzel-cli doctor: "working folder",
    // "user folder", "data folder".
    std::string comIniFrom = "working folder";
    std::string donMsgFrom = "working folder";
    std::string demoImageFrom = "working folder";
};

struct DataFileEnv {
    std::string workDir = "."; // names in "." stay plain ("com.ini")
    std::string userDir;       // per-user folder; empty when there is no home
    std::string shareDir;      // the installed data folder; empty when not installed
};

// Chooses the files for the environment. Creates the per-user folder and seeds
// don.msg and demo_trk.bin into it when it falls back to it; when seeding is
// impossible the data folder's file is used as it is.
DataFiles ResolveDataFiles(const DataFileEnv& env);

// This process's environment: the working folder ".", the data folder
// <directory of the executable>/../share/startzel when it exists, the per-user
// folder from XDG_CONFIG_HOME (when absolute) or HOME.
DataFileEnv ProcessDataFileEnv();

// The files chosen at start-up; the working folder's names until SetProgramFiles.
const DataFiles& ProgramFiles();
void SetProgramFiles(const DataFiles& files);
