// Starting CGI programs for a request that names a script under an alias
// that allows scripts. Three conventions, by the script's extension: "bat"
// runs the generated batch file (its SET lines, then the script it CALLs
// with the profile, content and output files and the query string); "pl"
// runs Perl_Compiler with the script and the profile file, in Perl_Dir;
// anything else runs the script itself with the three files. Each program
// gets its own environment (the server's, plus the request's variables) and
// its arguments one by one; no shell sees them. Under an alias whose path
// holds "std" the program also reads the content file as its standard
// input and writes the output file as its standard output.
#pragma once

namespace qxs {

struct Connection;

// Starts the program for the connection (state CGIw, c.cgi_process set;
// cgi_monitor_pass relays its output), or answers and closes it. A script
// that is missing or empty closes the connection without an answer.
void dopostcgi(Connection& c);

}  // namespace qxs
