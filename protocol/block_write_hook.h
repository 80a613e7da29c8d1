// Observers of successful block writes. WriteBlock and WriteImageBlock (demo
// writes included) report every block that went through, once per block, so
// that a write journal and the progress of long writes need no help from the
// callers. Everything runs on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct BlockWriteEvent {
    int port;
    int ctrl;
    int board;
    uint32_t address;
    const uint8_t* data;
    int count;
    std::string portName; // the port's name as the port layer has it, for the journal
};

using BlockWriteObserver = std::function<void(const BlockWriteEvent&)>;

// Returns an id for RemoveBlockWriteObserver (never 0).
int AddBlockWriteObserver(BlockWriteObserver observer);
void RemoveBlockWriteObserver(int id);
// Called by the block writes after success; a count of 0 is not reported.
void NoteBlockWrite(int port, int ctrl, int board, uint32_t address, const uint8_t* data, int count);

// Observers of block writes about to start: told before the first piece goes
// out, so that a write cut off half way (a killed program, a dead line) is
// still on record. A start is followed by NoteBlockWrite only when the write
// went through.
int AddBlockWriteStartObserver(BlockWriteObserver observer);
void RemoveBlockWriteStartObserver(int id);
void NoteBlockWriteStart(int port, int ctrl, int board, uint32_t address, const uint8_t* data, int count);

// An observer for the life of a scope.
class ScopedBlockWriteObserver {
public:
    explicit ScopedBlockWriteObserver(BlockWriteObserver observer)
        : id_(AddBlockWriteObserver(std::move(observer))) {}
    ~ScopedBlockWriteObserver() { RemoveBlockWriteObserver(id_); }
    ScopedBlockWriteObserver(const ScopedBlockWriteObserver&) = delete;
    ScopedBlockWriteObserver& operator=(const ScopedBlockWriteObserver&) = delete;

private:
    int id_;
};
