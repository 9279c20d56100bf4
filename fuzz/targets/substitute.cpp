// Page-variable substitution with a variable list of the input's making.
// Input:
//   byte 0: the destination size of the cut run, 2 + byte % 64;
//   then "name=value" lines (a line without '=' is a variable without a
//   value) up to an empty line;
//   the rest: the block to substitute.
// Checks what substitute promises: every call terminates its output within
// the destination and makes progress, and a block substituted call by call
// through a small destination gives what one call with room enough gives,
// unless one value alone is longer than the small destination.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/name_list.h"
#include "engine/page_vars.h"
#include "fuzz_support.h"

namespace {

constexpr int kMostVariables = 64;

// The whole block through destinations of `size` bytes, call after call.
std::string substitute_all(const qxs::NameList& list, std::string_view block, size_t size) {
    std::vector<char> dst(size);
    qxs::SubstituteState state;
    std::string out;
    while (state.consumed < block.size()) {
        size_t before = state.consumed;
        size_t n = qxs::substitute(list, block.data(), block.size(), dst.data(), size, &state);
        qxs::fuzz::check(n < size && dst[n] == '\0', "output not terminated within the room");
        qxs::fuzz::check(state.consumed <= block.size(), "consumed past the block");
        qxs::fuzz::check(state.consumed > before || n > 0, "no progress");
        out.append(dst.data(), n);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    if (size < 1) return 0;
    const size_t small = 2 + data[0] % 64;
    std::string_view rest = fuzz::as_text(data + 1, size - 1);

    // Names and values as their own strings, copied into the list or not.
    std::vector<std::string> texts;
    texts.reserve(2 * kMostVariables);
    NameList list;
    size_t longest_value = 0;
    for (int count = 0; count < kMostVariables && !rest.empty(); ++count) {
        std::string_view line = fuzz::take_until(rest, '\n');
        if (line.empty()) break;
        size_t equals = line.find('=');
        const std::string& name = texts.emplace_back(line.substr(0, equals));
        const char* value = nullptr;
        if (equals != std::string_view::npos) {
            value = texts.emplace_back(line.substr(equals + 1)).c_str();
            longest_value = std::max(longest_value, std::strlen(value));
        }
        list.list_add(name.c_str(), value, 0, count % 2 == 0, count % 3 == 0);
    }
    const std::string_view block = rest;
    if (block.empty()) return 0;

    // The output of a block is at most every byte of it turned into the
    // longest value (or "$").
    const std::string whole = substitute_all(list, block, block.size() * (longest_value + 1) + 2);
    const std::string cut = substitute_all(list, block, small);
    if (longest_value < small - 1) fuzz::check(whole == cut, "a cut block reads differently");
    return 0;
}
