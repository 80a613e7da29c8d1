// startzel-cli doctor: checks the environment for the usual reasons a serial
// tool fails on Linux and names the command that fixes each one.
#include "cli.h"
#include "cli_command.h"
#include "com_ini.h"
#include "data_files.h"
#include "doctor.h"
#include "json_out.h"

#include <ostream>

namespace cli {

namespace {

int RunDoctor(const Options& o, Session&, Io& io) {
    doctor::Env env = doctor::SystemEnv();
    env.files = ProgramFiles();
    env.userFolder = !ProcessDataFileEnv().shareDir.empty();
    if (o.havePort) {
        env.port = o.port;
        env.portFrom = "--port";
    } else {
        ComIniTable ini;
        if (ReadComIni(ini, env.files.comIni) == 1) env.port = ini.entries[0].name;
        env.portFrom = env.files.comIni;
    }
    const std::vector<doctor::Check> checks = doctor::Run(env);
    int problems = 0;
    for (const doctor::Check& c : checks)
        problems += c.ok ? 0 : 1;
    if (WantsJson(o)) {
        Json list = Json::array();
        for (const doctor::Check& c : checks)
            list.push_back({{"check", c.name},
                            {"ok", c.ok},
                            {"detail", c.detail},
                            {"fix", c.ok ? Json(nullptr) : Json(c.fix)}});
        PrintJson(io.out, Json{{"ok", problems == 0}, {"checks", list}});
    } else {
        for (const doctor::Check& c : checks)
            io.out << doctor::Line(c) << "\n";
        io.out << (problems == 0 ? std::string("all well")
                                 : std::to_string(problems) + (problems == 1 ? " problem" : " problems"))
               << "\n";
    }
    return problems == 0 ? kCliOk : kCliFailed;
}

} // namespace

std::vector<Command> DoctorCommands() {
    return {
        {"doctor",
         "doctor              check this machine for the usual reasons a serial tool fails",
         "usage: startzel-cli [--port NAME] doctor [--json]\n"
         "Checks, one line each (\"ok\" or \"FAIL\" with the command that fixes it): membership of\n"
         "the serial group dialout and whether a fresh login is needed, read/write permission on\n"
         "the port (--port, else com.ini), brltty (it takes USB serial converters), ModemManager\n"
         "(it probes serial ports), the udev rule for our USB devices, the USB library, a display\n"
         "for the desktop program, com.ini and don.msg; for a serial port also the latency timer of a\n"
         "USB adapter (with the command that lowers it) and whether it has the kernel's RS-485 mode.\n"
         "Exit status 0 when all is well, 1 otherwise.\n"
         "--json: {\"ok\": true|false, \"checks\": [{\"check\": ..., \"ok\": ..., \"detail\": ..., \"fix\": "
         "...}]}\n",
         Needs::Nothing,
         0,
         0,
         {kJsonFlag},
         nullptr,
         RunDoctor},
    };
}

} // namespace cli
