#!/bin/sh
# Installs, on Debian 12, the packages a group of builds needs; the one place
# that knows them. Packages already installed are left alone, so running it
# again is quick and needs no root.
#   sh scripts/install-deps.sh GROUP...
# Groups:
#   build    the program (g++, CMake, Ninja)
#   test     the program and its tests (GoogleTest)
#   package  the .deb (dpkg-dev, file)
#   lint     lintian, to check the .deb
#   windows  the 32- and 64-bit Windows builds, tests under wine
#   arm      the aarch64 Linux cross build, tests under qemu
#   bench    the benchmarks (Google Benchmark) and what bench/compare.sh runs
#            beside them (openssl, sha1sum, GNU time, hyperfine)
#   fuzz     the fuzzer (clang, libFuzzer)
#   man      the man command
#   ci       everything .ci/run uses
set -eu

here=$(dirname "$0")
if [ $# -eq 0 ]; then
  sed -n '2,/^set -eu/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
fi

packages=""
add() { packages="$packages $*"; }
for group in "$@"; do
  case "$group" in
    build) add g++ cmake ninja-build ;;
    test) add g++ cmake ninja-build libgtest-dev ;;
    package) add g++ cmake ninja-build dpkg-dev file ;;
    lint) add lintian ;;
    # GoogleTest's sources (googletest) are built with the cross compilers.
    # The 32-bit tests run under Debian's i386 wine.
    windows) add cmake ninja-build googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 \
                 wine wine32:i386 wine64 ;;
    arm) add cmake ninja-build googletest g++-aarch64-linux-gnu qemu-user-static dpkg-dev file ;;
    # bench/compare.sh checks for each of these commands before it starts.
    bench) add g++ cmake ninja-build libbenchmark-dev openssl coreutils time hyperfine mawk sed grep ;;
    fuzz) add clang libclang-rt-14-dev cmake ninja-build ;;
    man) add man-db ;;
    ci) exec sh "$0" test package lint windows arm bench fuzz ;;
    *) echo "install-deps.sh: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=""
for p in $packages; do
  case " $missing " in *" $p "*) continue ;; esac
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done
[ -n "$missing" ] || exit 0
echo "install-deps.sh: installing$missing"

root() { sh "$here/as-root.sh" "$@"; }

update=no
case "$missing" in
  *:i386*)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      root dpkg --add-architecture i386
      update=yes
    fi ;;
esac
# Container images often ship without package lists; lists older than a
# package's current version fail the same way. Either way apt-get has no
# candidate to install, and an update mends it.
if [ "$update" = no ]; then
  for p in $missing; do
    if ! apt-cache policy "$p" 2>/dev/null | grep -q 'Candidate: [^(]'; then
      update=yes
      break
    fi
  done
fi
if [ "$update" = yes ]; then
  root apt-get update
fi
# $missing is split into words on purpose.
# shellcheck disable=SC2086
root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
