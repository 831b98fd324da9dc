// Cases that build the program's controller in their own process.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "common/test_helpers.h"
#include "driving/in_process.h"

namespace testing_helpers {

// Each case starts with what WinMain sets up and cleared settings with the web server off, and
// ends with the controller gone, what it posted handled and the settings cleared.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driving::prepare_program_environment();
        clear_settings();
        set_raw_dword("server_running", 0);
    }
    void TearDown() override
    {
        controller.reset();
        pump_messages();
        clear_settings();
    }
    SnapshotServer& server() { return controller->server; }
    std::unique_ptr<SnapshotSystem> controller;
};

}  // namespace testing_helpers
