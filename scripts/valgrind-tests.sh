#!/usr/bin/env bash
# Runs the whole test suite of a normal build (build/, or the folder given) under Valgrind
# memcheck, following into every agent process the whole-process tests start. Fails on any
# memcheck error, leaks included, in the suite or in any agent. Logs: <build>/valgrind/<pid>.log.
#   bash scripts/valgrind-tests.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
# Absolute: the agents the suite starts run in a scratch folder of their own.
case $build in
  /*) logs=$build/valgrind ;;
  *) logs=$PWD/$build/valgrind ;;
esac
rm -rf "$logs"
mkdir -p "$logs"

# Two halves in parallel, one per core; gtest's sharding splits the tests between them. Left out:
# signals made pending before exec, which Valgrind's own start-up takes instead of the agent, and
# the options' table, whose agent started with stdout closed writes its line all the same under
# Valgrind (a descriptor of Valgrind's own takes the place of stdout).
status=0
for shard in 0 1; do
  # The agent runs many times slower under memcheck: the tests' waits for it are stretched to match.
  MII_TEST_TIME_SCALE=20 GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard \
    valgrind --tool=memcheck --trace-children=yes --leak-check=full --error-exitcode=99 \
      --log-file="$logs/%p.log" "$build/tests/mii_tests" --gtest_brief=1 \
      --gtest_filter=-AgentSignalsTest.TwoEndingSignalsPendingAtStartEndTheAgentByTheFirstToCome:MacInputInjectorTest.OptionsCountOnlyAsTheFirstArgumentExactly &
done
for shard in 0 1; do
  wait -n || status=$?
done

bad=$(grep -L "ERROR SUMMARY: 0 errors" "$logs"/*.log || true)
if [ -n "$bad" ] || [ "$status" -ne 0 ]; then
  for log in $bad; do
    echo "== $log"
    cat "$log"
  done
  echo "valgrind: the suite failed (status $status) or memcheck found errors" >&2
  exit 1
fi
echo "valgrind: $(find "$logs" -name "*.log" | wc -l) processes, no memcheck error"
