#include "cli.h"
#include "cli_command.h"
#include "data_files.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "write_journal.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool onlyText = false; // --help and --version touch no file
    for (const std::string& a : args)
        onlyText = onlyText || a == "--help" || a == "-h" || a == "--version";
    if (!onlyText) {
        const DataFiles files = ResolveDataFiles(ProcessDataFileEnv());
        SetProgramFiles(files);
        Protocol().demoFileName = files.demoImage;
        PortSetTraceFile(files.portOut);
    }
    cli::Io io{std::cout, std::cerr, &std::cin, isatty(0) == 1, isatty(2) == 1, true};
    journal::Install(); // every block written goes into the write journal
    const int status = RunCli(args, io);
    if (const std::string e = journal::LastError(); !e.empty())
        std::cerr << "startzel-cli: warning: " << journal::FailedRecords()
                  << " record(s) of the write journal were not written; the last: " << e << "\n";
    return status;
}
