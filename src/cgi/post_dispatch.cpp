#include "cgi/post_dispatch.h"

#include "request/error_answers.h"

namespace qxs {

// Until scripts and message boards take posts, a POST is answered as a
// request for a document this server does not have.
void post_dispatch(Connection& c) {
    send_not_found(c, 0);
}

}  // namespace qxs
