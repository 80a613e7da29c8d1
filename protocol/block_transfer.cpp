#include "block_transfer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "block_write_hook.h"
#include "demo_image.h"
#include "error_messages.h"
#include "frames.h"
#include "line_wait.h"
#include "port_layer.h"
#include "protocol_state.h"

using namespace zel::line;

namespace {

constexpr int kImageCommandGapMs = 20;

bool ValidBoard(int board) {
    return board == kBoardMain || board == kBoardRegisters || board == kBoardIm;
}

int Multiplier() {
    return Protocol().timeoutMultiplier;
}

// Deadlines of the exchanges, from their poll counts: the length query fails
// at its 200 x multiplier-th miss of 1 ms, a read piece at its (20 x
// multiplier + 1)-th stalled poll of 10 ms, a write piece at its (50 x
// multiplier + 1)-th poll of 10 ms, an image piece after 300 x multiplier
// empty polls of 1 ms.
constexpr int kSlowPollMs = 10;

// A request the program itself was held up in (kFrameLate: the rest was not
// sent) is started again from its command frame once the controller has
// dropped what it had of it; at most this many starts in all.
constexpr int kRequestStarts = 3;
// Quiet long enough for a controller to have dropped a started request.
constexpr int kDropPauseMs = 600;

// Sends a request's frames (`frames` sends them all, from the command frame
// on): 1, or -1.
template <typename Frames> int SendRequest(int port, Frames frames) {
    for (int start = 1;; ++start) {
        const int r = frames();
        if (r == 1) return 1;
        if (r != kFrameLate || start == kRequestStarts) return -1;
        PauseAfterSent(port, kDropPauseMs);
    }
}

int SendReadRequest(int port, int ctrl, uint32_t address, int count, int board) {
    return SendRequest(port, [&] {
        const int r = SendCmd(port, ctrl, static_cast<uint8_t>(kCmdRead + board));
        return r == 1 ? SendAddressFrame(port, address, count) : r;
    });
}

// The length query: 1 byte asked at the block address, answered by the length
// and a trailing byte. Returns the length, or -1.
int QueryLength(int port, int ctrl, uint32_t blockAddr, int board) {
    if (SendReadRequest(port, ctrl, blockAddr, 1, board) != 1) return -1;
    AwaitSent(port);
    const int64_t deadline = NowMs() + Scaled(200, Multiplier());
    if (WaitUntil(port, deadline, [](int k) { return k == 2; }) != 2) return -1;
    uint8_t answer[2];
    if (PortRead(port, answer, 2) != 1) return -1;
    return answer[0];
}

// One piece of a read: piece + 1 bytes expected, the trailing one dropped by the caller.
int ReadPiece(int port, int ctrl, uint32_t address, int piece, uint8_t* dst, int board) {
    if (SendReadRequest(port, ctrl, address, piece, board) != 1) return -1;
    AwaitSent(port);
    const int want = piece + 1;
    const int m = Multiplier();
    // The stall time starts again whenever more of the answer has come, but
    // only up to the expected count: bytes beyond it (an answer too long, a
    // chattering line) are no progress. So the piece ends at the latest after
    // one stall time per expected byte.
    const int64_t stallMs = (Scaled(20, m) + 1) * kSlowPollMs;
    const int64_t start = NowMs();
    const int64_t overall = start + stallMs * want;
    int64_t stallEnd = start + stallMs;
    int highest = 0;
    for (;;) {
        const int n = WaitUntil(port, std::min(stallEnd, overall),
                                [&](int k) { return k == want || (k > highest && k < want); });
        if (n == want) break;
        if (n > highest && n < want) { // the answer is still coming
            highest = n;
            stallEnd = NowMs() + stallMs;
            if (stallEnd > overall) stallEnd = overall;
            continue;
        }
        // An answer that is too long never matches; bytes past the expected
        // count are no progress either.
        if (NowMs() >= stallEnd) return -1;
    }
    return PortRead(port, dst, want) == 1 ? 1 : -1;
}

int WritePiece(int port, int ctrl, uint32_t address, int piece, const uint8_t* data, int board) {
    if (SendRequest(port, [&] {
            const int r = SendCmd(port, ctrl, static_cast<uint8_t>(kCmdWrite + board));
            return r == 1 ? SendWriteFrames(port, address, piece, data) : r;
        }) != 1)
        return -1;
    AwaitSent(port);
    const int want = piece >= 2 ? 1 : 2;
    const int64_t deadline = NowMs() + (Scaled(50, Multiplier()) + 1) * kSlowPollMs;
    if (WaitUntil(port, deadline, [want](int k) { return k == want; }) != want) return -1;
    uint8_t answer[2];
    if (PortRead(port, answer, want) != 1) return -1;
    return answer[want - 1] == 0 ? 1 : -1;
}

int WriteImagePiece(int port, int ctrl, uint32_t address, int piece, const uint8_t* data) {
    if (SendRequest(port, [&] {
            const int r = SendCmd(port, ctrl, static_cast<uint8_t>(kCmdWrite + kBoardMain));
            if (r != 1) return r;
            PauseAfterSent(port, kImageCommandGapMs);
            return SendWriteFrames(port, address, piece, data);
        }) != 1)
        return -1;
    AwaitSent(port);
    // A 1-byte piece is answered with 2 bytes and the status is the last one:
    // wait for both so that a refusal is never taken for an acceptance.
    const int want = piece >= 2 ? 1 : 2;
    const int64_t deadline = NowMs() + Scaled(300, Multiplier()) + 1;
    if (WaitUntil(port, deadline, [want](int k) { return k >= want; }) < want) return -1;
    uint8_t answer[2];
    if (PortRead(port, answer, want) != 1) return -1;
    if (answer[want - 1] != 0) return -1;
    // Whatever else came is dropped.
    int rest = port_avail(port);
    std::vector<uint8_t> sink(static_cast<size_t>(rest > 0 ? rest : 0));
    if (rest > 0) PortRead(port, sink.data(), rest);
    return 1;
}

int PresentPassword(int port, int ctrl, uint32_t address, long value) {
    const uint8_t data[2] = {static_cast<uint8_t>(value / 100), static_cast<uint8_t>(value % 100)};
    const int r = WriteBlock(port, ctrl, address, 2, data, kBoardMain);
    if (r != 1) ShowControllerError(port, ctrl);
    return r;
}

} // namespace

int TimeoutMultiplierFromText(std::string_view text) {
    int value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || value <= 0) return 1;
    return value;
}

void SetTimeoutMultiplier(int value) {
    Protocol().timeoutMultiplier = value < 1 ? 1 : value;
}

int TimeoutMultiplier() {
    return Protocol().timeoutMultiplier;
}

int* BlockSizes() {
    return Protocol().blockSizes;
}

int ReadBlock(int port, int ctrl, uint32_t blockAddr, int length, uint8_t* dst, int board) {
    if (BadHandle(port)) return -3;
    if (Protocol().demoMode) return DemoRead(blockAddr, dst, length > 0 ? length : kLengthQueryCapacity);
    if (!ValidBoard(board) || !dst) return -1;
    uint32_t address = blockAddr;
    if (length <= 0) {
        length = QueryLength(port, ctrl, blockAddr, board);
        if (length < 0) return -1;
        address = blockAddr + 1;
    }
    std::vector<uint8_t> work(static_cast<size_t>(length) + 1);
    int pos = 0;
    while (pos < length) {
        const int piece = std::min(length - pos, kPieceSize);
        // The piece's trailing byte lands where the next piece starts and is overwritten by it.
        if (ReadPiece(port, ctrl, address, piece, work.data() + pos, board) != 1) return -1;
        pos += piece;
        address += static_cast<uint32_t>(piece);
    }
    if (length > 0) std::memcpy(dst, work.data(), static_cast<size_t>(length));
    return length;
}

int WriteBlock(int port, int ctrl, uint32_t blockAddr, int count, const uint8_t* data, int board) {
    if (BadHandle(port)) return -3;
    if (Protocol().demoMode) {
        NoteBlockWriteStart(port, ctrl, board, blockAddr, data, count);
        const int r = DemoWrite(Protocol().demoFileName, blockAddr, data, count);
        if (r == 1) NoteBlockWrite(port, ctrl, board, blockAddr, data, count);
        return r;
    }
    if (count == 0) return 1;
    if (count < 0 || !data || !ValidBoard(board)) return -1;
    NoteBlockWriteStart(port, ctrl, board, blockAddr, data, count);
    for (int pos = 0; pos < count;) {
        const int piece = std::min(count - pos, kPieceSize);
        if (WritePiece(port, ctrl, blockAddr + static_cast<uint32_t>(pos), piece, data + pos, board) != 1)
            return -1;
        pos += piece;
    }
    NoteBlockWrite(port, ctrl, board, blockAddr, data, count);
    return 1;
}

int ReadBlockSizes(int port, int ctrl) {
    uint8_t raw[kLenSizes] = {};
    int* sizes = Protocol().blockSizes;
    if (ReadBlock(port, ctrl, kAddrSizes, kLenSizes, raw, kBoardMain) != kLenSizes) {
        for (int i = 0; i < 7; ++i)
            sizes[i] = 0;
        return -1;
    }
    for (int i = 0; i < 7; ++i)
        sizes[i] = static_cast<int8_t>(raw[i]);
    return 1;
}

int RestartController(int port, int ctrl) {
    const uint8_t one = 0x01;
    const int r = WriteBlock(port, ctrl, kAddrRestart, 1, &one, kBoardMain);
    return r == -3 ? -3 : (r == 1 ? 1 : -1);
}

int ReadSimulator(int port, int ctrl) {
    uint8_t reg = 0;
    if (ReadBlock(port, ctrl, kRegSimulator, 1, &reg, kBoardRegisters) != 1) return -1;
    return (reg & kSimulatorBit) ? 1 : 0;
}

int SetSimulator(int port, int ctrl, bool on) {
    if (BadHandle(port)) return -3;
    uint8_t reg = 0;
    // The other seven bits of the register are kept as the controller has them.
    if (ReadBlock(port, ctrl, kRegSimulator, 1, &reg, kBoardRegisters) != 1) return -1;
    reg = on ? static_cast<uint8_t>(reg | kSimulatorBit) : static_cast<uint8_t>(reg & ~kSimulatorBit);
    return WriteBlock(port, ctrl, kRegSimulator, 1, &reg, kBoardRegisters) == 1 ? 1 : -1;
}

int ReadTemperatureRaw(int port, int ctrl, uint8_t* dst3) {
    return ReadBlock(port, ctrl, kRegTemperature, kLenTemperature, dst3, kBoardRegisters) > 0 ? 1 : 0;
}

int PresentAdminPassword(int port, int ctrl, long value) {
    return PresentPassword(port, ctrl, kAddrAdminPassword, value);
}

int PresentAdjustPassword(int port, int ctrl, long value) {
    return PresentPassword(port, ctrl, kAddrAdjustPassword, value);
}

int WriteImageBlock(int port, int ctrl, uint32_t blockAddr, int count, const uint8_t* data) {
    if (BadHandle(port)) return -3;
    if (Protocol().demoMode) {
        NoteBlockWriteStart(port, ctrl, kBoardMain, blockAddr, data, count);
        const int r = DemoWrite(Protocol().demoFileName, blockAddr, data, count);
        if (r == 1) NoteBlockWrite(port, ctrl, kBoardMain, blockAddr, data, count);
        return r;
    }
    if (count == 0) return 1;
    if (count < 0 || !data) return -1;
    NoteBlockWriteStart(port, ctrl, kBoardMain, blockAddr, data, count);
    for (int pos = 0; pos < count;) {
        const int piece = std::min(count - pos, kPieceSize);
        if (WriteImagePiece(port, ctrl, blockAddr + static_cast<uint32_t>(pos), piece, data + pos) != 1)
            return -1;
        pos += piece;
    }
    NoteBlockWrite(port, ctrl, kBoardMain, blockAddr, data, count);
    return 1;
}

long ImageLength(const int8_t h[7]) {
    // Sizes 1 and 2 are not used by the image.
    for (int i : {kSizeParams, kSizeNozSetts, kSizeImageBlocks, kSizeNozRegs, kSizeSides})
        if (h[i] < 0) return -1;
    return 7L + h[0] + 10L * h[3] + 2L * h[4] + 2L * h[6] + 10L * h[5] + kNaraSpecificImageLength +
           kLenBlock3000;
}

bool PlanImageWrite(const uint8_t* image, size_t imageSize, const int sizes[7],
                    std::vector<ImageWriteBlock>& out) {
    out.clear();
    if (!image || imageSize < 7) return false;
    int8_t h[7];
    std::memcpy(h, image, 7);
    const long needed = ImageLength(h);
    if (needed < 0 || static_cast<size_t>(needed) > imageSize) return false;
    int s[7];
    std::copy(sizes, sizes + 7, s);
    // Sizes 1 and 2 are used by nothing: whatever the controller reports there is no reason to refuse.
    for (int i : {kSizeParams, kSizeNozSetts, kSizeImageBlocks, kSizeNozRegs, kSizeSides})
        if (s[i] < 0) return false;

    size_t at = 7;
    // Takes the image's h bytes with the controller's size s (zero filled or
    // cut) and moves past h bytes of the image. A group the controller reports
    // no size for is left out.
    auto take = [&](uint32_t address, int hSize, int sSize, bool closeWithChecksum) {
        if (sSize > 0) {
            std::vector<uint8_t> block(static_cast<size_t>(sSize), 0);
            std::memcpy(block.data(), image + at, static_cast<size_t>(std::min(hSize, sSize)));
            if (closeWithChecksum)
                block[static_cast<size_t>(sSize - 1)] =
                    FrameChecksum(block.data(), static_cast<size_t>(sSize - 1));
            out.push_back({address, std::move(block)});
        }
        at += static_cast<size_t>(hSize);
    };

    if (h[kSizeParams] == 0 && s[kSizeParams] == 0) return false;
    take(CtrlrParams.address, h[kSizeParams], s[kSizeParams], true);

    if (h[kSizeNozSetts] == 0 && s[kSizeNozSetts] == 0) return false;
    s[kSizeNozSetts] = h[kSizeNozSetts]; // channel settings go out with the image's own size
    for (int n = 0; n < kMaxChannels; ++n)
        take(NozSetts.address + n * kChannelStride, h[kSizeNozSetts], s[kSizeNozSetts], false);

    if (h[kSizeImageBlocks] != 0 || s[kSizeImageBlocks] != 0) {
        take(kAddrImageBlock0, h[kSizeImageBlocks], s[kSizeImageBlocks], false);
        take(kAddrImageBlock1, h[kSizeImageBlocks], s[kSizeImageBlocks], false);
    }

    if (h[kSizeSides] == 0 && s[kSizeSides] == 0) return false;
    take(SideAddress(0), h[kSizeSides], s[kSizeSides], false);
    take(SideAddress(1), h[kSizeSides], s[kSizeSides], false);

    if (h[kSizeNozRegs] == 0 && s[kSizeNozRegs] == 0) return false;
    for (int n = 0; n < kMaxChannels; ++n)
        take(NozRegs.address + n * kChannelStride, h[kSizeNozRegs], s[kSizeNozRegs], false);

    take(NaraSpecific.address, kNaraSpecificImageLength, kNaraSpecificImageLength, false);
    take(kAddrBlock3000, kLenBlock3000, kLenBlock3000, false);
    return true;
}

int WriteImage(int port, int ctrl, const uint8_t* image, size_t imageSize) {
    if (BadHandle(port)) return -1; // like every other failure of the whole-image write
    if (!image || imageSize < 7) return -1;
    int8_t h[7];
    std::memcpy(h, image, 7);
    const long needed = ImageLength(h);
    if (needed < 0 || static_cast<size_t>(needed) > imageSize) return -1;

    if (ReadBlockSizes(port, ctrl) != 1) return -1;
    std::vector<ImageWriteBlock> blocks;
    const bool whole = PlanImageWrite(image, imageSize, Protocol().blockSizes, blocks);
    // The channel settings size is the image's from here on.
    if (!blocks.empty()) Protocol().blockSizes[kSizeNozSetts] = h[kSizeNozSetts];
    // A group neither has ends the write where it comes, after the blocks before it.
    for (const ImageWriteBlock& b : blocks)
        if (WriteImageBlock(port, ctrl, b.address, static_cast<int>(b.bytes.size()), b.bytes.data()) != 1)
            return -1;
    return whole ? 1 : -1;
}
