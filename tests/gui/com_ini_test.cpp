#include "com_ini.h"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ComPortSetting parse(const std::string& line) {
    ComPortSetting e;
    ParseComIniLine(line, e);
    return e;
}

} // namespace

TEST(ComIni, NameFormGivesAllValues) {
    const ComPortSetting e = parse("COM4 7 9600 3 0 1 7 E 2");
    EXPECT_EQ(e.name, "COM4");
    EXPECT_EQ(e.reserved0, 7u);
    EXPECT_EQ(e.baud, 9600u);
    EXPECT_EQ(e.reservedByte, 3);
    EXPECT_EQ(e.flag0, 0);
    EXPECT_EQ(e.flag1, 1);
    EXPECT_EQ(e.dataBits, 7);
    EXPECT_EQ(e.parity, 'E');
    EXPECT_EQ(e.stopCode, 2);

    // Names whose first character is no hexadecimal digit, or that begin with "co".
    EXPECT_EQ(parse("  STUB 0 4800 0 1 0 8 N 1").name, "STUB");
    EXPECT_EQ(parse("TCPC_127.0.0.1:5000 0 4800").name, "TCPC_127.0.0.1:5000");
    EXPECT_EQ(parse("/dev/pts/7 0 19200 0 1 0 8 N 1").name, "/dev/pts/7");
    EXPECT_EQ(parse("cOm12 0 4800").name, "cOm12");
    EXPECT_EQ(parse("UKEY 0 4800").name, "UKEY");
}

TEST(ComIni, NumberFormNamesThePortInDecimal) {
    const ComPortSetting e = parse("4 0 9600 0 1 0 8 N 1");
    EXPECT_EQ(e.name, "com4");
    EXPECT_EQ(e.baud, 9600u);
    EXPECT_EQ(parse("1A 0 4800").name, "com26");
    EXPECT_EQ(parse("0 0 4800").name, "");
    EXPECT_EQ(parse("0 0 4800").baud, 4800u);
}

TEST(ComIni, MissingValuesTakeDefaultsAndBareNameLeavesEntryEmpty) {
    const ComPortSetting e = parse("COM2 0 1200");
    EXPECT_EQ(e.baud, 1200u);
    EXPECT_EQ(e.reservedByte, 0);
    EXPECT_EQ(e.flag0, 1);
    EXPECT_EQ(e.flag1, 0);
    EXPECT_EQ(e.dataBits, 8);
    EXPECT_EQ(e.parity, 'N');
    EXPECT_EQ(e.stopCode, 1);

    EXPECT_EQ(parse("COM2 5").baud, 0u); // the baud rate has no default

    ComPortSetting bare;
    EXPECT_FALSE(ParseComIniLine("COM4", bare));
    EXPECT_EQ(bare, ComPortSetting{});
    EXPECT_FALSE(ParseComIniLine("COM4   ", bare));
    EXPECT_EQ(bare.name, "");
    EXPECT_FALSE(ParseComIniLine("", bare));
    EXPECT_FALSE(ParseComIniLine("zz", bare));
}

TEST(ComIni, ReadUsesOnlyTheFirstSixteenLinesAndReportsAMissingFile) {
    ComIniTable t;
    t.entries[3].name = "stale";
    ::unlink("com.ini");
    EXPECT_EQ(ReadComIni(t), 0);
    EXPECT_EQ(t.entries[3].name, "");

    std::string text;
    for (int i = 1; i <= 20; ++i)
        text += "COM" + std::to_string(i) + " 0 4800 0 1 0 8 N 1\r\n";
    writeFile("com.ini", text);
    ASSERT_EQ(ReadComIni(t), 1);
    EXPECT_EQ(t.entries[0].name, "COM1");
    EXPECT_EQ(t.entries[15].name, "COM16");

    writeFile("com.ini", "");
    EXPECT_EQ(ReadComIni(t), 1); // the file exists, whatever it holds
    EXPECT_EQ(t.entries[0].name, "");

    // A line longer than 80 characters is cut, never overrun.
    writeFile("com.ini", std::string(300, 'Z') + " 0 4800\n");
    EXPECT_EQ(ReadComIni(t), 1);
    EXPECT_EQ(t.entries[0].name, "");
}

TEST(ComIni, WrittenFormCarriesReservedValuesAndReadsBack) {
    ComPortSetting e;
    e.name = "COM1";
    e.baud = 4800;
    e.reservedByte = 0;
    e.flag0 = 1;
    e.flag1 = 0;
    e.dataBits = 8;
    e.parity = 'N';
    e.stopCode = 1;
    EXPECT_EQ(ComIniLine(e), "COM1 0 4800 0 1 0 8 N 1");

    ComIniTable t;
    writeFile("com.ini", "COM3 99 38400 5 0 1 7 O 2\n");
    ASSERT_EQ(ReadComIni(t), 1);
    ASSERT_EQ(WriteComIni(t.entries[0]), 1);
    EXPECT_EQ(readFile("com.ini"), "COM3 0 38400 5 0 1 7 O 2");
    ASSERT_EQ(ReadComIni(t), 1);
    EXPECT_EQ(t.entries[0].reservedByte, 5);
    EXPECT_EQ(t.entries[0].flag1, 1);

    EXPECT_EQ(WriteComIni(e, "no-such-folder/com.ini"), 0);
}
