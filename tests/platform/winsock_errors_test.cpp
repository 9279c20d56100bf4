#include "platform/winsock_errors.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace qxs {
namespace {

TEST(WinsockErrors, SystemErrorsReadAsTheirWinsockNumbers) {
    struct Case {
        int err;
        int wsa;
    } cases[] = {
        {EWOULDBLOCK, 10035},  {EAGAIN, 10035},        {ECONNRESET, 10054}, {EPIPE, 10054},
        {EADDRINUSE, 10048},   {EACCES, 10013},        {EINVAL, 10022},     {ENOTSOCK, 10038},
        {ECONNABORTED, 10053}, {EADDRNOTAVAIL, 10049}, {ETIMEDOUT, 10060},  {ENOTCONN, 10057},
    };
    for (const Case& c : cases) EXPECT_EQ(wsa_error_from_errno(c.err), c.wsa) << c.err;
}

TEST(WinsockErrors, ErrorsWithoutCounterpartStayVisible) {
    EXPECT_EQ(wsa_error_from_errno(ENOENT), ENOENT);
    EXPECT_EQ(wsa_error_from_errno(0), 0);
}

}  // namespace
}  // namespace qxs
