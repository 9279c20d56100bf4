#include "engine/name_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>

namespace qxs {
namespace {

const NameEntry dollar_entry{"$", "$", 0, false, false, 0, nullptr, false};

// Length of `name` when it is a prefix of `text` ignoring ASCII case, else -1.
long prefix_length(const char* name, const char* text) {
    size_t i = 0;
    for (; name[i] != '\0'; ++i) {
        unsigned char a = static_cast<unsigned char>(name[i]);
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == '\0') return -1;
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
        if (a != b) return -1;
    }
    return static_cast<long>(i);
}

char* copy_text(const char* text) {
    if (text == nullptr) return nullptr;
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

void NameList::list_clear() {
    NameEntry* entry = head_;
    while (entry != nullptr) {
        NameEntry* next = entry->next;
        if (entry->owns_name) std::free(const_cast<char*>(entry->name));
        if (entry->owns_value) std::free(const_cast<char*>(entry->value));
        if (!entry->pooled) delete entry;
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

    const NameEntry* same = name[0] == '$' ? nullptr : list_find(name);
    if (same != nullptr && strcasecmp(same->name, name) == 0) {
        // Only entries of this list are found here, so the cast is ours to make.
        NameEntry* first_of_name = const_cast<NameEntry*>(same);
        int number = ++first_of_name->duplicates;
        size_t size = std::strlen(name) + 16;
        char* numbered = static_cast<char*>(std::malloc(size));
        if (numbered != nullptr) std::snprintf(numbered, size, "%s_%d", name, number);
        entry->name = numbered;
        entry->owns_name = true;
    } else if (copy_name) {
        entry->name = copy_text(name);
        entry->owns_name = true;
    } else {
        entry->name = name;
    }
    if (copy_value) {
        entry->value = copy_text(value);
        entry->owns_value = entry->value != nullptr;
    } else {
        entry->value = value;
    }
    if (entry->name == nullptr) {
        if (entry->owns_value) std::free(const_cast<char*>(entry->value));
        if (!entry->pooled) delete entry;
        else if (entry == &pool_[pool_used_ - 1]) --pool_used_;
        return 0;
    }
    entry->tag = tag;
    entry->next = head_;
    head_ = entry;
    return 1;
}

const NameEntry* NameList::list_find(const char* text) const {
    if (text == nullptr) return nullptr;
    if (text[0] == '$') return &dollar_entry;
    const NameEntry* best = nullptr;
    long best_length = -1;
    for (const NameEntry* entry = head_; entry != nullptr; entry = entry->next) {
        long length = prefix_length(entry->name, text);
        if (length > best_length) {
            best = entry;
            best_length = length;
        }
    }
    return best;
}

}  // namespace qxs
