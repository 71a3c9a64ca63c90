#!/usr/bin/env bash
# Runs the driver in its demo folder and a handful of integration tests under
# valgrind's memcheck, against a normal (unsanitized) build:
#   tests/memcheck/run.sh build/linux
# Passes when valgrind reports no error and no block definitely or indirectly
# lost. "Possibly lost" is accepted only for two records of glibc's that the
# library keeps on purpose until the process ends: each running thread's
# (pthread_create: the eight pollers never end) and each open named
# semaphore's (sem_open: events are never closed, a poller may still wait on
# one). docs/robustness.md lists what else stays reachable at exit. Logs go
# to BUILD/memcheck/.
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_FOLDER}" && pwd)
bin=$build/bin
logs=$build/memcheck
rm -rf "$logs"
mkdir -p "$logs"

# name, then the command; run in the current folder.
memcheck() {
  local name=$1
  shift
  local log=$logs/$name.log
  local status=0
  valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --log-file="$log" \
    "$@" >"$logs/$name.out" 2>&1 || status=$?
  # Every "possibly lost" record must come from one of the two.
  local foreign
  foreign=$(awk '
    /are possibly lost in loss record/ { open = 1; kept = 0; next }
    open && /pthread_create|sem_open/ { kept = 1 }
    open && /^==[0-9]+== *$/ { if (!kept) bad++; open = 0 }
    END { print bad + 0 }' "$log")
  if [ "$status" -ne 0 ] || [ "$foreign" -ne 0 ]; then
    echo "memcheck: $name failed (exit status $status, $foreign unexplained possible leaks)"
    cat "$log"
    tail -n 40 "$logs/$name.out"
    return 1
  fi
  echo "memcheck: $name clean"
}

# Kwarne_Brivex as a user runs it, output compared byte for byte.
(cd "$build/demo" && memcheck driver "$bin/Kwarne_Brivex")
expected=$'Load Brivex, return code=0\r\nLoad configuration, return code=0\r\nSend frame, return code=0\r\nEnd\r\n'
if [ "$(cat "$logs/driver.out"; echo x)" != "${expected}x" ]; then
  echo "memcheck: the driver printed something else:"
  cat -A "$logs/driver.out"
  exit 1
fi

# Valgrind runs vfork as a plain fork; the library learns of a failed start
# all the same.
memcheck lifecycle "$bin/zolt_integration_tests" --gtest_filter='ChannelLifecycle.*:StartFailure.*'
memcheck exchange "$bin/zolt_integration_tests" \
  --gtest_filter='Exchange.TextsUpToTheLimit*:Exchange.CommandsTheMailboxCannotCarry*:Exchange.AReplyWithoutTerminator*'
memcheck faults "$bin/zolt_integration_tests" \
  --gtest_filter='Faults.StateBytes*:Faults.ObjectsLeftByAKilledHost*:Faults.AnEventFileTooShort*:Concurrency.*'
memcheck notifications "$bin/zolt_notification_tests" \
  --gtest_filter='Notifications.PendingNotifications*:Notifications.CloseWaits*:NotificationFaults.ACallbackMayClose*'
