#include "engine/name_list.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/strings.h"

namespace qxs {
namespace {

const NameEntry dollar_entry{"$", "$", 0, false, false, 0, nullptr, false};

// Length of `name` when it is a prefix of text[0, length) ignoring ASCII
// case, else -1. A NUL in the text matches no character of a name.
long prefix_length(const char* name, const char* text, size_t length) {
    size_t i = 0;
    for (; name[i] != '\0'; ++i) {
        if (i >= length || ascii_lower(name[i]) != ascii_lower(text[i])) return -1;
    }
    return static_cast<long>(i);
}

char* duplicate_text(const char* text) {
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
}

}  // namespace

NameEntry* NameList::take_entry() {
    if (pool_used_ < kPoolSize) {
        NameEntry* entry = &pool_[pool_used_++];
        *entry = NameEntry{};
        entry->pooled = true;
        return entry;
    }
    return new (std::nothrow) NameEntry{};
}

void NameList::give_back(NameEntry* entry) {
    if (entry->owns_name) std::free(const_cast<char*>(entry->name));
    if (entry->owns_value) std::free(const_cast<char*>(entry->value));
    if (!entry->pooled) {
        delete entry;
    } else if (entry == &pool_[pool_used_ - 1]) {
        --pool_used_;
    }
}

void NameList::list_clear() {
    NameEntry* entry = head_;
    while (entry != nullptr) {
        NameEntry* next = entry->next;
        give_back(entry);
        entry = next;
    }
    head_ = nullptr;
    pool_used_ = 0;
}

int NameList::list_add(const char* name, const char* value, int tag, bool copy_name,
                       bool copy_value) {
    if (name == nullptr) return 0;
    NameEntry* entry = take_entry();
    if (entry == nullptr) return 0;

    // The name itself is looked up, never the fixed "$" entry: a name that
    // begins with "$" still counts its own duplicates.
    NameEntry* same = longest_prefix(name, SIZE_MAX);
    if (same != nullptr && compare_no_case(same->name, name) != 0) same = nullptr;
    if (same != nullptr) {
        size_t size = std::strlen(name) + 16;
        char* numbered = static_cast<char*>(std::malloc(size));
        if (numbered != nullptr) std::snprintf(numbered, size, "%s_%d", name, same->duplicates + 1);
        entry->name = numbered;
        entry->owns_name = true;
    } else if (copy_name) {
        entry->name = duplicate_text(name);
        entry->owns_name = true;
    } else {
        entry->name = name;
    }
    if (copy_value && value != nullptr) {
        entry->value = duplicate_text(value);
        entry->owns_value = true;
    } else {
        entry->value = value;
    }
    // A copy that could not be had leaves no entry rather than one whose name
    // or value silently went missing.
    if (entry->name == nullptr || (value != nullptr && entry->value == nullptr)) {
        give_back(entry);
        return 0;
    }
    // Counted only now, so that a failed add leaves the numbering as it was.
    if (same != nullptr) ++same->duplicates;
    entry->tag = tag;
    entry->next = head_;
    head_ = entry;
    return 1;
}

NameEntry* NameList::longest_prefix(const char* text, size_t length) const {
    NameEntry* best = nullptr;
    long best_length = -1;
    for (NameEntry* entry = head_; entry != nullptr; entry = entry->next) {
        long n = prefix_length(entry->name, text, length);
        if (n > best_length) {
            best = entry;
            best_length = n;
        }
    }
    return best;
}

const NameEntry* NameList::list_find(const char* text) const {
    return list_find(text, SIZE_MAX);
}

const NameEntry* NameList::list_find(const char* text, size_t length) const {
    if (text == nullptr) return nullptr;
    if (length > 0 && text[0] == '$') return &dollar_entry;
    return longest_prefix(text, length);
}

}  // namespace qxs
