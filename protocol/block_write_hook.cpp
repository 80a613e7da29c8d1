#include "block_write_hook.h"

#include "port_layer.h"

#include <utility>
#include <vector>

namespace {

struct Entry {
    int id;
    BlockWriteObserver observer;
};

std::vector<Entry>& Observers() {
    static std::vector<Entry> list;
    return list;
}

std::vector<Entry>& StartObservers() {
    static std::vector<Entry> list;
    return list;
}

void Remove(std::vector<Entry>& list, int id) {
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->id == id) {
            list.erase(it);
            return;
        }
}

void Tell(const std::vector<Entry>& observers, int port, int ctrl, int board, uint32_t address,
          const uint8_t* data, int count) {
    if (count <= 0 || !data || observers.empty()) return;
    const BlockWriteEvent event{port, ctrl, board, address, data, count, PortNameOf(port)};
    // A copy: an observer may add or remove observers (or run a nested write).
    const std::vector<Entry> list = observers;
    for (const Entry& e : list)
        if (e.observer) e.observer(event);
}

int nextId = 0;

} // namespace

int AddBlockWriteObserver(BlockWriteObserver observer) {
    Observers().push_back({++nextId, std::move(observer)});
    return nextId;
}

void RemoveBlockWriteObserver(int id) {
    Remove(Observers(), id);
}

void NoteBlockWrite(int port, int ctrl, int board, uint32_t address, const uint8_t* data, int count) {
    Tell(Observers(), port, ctrl, board, address, data, count);
}

int AddBlockWriteStartObserver(BlockWriteObserver observer) {
    StartObservers().push_back({++nextId, std::move(observer)});
    return nextId;
}

void RemoveBlockWriteStartObserver(int id) {
    Remove(StartObservers(), id);
}

void NoteBlockWriteStart(int port, int ctrl, int board, uint32_t address, const uint8_t* data, int count) {
    Tell(StartObservers(), port, ctrl, board, address, data, count);
}
