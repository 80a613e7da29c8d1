// Stable port names: a serial port that udev also names under /dev/serial/by-id
// carries that path in the port list, whatever ttyUSBn it got this time.
#include "port_layer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class StableNames : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::current_path() / "fake-by-id";
        fs::remove_all(root);
        fs::create_directories(root / "sys" / "class" / "tty");
        fs::create_directories(root / "by-id");
        PortSetSysfsRoot((root / "sys").string());
        PortSetByIdRoot((root / "by-id").string());
    }
    void TearDown() override {
        PortSetSysfsRoot("/sys");
        PortSetByIdRoot("/dev/serial/by-id");
        fs::remove_all(root);
    }
    void AddTty(const std::string& name) {
        fs::create_directories(root / "sys" / "class" / "tty" / name / "device");
    }
    void Link(const std::string& name, const std::string& target) {
        fs::create_symlink(target, root / "by-id" / name);
    }
    std::string ById(const std::string& listed) {
        for (int i = 0; i < PortList.count; ++i)
            if (listed == PortList.names[i]) return PortList.info[i].byId;
        ADD_FAILURE() << listed << " is not listed";
        return {};
    }
    fs::path root;
};

TEST_F(StableNames, EachPortCarriesItsLinkThroughTheSort) {
    AddTty("ttyUSB1");
    AddTty("ttyUSB0");
    AddTty("ttyS0");
    AddTty("ttyACM0");
    Link("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB1");
    Link("usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "../../ttyUSB0");
    // An absolute target works the same; a link to a port not listed is ignored.
    Link("usb-Arduino_Uno_7593231343-if00", "/dev/ttyACM0");
    Link("usb-gone-if00-port0", "../../ttyUSB7");
    std::ofstream(root / "by-id" / "README") << "no link";

    EXPECT_EQ(EnumeratePorts(), 1);
    ASSERT_EQ(PortList.count, 4);
    const std::string dir = (root / "by-id").string() + "/";
    EXPECT_EQ(ById("ttyUSB0"), dir + "usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0");
    EXPECT_EQ(ById("ttyUSB1"), dir + "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_EQ(ById("ttyACM0"), dir + "usb-Arduino_Uno_7593231343-if00");
    EXPECT_EQ(ById("ttyS0"), "") << "a built-in port has no by-id name";

    // Two links to one tty: the first in name order, on every run.
    Link("usb-AAA-if00-port0", "../../ttyUSB1");
    EXPECT_EQ(EnumeratePorts(), 1);
    EXPECT_EQ(ById("ttyUSB1"), dir + "usb-AAA-if00-port0");
}

TEST_F(StableNames, NoFolderMeansNoStableNames) {
    AddTty("ttyUSB0");
    fs::remove_all(root / "by-id");
    EXPECT_EQ(EnumeratePorts(), 1);
    EXPECT_EQ(ById("ttyUSB0"), "");
}

} // namespace
