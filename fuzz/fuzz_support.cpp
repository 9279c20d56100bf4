#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/access_tables.h"
#include "config/settings.h"
#include "platform/dos_files.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs::fuzz {
namespace {

std::string* home_path = nullptr;

void remove_home() {
    if (home_path == nullptr) return;
    std::error_code ignored;
    std::filesystem::remove_all(*home_path, ignored);
}

}  // namespace

const std::string& home() {
    if (home_path != nullptr) return *home_path;
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qxs-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a temporary folder");
    home_path = new std::string(pattern);
    std::atexit(remove_home);
    for (const char* folder : {"html", "gopher", "logs", "temp"}) {
        std::filesystem::create_directories(*home_path + "/" + folder);
    }
    return *home_path;
}

void write_file(const std::string& relative, std::string_view content) {
    std::filesystem::path full = home() + "/" + relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void empty_folder(const std::string& relative) {
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(home() + "/" + relative, ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

void reset_state() {
    dos::reset_drives();
    dos::set_home(home());
    profile::forget_all();
    settings = Settings{};
    copy_text(settings.webdir, sizeof settings.webdir, "c:\\html\\");
    copy_text(settings.gopherdir, sizeof settings.gopherdir, "c:\\gopher\\");
    copy_text(settings.logdir, sizeof settings.logdir, "c:\\logs\\");
    copy_text(settings.tempdir, sizeof settings.tempdir, "c:\\temp\\");
}

void load_tables(std::string_view settings_text) {
    write_file("tables.ini", settings_text);
    const std::string ini = home() + "/tables.ini";
    profile::forget_all();
    allocate_alias_table();
    load_aliases(ini.c_str());
    load_users(ini.c_str());
    load_groups(ini.c_str());
}

std::string_view take_until(std::string_view& rest, char separator) {
    size_t at = rest.find(separator);
    std::string_view piece = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view{} : rest.substr(at + 1);
    return piece;
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace qxs::fuzz
