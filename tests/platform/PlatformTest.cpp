#include <gtest/gtest.h>

#include "platform/MachineId.h"
#include "platform/SystemPlatform.h"

TEST(MachineId, FirstEightHexDigitsAsSigned32BitDecimal) {
    EXPECT_EQ(machineIdFromMachineIdFile("0000002a9f0c4e1b8d7a6c5b4a392817\n", 5), "42");
    EXPECT_EQ(machineIdFromMachineIdFile("ffffffff9f0c4e1b8d7a6c5b4a392817\n", 5), "-1");
    EXPECT_EQ(machineIdFromMachineIdFile("80000000aaaa", 5), "-2147483648");
    EXPECT_EQ(machineIdFromMachineIdFile("7fffffffaaaa", 5), "2147483647");
    // No usable file: the host id, read the same way.
    EXPECT_EQ(machineIdFromMachineIdFile("", 0x1234), "4660");
    EXPECT_EQ(machineIdFromMachineIdFile("zz", 0xfffffffe), "-2");
    EXPECT_EQ(currentMachineId(), currentMachineId());
}

TEST(Online, ADefaultRouteCountsButLoopbackRejectDoesNot) {
    const QByteArray v4Header =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const QByteArray v4Default = v4Header +
                                 "eth0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                                 "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    const QByteArray v4Local =
        v4Header + "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    const QByteArray v6Reject =
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";
    const QByteArray v6Default =
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "fe800000000000000000000000000001 00000400 00000001 00000000 00450003     eth0\n";
    EXPECT_TRUE(hasDefaultRoute(v4Default, {}));
    EXPECT_FALSE(hasDefaultRoute(v4Local, v6Reject));
    EXPECT_FALSE(hasDefaultRoute({}, {}));
    EXPECT_TRUE(hasDefaultRoute(v4Local, v6Reject + v6Default));
}
