#!/usr/bin/env bash
# Regenerates the real corpus (tests/data/real/*.xml) by running each producer
# on the small programs beside this script. Each run happens in a scratch
# copy, so nothing is written into the source tree but the XML files.
# Needs: python3 with pytest, pytest-rerunfailures, unittest-xml-reporting and
# nose2, g++ with libgtest-dev, cmake (ctest), Debian's catch2 (v2), node (20
# or newer), prove with Debian's libtap-formatter-junit-perl.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$(dirname "$here")"
python="${PYTHON:-python3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$here"/. "$work"/

# pytest: both junit families, then reruns (pytest-rerunfailures). The tests
# fail on purpose, so pytest's exit status is ignored.
cd "$work/pytest"
for family in xunit1 xunit2; do
  "$python" -m pytest -q -p no:cacheprovider -p no:rerunfailures -c /dev/null --rootdir . \
    -o junit_family=$family -o junit_suite_name=sample \
    --junitxml="$out/pytest_$family.xml" test_sample.py >/dev/null || true
done
# Tests that print tab-separated columns, with the captured output kept.
"$python" -m pytest -q -p no:cacheprovider -p no:rerunfailures -c /dev/null --rootdir . \
  -o junit_suite_name=tabs -o junit_logging=all \
  --junitxml="$out/pytest_tabs.xml" test_tabs.py >/dev/null || true
rm -f counter
ATTEMPT_COUNTER="$work/pytest/counter" "$python" -m pytest -q -p no:cacheprovider -c /dev/null --rootdir . \
  -o junit_family=xunit2 --reruns 3 \
  -k "flaky or always_fails or test_adds" \
  --junitxml="$out/pytest_reruns.xml" test_sample.py >/dev/null || true

# GoogleTest.
cd "$work/gtest"
g++ -std=c++17 -O0 sample_test.cpp -o sample_test -lgtest -lgtest_main -pthread
./sample_test --gtest_output="xml:$out/gtest.xml" >/dev/null || true

# CTest.
cmake -S "$work/ctest" -B "$work/ctest/build" >/dev/null
(cd "$work/ctest/build" && ctest --output-junit "$out/ctest.xml" >/dev/null || true)

# Catch2 v2.
cd "$work/catch2"
g++ -std=c++17 -O0 sample_test.cpp -o sample_test
./sample_test -r junit -o "$out/catch2.xml" >/dev/null || true

# Node's built-in test runner.
cd "$work/node"
node --test --test-reporter=junit --test-reporter-destination="$out/node.xml" \
  sample.test.mjs >/dev/null || true

# Maven Surefire (JUnit 4, two reruns of failing tests), offline against
# Debian's maven-repo packages (maven, maven-debian-helper, libsurefire-java,
# libmaven-compiler-plugin-java, libmaven-resources-plugin-java, junit4).
cd "$work/maven"
mvn -o -q -s /etc/maven/settings-debian.xml test >/dev/null || true
# The JVM's java.*spec* properties (the names and versions of the platform
# standards it implements) are left out: they say nothing about the tests.
grep -v 'name="java\.\(vm\.\)\?spec' target/surefire-reports/TEST-sample.SampleTest.xml \
  >"$out/surefire.xml"

# prove with TAP::Formatter::JUnit: a passing script and one that dies.
cd "$work/prove"
prove --formatter TAP::Formatter::JUnit t/passes.t t/crashes.t >"$out/prove.xml" 2>/dev/null || true

# unittest-xml-reporting, running test_adds on its own and then the whole
# module, so test_adds runs twice; no timestamp suffix on the suite names.
cd "$work/unittest"
"$python" -m xmlrunner --outsuffix "" --output-file "$out/xmlrunner.xml" \
  test_sample.Arithmetic.test_adds test_sample >/dev/null 2>&1 || true

# nose2's junitxml plugin on the same module.
"$python" -m nose2 --plugin nose2.plugins.junitxml --junit-xml --junit-xml-path "$out/nose2.xml" \
  test_sample >/dev/null 2>&1 || true
