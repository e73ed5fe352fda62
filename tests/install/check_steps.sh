# Shared by the check scripts, which source it after setting `check` (their name) and `summary`
# (what a pass covered): a scratch folder removed at the end, the step under way, a last line
# that says which way the check ended, and `fail` for a failure with its reason.
scratch=$(mktemp -d)
step="start"

finish() {
    local status=$?
    rm -rf "$scratch"
    if [ "$status" -eq 0 ]; then
        echo "$check: PASSED$summary"
    else
        echo "$check: FAILED at step: $step" >&2
    fi
    exit "$status"
}
trap finish EXIT

fail() {
    echo "$check: $*" >&2
    exit 1
}
