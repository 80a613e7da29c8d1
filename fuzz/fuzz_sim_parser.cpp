// The virtual controller's frame parser: any bytes, in any batches and with
// any pauses, are taken apart into frames and answered without overrun; every
// answer is one a controller can give, and the line stays usable afterwards.
#include "checksum.h"
#include "fuzz_input.h"
#include "virtual_controller.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One line for the whole run (building controllers is the costly part);
    // each input starts after a pause that drops any half-received frame, and
    // with the same passwords, faults and addresses.
    static zelsim::Line line;
    static zelsim::Clock::time_point t{};
    static const bool built = [] {
        line.addController(0x01, 0x21).setAdoptAddressOnRestart(false);
        line.addController(0x02, 0x17).setAdoptAddressOnRestart(false);
        return true;
    }();
    (void)built;
    line.clearFrames();
    t += std::chrono::milliseconds(zelsim::Line::kResyncPauseMs + 1);
    FuzzInput in(data, size);
    const uint8_t faults = in.u8();
    zelsim::Faults f;
    f.extraByte = faults & 1;
    f.refuseWrites = faults & 2;
    f.corruptAnswers = faults & 4;
    f.badType = faults & 8;
    line.setFaults(f);
    line.front().setPasswords(faults & 16 ? 1234 : 0, 0);

    std::vector<zelsim::Answer> answers;
    while (in.more()) {
        t += std::chrono::milliseconds(in.u8());
        const std::vector<uint8_t> batch = in.bytes(in.u8() % 80);
        answers.clear();
        line.receive(batch.data(), batch.size(), t, answers);
        for (const zelsim::Answer& a : answers)
            FUZZ_CHECK(!a.bytes.empty() && a.bytes.size() <= 256 + 1);
    }
    // Afterwards (past the resynchronising pause) a request is answered.
    t += std::chrono::milliseconds(zelsim::Line::kResyncPauseMs + 1);
    const uint8_t cmd[3] = {0x60, 0x02, 0x21};
    const uint8_t frame[4] = {cmd[0], cmd[1], cmd[2], FrameChecksum(cmd, 3)};
    answers.clear();
    line.receive(frame, 4, t, answers);
    FUZZ_CHECK(answers.size() == 1 && answers[0].bytes.size() == 4u + (f.extraByte ? 1 : 0));
    return 0;
}
