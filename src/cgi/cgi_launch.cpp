#include "cgi/cgi_launch.h"

#include "request/error_answers.h"

namespace qxs {

// Until CGI programs are run, a script is answered as a document this server
// does not have.
void dopostcgi(Connection& c) {
    send_not_found(c, 0);
}

}  // namespace qxs
