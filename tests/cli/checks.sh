# The counting checks the command-line test scripts share; sourced, never run on its own.
passed=0
failed=0

check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
