#!/bin/sh
# Makes sure the packages a set of build steps needs are there, and installs with apt-get the
# Debian packages that are missing. What is there is told by what each package brings (a
# command or a file), so the check needs no Debian tools and costs a few milliseconds; apt-get
# runs only when something is missing. A machine without apt-get is told what is missing.
# Usage: tools/install-deps.sh native|windows|fuzz ...
set -eu

# One line per package: its set, its Debian name, and a command or file that shows it is there
# (a file where a command of that name may come from elsewhere: a `convert` that only stands in
# for ImageMagick's).
# The i386 part of Wine runs the 32-bit release under WoW64, with the i386 X libraries that
# the 64-bit part draws with, so that both draw alike.
packages() {
    cat <<'EOF'
native  cmake                 cmake
native  make                  make
native  g++                   g++
native  libgtest-dev          /usr/include/gtest
native  libgmock-dev          /usr/include/gmock
native  e2fsprogs             chattr
native  strace                strace
windows cmake                 cmake
windows make                  make
windows g++-mingw-w64-i686    i686-w64-mingw32-g++-posix
windows googletest            /usr/src/googletest/CMakeLists.txt
windows wine                  wine
windows wine64                /usr/lib/wine/wine64
windows wine32:i386           /usr/lib/wine/wine
windows libxrender1:i386      /usr/lib/i386-linux-gnu/libXrender.so.1
windows libxi6:i386           /usr/lib/i386-linux-gnu/libXi.so.6
windows libxrandr2:i386       /usr/lib/i386-linux-gnu/libXrandr.so.2
windows libxinerama1:i386     /usr/lib/i386-linux-gnu/libXinerama.so.1
windows libxcursor1:i386      /usr/lib/i386-linux-gnu/libXcursor.so.1
windows libxfixes3:i386       /usr/lib/i386-linux-gnu/libXfixes.so.3
windows libxcomposite1:i386   /usr/lib/i386-linux-gnu/libXcomposite.so.1
windows libxxf86vm1:i386      /usr/lib/i386-linux-gnu/libXxf86vm.so.1
windows fonts-wine            /usr/share/wine/fonts/marlett.ttf
windows xvfb                  Xvfb
windows imagemagick           /usr/bin/convert-im6.q16
windows zip                   zip
fuzz    clang                 clang++
fuzz    libclang-rt-dev       /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a
EOF
}

# Whether the command or file (a path may hold wildcards) is there.
present() {
    case "$1" in
        /*) for path in $1; do [ -e "$path" ] && return 0; done; return 1 ;;
        *) command -v "$1" >/dev/null 2>&1 ;;
    esac
}

for set in "$@"; do
    case "$set" in
        native | windows | fuzz) ;;
        *) echo "install-deps: unknown set '$set'" >&2; exit 2 ;;
    esac
done

missing=""
missing_told=""
while read -r set package shows; do
    case " $* " in *" $set "*) ;; *) continue ;; esac
    present "$shows" && continue
    case " $missing " in *" $package "*) continue ;; esac
    missing="$missing $package"
    missing_told="$missing_told
  $package ($shows)"
done <<EOF
$(packages)
EOF
[ -z "$missing" ] && exit 0

if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg >/dev/null 2>&1; then
    echo "install-deps: missing, and no apt-get here to install them (Debian package, then what it brings):$missing_told" >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "install-deps: missing, and I am neither root nor have sudo to install them:$missing_told" >&2
    exit 1
fi

echo "Installing:$missing"
# The i386 packages need dpkg to know the architecture first, as Debian's guide to Wine says.
case "$missing" in
    *:i386*)
        if [ "$(dpkg --print-architecture)" != i386 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            $sudo dpkg --add-architecture i386
        fi
        ;;
esac
$sudo apt-get update -q
# Through env: sudo would drop the variable from the environment.
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
