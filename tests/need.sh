# shellcheck shell=bash
# What the suites' scripts share to say that a suite lacks what it needs; sourced by them (the
# display servers say it themselves, testsupport/servers.h). A suite that lacks a tool reports
# itself skipped with CTest's status 77, in one line that says how to get it.

# need TOOL PACKAGE: TOOL is a command on the PATH or a file's path.
need() {
    local tool=$1 package=$2
    if [[ $tool == /* ]] && [ -e "$tool" ]; then
        return
    fi
    if [[ $tool != /* ]] && command -v "$tool" >/dev/null; then
        return
    fi
    echo "skipped: $tool is not installed (Debian package $package; cmake/install-deps.sh installs it)"
    exit 77
}

# need_windows_build BUILD: the cross-built Windows tree with its CPack configuration.
need_windows_build() {
    local build=$1
    if [ ! -f "$build/boxwalk.exe" ] || [ ! -f "$build/CPackConfig.cmake" ]; then
        echo "skipped: the Windows build $build/boxwalk.exe is missing (make it with \`cmake --preset windows && cmake --build --preset windows\`)"
        exit 77
    fi
}
