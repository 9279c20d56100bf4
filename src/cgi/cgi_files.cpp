#include "cgi/cgi_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>

#include "engine/name_list.h"
#include "engine/server.h"
#include "logging/files.h"
#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/escaping.h"
#include "platform/file_names.h"
#include "platform/profile_text.h"
#include "platform/strings.h"

namespace qxs {
namespace {

// Form values longer than this go to an external field file.
constexpr size_t kLiteralValueMax = 254;

// Appends `value`, with the bytes that would end a line (or, in a batch
// file, the file) written as escapes; `percent` is how a '%' is written.
void append_value(std::string& out, const char* value, std::string_view percent) {
    for (const char* p = value != nullptr ? value : ""; *p != '\0'; ++p) {
        const char* escape = *p == '\r' ? "0D" : *p == '\n' ? "0A" : *p == '\x1a' ? "1A" : nullptr;
        if (escape == nullptr) {
            out += *p;
        } else {
            out.append(percent).append(escape);
        }
    }
}

// "key" + value + CR LF, for the profile file.
void line(std::string& out, const char* key, const char* value) {
    out += key;
    append_value(out, value, "%");
    out += "\r\n";
}
void line(std::string& out, const char* key, long value) {
    out.append(key).append(std::to_string(value)).append("\r\n");
}

// The same for the batch file, whose SET turns "%%" into '%'.
void set_line(std::string& out, const char* name, const char* value) {
    out.append("SET ").append(name).append("=");
    append_value(out, value, "%%");
    out += "\r\n";
}

const char* method_name(const Connection& c) {
    if (c.request_type == kRequestGet) return "GET";
    if (c.request_type == kRequestPost) return "POST";
    return nullptr;
}

// Whether the profile rules could read `key` = `value` back as written: a
// line break would make lines of its own, a key beginning with ';' or '['
// reads as a comment or a section, and an empty key matches nothing.
bool readable_back(const char* key, const char* value) {
    if (std::strpbrk(key, "\r\n") != nullptr || std::strpbrk(value, "\r\n") != nullptr) {
        return false;
    }
    const char* first = key + std::strspn(key, " \t\v\f");
    return *first != '\0' && *first != ';' && *first != '[';
}

void write_entry(profile::ProfileText& text, const char* section, const char* key,
                 const char* value) {
    if (!readable_back(key, value)) return;
    profile::ProfileText::Edit edit = text.plan_write(section, key, value);
    if (edit.in_place) {
        text.apply_in_place(edit);
    } else {
        text.assign(std::move(edit.text));
    }
}

// The form's sections, written into the profile's text as the profile
// functions would write them one entry at a time. Newest entry first.
void add_form_sections(std::string& text, const Connection& c, const NameList& list) {
    profile::ProfileText profile;
    profile.assign(std::move(text));
    int external = 0;
    for (const NameEntry* e = list.first(); e != nullptr; e = e->next) {
        if (e->value == nullptr || e->value[0] == '\0') continue;
        const size_t length = std::strlen(e->value);
        if (e->tag == 0 && length <= kLiteralValueMax) {
            write_entry(profile, "Form Literal", e->name, e->value);
            continue;
        }
        char name[sizeof settings.tempdir + 32];
        format_text(name, sizeof name, "%sCGI-in%d.%d", settings.tempdir, c.slot, external++);
        if (write_new_private_file(name, e->value) != 0) continue;
        const std::string entry = host_path(name) + " " + std::to_string(length);
        write_entry(profile, "Form External", e->name, entry.c_str());
    }
    text = profile.content();
}

}  // namespace

std::string host_path(const char* name) {
    std::string host = dos::to_host(name);
    return host.empty() ? std::string(name) : host;
}

bool has_query(const Connection& c) {
    return c.query_string != nullptr && c.query_string[0] != '\0';
}

int writecgifile(Connection& c, const CgiLaunch& launch) {
    int out = create_private_file(launch.output);
    if (out < 0) {
        screen_log("Unable to create CGI OUT file #0\r\n");
        return -1;
    }
    ::close(out);
    int fd = create_private_file(launch.profile);
    if (fd < 0) {
        screen_log("Unable to create CGI file #1\r\n");
        return -1;
    }

    std::string text = "[CGI]\r\nRequest Protocol=HTTP/1.0\r\n";
    if (const char* method = method_name(c)) line(text, "Request Method=", method);
    line(text, "Executable Path=", c.path);
    if (launch.has_logical_path) line(text, "Logical Path=", launch.logical_path);
    line(text, "Physical Path=", launch.physical_path.c_str());
    if (has_query(c)) line(text, "Query String=", c.query_string);
    line(text, "Referer=", c.referer);
    line(text, "Content Type=", c.content_type);
    line(text, "Content Length=", c.content_length);
    line(text, "Content File=", launch.content_host.c_str());
    line(text, "Server Software=QXServer/", kServerVersion);
    line(text, "Server Name=", engine.server_name);
    line(text, "Server Port=", settings.httpport);
    line(text, "Server Admin=", settings.email);
    text += "CGI Version=CGI/1.1 (WIN)\r\n";
    line(text, "Remote Address=", c.remote_address);
    text += "Authentication Method=Basic\r\n";
    line(text, "Authentication Realm=", settings.security_realm);
    line(text, "Authenticated Username=", c.auth_user);
    if (std::strchr(c.path, '$') != nullptr) line(text, "Authenticated Password=", c.auth_password);
    text += "\r\n[System]\r\n";
    if (settings.GMT_Offset[0] != 'N') line(text, "GMT Offset=", settings.GMT_Offset);
    line(text, "Debug Mode=", settings.Debug_Mode);
    line(text, "Output File = ", launch.output_host.c_str());
    line(text, "Content File = ", launch.content_host.c_str());
    text += "\r\n[Extra Headers]\r\n";
    line(text, "User-Agent=", c.user_agent);

    NameList list;
    std::unique_ptr<char[]> fields = read_form_fields(c, launch.content, list);
    if (fields != nullptr && !list.list_is_empty()) add_form_sections(text, c, list);
    list.list_clear();
    if (!write_and_close(fd, text.data(), text.size())) {
        screen_log("Unable to create CGI file #2\r\n");
        return -1;
    }
    return 0;
}

std::unique_ptr<char[]> read_form_fields(Connection& c, const char* content_file, NameList& list) {
    const long size = file_size_and_date(content_file, nullptr, nullptr);
    if (size <= 0) return nullptr;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(size) + 2]);
    if (buffer == nullptr) {
        screen_log(
            "ERROR DOING POST - Not enough memory right now.  Could not create content "
            "buffer.\r\n");
        close_connection(c);
        return nullptr;
    }
    int fd = dos::open(content_file, O_RDONLY);
    if (fd < 0) {
        screen_log("ERROR DOING POST - error opening content file\r\n");
        close_connection(c);
        return nullptr;
    }
    size_t length = 0;
    while (length < static_cast<size_t>(size)) {
        ssize_t n = ::read(fd, buffer.get() + length, static_cast<size_t>(size) - length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        length += static_cast<size_t>(n);
    }
    ::close(fd);
    buffer[length] = '\0';

    int count = 0;
    char* save = nullptr;
    for (char* field = strtok_r(buffer.get(), "&", &save);
         field != nullptr && count < kMaxFormFields; field = strtok_r(nullptr, "&", &save)) {
        const int tag = std::strchr(field, '%') != nullptr ? 1 : 0;
        url_decode(field);
        char* value = std::strchr(field, '=');
        if (value != nullptr) {
            *value++ = '\0';
        } else {
            value = field + std::strlen(field);
        }
        if (list.list_add(field, value, tag, false, false) == 1) ++count;
    }
    return buffer;
}

process::Environment set_cgi_environment(const Connection& c, const CgiLaunch& launch) {
    process::Environment env = process::server_environment();
    auto set = [&env](std::string_view name, std::string_view value) {
        process::set_variable(env, name, value);
    };
    const char* method = method_name(c);
    set("Request_Protocol", "HTTP/1.0");
    set("Request_Method", method != nullptr ? method : "HTTP/1.0");
    set("Executable_Path", c.path);
    set("SCRIPT_NAME", c.path);
    if (launch.has_logical_path) {
        set("Logical_Path", launch.logical_path);
        set("PATH_INFO", launch.logical_path);
    }
    set("Physical_Path", launch.physical_path);
    set("PATH_TRANSLATED", launch.physical_path);
    if (has_query(c)) set("QUERY_STRING", c.query_string);
    set("Content_Type", c.content_type);
    set("Content_Length", std::to_string(c.content_length));
    set("Content_File", launch.content_host);
    set("Server_Software", std::string("QXServer/") + kServerVersion);
    set("Server_Name", engine.server_name);
    set("Server_Port", std::to_string(settings.httpport));
    set("Server_Admin", settings.email);
    set("CGI_Version", "CGI/1.1 (WIN)");
    set("Remote_Address", c.remote_address);
    set("Output_File", launch.output_host);
    set("Content_FIle", launch.content_host);
    set("USER_AGENT", c.user_agent);
    return env;
}

int write_cgi_batch(const Connection& c, const CgiLaunch& launch) {
    int fd = create_private_file(launch.batch);
    if (fd < 0) {
        screen_log("Unable to create CGI BAT file #1\r\n");
        return -1;
    }
    std::string text = "REM [CGI]\r\nSET Request_Protocol=HTTP/1.0\r\n";
    if (const char* method = method_name(c)) set_line(text, "Request_Method", method);
    set_line(text, "Executable_Path", c.path);
    set_line(text, "SCRIPT_NAME", c.path);
    if (launch.has_logical_path) {
        set_line(text, "Logical_Path", launch.logical_path);
        set_line(text, "PATH_INFO", launch.logical_path);
    }
    set_line(text, "Physical_Path", launch.physical_path.c_str());
    set_line(text, "PATH_TRANSLATED", launch.physical_path.c_str());
    if (has_query(c)) {
        // '=' is written as %%3D, which the interpreter reads as %3D, so that
        // the value survives SET (whose own '=' ends the name).
        std::string query;
        for (const char* p = c.query_string; *p != '\0'; ++p) {
            if (*p == '=') {
                query += "%%3D";
            } else {
                query += *p;
            }
        }
        text += "SET QUERY_STRING=";
        append_value(text, query.c_str(), "%%");
        text += "\r\n";
    }
    set_line(text, "Content_Type", c.content_type);
    set_line(text, "Content_Length", std::to_string(c.content_length).c_str());
    set_line(text, "Content_File", launch.content_host.c_str());
    set_line(text, "Server_Software", (std::string("QXServer/") + kServerVersion).c_str());
    set_line(text, "Server_Name", engine.server_name);
    set_line(text, "Server_Port", std::to_string(settings.httpport).c_str());
    set_line(text, "Server_Admin", settings.email);
    set_line(text, "CGI_Version", "CGI/1.1 (WIN)");
    set_line(text, "Remote_Address", c.remote_address);
    text += "\r\nREM [System]\r\n";
    set_line(text, "Output_File", launch.output_host.c_str());
    set_line(text, "Content_FIle", launch.content_host.c_str());
    set_line(text, "USER_AGENT", c.user_agent);
    // A name with a blank in it is quoted, as the DOS interpreter wants it,
    // and its '%' doubled, so that nothing in it reads as an argument.
    const bool quote = launch.script_host.find_first_of(" \t") != std::string::npos;
    std::string script;
    for (char ch : launch.script_host) script += ch == '%' ? std::string("%%") : std::string(1, ch);
    text += quote ? "CALL \"" : "CALL ";
    append_value(text, script.c_str(), "%%");
    text += quote ? "\" %1 %2 %3 %4\r\n" : " %1 %2 %3 %4\r\n";
    if (!write_and_close(fd, text.data(), text.size())) {
        screen_log("Unable to create CGI BAT file #2\r\n");
        return -1;
    }
    return 0;
}

}  // namespace qxs
