// Directory listings. The page (or gopher menu) is written whole into the
// slot's listing file first and then sent like any other file, so a large
// directory never holds the server up inside one send.
#include "request/listing.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/access_tables.h"
#include "config/extension_table.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "logging/dates.h"
#include "logging/files.h"
#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/escaping.h"
#include "platform/file_names.h"
#include "platform/strings.h"
#include "request/error_answers.h"
#include "request/html_title.h"
#include "request/link_file.h"
#include "request/path_mapping.h"

namespace qxs {
namespace {

constexpr const char* kBrowsingRefused =
    "\r\n\r\n3Directory browsing is not allowed in this folder.\r\n";

// Room for a directory name with a file name behind it.
constexpr size_t kNameSize = kMappedNameSize + 1 + 256 + 16;
// Room for one line of a listing: the request path may be 1023 characters.
constexpr size_t kLineSize = 4096;

// What every line of one listing needs.
struct Listing {
    const char* virtual_path;
    const char* directory;  // DOS-style, ending in '\'
    bool html;
    bool gopher_plus;  // menu lines go out as the "+INFO:" lines of a gopher+ reply
    FILE* out;
};

// The line prefix of a menu line.
const char* menu_prefix(const Listing& listing) {
    return listing.gopher_plus ? "+INFO: " : "";
}

void write_text(const Listing& listing, const char* text) {
    std::fputs(text, listing.out);
}

// Copies a header file into the listing as text (CR LF arrives as LF); an
// unreadable one is skipped.
void copy_header(const Listing& listing, const char* file_name) {
    dos::TextFile file;
    if (!file.open(file_name)) return;
    char piece[1024];
    size_t length;
    while ((length = file.read(piece, sizeof piece)) > 0) {
        std::fwrite(piece, 1, length, listing.out);
    }
}

void write_html_head(const Listing& listing, const char* htm_header, const char* txt_header) {
    if (htm_header != nullptr) {
        copy_header(listing, htm_header);
    } else {
        char shown[1024 * 6];
        html_escape(listing.virtual_path, shown, sizeof shown);
        std::fprintf(listing.out, "<H1>Directory Contents</H1><H2>For \"%s\"</H2>\r\n", shown);
    }
    if (txt_header != nullptr) {
        write_text(listing, "<pre>");
        copy_header(listing, txt_header);
        write_text(listing, "</pre>");
    }
    write_text(listing, "<HR><PRE>\r\n");
}

void write_link_entries(const Listing& listing) {
    char line[kLineSize];
    for (int i = 0; i < link_table.count; ++i) {
        const size_t length = format_link_line(link_table.entries[i], listing.virtual_path,
                                               listing.html ? 1 : 0, line, sizeof line);
        if (length == 0) continue;
        write_text(listing, menu_prefix(listing));
        std::fwrite(line, 1, length, listing.out);
    }
}

// The link of an entry: the listed path and the entry's name, with what a
// path cannot carry percent-encoded ("a#b.txt", "my notes.htm", "café.htm"
// are reached), and `tail` ("/" for a folder) after them.
void format_href(const Listing& listing, const char* listed, const char* tail, char* out,
                 size_t size) {
    char path[kLineSize];
    format_text(path, sizeof path, "%s%s%s", listing.virtual_path, listed, tail);
    percent_encode(path, kPathUnsafe, out, size);
}

// The size column: whole megabytes (of 1,024,000 bytes), kilobytes or bytes.
void format_size(long size, char* out, size_t room) {
    if (size >= 1024000) {
        format_text(out, room, "%4ld MB", size / 1024000);
    } else if (size >= 1024) {
        format_text(out, room, "%4ld kB", size / 1024);
    } else {
        format_text(out, room, "%4ld B ", size);
    }
}

// The name column, 22 columns wide; a longer name is cut and marked with
// "]" in its last column. It is escaped only once cut, so the columns count
// the characters a reader sees.
void format_name_column(const char* name, char* out, size_t room) {
    char column[23];
    format_text(column, sizeof column, "%22.22s", name);
    if (std::strlen(name) > 22) column[21] = ']';
    html_escape(column, out, room);
}

// The title of an HTML file, escaped; a single blank when there is none.
void format_title(const Listing& listing, const char* listed, const char* full, char* out,
                  size_t room) {
    copy_text(out, room, " ");
    // Files have no upper-case short names here: the extension is compared
    // without regard to case.
    if (!prefix_match(file_extension(listed), "HTM")) return;
    char file_name[kNameSize];
    format_text(file_name, sizeof file_name, "%s%s", listing.directory, full);
    char title[41];
    if (findHTMLtitle(file_name, title, 40) != nullptr) html_escape(title, out, room);
}

void write_html_entry(const Listing& listing, const dos::FindData& found) {
    const char* listed = found.name;
    const char* full = found.name;
    char shown_name[sizeof found.name * 6];
    char anchor[kLineSize];
    char text[kLineSize];
    char href[kLineSize];
    format_href(listing, listed, found.is_directory ? "/" : "", href, sizeof href);
    format_text(anchor, sizeof anchor, "<A HREF = \"http:%s\">", href);
    if (found.is_directory) {
        html_escape(full, shown_name, sizeof shown_name);
        if (settings.folder_icon != nullptr) {
            format_text(text, sizeof text, "<img border=0 src=%s> %s</a>", settings.folder_icon,
                        shown_name);
        } else {
            format_text(text, sizeof text, "Dir : %s/</A>", shown_name);
        }
    } else {
        const char* icon = icon_for(listed);
        size_t used = icon != nullptr
                          ? format_text(text, sizeof text, "<img border=0 src=%s> ", icon)
                          : format_text(text, sizeof text, "File : ");
        char column[23 * 6];
        format_name_column(full, column, sizeof column);
        char size[32];
        format_size(static_cast<long>(found.size), size, sizeof size);
        char title[41 * 6];
        format_title(listing, listed, full, title, sizeof title);
        format_text(text + used, sizeof text - used, "%s</A> %s %s %s", column, size,
                    listing_date(found.date), title);
    }

    char icon_file[kNameSize];
    format_text(icon_file, sizeof icon_file, "%sicons\\%s", listing.directory, full);
    if (file_size_and_date(icon_file, nullptr, nullptr) > 0) {
        char icon[kLineSize];
        char icon_name[sizeof found.name + 8];
        format_text(icon_name, sizeof icon_name, "icons/%s", listed);
        format_href(listing, icon_name, "", icon, sizeof icon);
        char image[kLineSize];
        format_text(image, sizeof image, "<IMAGE ALIGN=MIDDLE SRC=%s>", icon);
        std::fprintf(listing.out, "%s%s%s\r\n", anchor, image, text);
    } else {
        std::fprintf(listing.out, "<br>%s%s\r\n", anchor, text);
    }
}

void write_gopher_entry(const Listing& listing, const dos::FindData& found) {
    const char* listed = found.name;
    const char* full = found.name;
    if (found.is_directory) {
        std::fprintf(listing.out, "%s1Dir : %s\t1%s/%s\t%s\t%d\r\n", menu_prefix(listing), full,
                     listing.virtual_path, listed, engine.server_name, settings.gopherport);
        return;
    }
    const char type = gopher_type_for(listed);
    std::fprintf(listing.out, "%s%cFile: %12s is %8ld bytes %s\t%c%s/%s\t%s\t%d\r\n",
                 menu_prefix(listing), type, full, static_cast<long>(found.size),
                 listing_date(found.date), type, listing.virtual_path, listed, engine.server_name,
                 settings.gopherport);
}

// The header files and the link file are not entries of their own.
bool hidden(const char* listed) {
    if (std::strcmp(listed, ".") == 0 || std::strcmp(listed, "..") == 0) return true;
    if (compare_no_case(listed, "QXHEADER.HTM") == 0) return true;
    if (compare_no_case(listed, "QXHEADER.TXT") == 0) return true;
    if (compare_no_case(file_extension(listed), "GOP") == 0) return true;
    return hidden_by_link(listed);
}

void write_directory_entries(const Listing& listing) {
    char pattern[kNameSize];
    format_text(pattern, sizeof pattern, "%s*.*", listing.directory);
    dos::Finder finder;
    dos::FindData found{};
    if (!finder.first(pattern, &found)) {
        if (listing.html) {
            write_text(listing, "<H1>No files were found at this location!</H1>");
        } else {
            // A line of its own, so that the menu's last line still ends it.
            write_text(listing, menu_prefix(listing));
            write_text(listing, "3No files were found at this location!\r\n");
        }
        return;
    }
    do {
        if (hidden(found.name)) continue;
        if (listing.html) {
            write_html_entry(listing, found);
        } else {
            write_gopher_entry(listing, found);
        }
    } while (finder.next(&found));
}

bool browsing_allowed(const Connection& c, bool has_header) {
    if (has_header) return true;
    if (c.alias != nullptr) return c.alias->directory_browsing;
    return c.request_type == kRequestGopher || settings.webdirbrowsing != 0;
}

void refuse_browsing(Connection& c, bool html) {
    screen_log(kBrowsingRefused);
    if (html) {
        char header[128];
        format_text(header, sizeof header, "HTTP/1.0 403 Forbidden\r\nServer: QXServer/%s\r\n\r\n",
                    kServerVersion);
        send_text(c, header);
        send_text(c, "\r\n\r\n<h2>Directory browsing is not allowed in this folder.</h2>\r\n");
    } else {
        send_text(c, kBrowsingRefused);
    }
    close_connection(c);
}

// Answers with the directory's own index page, "index.htm" or, when there is
// none, "index.html" (on DOS the two names were one file); false when it
// has neither.
bool send_index_page(Connection& c, const char* directory) {
    char index[kNameSize];
    format_text(index, sizeof index, "%sindex.htm", directory);
    uint16_t date = 0;
    uint16_t time = 0;
    if (file_size_and_date(index, &date, &time) <= 0) {
        append_text(index, sizeof index, "l");
        if (file_size_and_date(index, &date, &time) <= 0) return false;
    }
    if (settings.debug1) screen_log("Sending index.htm\r\n");
    char modified[32];
    packed_file_date(date, time, modified, 1);
    char header[256];
    format_text(header, sizeof header,
                "HTTP/1.0 200 OK\r\nServer: QXServer/%s\r\nMIME-version: 1.0\r\n"
                "Last-Modified: %s\r\nContent-Type: text/html\r\n\r\n",
                kServerVersion, modified);
    send_header(c, header);
    if (c.request_type == kRequestHead) {
        close_connection(c);
    } else {
        queuegopherfile(c, index, 1, 0);
    }
    return true;
}

// The listing could not be written: the operator is told why, and the
// client gets an answer it can show rather than nothing, or half a menu.
void report_temp_file_failure(Connection& c, bool html, int error) {
    screen_log("UNABLE TO CREATE TEMP FILE!  [");
    screen_log(settings.tempdir);
    screen_log("]\r\n");
    screen_log("  Check your TempDir config. Check your disk space.\r\n");
    screen_logf("  Reason: %s\r\n", std::strerror(error));
    if (html) {
        send_error_status(c, 500);
        send_text(c,
                  "<h1>500 Internal Server Error</h1>\r\nThe listing of this folder could not be "
                  "written on the server.\r\n");
    } else {
        send_text(c,
                  "3The listing of this folder could not be written on the server.\t\terror.host"
                  "\t1\r\n.\r\n");
    }
    close_connection(c);
}

// The name of a file in the directory when it exists with some content.
const char* existing(const char* directory, const char* name, char* out, size_t room) {
    format_text(out, room, "%s%s", directory, name);
    return file_size_and_date(out, nullptr, nullptr) > 0 ? out : nullptr;
}

}  // namespace

void send_directory(Connection& c, const char* virtual_path, int html) {
    ++engine.totals.total_dirs_sent;
    if (settings.view_files) screen_log(" DIR ");
    char listing_file[sizeof settings.tempdir + 32];
    format_text(listing_file, sizeof listing_file, "%scash%d.qxs", settings.tempdir, c.slot);

    // Mapping collapses separator runs in place; the listing shows the
    // collapsed path.
    char path[sizeof c.path];
    copy_text(path, sizeof path, virtual_path);
    char mapped[kMappedNameSize];
    const int result = aliasToDosDir(path, mapped, c.request_type, c.remote_address, &c.alias,
                                     c.auth_user, c.auth_password);
    if (result < 0) {
        screen_logf("Error sending dir.  aresult = %d\r\n", result);
        close_connection(c);
        return;
    }
    char directory[kMappedNameSize + 1];
    format_text(directory, sizeof directory, "%s\\", mapped);
    if (settings.debug1) screen_logf("prename [%s]\r\n", directory);

    if (html && send_index_page(c, directory)) return;

    char htm_name[kNameSize];
    char txt_name[kNameSize];
    const char* htm_header = existing(directory, "qxheader.htm", htm_name, sizeof htm_name);
    const char* txt_header = existing(directory, "qxheader.txt", txt_name, sizeof txt_name);
    if (!browsing_allowed(c, htm_header != nullptr || txt_header != nullptr)) {
        refuse_browsing(c, html != 0);
        return;
    }

    link_table.count = 0;
    char link_file[kNameSize];
    format_text(link_file, sizeof link_file, "%smenu.gop", directory);
    read_link_file(link_file);

    const int listing_fd = create_private_file(listing_file);
    FILE* out = listing_fd >= 0 ? ::fdopen(listing_fd, "wb") : nullptr;
    if (out == nullptr) {
        const int error = errno;
        if (listing_fd >= 0) ::close(listing_fd);
        report_temp_file_failure(c, html != 0, error);
        return;
    }
    const Listing listing{path, directory, html != 0, html == 0 && c.gopher_plus, out};
    if (listing.html) write_html_head(listing, htm_header, txt_header);
    write_link_entries(listing);
    write_directory_entries(listing);
    write_text(listing, listing.html ? "</PRE>\r\n" : ".\r\n");
    // A listing cut short by a full disk is not sent as if it were whole.
    const bool write_failed = std::ferror(out) != 0;
    const int write_error = errno;
    if (std::fclose(out) != 0 || write_failed) {
        report_temp_file_failure(c, html != 0, write_failed ? write_error : errno);
        return;
    }

    if (html) {
        send_header(c, "HTTP/1.0 200 OK\r\nMIME-version: 1.0\r\nContent-Type: text/html\r\n\r\n");
        if (c.request_type == kRequestHead) {
            close_connection(c);
            return;
        }
    } else {
        c.gopher_item = '1';
    }
    queuegopherfile(c, listing_file, 1, 0);
}

}  // namespace qxs
