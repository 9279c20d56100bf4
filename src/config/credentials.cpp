// Decoding of Basic credentials and of scrambled passwords.
#include <cstdint>
#include <cstring>

#include "config/access_tables.h"

namespace qxs {
namespace {

struct Base64Values {
    unsigned char of[128] = {};  // 0 for every character outside the alphabet
    constexpr Base64Values() {
        const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            of[static_cast<unsigned char>(alphabet[i])] = static_cast<unsigned char>(i);
    }
};
constexpr Base64Values kBase64;

unsigned base64_value(char c) {
    auto code = static_cast<unsigned char>(c);
    return code < 128 ? kBase64.of[code] : 0;
}

}  // namespace

void decode_base64(const char* text, char* out, int size) {
    if (out == nullptr || size <= 0) return;
    out[0] = '\0';
    if (text == nullptr) return;
    const int room = size - 1;
    int used = 0;
    bool ended = false;
    for (const char* group = text; !ended && *group != '\0'; group += 4) {
        // A last group shorter than four is completed with zero values.
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            if (!ended && group[i] == '\0') ended = true;
            v = v * 64 + (ended ? 0 : base64_value(group[i]));
        }
        for (int shift = 16; shift >= 0; shift -= 8) {
            if (used >= room) {
                out[used] = '\0';
                return;
            }
            out[used++] = static_cast<char>((v >> shift) & 0xFF);
        }
    }
    out[used] = '\0';
}

void unscramble_password(const char* text, char* out) {
    out[0] = '\0';
    if (text == nullptr) return;
    // Pair i (c, k) of the scrambled text gives work byte i; byte 0 is the
    // length plus 'A', bytes 1 ... length the password.
    unsigned char work[kPlainPasswordSize] = {};
    for (int i = 0; i < kPlainPasswordSize; ++i) {
        auto c = static_cast<unsigned char>(text[2 * i]);
        if (c == '\0') break;
        auto k = static_cast<unsigned char>(text[2 * i + 1]);
        if (k == '\0') break;
        if (c >= 'a' && c <= 'z') {
            work[i] = static_cast<unsigned char>((c - 32) - k + 33);
        } else {
            work[i] = static_cast<unsigned char>(c + k - 33);
        }
    }
    int length = static_cast<signed char>(work[0]) - 'A';
    if (length < 0) length = 0;
    if (length > kPlainPasswordSize - 1) length = kPlainPasswordSize - 1;
    std::memcpy(out, work + 1, static_cast<size_t>(length));
    out[length] = '\0';
}

}  // namespace qxs
