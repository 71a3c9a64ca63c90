# Sourced by run.sh: runs named checks and counts them.
# A check is a shell function run in a subshell under `set -e`: its first
# failing command fails it. Its output is shown only when it fails, except
# lines starting with "note:", which are always shown.
passed=0
failed=0
skipped=0

check() {
  local name=$1 log status
  shift
  log=$(mktemp)
  (set -e; "$@") >"$log" 2>&1
  status=$?
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok      $name"
    grep '^note:' "$log" | sed 's/^/        /' || true
  else
    failed=$((failed + 1))
    echo "FAILED  $name"
    sed 's/^/        /' "$log"
  fi
  rm -f "$log"
}

# A failure found outside any check.
failure() {
  failed=$((failed + 1))
  echo "FAILED  $1"
}

skip() {
  skipped=$((skipped + 1))
  echo "skipped $1: $2"
}

# Fails the check with a sentence.
fail() {
  echo "$*"
  return 1
}

# expect_same WHAT ACTUAL EXPECTED
expect_same() {
  [ "$2" = "$3" ] || fail "$(printf '%s was:\n%s\nexpected:\n%s' "$1" "$2" "$3")"
}

# expect_same_lines WHAT ACTUAL EXPECTED: lists that must match; shows only
# the lines that differ (- expected, + actual).
expect_same_lines() {
  [ "$2" = "$3" ] || fail "$(printf '%s differ:\n' "$1"; diff <(echo "$3") <(echo "$2") | grep '^[<>]' |
                              sed 's/^</-/; s/^>/+/')"
}

finish() {
  echo "package: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}
