// don.msg parsing: line forms, escapes, first match, capacities, random input.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "error_messages.h"

TEST(ErrorMessages, LineForms) {
    ErrorMessageTable t;
    t.Parse(";16,1,comment\n"
            "\n"
            "16,1,\x8E\xE8\xA8\xA1\xAA\xA0 \\x41\\x4a\\q\\\r\n" // Ошибка, \x41 = A, lower-case hex stays
            "16,1,second entry with the same code\n"
            "16,2\n" // two numbers, no text
            "7,1,other group\n"
            "x16,3,not a number\n"
            "16;4,bad separator\n"
            "16,5,last line without line feed");
    EXPECT_EQ(t.Lookup(16, 1), "\x8E\xE8\xA8\xA1\xAA\xA0 A\\x4a\\q\\");
    EXPECT_EQ(t.Lookup(7, 1), "other group");
    EXPECT_EQ(t.Lookup(16, 2), "");
    EXPECT_EQ(t.Lookup(16, 3), "");
    EXPECT_EQ(t.Lookup(16, 4), "");
    EXPECT_EQ(t.Lookup(16, 5), "last line without line feed");
    EXPECT_EQ(t.Lookup(16, 99), "");
    EXPECT_EQ(t.Count(), 5); // 16/1 twice, 16/2, 7/1, 16/5

    // The empty entry is the first match and hides a later text.
    t.Parse("16,9,\n16,9,later\n");
    EXPECT_EQ(t.Lookup(16, 9), "");
}

TEST(ErrorMessages, LongLinesAreReadInPieces) {
    ErrorMessageTable t;
    const std::string text(300, 'z');
    t.Parse("16,1," + text + "\n16,2,next\n");
    EXPECT_EQ(t.Lookup(16, 1), std::string(253 - 5, 'z'));
    EXPECT_EQ(t.Lookup(16, 2), "next"); // the rest of the long line is skipped, nothing else lost
}

TEST(ErrorMessages, Capacities) {
    ErrorMessageTable entries;
    std::string many;
    for (int i = 0; i < 3300; ++i)
        many += "16," + std::to_string(i) + ",e\n";
    entries.Parse(many);
    EXPECT_EQ(entries.Count(), kErrorTableEntries);
    EXPECT_EQ(entries.Lookup(16, 3199), "e");
    EXPECT_EQ(entries.Lookup(16, 3200), "");

    ErrorMessageTable pool;
    std::string big;
    const std::string text(240, 'p');
    for (int i = 0; i < 600; ++i)
        big += "16," + std::to_string(i) + "," + text + "\n";
    pool.Parse(big);
    EXPECT_LE(pool.TextBytes(), kErrorTablePool);
    EXPECT_EQ(pool.Count(), int(kErrorTablePool / 240));
    EXPECT_EQ(pool.Lookup(16, pool.Count() - 1), text);
    EXPECT_EQ(pool.Lookup(16, pool.Count()), "");
}

TEST(ErrorMessages, LoadFromFile) {
    ErrorMessageTable t;
    EXPECT_FALSE(t.Load("missing.msg"));
    EXPECT_EQ(t.Count(), 0);
    std::ofstream("don.msg", std::ios::binary) << "; texts\r\n16,12,\x8D\xA5\xA2\xA5\xE0\xAD\xEB\xA9\r\n";
    EXPECT_TRUE(t.Load());
    EXPECT_EQ(t.Lookup(16, 12), "\x8D\xA5\xA2\xA5\xE0\xAD\xEB\xA9");

    // A don.msg that opens but cannot be read (a folder) is a failed load with
    // an empty table, never an exception out of the loader.
    ::mkdir("folder.msg", 0755);
    EXPECT_FALSE(t.Load("folder.msg"));
    EXPECT_EQ(t.Count(), 0);
    EXPECT_FALSE(t.Loaded());
    ::rmdir("folder.msg");
}

TEST(ErrorMessages, RandomInputNeverBreaksTheTable) {
    std::mt19937 rng(12345);
    const std::string alphabet = "0123456789,,,;\\xAF-\r\n\n z\x80\xFF";
    for (int round = 0; round < 400; ++round) {
        std::string data(rng() % 6000, '\0');
        const bool structured = round % 2 == 0;
        for (char& c : data)
            c = structured ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() & 0xFF);
        ErrorMessageTable t;
        t.Parse(data);
        EXPECT_LE(t.Count(), kErrorTableEntries);
        EXPECT_LE(t.TextBytes(), kErrorTablePool);
        for (int code = 0; code < 20; ++code)
            EXPECT_LE(t.Lookup(16, code).size(), kErrorLinePiece);
    }
}
