// The extension table: for a file name, the MIME type of an HTTP answer, the
// gopher item type of a menu line and the icon of an HTML listing. Loaded
// from section [Extensions] of the settings file (keys map1 ... map99, each
// "ext gophertype mime/type icon-url").
//
// A small family of lists: KeyedList (records by key), ProfileList (loaded
// from a numbered key sequence of a profile file, values split into fields)
// and ExtensionTable (looked up by file name, with the default records).
#pragma once

namespace qxs {

// One line of a list. Key, value and the field pieces live in one heap
// block that starts at `key` and belongs to the list.
struct KeyedRecord {
    static constexpr int kMaxFields = 10;
    char* key = nullptr;
    char* value = nullptr;          // the whole text after the key
    char* fields[kMaxFields] = {};  // pieces of a copy of the value; nullptr past the last
    int field_count = 0;            // number of pieces; 0 when there is only field 0
    KeyedRecord* next = nullptr;
};

class KeyedList {
public:
    KeyedList() = default;
    virtual ~KeyedList();
    KeyedList(const KeyedList&) = delete;
    KeyedList& operator=(const KeyedList&) = delete;

    // The first record whose key equals `key` without regard to case.
    virtual const KeyedRecord* find(const char* key) const;
    // The value of find(key), or nullptr.
    virtual const char* value_of(const char* key) const;
    // The list on the screen log.
    virtual void print() const;

    bool empty() const { return first_ == nullptr; }
    const KeyedRecord* first() const { return first_; }
    // Releases every record and its strings.
    virtual void clear();

protected:
    // Takes ownership of the record and appends it (constant time).
    void append(KeyedRecord* record);
    // find() by key, whatever a derived list makes of find().
    const KeyedRecord* find_key(const char* key) const;

private:
    KeyedRecord* first_ = nullptr;
    KeyedRecord* last_ = nullptr;
};

class ProfileList : public KeyedList {
public:
    // Empties the list, then reads prefix1, prefix2, ... (up to 99) from the
    // section until a key delivers nothing; each value is "key rest", the
    // rest split at `delimiter` into at most 10 fields. A line without a key
    // or without a rest is skipped and the numbering goes on. A record that
    // cannot be allocated is left out.
    virtual void load(const char* file, const char* section, const char* prefix, char delimiter);
    // Per record: the key, a tab, then the value or each field after a blank.
    void print() const override;
};

class ExtensionTable final : public ProfileList {
public:
    void load(const char* file, const char* section, const char* prefix, char delimiter) override;
    // By file name: the record of its extension (the text after the first
    // dot), else the "*" record; an empty name gives the "|" record.
    const KeyedRecord* find(const char* name) const override;
    // The extension list printout.
    void print() const override;
    void clear() override;

    // Loads section [Extensions], prefix "map", split at spaces.
    void load_settings_file(const char* file) { load(file, "Extensions", "map", ' '); }

private:
    const KeyedRecord* default_record_ = nullptr;     // "*"
    const KeyedRecord* empty_name_record_ = nullptr;  // "|"
};

extern ExtensionTable extension_table;

// Field 1 of the record for `name`, or nullptr.
const char* mime_type_for(const char* name);
// The first character of field 0, or '0'.
char gopher_type_for(const char* name);
// Field 2, or nullptr.
const char* icon_for(const char* name);

}  // namespace qxs
