# Sourced by the package tests: a scratch folder $work and the background processes in
# pids, both gone when the script ends; fail, and waitFor, which polls a condition up to
# a number of tries 0.2 s apart.
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
waitFor() {
    local tries=$1
    shift
    for _ in $(seq "$tries"); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
