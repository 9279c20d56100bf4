// The settings record: every value of the settings file the server reads,
// by its key's name. load_settings fills it (and the extension, alias, user
// and group tables kept in the same file); reload_settings replaces it whole.
#pragma once

#include <string>

namespace qxs {

struct Settings {
    // [Options]
    int gopherport = 70;
    int httpport = 80;
    int buffsize = 8192;
    int maxretry = 1000;
    int pollevery = 200;
    int throttle = 4;
    int sound = 0;
    int greedy = 0;
    int minimize = 0;
    int view_connects = 0;
    int view_commands = 1;
    int view_files = 0;
    int view_closing = 0;
    int debug1 = 0;
    int debug2 = 0;
    int debug3 = 0;
    int DNS_mode = 0;
    int DDE_mode = 1;
    int socketver = 0;
    char hostname[99] = "";
    char ip[16] = "";
    // The directories get room for the backslash the loader may add.
    char tempdir[256] = "c:\\qxs\\temp\\";
    char logdir[256] = "c:\\qxs\\logs\\";
    char gopherdir[256] = "c:\\qxs\\gopher\\";
    char webdir[256] = "c:\\qxs\\html\\";
    char althomepage[254] = "";
    char reject_ip_filename[254] = "";
    char gopher_about_filename[254] = "";
    int gopher_about_hide = 0;
    char security_realm[79] = "";
    int webdirbrowsing = 0;
    int logany = 1;
    int logsearchstring = 0;
    int countfilehits = 1;
    int countreferer = 1;
    // [CGI]
    char GMT_Offset[15] = "No";
    char Debug_Mode[15] = "No";
    char Perl_Compiler[255] = "perl386";
    char Perl_Dir[255] = "c:\\qxs\\";
    int Timeout = 180;
    // [Registration]
    char name[79] = "";
    char organization[79] = "";
    char email[79] = "";
    char logo[255] = "";
    // [Extensions] folder_icon: absent (nullptr) when the key is missing or
    // empty. Owned by the record; released by release_settings.
    char* folder_icon = nullptr;
};

// The process-wide settings.
extern Settings settings;

// The settings file, as named on the command line ("qxserver.ini" in the
// server home unless --ini names another). Set before load_settings.
void set_settings_file(const std::string& name);
const char* settings_file();

// Reads the settings file into `settings` and the tables.
void load_settings();
// Releases what load_settings allocated and empties the tables.
void release_settings();
// release_settings, then load_settings with the file as it is on disk now.
// The caller shows the switches again (show_switches).
void reload_settings();

}  // namespace qxs
