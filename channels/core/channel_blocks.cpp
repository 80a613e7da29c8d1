#include "channel_blocks.h"

#include "protocol_state.h"

#include <algorithm>
#include <cstring>

namespace settings {

std::vector<std::string> ChannelListItems(int sides, int hosesPerSide) {
    std::vector<std::string> items;
    const int hoses = std::min(hosesPerSide, kMaxChannels);
    for (int s = 0; s < (sides >= 2 ? 2 : 1); ++s)
        for (int k = 0; k < hoses; ++k)
            if (s * hosesPerSide + k < kMaxChannels)
                items.push_back(std::string("Сторона ") + (s == 0 ? "А" : "Б") + ". Рукав " +
                                std::to_string(k + 1));
    return items;
}

ChannelSaveWords SaveWords(ChannelSave result) {
    switch (result) {
    case ChannelSave::Written:
        return {"", false};
    case ChannelSave::Unchanged:
        return {"Запись не произведена. Не было изменений параметров", false};
    case ChannelSave::BadChannel:
        return {"Ошибка номера канала", true};
    case ChannelSave::SizesUnreadable:
        return {"Ошибка чтения размеров параметров", true};
    case ChannelSave::WriteFailed:
        break;
    }
    return {"Ошибка записи", false};
}

int ControllerBlockSize(int port, int ctrl, int sizeIndex) {
    if (sizeIndex < 0 || sizeIndex >= kLenSizes) return -1;
    if (!Protocol().demoMode && ReadBlockSizes(port, ctrl) != 1) return -1;
    const int size = BlockSizes()[sizeIndex];
    // A size of 0 would make the write a no-op that reports success.
    return size >= 1 ? size : -1;
}

std::vector<uint8_t> PaddedChannelBuffer(const uint8_t* block, int length, int size) {
    std::vector<uint8_t> out(static_cast<size_t>(std::max(size, 0)), 0);
    const int n = std::clamp(std::min(length, size), 0, size);
    if (n > 0) std::memcpy(out.data(), block, static_cast<size_t>(n));
    return out;
}

} // namespace settings
