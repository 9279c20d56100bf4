#include "config/extension_table.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/profile.h"
#include "support/capture_shell.h"
#include "support/temp_dir.h"

namespace qxs {
namespace {

class ExtensionTableTest : public ::testing::Test {
protected:
    void SetUp() override { profile::forget_all(); }
    void TearDown() override { extension_table.clear(); }

    std::string write(const std::string& lines) {
        return dir.write("qxserver.ini", "[Options]\r\nport=1\r\n[Extensions]\r\n" + lines);
    }
    void load(const std::string& lines) {
        extension_table.load_settings_file(write(lines).c_str());
    }
    // The n-th record (from 0) in file order.
    static const KeyedRecord* record(int n) {
        const KeyedRecord* r = extension_table.first();
        while (r != nullptr && n-- > 0) r = r->next;
        return r;
    }

    test::CaptureShell shell;
    test::TempDir dir;
};

// A line with only a key is skipped; the numbering stops at the first empty key.
TEST_F(ExtensionTableTest, LoadsTheNumberedLinesIntoFields) {
    load(
        "map1=htm  0   text/html /icons/t.gif\r\nmap2=gif\r\nmap3=bin 9\r\n"
        "map4=all 1 2 3 4 5 6 7 8 9 10 11 12\r\nmap5=\r\nmap6=jpg I image/jpeg\r\n");
    auto fields = [](const KeyedRecord* r) {
        std::string text =
            std::string(r->key) + "|" + r->value + "|" + std::to_string(r->field_count);
        for (int i = 0; i <= r->field_count && r->fields[i] != nullptr; ++i)
            text += "|" + std::string(r->fields[i]);
        return text;
    };
    ASSERT_NE(record(2), nullptr);
    EXPECT_EQ(fields(record(0)), "htm| 0   text/html /icons/t.gif|3|0|text/html|/icons/t.gif");
    EXPECT_EQ(fields(record(1)), "bin|9|0|9");  // only field 0
    EXPECT_EQ(record(2)->field_count, KeyedRecord::kMaxFields);
    EXPECT_EQ(record(3), nullptr);
}

TEST_F(ExtensionTableTest, LooksUpByTheTextAfterTheFirstDot) {
    load(
        "map1=htm h text/html /i/htm.gif\r\nmap2=HTM 0 text/plain\r\n"
        "map3=tar.gz 9 application/x-gtar\r\nmap4=* 9 application/octet-stream /i/bin.gif\r\n"
        "map5=| 1 text/html /i/dir.gif\r\nmap6=txt 0\r\n");
    struct Case {
        const char *name, *mime;
        char gopher;
        const char* icon;
    } cases[] = {
        {"INDEX.HTM", "text/html", 'h', "/i/htm.gif"},  // earlier line wins, any case
        {"archive.tar.gz", "application/x-gtar", '9', nullptr},
        {"dir.d\\page.htm", "application/octet-stream", '9', "/i/bin.gif"},
        {"README", "application/octet-stream", '9', "/i/bin.gif"},
        {"name.", "application/octet-stream", '9', "/i/bin.gif"},
        {"", "text/html", '1', "/i/dir.gif"},
        {nullptr, "text/html", '1', "/i/dir.gif"},
        {"notes.txt", nullptr, '0', nullptr},  // a gopher type but no MIME type or icon
    };
    auto text = [](const char* s) { return std::string(s != nullptr ? s : "(none)"); };
    for (const Case& c : cases) {
        EXPECT_EQ(text(mime_type_for(c.name)), text(c.mime)) << text(c.name);
        EXPECT_EQ(gopher_type_for(c.name), c.gopher) << text(c.name);
        EXPECT_EQ(text(icon_for(c.name)), text(c.icon)) << text(c.name);
    }

    // A reload replaces the table and its default records.
    load("map1=gif g image/gif\r\n");
    EXPECT_EQ(mime_type_for("a.htm"), nullptr);
    EXPECT_EQ(icon_for(""), nullptr);
    EXPECT_EQ(gopher_type_for("README"), '0');
}

}  // namespace
}  // namespace qxs
