#!/bin/sh
# CALLed from the batch file the server generates for this request: its SET
# lines are this script's environment, and its arguments are the profile,
# content and output files and the query string.
{
  printf 'Content-type: text/plain\r\n\r\n'
  printf 'A batch script was called with\n  profile file  %s\n  content file  %s\n' "$1" "$2"
  printf '  output file   %s\n  query string  %s\n\nThe form: ' "$3" "${4:-(none)}"
  cat "$2"
  printf '\n\nIts variables:\n'
  for name in Request_Method Executable_Path QUERY_STRING Content_Type Content_Length \
      Server_Software Server_Name Server_Port Remote_Address USER_AGENT; do
    printf '  %s=%s\n' "$name" "$(printenv "$name")"
  done
} > "$3"
