// The start-up banner both front ends print, and the menu checks that follow
// the settings once the engine has started.
#pragma once

namespace qxs {

void print_banner();
// The banner, then the check marks of the options menu from the settings.
void start_shell();

}  // namespace qxs
