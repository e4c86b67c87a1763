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
#   windows  the 32- and 64-bit Windows builds, tests under wine; the 32-bit
#            wine (and the i386 architecture, for good) only where this
#            machine runs 32-bit x86 programs (scripts/runs-i386.sh)
#   arm      the aarch64 Linux cross build, tests under qemu
#   i686     the 32-bit x86 Linux cross build, tests under qemu
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
    # The 32-bit tests run under Debian's i386 wine, which can start only
    # where the kernel runs i386 programs; elsewhere it would only make
    # /usr/bin/wine start a loader that cannot run.
    windows)
      add cmake ninja-build googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64
      if sh "$here/runs-i386.sh" --machine >/dev/null; then add wine32:i386; fi ;;
    arm) add cmake ninja-build googletest g++-aarch64-linux-gnu qemu-user-static dpkg-dev file ;;
    i686) add cmake ninja-build googletest g++-i686-linux-gnu qemu-user-static ;;
    # bench/compare.sh checks for each of these commands before it starts.
    bench) add g++ cmake ninja-build libbenchmark-dev openssl coreutils time hyperfine mawk sed grep ;;
    fuzz) add clang libclang-rt-14-dev cmake ninja-build ;;
    man) add man-db ;;
    ci) exec sh "$0" test package lint windows arm i686 bench fuzz ;;
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
# A mirror in the middle of a sync serves some indexes with the wrong size;
# another try a little later usually gets them. If one still fails, apt-get
# goes on with the indexes it has.
if [ "$update" = yes ]; then
  for wait in 5 15 0; do
    root apt-get update && break
    [ "$wait" -eq 0 ] || { echo "install-deps.sh: package lists incomplete; again in $wait s" >&2; sleep "$wait"; }
  done
fi
install() {
  # $missing is split into words on purpose.
  # shellcheck disable=SC2086
  root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@" $missing
}
# When an update suite's index of one architecture is missing (the i386 one
# of the security updates, say), its newer versions of libraries have no
# twin in that architecture, and a library and its twin must have the same
# version. The release's own versions, from the main suite, fit together:
# first as the versions to install, then, where a library was already
# updated from the other suite, also to go back to (apt-get names each
# package it takes back to the release's version).
if ! install; then
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$suite" ] || exit 1
  echo "install-deps.sh: trying again with the versions of the suite $suite" >&2
  if ! install -t "$suite"; then
    echo "install-deps.sh: trying again, going back to $suite's versions where needed" >&2
    preferences=$(mktemp)
    trap 'rm -f "$preferences"' EXIT
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$suite" >"$preferences"
    chmod 644 "$preferences"
    install -o "Dir::Etc::Preferences=$preferences" --allow-downgrades
  fi
fi
