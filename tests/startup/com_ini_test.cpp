#include "com_ini.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
    std::string longLine(300, 'Z');
    longLine += " 0 4800\n";
    writeFile("com.ini", longLine);
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

// Names up to 255 bytes (long /dev/serial/by-id paths) are written and read back
// exactly, line for line; anything longer is refused when written and when read.
TEST(ComIni, LongNamesReadBackAsWritten) {
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    for (size_t len : {size_t(1), size_t(19), size_t(80), byId.size(), size_t(99), size_t(100), size_t(200),
                       size_t(255)}) {
        ComPortSetting e;
        e.name = len == byId.size() ? byId : "/" + std::string(len - 1, 'p');
        if (len == 1) e.name = "X";
        e.baud = 4294967295u;
        e.reservedByte = 255;
        e.flag0 = 1;
        e.flag1 = 1;
        e.dataBits = 255;
        e.parity = 'M';
        e.stopCode = 255;
        ASSERT_EQ(WriteComIni(e), 1) << len;
        ComIniTable t;
        ASSERT_EQ(ReadComIni(t), 1);
        EXPECT_EQ(t.entries[0], e) << len;
        EXPECT_EQ(readFile("com.ini"), ComIniLine(t.entries[0]));
    }

    ComPortSetting tooLong;
    tooLong.name = "/" + std::string(kComNameMax, 'q');
    EXPECT_EQ(WriteComIni(tooLong), 0);
    EXPECT_EQ(readFile("com.ini").substr(0, 2), "/p") << "the old file stays";

    writeFile("com.ini", tooLong.name + " 0 9600 0 1 0 8 N 1\nCOM2 0 4800 0 1 0 8 N 1\n");
    ComIniTable t;
    EXPECT_EQ(ReadComIni(t), 1);
    EXPECT_TRUE(t.refused[0]);
    EXPECT_EQ(t.entries[0].name, "") << "refused whole, not cut into a name and values";
    EXPECT_EQ(t.entries[0].baud, 0u);
    EXPECT_FALSE(t.refused[1]);
    EXPECT_EQ(t.entries[1].name, "COM2");
}

TEST(ComIni, NamesThatWouldReadBackOtherwiseAreNotWritten) {
    writeFile("com.ini", "COM7 0 4800 0 1 0 8 N 1");
    ComPortSetting e;
    e.baud = 9600;
    for (const char* name : {"", "my port", "tab\tname", "ACM0", "1234", "x\x7f"}) {
        e.name = name;
        EXPECT_FALSE(ComIniWritable(e)) << name;
        EXPECT_EQ(WriteComIni(e), 0) << name;
    }
    e.name = "COM1";
    e.parity = ' ';
    EXPECT_EQ(WriteComIni(e), 0);
    EXPECT_EQ(readFile("com.ini"), "COM7 0 4800 0 1 0 8 N 1");
    for (const char* name : {"com4", "Co9", "ttyUSB0", "U_1234_2", "TCPC_10.0.0.1:4001", "STUB"}) {
        e.name = name;
        e.parity = 'E';
        ASSERT_EQ(WriteComIni(e), 1) << name;
        ComIniTable t;
        ASSERT_EQ(ReadComIni(t), 1);
        EXPECT_EQ(t.entries[0].name, name);
    }
}

TEST(ComIni, AFolderIsAReadErrorAndALinkKeepsPointingAtItsFile) {
    ::unlink("com.ini");
    ASSERT_EQ(::mkdir("com.ini", 0755), 0);
    ComIniTable t;
    EXPECT_EQ(ReadComIni(t), 0);
    ComPortSetting e;
    e.name = "COM3";
    e.baud = 4800;
    EXPECT_EQ(WriteComIni(e), 0);
    ::rmdir("com.ini");

    ::mkdir("settings", 0755);
    writeFile("settings/real.ini", "COM1 0 4800 0 1 0 8 N 1");
    ::chmod("settings/real.ini", 0600);
    ASSERT_EQ(::symlink("settings/real.ini", "com.ini"), 0);
    ASSERT_EQ(WriteComIni(e), 1);
    struct stat st {};
    ASSERT_EQ(::lstat("com.ini", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_EQ(readFile("settings/real.ini"), "COM3 0 4800 0 0 0 0 N 0");
    ASSERT_EQ(::stat("settings/real.ini", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ::unlink("com.ini");

    // A link to a file not there yet creates that file.
    ::unlink("settings/real.ini");
    ASSERT_EQ(::symlink("settings/real.ini", "com.ini"), 0);
    ASSERT_EQ(WriteComIni(e), 1);
    EXPECT_EQ(readFile("settings/real.ini"), "COM3 0 4800 0 0 0 0 N 0");
    ::unlink("com.ini");
    ::unlink("settings/real.ini");
    ::rmdir("settings");
}
