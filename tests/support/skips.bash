# shellcheck shell=bash disable=SC2154
# The skips of a test script, sourced after it sets $me (its name). A part
# that cannot run here is named with skip_part; once the rest has passed,
# finish ends with status 77, which CTest counts as a skip (SKIP_RETURN_CODE),
# so that a run that left something out is never counted as passed.
skipped=()

# skip_part WHAT WHY: WHAT cannot run here, for WHY (a missing tool, a
# missing right).
skip_part() {
  echo "$me: $2: $1 is skipped"
  skipped+=("$1")
}

# require_tools TOOL...: the whole test is a skip without any of them.
require_tools() {
  local tool missing=()
  for tool in "$@"; do
    command -v "$tool" > /dev/null || missing+=("$tool")
  done
  [ ${#missing[@]} -eq 0 ] && return
  skip_part "the test" "not installed: ${missing[*]}"
  exit 77
}

finish() {
  if [ ${#skipped[@]} -gt 0 ]; then
    echo "$me: the rest passed; ${#skipped[@]} part(s) skipped"
    exit 77
  fi
  echo "$me: passed"
}
