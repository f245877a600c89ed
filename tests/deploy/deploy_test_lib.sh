# shellcheck shell=bash
# Shared by the tests of deploy/; sourced, not run. ctest provides QIR_SOURCE_DIR.
# Each test works in a folder of its own, and Ansible's home, its temporary files (on
# the controller and, for the runs on this machine as the host, on the host) and
# ansible-lint's cache are kept in it, so nothing lands in ~/.ansible, ~/.cache or the
# repository, and the tests run side by side. The folder goes when the test ends.
set -euo pipefail

[[ -n "${QIR_SOURCE_DIR:-}" ]] || { echo "FAIL: QIR_SOURCE_DIR is not set" >&2; exit 1; }
DEPLOY_DIR="$QIR_SOURCE_DIR/deploy"
TEST_DIR="$QIR_SOURCE_DIR/tests/deploy"
PLAYBOOK="$DEPLOY_DIR/ansible/qir.yml"
INVENTORY="$DEPLOY_DIR/ansible/inventory.yml"

test_name="$(basename "$0" .sh)"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/qir_$test_name.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home" XDG_CACHE_HOME="$WORK/cache" ANSIBLE_HOME="$WORK/ansible" \
    ANSIBLE_LOCAL_TEMP="$WORK/ansible/tmp" ANSIBLE_REMOTE_TEMP="$WORK/ansible/host_tmp" \
    ANSIBLE_NOCOLOR=1
mkdir -p "$HOME"
cd "$WORK"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
    [[ "$2" == "$3" ]] || fail "$1: expected [$2], got [$3]"
}

need() {
    command -v "$1" >/dev/null ||
        { echo "FAIL: $1 is missing (scripts/install_deps.sh all installs it)" >&2; exit 1; }
}

finish() {
    if [[ $failures -ne 0 ]]; then
        echo "$test_name: $failures check(s) failed" >&2
        exit 1
    fi
    echo "$test_name: passed"
}
