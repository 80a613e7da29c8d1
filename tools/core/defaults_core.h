// Factory defaults: the default controller image of each dispenser type, the
// rules of the form that adjusts its sides, nozzles and addresses (TformDefSet
// keeps no state of its own beyond this model), the summary text, and writing
// the image into a controller or into the demo file.
#pragma once

#include "fixed_image.h"
#include "guarded_write.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tools {

constexpr int kDefaultTypes = 4;
constexpr int kNoType = -1; // the type list before a choice; builds the image of type 0
// "Шельф", "Нара", "УЗСГ", "УНСГ"
extern const char* const kDefaultTypeNames[kDefaultTypes];
// The type for a name or a number 0..3, or kNoType.
int DefaultTypeFromText(const std::string& text);

constexpr int kMaxDefaultNozzles = 8;
constexpr int kNaraChannelMask = 0; // NaraSpecific u16: bit i set for each channel in use

extern const char* const kNotSupported; // "Не поддерживается работа с данным устройством"
extern const char* const kDemoWriteFailed; // "Ошибка записи"
// Our explanation beside the disabled write button when sides x nozzles is above 10.
extern const char* const kTooManyChannels;

// The image of the tables for a type, laid out for the type's own sides and
// nozzles (types 0 and 1: two sides of four, type 2: two sides of one, type 3:
// one side of one). The checksum byte is left for the write to compute.
FixedImage DefaultImage(int type);

// The physical-to-logical map (parameter bytes 35..44): pair j is (j, j + n)
// with two sides and (j, 255) with one side while j < n, else (255, 255).
void ChangePhysToLog(uint8_t* params, int sides, int nozzles);

// The form: what each control shows and the image it edits. The handlers keep
// the image bytes in step with what the controls show; a channel address is
// only ever stored into the ten address bytes 6..15.
class DefaultsForm {
public:
    int type = kNoType;
    FixedImage image{};
    std::vector<int> nozzleItems; // counts offered by cbCountNoz_DS
    int nozzleIndex = 0;
    std::vector<int> sideItems; // counts offered by cbCountSize_DS
    int sideIndex = 0;
    std::string sideText[2] = {"1", "2"}; // eAdrTrk1_DS, eAdrTrk2_DS
    bool sideBVisible = true;             // gbTrk2_DS
    std::vector<std::string> cells[2];    // sgAdrNaraTrk1_DS, sgAdrNaraTrk2_DS: one cell per nozzle
    bool redSide[2] = {false, false};
    bool redGrid[2] = {false, false};
    bool designTimeSummary = true; // the memo keeps its first text until the type is changed

    int sides() const;
    int nozzles() const;
    int channels() const { return sides() * nozzles(); }
    // More channels than a controller holds: writing is refused.
    bool tooManyChannels() const;
    // "Записать в устройство" is enabled: no visible control is red and the
    // channels fit the controller.
    bool writeEnabled() const;

    // FormShow: the image of the selected type laid out for its sides.
    void open();
    // cbTypeTrkChange.
    void typeChanged(int newType);
    // The engineer chose an item of the side or nozzle list (no change when it
    // is the item already selected).
    void sideItemChosen(int index);
    void nozzleItemChosen(int index);
    // eAdrTrkN_DSChange (side 0 = A) and eAdrTrkN_DSExit.
    void sideAddressChanged(int side, const std::string& text);
    void sideAddressLeft(int side);
    // A cell's text was edited (SetEditText) and a grid was left (Exit).
    void cellEdited(int side, int cell, const std::string& text);
    void gridLeft(int side);
    // The channel whose address a cell holds (side A cell c: c, side B cell c:
    // n + c), or -1 when the address bytes have no room for it.
    int cellChannel(int side, int cell) const;

    // Step 1 and 2 of the write: the grids' texts become the addresses, then
    // zero, duplicate and out-of-range addresses turn their control red. True
    // when the image may be written.
    bool checkForWrite();
    // Step 3: NaraSpecific byte 24, the channel mask, zero fiscal totalizers,
    // the checksum of the parameter block.
    void sealForWrite();

    // The memo text (create_monp), one entry a line.
    std::vector<std::string> summary() const;

    // defaultset, cbCountSize_DSChange and cbCountNoz_DSChange.
    void defaultset(int newType);
    void sidesChanged();
    void nozzlesChanged();

private:
    int baseType() const { return type < 0 ? 0 : type; }
    void layOutGrids(); // one cell per nozzle; a new cell shows the address stored for it
    void checkSideAddresses();
    void checkGrids(int editedSide);
    int address(int channel) const;
};

// The summary lines of a type; `designTime` adds the hose compensation line
// the memo shows before the type list is first used.
std::vector<std::string> DefaultsSummary(int type, bool designTime);

// One block of the write, in order.
struct DefaultsBlock {
    uint32_t address;
    int offset; // in the image
    int length;
    const char* failure; // message when its write fails
};
const std::vector<DefaultsBlock>& DefaultsBlocks();

// The guarded write of the image into a controller (snapshot, every block,
// read-back, restart, the controller found at its new side A address or its
// old one): the blocks in order, each with its message, for a request the
// caller completes (snapshot question, password step, progress).
std::vector<image::WholeBlock> DefaultsWriteBlocks(const FixedImage& image);
image::WholeWriteRequest DefaultsWriteRequest(int port, int ctrl, const FixedImage& image);

// The demo file of an image: the size header 58, nozzles, sides, 20, 0, 69,
// 12, then the 1100 bytes.
std::vector<uint8_t> DemoDefaultsFile(const FixedImage& image);
// Replaces the demo file (written beside it and renamed); false when it
// cannot be written.
bool WriteDemoDefaults(const std::string& fileName, const FixedImage& image);

// check_ver_ctrlr: a controller answers a 1-byte read of register 0x24.
bool DeviceSupported(int port, int ctrl);

} // namespace tools
