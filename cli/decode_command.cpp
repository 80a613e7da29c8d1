// startzel-cli decode: the exchanges of a port.out traffic trace in words, the
// quickest way to see what went wrong on a line in the field.
#include "cli.h"
#include "cli_command.h"
#include "codepage.h"
#include "data_files.h"
#include "error_messages.h"
#include "frames.h"
#include "json_out.h"
#include "trace_decode.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>

namespace cli {

namespace {

using namespace tracedecode;

constexpr size_t kNotUnderstoodShown = 20;

Json EventJson(const Event& e, const std::function<std::string(int)>& errorText) {
    Json j;
    switch (e.kind) {
    case Event::ExchangeDone: {
        const Exchange& x = e.exchange;
        j = {{"kind", "exchange"},        {"line", e.line}, {"time", e.when.text()}, {"port", e.handle},
             {"command", CommandName(x)}, {"ctrl", x.ctrl}};
        if ((x.command == tracedecode::Command::Read || x.command == tracedecode::Command::Write) &&
            x.haveAddress) {
            j["board"] = x.board;
            j["address"] = x.address;
            j["block"] = BlockName(x.command, x.board, x.address);
            j["length"] = x.length;
        }
        j["status"] = Status(x, errorText);
        j["answerBytes"] = x.answerCount;
        const long long ms = AnswerMs(x);
        j["answerMs"] = ms >= 0 ? Json(ms) : Json(nullptr);
        j["lateBytes"] = x.lateCount;
        return j;
    }
    case Event::ProgramStart:
        return {{"kind", "program-start"}, {"line", e.line}};
    case Event::Counters:
        return {
            {"kind", "counters"}, {"line", e.line}, {"parityErrors", e.code}, {"droppedBytes", e.dropped}};
    case Event::WriteFailed:
        return {{"kind", "write-failed"},
                {"line", e.line},
                {"time", e.when.text()},
                {"port", e.handle},
                {"code", e.code}};
    case Event::StrayWrite:
    case Event::StrayRead:
        return {{"kind", e.kind == Event::StrayWrite ? "stray-write" : "stray-" + e.why},
                {"line", e.line},
                {"time", e.when.text()},
                {"port", e.handle},
                {"bytes", e.byteCount}};
    case Event::NotUnderstood:
        return {{"kind", "not-understood"}, {"line", e.line}, {"why", e.why}};
    }
    return j;
}

int RunDecode(const Options& o, Session&, Io& io) {
    const std::string path = o.args.empty() ? ProgramFiles().portOut : o.args[0];
    std::ifstream file;
    std::istream* in = io.in;
    if (path != "-") {
        file.open(path, std::ios::binary);
        if (!file) return Fail(io.err, "cannot open the trace " + path + ": " + std::strerror(errno), -1);
        in = &file;
    } else if (!in) {
        return Say(io.err, "no standard input to read the trace from", kCliFailed);
    }

    // The texts of controller error codes, when don.msg is at hand.
    ErrorMessageTable texts;
    texts.Load(ProgramFiles().donMsg);
    const auto errorText = [&](int code) { return Cp1251ToUtf8(ControllerErrorCodeText(texts, code)); };

    // The events are printed as they are decoded, the JSON array element by
    // element (a trace of any size takes little memory). Lines not understood
    // before the first record wait: a file with no record at all is refused
    // with nothing on standard output.
    const bool asJson = WantsJson(o);
    size_t records = 0, notUnderstood = 0, printed = 0;
    std::vector<Event> waiting;
    auto print = [&](const Event& e) {
        if (!asJson) {
            io.out << EventLine(e, errorText) << "\n";
            return;
        }
        if (printed++ == 0)
            io.out << "{\n  \"trace\": " << JsonText(Json(path)) << ",\n  \"events\": [\n";
        else
            io.out << ",\n";
        std::string text = JsonText(EventJson(e, errorText));
        std::string indented = "    ";
        for (char ch : text) {
            indented += ch;
            if (ch == '\n') indented += "    ";
        }
        io.out << indented;
    };
    DecodeStream(*in, [&](const Event& e) {
        if (e.kind == Event::NotUnderstood) {
            if (++notUnderstood > kNotUnderstoodShown) return;
            if (records == 0) {
                waiting.push_back(e);
                return;
            }
        } else if (records++ == 0) {
            for (const Event& w : waiting)
                print(w);
            waiting.clear();
        }
        print(e);
    });
    if (in->bad()) return Fail(io.err, "reading the trace " + path + " failed", -1);
    if (records == 0 && notUnderstood > 0) return Say(io.err, path + " holds no trace records", kCliFailed);
    if (asJson) {
        if (printed == 0)
            io.out << "{\n  \"trace\": " << JsonText(Json(path)) << ",\n  \"events\": [],\n";
        else
            io.out << "\n  ],\n";
        io.out << "  \"notUnderstood\": " << notUnderstood << "\n}\n";
    } else if (notUnderstood > kNotUnderstoodShown) {
        io.out << "... " << notUnderstood - kNotUnderstoodShown << " more lines not understood\n";
    }
    return kCliOk;
}

} // namespace

std::vector<Command> DecodeCommands() {
    return {
        {"decode",
         "decode [FILE]       the exchanges of a traffic trace (port.out) in words",
         "usage: startzel-cli decode [FILE] [--json]\n"
         "Reads a traffic trace written with --trace or the desktop program's \"Лог\" menu\n"
         "(default: port.out, the one beside com.ini; - reads standard input) and prints one\n"
         "line for each exchange: time of the command, command, controller address, block\n"
         "address and name, length, and what came back (ok, accepted, refused, no answer, short\n"
         "answer, late bytes) with the time the answer took. Program starts, write failures,\n"
         "the error counters and lines that are no trace record are shown too.\n"
         "--json: {\"trace\": FILE, \"events\": [{\"kind\": \"exchange\", \"time\": ..., \"command\": ...,\n"
         "\"ctrl\": N, \"address\": N, \"block\": ..., \"length\": N, \"status\": ..., \"answerMs\": N}],\n"
         "\"notUnderstood\": N}\n"
         "Exit status 1 when the file cannot be read or holds no trace record at all.\n",
         Needs::Nothing,
         0,
         1,
         {kJsonFlag},
         nullptr,
         RunDecode},
    };
}

} // namespace cli
