// A virtual controller at address 1 on a pseudo-terminal, the line open on
// `port`: what the core tests that talk to a controller stand on.
#pragma once

#include "port_layer.h"
#include "protocol_state.h"
#include "virtual_controller.h"

#include <gtest/gtest.h>

class LineRig : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PortLayerStart(); }
    static void TearDownTestSuite() { PortLayerStop(); }
    void SetUp() override {
        ResetProtocolState();
        c = &line.addController(1);
        ASSERT_TRUE(pty.start());
        ASSERT_EQ(PortOpen(&port, pty.slavePath().c_str()), 0);
    }
    void TearDown() override {
        PortClose(port);
        pty.stop();
    }

    zelsim::Line line;
    zelsim::VirtualController* c = nullptr;
    zelsim::PtyTransport pty{line};
    int port = 0;
};
