// Port names, the rate table, and the device map under the settings directory.
#include "serial/port_names.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "serial/serial_port.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_config_home.h"

namespace tarnlight {
namespace {

TEST(PortNames, NamesAndRatesFollowTheTables) {
    EXPECT_EQ(PortName(0), "COM1");
    EXPECT_EQ(PortName(31), "COM32");
    EXPECT_EQ(PortName(32), "");
    EXPECT_EQ(PortName(-1), "");
    EXPECT_EQ(BaudRateForIndex(-1), 19200u);
    EXPECT_EQ(BaudRateForIndex(0), 300u);
    EXPECT_EQ(BaudRateForIndex(6), 19200u);
    EXPECT_EQ(BaudRateForIndex(9), 115200u);
    EXPECT_EQ(BaudRateForIndex(10), 0u);
    EXPECT_EQ(BaudRateForIndex(-2), 0u);
}

// Points the settings directory at a private folder for one test.
class DeviceMap : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.ok());
        root_ = home_.path();
        devices_ = root_ + "/tarnlight/devices";
        std::filesystem::create_directories(devices_);
    }

    test::TempConfigHome home_{"tarnlight-devmap"};
    std::string root_;
    std::string devices_;
};

TEST_F(DeviceMap, MappedNamesOpenTheLinkedDeviceOthersTheBuiltInPorts) {
    test::PtyPair pty;
    std::filesystem::create_symlink(pty.slavePath(), devices_ + "/COM3");
    std::filesystem::create_symlink("/nonexistent/device", devices_ + "/COM4");

    EXPECT_EQ(ResolvePortDevice(2), devices_ + "/COM3");
    EXPECT_EQ(ResolvePortDevice(0), "/dev/ttyS0");
    // A mapping to a missing device (an unplugged adapter) is still used, so
    // the open fails instead of reaching the built-in port.
    EXPECT_EQ(ResolvePortDevice(3), devices_ + "/COM4");
    EXPECT_EQ(ResolvePortDevice(31), "/dev/ttyS31");
    EXPECT_EQ(ResolvePortDevice(32), "");

    StreamNotifier notifier;
    const uint16_t t1 = 0;
    SerialPort port(notifier, t1);
    ASSERT_TRUE(port.OpenPort(2, 6, 2, 0));
    const uint8_t byte = 0x5A;
    ASSERT_TRUE(port.WritePort(&byte, 1));
    EXPECT_EQ(pty.Read(1), std::vector<uint8_t>{0x5A});
}

}  // namespace
}  // namespace tarnlight
