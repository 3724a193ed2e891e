#!/bin/sh
# Installs with apt-get the Debian packages a set of build steps needs, skipping those that
# are installed already. Usage: tools/install-deps.sh native|windows|fuzz ...
set -eu

packages_for() {
    case "$1" in
        native)  echo "cmake make g++ libgtest-dev libgmock-dev e2fsprogs strace" ;;
        windows) echo "cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools googletest wine wine64 fonts-wine xvfb xdotool imagemagick x11-utils zip" ;;
        fuzz)    echo "clang libclang-rt-dev" ;;
        *) echo "install-deps: unknown set '$1'" >&2; exit 2 ;;
    esac
}

missing=""
for set in "$@"; do
    for package in $(packages_for "$set"); do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            case " $missing " in *" $package "*) ;; *) missing="$missing $package" ;; esac
        fi
    done
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "install-deps: these packages are missing and I am not root:$missing" >&2
    exit 1
fi
$sudo apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
