// The settings store against Wine's real registry.
#include <gtest/gtest.h>

#include <memory>

#include "common/in_process.h"
#include "common/test_helpers.h"

using namespace testing_helpers;

namespace {

class SettingsTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();  // the web server down: these cases are about the store
        controller = std::make_unique<SnapshotSystem>();
        clear_settings();
    }
};

struct IntSetting {
    const char* name;
    int32_t default_value;
    int32_t (SnapshotServer::*get)() const;
};
struct BoolSetting {
    const char* name;
    bool default_value;
    bool (SnapshotServer::*get)() const;
};
struct TextSetting {
    const char* name;
    const char* default_value;
    std::string (SnapshotServer::*get)() const;
};

const IntSetting kIntSettings[] = {
    {"port_number", 2000, &SnapshotServer::get_port_number},
    {"image_quality", 60, &SnapshotServer::get_image_quality},
    {"auto_snapshot_mode", 0, &SnapshotServer::get_auto_snapshot_mode},
    {"auto_selection_start_x", 0, &SnapshotServer::get_auto_selection_start_x},
    {"auto_selection_start_y", 0, &SnapshotServer::get_auto_selection_start_y},
    {"auto_selection_stop_x", 0, &SnapshotServer::get_auto_selection_stop_x},
    {"auto_selection_stop_y", 0, &SnapshotServer::get_auto_selection_stop_y},
    {"copy_address_mode", 0, &SnapshotServer::get_copy_address_mode},
    {"session_counter", 0, &SnapshotServer::get_session_counter},
    {"alltime_counter", 0, &SnapshotServer::get_alltime_counter},
};
const BoolSetting kBoolSettings[] = {
    {"auto_snapshot", true, &SnapshotServer::get_auto_snapshot},
    {"ask_before_sending_snapshot", false, &SnapshotServer::get_ask_before_sending_snapshot},
    {"save_auto_snapshots", true, &SnapshotServer::get_save_auto_snapshots},
    {"play_sent_sound", true, &SnapshotServer::get_play_sent_sound},
    {"play_snapshot_sound", true, &SnapshotServer::get_play_snapshot_sound},
    {"include_mouse_pointer", true, &SnapshotServer::get_include_mouse_pointer},
    {"copy_on_snap", true, &SnapshotServer::get_copy_on_snap},
    {"server_running", true, &SnapshotServer::get_server_running},
};
const TextSetting kTextSettings[] = {
    {"manual_copy_address", "my.host.name", &SnapshotServer::get_manual_copy_address},
    {"remote_service_copy_address", "api.ipify.org", &SnapshotServer::get_remote_service_copy_address},
    {"snapshot_save_folder", "", &SnapshotServer::get_snapshot_save_folder},
    {"sent_sound_path", "", &SnapshotServer::get_sent_sound_path},
    {"snapshot_sound_path", "", &SnapshotServer::get_snapshot_sound_path},
};

TEST_F(SettingsTest, EmptyKeyGivesEveryDefaultAndIsNotCreatedByReading)
{
    for (const auto& s : kIntSettings) EXPECT_EQ(s.default_value, (server().*s.get)()) << s.name;
    for (const auto& s : kBoolSettings) EXPECT_EQ(s.default_value, (server().*s.get)()) << s.name;
    for (const auto& s : kTextSettings) EXPECT_EQ(s.default_value, (server().*s.get)()) << s.name;
    EXPECT_FALSE(settings_key_exists());
}

TEST_F(SettingsTest, GettersReadTheirOwnValueNames)
{
    // Values stored under the exact names by another writer must come back through the getters.
    int32_t n = 1000;
    for (const auto& s : kIntSettings) set_raw_dword(s.name, static_cast<DWORD>(++n));
    // A flag is on at any value but 0.
    for (const auto& s : kBoolSettings) set_raw_dword(s.name, s.default_value ? 0 : 0xffffffff);
    for (const auto& s : kTextSettings) set_raw_string(s.name, std::string("text of ") + s.name);

    n = 1000;
    for (const auto& s : kIntSettings) EXPECT_EQ(++n, (server().*s.get)()) << s.name;
    for (const auto& s : kBoolSettings) EXPECT_EQ(!s.default_value, (server().*s.get)()) << s.name;
    for (const auto& s : kTextSettings) EXPECT_EQ(std::string("text of ") + s.name, (server().*s.get)()) << s.name;
}

TEST_F(SettingsTest, SettersWriteTheNamedValueWithItsKind)
{
    server().set_image_quality(-7);
    server().set_auto_snapshot(false);
    server().set_snapshot_save_folder("C:\\copies");
    server().set_auto_selection_start(11, 12);
    server().set_auto_selection_stop(13, 14);

    DWORD type = 0xdeadbeef;
    std::string data;
    ASSERT_TRUE(query_raw_value("image_quality", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    ASSERT_EQ(4u, data.size());
    EXPECT_EQ(std::string("\xf9\xff\xff\xff", 4), data);

    ASSERT_TRUE(query_raw_value("auto_snapshot", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\0\0\0\0", 4), data);

    ASSERT_TRUE(query_raw_value("snapshot_save_folder", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ("C:\\copies", data.substr(0, data.find('\0')));

    const char* corners[] = {"auto_selection_start_x", "auto_selection_start_y", "auto_selection_stop_x",
                             "auto_selection_stop_y"};
    for (DWORD i = 0; i < 4; ++i) {
        DWORD value = 0xdeadbeef;
        EXPECT_TRUE(raw_dword(corners[i], value)) << corners[i];
        EXPECT_EQ(11 + i, value) << corners[i];
    }
}

TEST_F(SettingsTest, TextsRoundTrip)
{
    const std::string longest(254, 'q');
    server().set_sent_sound_path(longest);
    EXPECT_EQ(longest, server().get_sent_sound_path());

    server().set_manual_copy_address("");
    EXPECT_EQ("", server().get_manual_copy_address());

    server().set_snapshot_sound_path("short");
    EXPECT_EQ("short", server().get_snapshot_sound_path());
}

TEST_F(SettingsTest, TextLongerThanTheBufferReadsAsDefault)
{
    set_raw_string("remote_service_copy_address", std::string(300, 'x'));
    EXPECT_EQ("api.ipify.org", server().get_remote_service_copy_address());
    set_raw_string("snapshot_save_folder", std::string(259, 'y'));
    EXPECT_EQ(std::string(259, 'y'), server().get_snapshot_save_folder());
}

TEST_F(SettingsTest, SamePortWritesNothing)
{
    server().set_port_number(2000);
    DWORD value = 0xdeadbeef;
    EXPECT_FALSE(raw_dword("port_number", value)) << "stored " << value;

    server().set_port_number(2345);
    EXPECT_TRUE(raw_dword("port_number", value));
    EXPECT_EQ(2345u, value);
}

}  // namespace
