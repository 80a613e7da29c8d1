// Side addressing: side addresses, the Nara channel address grids and the
// physical-to-logical channel grids, and how they travel between the block and
// the controls. Grids are handled here as lists of cell texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace settings {

using Cells = std::vector<std::string>;

// Nozzles per side and sides as the block holds them, bounded so that every
// index stays inside bytes 6..15 and 35..44.
int NozzlesOf(const uint8_t* block);
int SidesOf(const uint8_t* block);

// Cell texts from the block (a read).
void FillNaraCells(const uint8_t* block, int nozzles, Cells& a, Cells& b);
void FillPhysCells(const uint8_t* block, int nozzles, int sides, Cells& a, Cells& b);
// Row 0 of the physical-to-logical grids: the physical channel numbers.
Cells PhysHeaderCells(int nozzles);

// Automatic numbering after a change of the side or nozzle count: a zero byte
// continues from the previous cell (grid B's first cell from grid A's last).
void AutoNumberNara(const uint8_t* block, int nozzles, Cells& a, Cells& b);
void RenumberPhys(int nozzles, Cells& a, Cells& b);

// A side address: a decimal number of at most 255.
bool SideAddressValid(const std::string& text, int* value = nullptr);

// Index of the first cell of `own` that is not a number of at most 255, equals
// an earlier cell of `own` or any cell of `other`; -1 when all pass. For the
// physical-to-logical grids 255 ("no channel") may repeat.
int FirstBadNaraCell(const Cells& own, const Cells& other);
int FirstBadPhysCell(const Cells& own, const Cells& other);

// Nara grid A on leaving it. Colour: a zero or a repeated value only turns the
// font red. A cell that is not a number of at most 255 cannot be stored in its
// byte at all; that also marks the grid (nothing is truncated into the block).
enum class GridACheck { Ok, Coloured, Invalid };
GridACheck CheckNaraGridA(const Cells& a);

// Stores the cells into the block (after their checks passed).
void StoreNaraA(uint8_t* block, const Cells& a);
void StoreNaraB(uint8_t* block, int nozzles, const Cells& b);
void StorePhysA(uint8_t* block, int nozzles, int sides, const Cells& a);
void StorePhysB(uint8_t* block, const Cells& b);

// The grids taken on save: the whole map (255 where no channel is) and the
// Nara addresses (zero beyond the last nozzle of side B). A cell that is not
// a number of at most 255 leaves its byte as it was.
void TakeGrids(uint8_t* block, int nozzles, int sides, const Cells& naraA, const Cells& naraB,
               const Cells& physA, const Cells& physB);

} // namespace settings
