// startzel-cli decode: a real trace of the port layer talking to the virtual
// controller (with its faults) decoded exchange by exchange; hand-made records
// the line rarely shows; and damaged or foreign input of every kind, which must
// never crash, hang or produce broken text.
#include "cli.h"
#include "cli_command.h"

#include "block_transfer.h"
#include "cp866.h"
#include "frames.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "trace_decode.h"
#include "virtual_controller.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <random>
#include <regex>
#include <sstream>

using namespace tracedecode;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string ErrorText(int code) {
    return code == 1 ? "Write refused" : "";
}

std::vector<Event> DecodeText(const std::string& cp866) {
    std::vector<Event> events;
    std::istringstream in(cp866);
    DecodeStream(in, [&](const Event& e) { events.push_back(e); });
    return events;
}

// The event lines without the time stamp column and the answer time, which vary.
std::vector<std::string> Lines(const std::vector<Event>& events) {
    static const std::regex stamp(R"(^(\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d\d\d| {21})  )");
    static const std::regex ms(R"( \(\d+ ms\)$)");
    std::vector<std::string> lines;
    for (const Event& e : events)
        lines.push_back(std::regex_replace(std::regex_replace(EventLine(e, ErrorText), stamp, ""), ms, ""));
    return lines;
}

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

// One traced session of the port layer against the virtual controller on a
// pty, in the order a field engineer's tool would produce it.
std::string TracedSession() {
    std::remove("port.out");
    zelsim::Line line;
    auto& c = line.addController(0x05, 0x22);
    c.setIdentTextUtf8("Контроллер ТРК v2\r\nлиния 1");
    zelsim::PtyTransport pty{line};
    EXPECT_TRUE(pty.start());
    ResetProtocolState();
    PortLayerStart();
    int h = 0;
    EXPECT_EQ(PortOpen(&h, pty.slavePath().c_str()), 0);
    TraceMask = 1u << (h - 1);

    uint8_t ans[kIdentAnswerSize] = {};
    int outAddr = 0;
    uint8_t buf[256] = {};
    EXPECT_EQ(Identify(h, 5, ans, &outAddr), 1);
    EXPECT_EQ(ReadBlock(h, 5, kAddrParamLength, -1, buf, 0), 58);
    const uint8_t two[2] = {1, 2};
    EXPECT_EQ(WriteBlock(h, 5, 0x1000, 2, two, 0), 1);
    zelsim::Faults f;
    f.refuseWrites = true;
    c.setFaults(f);
    const uint8_t sim = 0x40;
    EXPECT_EQ(WriteBlock(h, 5, kRegSimulator, 1, &sim, 2), -1);
    f = {};
    f.extraByte = true;
    c.setFaults(f);
    EXPECT_EQ(ReadBlock(h, 5, kAddrSizes, 7, buf, 0), -1);
    // The next command discards the late answer.
    f = {};
    c.setFaults(f);
    EXPECT_EQ(ReadBlock(h, 5, kAddrSizes, 7, buf, 0), 7);
    EXPECT_EQ(Identify(h, 9, ans, &outAddr), -1);
    f.chunkSize = 4;
    f.chunkPauseMs = 5;
    c.setFaults(f);
    uint8_t text[kIdentTextSize] = {};
    EXPECT_EQ(ReadIdentText(h, 5, text), 1);
    c.setFaults({});
    int r = 0;
    while ((r = QueryErrorCode(h, 5)) == 0)
        PortWaitInput(h, 1);
    EXPECT_EQ(r, 1);
    PortClose(h);
    PortLayerStop();
    TraceMask = 0;
    return ReadFile("port.out");
}

TEST(Decode, RealSessionExchangeByExchange) {
    const std::string trace = TracedSession();
    const std::vector<Event> events = DecodeText(trace);
    EXPECT_EQ(Lines(events),
              (std::vector<std::string>{
                  "program start",
                  "identify ctrl 05: address 05 type 22 extra 01",
                  "read ctrl 05 3100 parameter block length len 1: ok, length 58",
                  "read ctrl 05 3101 CtrlrParams len 40: ok",
                  "read ctrl 05 3129 CtrlrParams+40 len 18: ok",
                  "write ctrl 05 1000 NozSetts channel 0 len 2: accepted",
                  "write ctrl 05 board 2 0024 register 24 (pulse simulator bit) len 1: refused "
                  "(status 01)",
                  "read ctrl 05 3040 BlockSizes len 7: no usable answer: 9 bytes came where 8 "
                  "were expected, discarded",
                  "read ctrl 05 3040 BlockSizes len 7: ok",
                  "identify ctrl 09: no answer",
                  "ident-text ctrl 05: text \"Контроллер ТРК v2 / линия 1\"",
                  "error-query ctrl 05: error code 1 Write refused",
                  "parity and framing errors 0, bytes dropped 0",
              }));
    // Times: the stamp of each exchange is its command frame's.
    ASSERT_GE(events.size(), 2u);
    EXPECT_TRUE(
        std::regex_match(EventLine(events[1], ErrorText),
                         std::regex(R"(\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d\d\d  identify .* \(\d+ ms\))")));
    EXPECT_EQ(events[1].exchange.answerCount, 4u);
    EXPECT_EQ(events[9].exchange.answerCount, 0u);
    EXPECT_EQ(AnswerMs(events[9].exchange), -1);
}

// Records a line seldom shows, written the way the port layer writes them.
TEST(Decode, HandMadeRecords) {
    const std::string t = " 01.02.24 (23:59:59:990) ";
    auto rec = [&](const std::string& body) { return Utf8ToCp866("\n" + t + body + "\n"); };
    const std::string trace =
        Utf8ToCp866("\r\nВход в программу\r\n") +
        // A 3-byte write on port 2 whose continuation checksum is wrong, answered after midnight.
        rec("Запись (порт 2)-> 60 05 40 68 ") + rec("Запись (порт 2)-> 01 00 12 00 00 0A 03 13 ") +
        rec("Запись (порт 2)-> 0B 0C 00 ") +
        Utf8ToCp866("\n 02.02.24 (00:00:00:010) Чтение  порта 2<- 00 \n") +
        // Bytes nobody asked for, an unknown command, bytes that are no frame, a write failure.
        rec("Чтение  порта 3<- 41 42 ") + rec("Запись (порт 1)-> 60 05 77 06 ") +
        rec("Запись (порт 1)-> 99 ") + Utf8ToCp866("\r\n" + t + "Ошибка записи в порт 1<> (код 5)") +
        // A read without its address frame; identify at the reserve address answered with a foreign type.
        rec("Запись (порт 1)-> 60 05 48 78 ") + rec("Запись (порт 1)-> 60 F0 21 7D ") +
        rec("Чтение  порта 1<- 05 20 01 55 ") +
        Utf8ToCp866("\r\nОшибок паритета=3, пакетов( стоп-бит)=12\r\n");
    const std::vector<Event> events = DecodeText(trace);
    EXPECT_EQ(Lines(events), (std::vector<std::string>{
                                 "program start",
                                 "port 2  write ctrl 05 1200 NozSetts channel 2 len 3: accepted; the "
                                 "continuation frame's checksum is wrong",
                                 "port 3  no request outstanding: 2 bytes read",
                                 "command 77 ctrl 05: no answer",
                                 "not a frame: 1 byte written",
                                 "write to port 1 failed (error code 5)",
                                 "read ctrl 05: no address frame sent",
                                 "identify ctrl F0: device type 20 is not one of ours",
                                 "parity and framing errors 3, bytes dropped 12",
                             }));
    ASSERT_EQ(events.size(), 9u);
    EXPECT_EQ(AnswerMs(events[1].exchange), 20) << "the answer came 20 ms later, on the next day";
    EXPECT_EQ(events[1].line, 4u) << "the line of the command frame";
}

TEST(Decode, DamagedLinesAreNamedAndSkipped) {
    const std::string trace =
        Utf8ToCp866("garbage\n"
                    " 32.13.24 (25:00:00:000) Запись (порт 1)-> 60 05 21 AA \n"
                    " 01.02.24 (10:00:00:000) Запись (порт 1)-> 6G \n"
                    " 01.02.24 (10:00:00:000) Запись (порт 99999999999999999999)-> 60 \n"
                    " 01.02.24 (10:00:00:000) Чтение порта 1<- 00 \n"
                    "Ошибок паритета=1, пакетов( стоп-бит)=\n"
                    " 01.02.24 (10:00:00:000) Запись (порт 1)-> 60 05 21 AA \n"
                    " 01.02.24 (10:00:00:005) Чтение  порта 1<- 05 22 01 \n");
    EXPECT_EQ(Lines(DecodeText(trace)), (std::vector<std::string>{
                                            "line 1: not understood (no time stamp)",
                                            "line 2: not understood (no time stamp)",
                                            "line 3: not understood (\"6G\" is no byte)",
                                            "line 4: not understood (a damaged record head)",
                                            "line 5: not understood (an unknown record)",
                                            "line 6: not understood (a damaged error-counter line)",
                                            "identify ctrl 05: short answer (3 of 4 bytes)",
                                        }));
}

// Damaged real traces and random bytes: every line comes out as valid UTF-8,
// every JSON document dumps, nothing crashes or hangs.
TEST(Decode, FuzzedInput) {
    const std::string real = TracedSession();
    ASSERT_GT(real.size(), 500u);
    std::mt19937 rng(20240216);
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    const std::string fragments[] = {Utf8ToCp866(" 01.02.24 (10:00:00:000) Запись (порт 1)-> "),
                                     Utf8ToCp866(" 01.02.24 (10:00:00:000) Чтение  порта 1<- "),
                                     Utf8ToCp866(" 01.02.24 (10:00:00:000) Очистка буфера порта 1<> "),
                                     "60 05 40 68 ",
                                     "01 00 12 00 00 0A 03 13 ",
                                     "\n",
                                     "\r\n",
                                     "FF ",
                                     "-"};
    size_t events = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string s = real;
        const int edits = 1 + static_cast<int>(pick(8));
        for (int k = 0; k < edits && !s.empty(); ++k) {
            switch (pick(6)) {
            case 0:
                s[pick(s.size())] = static_cast<char>(rng());
                break;
            case 1:
                s.erase(pick(s.size()), pick(200));
                break;
            case 2: {
                const size_t from = pick(s.size());
                s.insert(pick(s.size()), s.substr(from, pick(300)));
                break;
            }
            case 3:
                s.insert(pick(s.size()), fragments[pick(std::size(fragments))]);
                break;
            case 4:
                s.resize(pick(s.size()));
                break;
            default:
                for (int b = 0, n = static_cast<int>(pick(64)); b < n; ++b)
                    s.insert(s.begin() + static_cast<std::ptrdiff_t>(pick(s.size())),
                             static_cast<char>(rng()));
            }
        }
        std::istringstream in(s);
        DecodeStream(in, [&](const Event& e) {
            ++events;
            const std::string line = EventLine(e, ErrorText);
            ASSERT_TRUE(ValidUtf8(line)) << line;
            ASSERT_LT(line.size(), 2000u);
            if (e.kind == Event::ExchangeDone) {
                ASSERT_LE(e.exchange.answer.size(), kAnswerKept);
            }
        });
    }
    EXPECT_GT(events, 1500u);

    // Pure noise, a long answer that never ends, and a line without end of 3 MiB.
    for (int round = 0; round < 50; ++round) {
        std::string noise(pick(20000), '\0');
        for (char& ch : noise)
            ch = static_cast<char>(rng());
        std::istringstream in(noise);
        DecodeStream(in, [&](const Event& e) { ASSERT_TRUE(ValidUtf8(EventLine(e, ErrorText))); });
    }
    std::string endless = Utf8ToCp866(" 01.02.24 (10:00:00:000) Запись (порт 1)-> 60 05 00 E8 ") + "\n" +
                          Utf8ToCp866(" 01.02.24 (10:00:00:000) Запись (порт 1)-> 31 \n");
    for (int i = 0; i < 3000; ++i)
        endless += Utf8ToCp866(" 01.02.24 (10:00:00:001) Чтение  порта 1<- 41 42 43 44 \n");
    std::vector<Event> got = DecodeText(endless);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].exchange.answerCount, 12000u);
    EXPECT_EQ(got[0].exchange.answer.size(), kAnswerKept);
    EXPECT_EQ(Lines(got)[0], "ident-text ctrl 05: text cut short (no end after 12000 bytes)");

    got = DecodeText(std::string(3 << 20, 'A') + "\n" + Utf8ToCp866("\r\nВход в программу\r\n"));
    EXPECT_EQ(Lines(got), (std::vector<std::string>{"line 1: not understood (a line longer than 1 MiB)",
                                                    "program start"}));
}

struct Result {
    int status;
    std::string out, err;
};

Result Cli(std::vector<std::string> args, std::istream* in = nullptr) {
    std::ostringstream out, err;
    cli::Io io{out, err, in};
    const int st = RunCli(args, io);
    return {st, out.str(), err.str()};
}

TEST(Decode, Command) {
    const std::string trace = TracedSession(); // port.out in the working folder
    std::ofstream("don.msg") << "16,1,Write refused\n";

    Result r = Cli({"decode"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  error-query ctrl 05: error code 1 Write refused ("), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 13);

    std::istringstream in(trace);
    Result fromStdin = Cli({"decode", "-"}, &in);
    EXPECT_EQ(fromStdin.out, r.out);

    r = Cli({"decode", "port.out", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    // Streamed event by event, the document reads as one written whole.
    EXPECT_EQ(r.out, nlohmann::ordered_json::parse(r.out).dump(2) + "\n");
    EXPECT_EQ(doc["trace"], "port.out");
    EXPECT_EQ(doc["notUnderstood"], 0);
    ASSERT_EQ(doc["events"].size(), 13u);
    const nlohmann::json& params = doc["events"][3];
    EXPECT_EQ(params["command"], "read");
    EXPECT_EQ(params["address"], 0x3101);
    EXPECT_EQ(params["block"], "CtrlrParams");
    EXPECT_EQ(params["length"], 40);
    EXPECT_EQ(params["status"], "ok");
    EXPECT_EQ(params["answerBytes"], 41);
    EXPECT_TRUE(params["answerMs"].is_number());
    EXPECT_EQ(doc["events"][9]["status"], "no answer");
    EXPECT_TRUE(doc["events"][9]["answerMs"].is_null());

    r = Cli({"decode", "no-such-trace.out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: cannot open the trace no-such-trace.out: No such file or directory "
                     "(result code -1)\n");

    std::ofstream("foreign.txt") << "this is\nno trace\n";
    r = Cli({"decode", "foreign.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: foreign.txt holds no trace records\n");

    std::ofstream("many.txt") << std::string(30, '\n') + [] {
        std::string s;
        for (int i = 0; i < 25; ++i)
            s += "noise\n";
        return s;
    }() + Utf8ToCp866("\r\nВход в программу\r\n");
    r = Cli({"decode", "many.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("line 31: not understood (no time stamp)\n"), std::string::npos);
    EXPECT_NE(r.out.find("... 5 more lines not understood\n"), std::string::npos);

    EXPECT_EQ(Cli({"decode", "a", "b"}).status, 2);
    for (const char* f : {"don.msg", "foreign.txt", "many.txt"})
        std::remove(f);
}

} // namespace
