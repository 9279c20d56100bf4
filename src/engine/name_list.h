// An ordered list of name/value entries, newest first: the page variables
// of a connection and the form fields of a request.
//
// Names compare without regard to ASCII letter case. A name added a second
// time is stored as "name_1", the third time "name_2", and so on. Entries
// store the caller's texts unless told to copy them; a text that is not
// copied must outlive the entry.
//
// The first entries of a list come from a small pool inside the list, so the
// page variables of a page are filled without touching the heap.
#pragma once

#include <cstddef>

namespace qxs {

struct NameEntry {
    const char* name = nullptr;
    const char* value = nullptr;  // nullptr counts as empty everywhere
    int tag = 0;
    bool owns_name = false;
    bool owns_value = false;
    int duplicates = 0;  // later entries added under this exact name
    NameEntry* next = nullptr;
    bool pooled = false;
};

class NameList {
public:
    NameList() = default;
    ~NameList() { list_clear(); }
    NameList(const NameList&) = delete;
    NameList& operator=(const NameList&) = delete;

    bool list_is_empty() const { return head_ == nullptr; }
    // Destroys every entry, freeing the texts entries own.
    void list_clear();
    // 1 on success, 0 when no entry (or none of the copies asked for) could
    // be had; the list is then as it was.
    int list_add(const char* name, const char* value, int tag, bool copy_name, bool copy_value);
    // The entry whose name is the longest prefix of `text` (ignoring case; the
    // newer entry wins a tie), or nullptr. A text beginning with '$' finds the
    // fixed entry named "$" whose value is "$".
    const NameEntry* list_find(const char* text) const;
    // The same look-up in text[0, length), which need not be terminated: a
    // name must end within it, and a NUL byte in it matches no name.
    const NameEntry* list_find(const char* text, size_t length) const;

    const NameEntry* first() const { return head_; }

private:
    static constexpr size_t kPoolSize = 24;
    NameEntry* take_entry();
    // Frees an entry and the texts it owns; a pooled entry taken last goes
    // back to the pool.
    void give_back(NameEntry* entry);
    // list_find without the fixed "$" entry.
    NameEntry* longest_prefix(const char* text, size_t length) const;
    NameEntry* head_ = nullptr;
    NameEntry pool_[kPoolSize];
    size_t pool_used_ = 0;
};

}  // namespace qxs
