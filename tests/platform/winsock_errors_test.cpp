#include "platform/winsock_errors.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace qxs {
namespace {

// The engine acts on these numbers; an errno without a counterpart stays visible as it is.
TEST(WinsockErrors, SystemErrorsReadAsTheirWinsockNumbers) {
    const int cases[][2] = {
        {EWOULDBLOCK, 10035},
        {EAGAIN, 10035},
        {ECONNRESET, 10054},
        {EPIPE, 10054},
        {EADDRINUSE, 10048},
        {ENOENT, ENOENT},
        {0, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(wsa_error_from_errno(c[0]), c[1]) << c[0];
}

}  // namespace
}  // namespace qxs
