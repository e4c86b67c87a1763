#!/bin/sh
# Tells whether this machine runs 32-bit x86 (i386) programs, which the
# 32-bit Windows tests need (wine's 32-bit loader is one). Many 64-bit
# kernels do; some are built or booted to run 64-bit programs only, and there
# every i386 program fails with "Exec format error".
#   sh scripts/runs-i386.sh            prints "yes" and exits 0, or prints
#                                      "no: REASON" and exits 1
#   sh scripts/runs-i386.sh --machine  the same, ignoring TORVANIX_RUNS_I386
#   sh scripts/runs-i386.sh --skip NAME
#       for a test that cannot run here: prints why NAME is skipped and
#       exits 77 (CTest's skip), or, where the machine does run i386
#       programs and nobody forced the answer, says that the build folder
#       must be configured again and exits 1, so a test that could run is
#       never reported as skipped.
# TORVANIX_RUNS_I386=no makes the answer no on any machine, to try the path
# of machines without i386 support on one that has it.
#
# The probe is a 95-byte i386 program written here byte by byte (no 32-bit
# compiler needed): an ELF header, one loadable segment, and the Linux
# system call exit(42). Only a machine that ran it returns 42.
set -u

probe() {
  file=$(mktemp "${TMPDIR:-/tmp}/runs-i386.XXXXXX") || { echo "no: cannot write a probe"; return 1; }
  {
    # ELF header: 32-bit, little-endian, executable, Intel 80386, entry
    # 0x08048054, program headers at 52, one of 32 bytes.
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'
    # Program header: the whole 95-byte file loaded at 0x08048000, read and
    # execute.
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'
    printf '\137\000\000\000\137\000\000\000\005\000\000\000\000\020\000\000'
    # mov eax, 1 (exit); xor ebx, ebx; mov bl, 42; int 0x80
    printf '\270\001\000\000\000\061\333\263\052\315\200'
  } >"$file"
  chmod 700 "$file"
  output=$("$file" 2>&1)
  status=$?
  rm -f "$file"
  if [ "$status" -eq 42 ]; then
    echo yes
    return 0
  fi
  case "$output" in
    *"Exec format error"*) echo "no: i386 programs fail with \"Exec format error\" (the kernel runs 64-bit programs only)" ;;
    *) echo "no: an i386 program did not run (status $status${output:+: $output})" ;;
  esac
  return 1
}

case "${1:-}" in
  --machine) probe ;;
  --skip)
    name=${2:-test}
    if [ "${TORVANIX_RUNS_I386:-}" = no ]; then
      echo "$name skipped: needs a machine that runs 32-bit x86 programs (answer forced by TORVANIX_RUNS_I386=no)"
      exit 77
    fi
    if answer=$(probe); then
      echo "$name: this machine runs 32-bit x86 programs, but its build folder was configured where it could not; configure again to run it" >&2
      exit 1
    fi
    echo "$name skipped: needs a machine that runs 32-bit x86 programs; here ${answer#no: }"
    exit 77 ;;
  "")
    if [ "${TORVANIX_RUNS_I386:-}" = no ]; then
      echo "no: forced by TORVANIX_RUNS_I386=no"
      exit 1
    fi
    probe ;;
  *) sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
esac
