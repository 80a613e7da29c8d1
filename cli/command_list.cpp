#include "cli_command.h"

namespace cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> all = [] {
        std::vector<Command> v;
        for (auto group : {LineCommands, ImageCommands, StationCommands, TempTableCommands, ToolsCommands,
                           DecodeCommands, DoctorCommands}) {
            std::vector<Command> g = group();
            v.insert(v.end(), g.begin(), g.end());
        }
        return v;
    }();
    return all;
}

} // namespace cli
