#include "config/extension_table.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "config/table_text.h"
#include "logging/screen_log.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs {

ExtensionTable extension_table;

namespace {

// Longest line of a numbered key sequence, in characters.
constexpr int kMaxLine = 1022;

// A record for `key` and `value`: one block holding the key, the value and a
// second copy of the value that is cut into fields at `delimiter`.
KeyedRecord* make_record(const char* key, const char* value, char delimiter) {
    size_t key_size = std::strlen(key) + 1;
    size_t value_size = std::strlen(value) + 1;
    char* block = static_cast<char*>(std::malloc(key_size + 2 * value_size));
    if (block == nullptr) return nullptr;
    KeyedRecord* record = new (std::nothrow) KeyedRecord;
    if (record == nullptr) {
        std::free(block);
        return nullptr;
    }
    record->key = block;
    record->value = block + key_size;
    char* pieces = record->value + value_size;
    std::memcpy(record->key, key, key_size);
    std::memcpy(record->value, value, value_size);
    std::memcpy(pieces, value, value_size);

    const char separators[2] = {delimiter, '\0'};
    int count = 0;
    while (count < KeyedRecord::kMaxFields) {
        char* piece = config::next_field(&pieces, separators);
        if (piece == nullptr) break;
        record->fields[count++] = piece;
    }
    record->field_count = count > 1 ? count : 0;
    return record;
}

void free_record(KeyedRecord* record) {
    std::free(record->key);
    delete record;
}

const char* or_empty(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

// ---- KeyedList ----

KeyedList::~KeyedList() {
    KeyedList::clear();
}

void KeyedList::clear() {
    KeyedRecord* record = first_;
    while (record != nullptr) {
        KeyedRecord* next = record->next;
        free_record(record);
        record = next;
    }
    first_ = nullptr;
    last_ = nullptr;
}

void KeyedList::append(KeyedRecord* record) {
    record->next = nullptr;
    if (last_ == nullptr) {
        first_ = record;
    } else {
        last_->next = record;
    }
    last_ = record;
}

const KeyedRecord* KeyedList::find_key(const char* key) const {
    if (key == nullptr) return nullptr;
    for (const KeyedRecord* record = first_; record != nullptr; record = record->next) {
        if (compare_no_case(record->key, key) == 0) return record;
    }
    return nullptr;
}

const KeyedRecord* KeyedList::find(const char* key) const {
    return find_key(key);
}

const char* KeyedList::value_of(const char* key) const {
    const KeyedRecord* record = find(key);
    return record != nullptr ? record->value : nullptr;
}

void KeyedList::print() const {
    if (first_ == nullptr) {
        screen_log("--List is empty--\r\n");
        return;
    }
    screen_log("--List--\r\n");
    for (const KeyedRecord* record = first_; record != nullptr; record = record->next) {
        screen_log(record->key);
        screen_log("\t");
        screen_log(record->value);
        screen_log("\r\n");
    }
}

// ---- ProfileList ----

void ProfileList::load(const char* file, const char* section, const char* prefix, char delimiter) {
    clear();
    char line[kMaxLine + 1];
    for (int n = 1; n <= 99; ++n) {
        if (!config::read_numbered(file, section, prefix, n, line, sizeof line)) break;
        char* space = std::strchr(line, ' ');
        if (space == nullptr || space == line || space[1] == '\0') continue;
        *space = '\0';
        KeyedRecord* record = make_record(line, space + 1, delimiter);
        if (record != nullptr) append(record);
    }
}

void ProfileList::print() const {
    if (empty()) {
        screen_log("--List is empty--\r\n");
        return;
    }
    screen_log("--List--\r\n");
    for (const KeyedRecord* record = first(); record != nullptr; record = record->next) {
        screen_log(record->key);
        screen_log("\t");
        if (record->field_count == 0) {
            screen_log(record->value);
        } else {
            for (int i = 0; i < record->field_count; ++i) {
                screen_log(" ");
                screen_log(record->fields[i]);
            }
        }
        screen_log("\r\n");
    }
}

// ---- ExtensionTable ----

void ExtensionTable::clear() {
    default_record_ = nullptr;
    empty_name_record_ = nullptr;
    ProfileList::clear();
}

void ExtensionTable::load(const char* file, const char* section, const char* prefix,
                          char delimiter) {
    ProfileList::load(file, section, prefix, delimiter);
    default_record_ = find_key("*");
    empty_name_record_ = find_key("|");
}

const KeyedRecord* ExtensionTable::find(const char* name) const {
    if (name == nullptr || name[0] == '\0') return empty_name_record_;
    // The first dot counts, so "archive.tar.gz" has the extension "tar.gz".
    const char* dot = std::strchr(name, '.');
    const KeyedRecord* record = find_key(dot != nullptr ? dot + 1 : "");
    return record != nullptr ? record : default_record_;
}

void ExtensionTable::print() const {
    screen_log("\r\n----------- Extentions ---------------------\r\n");
    screen_log("  # - DOS - Goph -- Mime            -- Icon URL\r\n");
    if (empty()) {
        screen_log("--List is empty\r\n");
        return;
    }
    // Room for a whole line: key and fields together come from one line.
    char text[3 * kMaxLine + 64];
    int number = 1;
    for (const KeyedRecord* record = first(); record != nullptr; record = record->next) {
        format_text(text, sizeof text, "  %2d) %3s  %2s   '%-15.15s'  '%s'\r\n", number++,
                    record->key, or_empty(record->fields[0]), or_empty(record->fields[1]),
                    or_empty(record->fields[2]));
        screen_log(text);
    }
}

const char* mime_type_for(const char* name) {
    const KeyedRecord* record = extension_table.find(name);
    return record != nullptr ? record->fields[1] : nullptr;
}

char gopher_type_for(const char* name) {
    const KeyedRecord* record = extension_table.find(name);
    if (record == nullptr || record->fields[0] == nullptr) return '0';
    return record->fields[0][0];
}

const char* icon_for(const char* name) {
    const KeyedRecord* record = extension_table.find(name);
    return record != nullptr ? record->fields[2] : nullptr;
}

}  // namespace qxs
