#!/usr/bin/env bash
# Runs the README's two commands for a fresh machine, ./run.sh and ./test.sh, on Debian 13 (trixie),
# in a root made with debootstrap from Debian's archive, on a fresh clone of this checkout's commit.
# The root is made once, in $BOXWALK_DEBIAN13_ROOT (default /var/cache/boxwalk/debian13), and
# reused after; what the commands install there stays for the next run, as on a developer's
# machine. What is bound into it is unbound, and no process started in it is left behind.
# Needs root (debootstrap, chroot, mounts), on Debian 12 or 13.
# Usage: tests/debian13.sh              both commands
#        tests/debian13.sh -- COMMAND   a command in the clone instead, for example `./test.sh`
set -euo pipefail
# Read whole before it runs, so that a checkout that changes this file meanwhile does not change
# the run.
{
cd "$(dirname "$0")/.."
root=$(realpath -m "${BOXWALK_DEBIAN13_ROOT:-/var/cache/boxwalk/debian13}")
clone=/root/boxwalk
# The screenshot is what ./run.sh shows on a machine without a display.
commands=(bash -c './run.sh && test -s build/boxwalk-screenshot.png && ./test.sh')
if [ "${1:-}" = -- ]; then
    shift
    commands=("$@")
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "debian13: needs root (debootstrap, chroot and mounts)" >&2
    exit 1
fi
commit=$(git rev-parse HEAD)
say() { echo "debian13: $*"; }

# The archive that apt's own sources on this machine name, so that a mirror in use here serves.
archive() {
    local uri
    uri=$(grep -hoE '^(URIs:|deb) +https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list \
        /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '{print $2}' | head -n 1)
    echo "${uri:-http://deb.debian.org/debian}"
}

# One run at a time uses the root.
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock -n 9 || { echo "debian13: another run uses $root" >&2; exit 1; }

if [ ! -f "$root/etc/debian_version" ] || [ ! -x "$root/usr/bin/git" ]; then
    command -v debootstrap >/dev/null || {
        echo "debian13: debootstrap is missing (install it with cmake/install-deps.sh)" >&2
        exit 1
    }
    say "making the root $root from $(archive)"
    rm -rf "$root.new"
    debootstrap --variant=minbase --include=ca-certificates,git,sudo trixie "$root.new" \
        "$(archive)" >"$root.log" 2>&1 || {
        tail -n 20 "$root.log" >&2
        echo "debian13: debootstrap failed (its log: $root.log)" >&2
        exit 1
    }
    rm -rf "$root"
    mv "$root.new" "$root"
fi

# Unbinds what an earlier run that was cut short left bound there, innermost first.
awk -v root="$root" '$2 == root || index($2, root "/") == 1 { print $2 }' /proc/mounts | sort -r |
    while read -r left; do umount "$left" || umount -l "$left"; done

mounted=()
# Ends every process whose root is the Debian 13 root, then unbinds in reverse order.
leave() {
    local process signal
    for signal in TERM KILL; do
        for process in /proc/[0-9]*; do
            [ "$(readlink "$process/root" 2>/dev/null)" = "$root" ] &&
                kill -s $signal "${process#/proc/}" 2>/dev/null
        done
        [ $signal = TERM ] && sleep 2
    done
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" || umount -l "${mounted[i]}"
    done
}
trap leave EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
bind() {
    mkdir -p "$root$1"
    mount --bind "$1" "$root$1"
    mounted+=("$root$1")
}
bind /proc
bind /sys
bind /dev
bind /dev/pts
mount -t tmpfs tmpfs "$root/dev/shm"
mounted+=("$root/dev/shm")
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The certificate authorities this machine adds to Debian's (a proxy's, say), and the variables
# that point programs at them or at a proxy, so that the network serves the root as it serves
# this machine.
if [ -n "$(ls -A /usr/local/share/ca-certificates 2>/dev/null)" ]; then
    mkdir -p "$root/usr/local/share/ca-certificates"
    cp -a /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
    chroot "$root" update-ca-certificates >/dev/null 2>&1 || echo "debian13: update-ca-certificates failed in the root" >&2
fi
passed=()
for name in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY NODE_EXTRA_CA_CERTS \
    SSL_CERT_FILE SSL_CERT_DIR; do
    [ -n "${!name:-}" ] && passed+=("$name=${!name}")
done

say "a fresh clone of $commit in $clone"
rm -rf "$root$clone"
git clone --quiet --no-checkout "$PWD" "$root$clone"
git -C "$root$clone" checkout --quiet "$commit"

say "running ${commands[*]} there"
# In the background, so that a signal to this script is taken at once, not after the commands.
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM="${TERM:-dumb}" "${passed[@]}" bash -c "cd $clone && exec \"\$@\"" bash "${commands[@]}" &
status=0
wait $! || status=$?
if [ $status -eq 0 ]; then
    say "passed on Debian $(cat "$root/etc/debian_version")"
else
    say "failed on Debian $(cat "$root/etc/debian_version") (status $status)"
fi
exit $status
}
