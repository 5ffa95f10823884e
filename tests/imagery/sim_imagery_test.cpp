// vxcenter-sim's picture records, live: a client that subscribes only to the
// settings gets the picture records too (--imagery), and they draw a fan and
// fill the echogram.

#include "core/frame.h"
#include "imagery/imagery_displays.h"
#include "tests/net/sim_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

using namespace tarvik;

TEST(SimulatorImagery, PictureRecordsDrawTheFanAndTheWaterfall) {
    tarvik::testing::SimProcess sim({"--ping-rate", "20", "--imagery", "--samples", "1024"});
    tarvik::testing::SimClient client;
    ASSERT_TRUE(client.connect(sim));
    client.subscribeFor({7000, 7004}, std::chrono::milliseconds(700));
    net::CSocketReceiver& receiver = client.receiver;

    CImageryDisplays displays;
    displays.StartUp();
    std::set<std::uint32_t> seen;
    std::set<std::uint32_t> drawnBy;
    for (const auto& record : receiver.TakePendingRecords()) {
        const FrameView frame(record);
        if (!frame.isFrame()) continue;
        seen.insert(frame.recordType());
        const std::uint64_t before = displays.sector().picture().serial;
        displays.DisplayRecord({frame.deviceId(), frame.systemEnumerator(), frame.recordType()}, record);
        if (displays.sector().picture().serial != before) drawnBy.insert(frame.recordType());
    }
    receiver.Stop();
    EXPECT_EQ(seen, (std::set<std::uint32_t>{7000, 7004, 7006, 7007, 7008, 7011}));
    EXPECT_EQ(drawnBy, (std::set<std::uint32_t>{7006, 7008, 7011}));
    // The geometry of the simulated sonar: 128 beams over +-65 degrees, 75 m.
    const SectorProperties& p = displays.sector().picture().properties;
    EXPECT_EQ(p.beams, 128);
    EXPECT_NEAR(p.startAngle, 65.0, 0.01);
    EXPECT_DOUBLE_EQ(p.range, 75.0);
    // The side-scan lines: water column near the middle, seabed echoes further out.
    const std::uint8_t* newest = displays.echogram().row(0);
    EXPECT_LT(newest[512], 40);
    EXPECT_GT(newest[40], 40);
    EXPECT_GT(newest[1000], 40);
}
