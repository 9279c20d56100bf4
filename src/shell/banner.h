// The start-up banner both front ends print, and the switches shown once the
// engine has started.
#pragma once

namespace qxs {

void print_banner();
// The banner, then every switch shown by the front end.
void start_shell();

}  // namespace qxs
