// Side addressing: numbering, grid checks and the block mapping.
#include <gtest/gtest.h>

#include "block_layout.h"
#include "ctrl_params_core.h"
#include "memory_map.h"
#include "side_addressing_core.h"

using namespace settings;
using ctrlrparams::NaraAddr;
using ctrlrparams::PhysToLogA;
using ctrlrparams::PhysToLogB;

TEST(SideNumbering, ZerosContinueFromThePreviousCell) {
    uint8_t b[64] = {};
    b[kNaraAddrs + 0] = 7;
    Cells a, bb;
    AutoNumberNara(b, 3, a, bb);
    EXPECT_EQ(a, (Cells{"7", "8", "9"}));
    EXPECT_EQ(bb, (Cells{"10", "11", "12"}));
    b[kNaraAddrs + 3] = 20; // side B's first nozzle when N = 3
    AutoNumberNara(b, 3, a, bb);
    EXPECT_EQ(bb, (Cells{"20", "21", "22"}));
    uint8_t z[64] = {};
    AutoNumberNara(z, 2, a, bb);
    EXPECT_EQ(a, (Cells{"1", "2"}));
    EXPECT_EQ(bb, (Cells{"3", "4"}));
    RenumberPhys(4, a, bb);
    EXPECT_EQ(a, (Cells{"0", "1", "2", "3"}));
    EXPECT_EQ(bb, (Cells{"4", "5", "6", "7"}));
}

TEST(SideChecks, NaraGridBRules) {
    EXPECT_EQ(FirstBadNaraCell({"5", "6"}, {"1", "2"}), -1);
    EXPECT_EQ(FirstBadNaraCell({"5", "256"}, {"1"}), 1);
    EXPECT_EQ(FirstBadNaraCell({"5", "5"}, {"1"}), 1);
    EXPECT_EQ(FirstBadNaraCell({"1", "6"}, {"1"}), 0);
    EXPECT_EQ(FirstBadNaraCell({""}, {"1"}), 0);
    EXPECT_EQ(FirstBadNaraCell({"05", "5"}, {}), 1); // compared as numbers
}

TEST(SideChecks, PhysGridAllows255ToRepeat) {
    EXPECT_EQ(FirstBadPhysCell({"0", "255", "255"}, {"3", "255"}), -1);
    EXPECT_EQ(FirstBadPhysCell({"0", "1", "1"}, {"3"}), 2);
    EXPECT_EQ(FirstBadPhysCell({"0", "3"}, {"3"}), 1);
    EXPECT_EQ(FirstBadPhysCell({"0", "300"}, {}), 1);
}

TEST(SideChecks, NaraGridAColoursZeroAndDuplicatesOnly) {
    EXPECT_EQ(CheckNaraGridA({"1", "2"}), GridACheck::Ok);
    EXPECT_EQ(CheckNaraGridA({"0", "2"}), GridACheck::Coloured);
    EXPECT_EQ(CheckNaraGridA({"2", "2"}), GridACheck::Coloured);
    EXPECT_EQ(CheckNaraGridA({"2", "257"}), GridACheck::Invalid); // never stored as 1
    EXPECT_EQ(CheckNaraGridA({"2", ""}), GridACheck::Invalid);
    EXPECT_TRUE(SideAddressValid("255"));
    EXPECT_FALSE(SideAddressValid("256"));
    EXPECT_FALSE(SideAddressValid(""));
}

TEST(SideBlock, FillAndTakeWithTheOneSideTwoNozzleException) {
    uint8_t b[64] = {};
    for (int i = 0; i < 10; ++i)
        b[kPhysToLog + i] = static_cast<uint8_t>(10 + i);
    Cells a, bb;
    FillPhysCells(b, 2, 1, a, bb);
    EXPECT_EQ(a, (Cells{"10", "11"})); // the first pair of the map
    FillPhysCells(b, 3, 2, a, bb);
    EXPECT_EQ(a, (Cells{"10", "12", "14"}));
    EXPECT_EQ(bb, (Cells{"11", "13", "15"}));

    TakeGrids(b, 2, 1, {"1", "2"}, {"3", "4"}, {"0", "1"}, {"2", "3"});
    EXPECT_EQ(b[PhysToLogA.offset], 0);
    EXPECT_EQ(b[PhysToLogB.offset], 1);
    for (int i = PhysToLogA.offset + PhysToLogA.stride;
         i < PhysToLogA.offset + PhysToLogA.count * PhysToLogA.stride; ++i)
        EXPECT_EQ(b[i], 255) << i;
    EXPECT_EQ(b[NaraAddr.offset], 1);
    EXPECT_EQ(b[NaraAddr.offset + 1], 2);
    EXPECT_EQ(b[NaraAddr.offset + 2], 3);
    EXPECT_EQ(b[NaraAddr.offset + 3], 4);
    for (int i = NaraAddr.offset + 4; i < NaraAddr.offset + NaraAddr.count; ++i)
        EXPECT_EQ(b[i], 0) << i;
}

TEST(SideBlock, FiveNozzlesTwoSidesReachEveryByte) {
    uint8_t b[64];
    std::fill(std::begin(b), std::end(b), 0xAA);
    TakeGrids(b, 5, 2, {"1", "2", "3", "4", "5"}, {"6", "7", "8", "9", "10"}, {"0", "1", "2", "3", "4"},
              {"5", "6", "7", "8", "9"});
    for (int j = 0; j < 10; ++j)
        EXPECT_EQ(b[NaraAddr.offset + j], j + 1);
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(b[PhysToLogA.offset + PhysToLogA.stride * j], j);
        EXPECT_EQ(b[PhysToLogB.offset + PhysToLogB.stride * j], 5 + j);
    }
    // The reserved bytes after the addresses and after the map stay untouched.
    EXPECT_EQ(b[NaraAddr.offset + NaraAddr.count], 0xAA);
    EXPECT_EQ(b[PhysToLogA.offset + PhysToLogA.count * PhysToLogA.stride], 0xAA);
    // One side of three: side B's map bytes and the unused pairs are 255.
    TakeGrids(b, 3, 1, {"1", "2", "3"}, {"4", "5", "6"}, {"0", "1", "2"}, {"3", "4", "5"});
    EXPECT_EQ(b[PhysToLogB.offset], 255);
    EXPECT_EQ(b[PhysToLogA.offset + 3 * PhysToLogA.stride], 255);
    EXPECT_EQ(b[PhysToLogB.offset + 3 * PhysToLogB.stride], 255);
    EXPECT_EQ(b[NaraAddr.offset + 6], 0);
    Cells na, nb;
    FillNaraCells(b, 3, na, nb);
    EXPECT_EQ(na, (Cells{"1", "2", "3"}));
    EXPECT_EQ(nb, (Cells{"4", "5", "6"}));
}

TEST(SideBlock, StoresOnExit) {
    uint8_t b[64] = {};
    StoreNaraB(b, 3, {"7", "8", "9"});
    EXPECT_EQ(b[NaraAddr.offset + 3], 7);
    EXPECT_EQ(b[NaraAddr.offset + 5], 9);
    StorePhysB(b, {"4", "255"});
    EXPECT_EQ(b[PhysToLogB.offset], 4);
    EXPECT_EQ(b[PhysToLogB.offset + PhysToLogB.stride], 255);
    StorePhysA(b, 2, 1, {"1", "0"});
    EXPECT_EQ(b[PhysToLogA.offset], 1);
    EXPECT_EQ(b[PhysToLogB.offset], 0);
    int n = NozzlesOf(b);
    EXPECT_EQ(n, 1);
}
