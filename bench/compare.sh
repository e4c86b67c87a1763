#!/usr/bin/env bash
# Times torvanix against sha1sum and openssl on this machine and prints a
# table. Commands of one comparison run in alternation (A B A B ...), so a
# change in the machine's speed during the run affects all of them alike.
# Every ratio is torvanix's time over the other's (below 1.00x: torvanix
# is faster), as in the README.
#
#   bench/compare.sh [ROUNDS]      (default 7; scratch files go to $TMPDIR)
#
# `sh scripts/install-deps.sh bench` installs everything it needs on Debian.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}

fail() {
  printf 'compare.sh: %s\n' "$@" >&2
  exit 1
}
case "$rounds" in
  '' | *[!0-9]* | 0*) printf 'usage: bench/compare.sh [ROUNDS]   (ROUNDS a whole number from 1)\n' >&2; exit 2 ;;
esac

# Every command the comparison runs, with the Debian package that has it:
# one missing would stop the run half-way or leave lines out of the tables.
missing=""
for need in cmake:cmake ninja:ninja-build g++:g++ openssl:openssl sha1sum:coreutils \
            /usr/bin/time:time hyperfine:hyperfine awk:mawk sed:sed grep:grep \
            head:coreutils tail:coreutils cat:coreutils cut:coreutils tr:coreutils mktemp:coreutils \
            seq:coreutils sort:coreutils paste:coreutils; do
  command -v "${need%%:*}" >/dev/null 2>&1 || missing="$missing ${need%%:*} (package ${need#*:}),"
done
[ -z "$missing" ] ||
  fail "missing:${missing%,}" "install what the comparison needs with: sh scripts/install-deps.sh bench"

# build PRESET: configures and builds it, or stops with CMake's last words.
build() {
  local out
  if ! out=$({ cmake --preset "$1" && cmake --build --preset "$1"; } 2>&1); then
    printf '%s\n' "$out" | tail -n 25 >&2
    case "$out" in
      *'"benchmark"'*) fail "CMake cannot find Google Benchmark (package libbenchmark-dev)" \
                            "install what the comparison needs with: sh scripts/install-deps.sh bench" ;;
    esac
    fail "configuring or building preset '$1' failed (its output above)"
  fi
}
build bench
build bench-nohw
tv=build/bench/torvanix
tv_nohw=build/bench-nohw/torvanix

work=$(mktemp -d "${TMPDIR:-/tmp}/torvanix-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
big=$work/1GiB.bin
head -c $((1 << 30)) /dev/urandom >"$big"
cat "$big" >/dev/null  # into the page cache
mkdir "$work/small"
for i in $(seq -w 1 3000); do head -c 1024 /dev/urandom >"$work/small/f$i"; done
small=("$work"/small/f*)

have() { command -v "$1" >/dev/null 2>&1; }
masked="OPENSSL_ia32cap=:~0x20000000"  # openssl without its SHA-extension code

cpuinfo() { grep -m1 "^$1[[:space:]]*:" /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'; }
printf 'CPU: %s, family %s model %s\n' "$(cpuinfo 'model name')" "$(cpuinfo 'cpu family')" "$(cpuinfo model)"
printf 'transform chosen: %s (default build)\n\n' \
  "$(build/bench/bench_sha1 --benchmark_filter=engine/64 2>/dev/null | awk '/engine/ {print $NF}')"

# compare LABEL COMMAND [LABEL COMMAND]... : runs the commands in
# alternation $rounds times (after one warm-up run each) and prints the
# median and best wall time of each, and for each after the first, the
# first command's time over its time.
compare() {
  local -a labels=() cmds=() times=()
  while [ $# -gt 0 ]; do labels+=("$1"); cmds+=("$2"); shift 2; done
  local n=${#cmds[@]} i r
  for ((i = 0; i < n; i++)); do eval "${cmds[i]}" >/dev/null 2>&1; times[i]=""; done
  for ((r = 0; r < rounds; r++)); do
    for ((i = 0; i < n; i++)); do
      local t0=$EPOCHREALTIME
      eval "${cmds[i]}" >/dev/null 2>&1
      local t1=$EPOCHREALTIME
      times[i]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f ", b - a }')"
    done
  done
  # The ratio is the median over rounds of the first command's time against
  # this one's in the same round, which cancels slow drifts in the
  # machine's speed better than a ratio of medians.
  printf '  %-44s %9s %9s %8s\n' command median best ratio
  for ((i = 0; i < n; i++)); do
    read -r med best < <(tr ' ' '\n' <<<"${times[i]}" | grep . | median_best)
    if [ "$i" -eq 0 ]; then
      printf '  %-44s %8.3fs %8.3fs\n' "${labels[i]}" "$med" "$best"
      continue
    fi
    ratio=$(paste -d' ' <(tr ' ' '\n' <<<"${times[0]}" | grep .) <(tr ' ' '\n' <<<"${times[i]}" | grep .) |
      awk '{ print $1 / $2 }' | median_best | awk '{ print $1 }')
    printf '  %-44s %8.3fs %8.3fs %7.2fx\n' "${labels[i]}" "$med" "$best" "$ratio"
  done
  echo
}

# Reads numbers, prints their median and their least.
median_best() {
  sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1] }'
}

echo "1 GiB file in the page cache, $rounds alternating rounds"
echo "(ratio: the first line's time / this line's, median of the rounds)"
args=("torvanix" "$tv $big")
have openssl && args+=("openssl dgst -sha1" "openssl dgst -sha1 $big")
have sha1sum && args+=("sha1sum" "sha1sum $big")
compare "${args[@]}"

echo "1 GiB file, without SHA instructions"
args=("torvanix -DTORVANIX_HW_SHA1=OFF" "$tv_nohw $big")
have openssl && args+=("openssl dgst -sha1, SHA extensions masked" "$masked openssl dgst -sha1 $big")
compare "${args[@]}"

echo "3000 files of 1 KiB in one run"
args=("torvanix" "$tv ${small[*]}")
have sha1sum && args+=("sha1sum" "sha1sum ${small[*]}")
compare "${args[@]}"

echo "Peak resident memory on the 1 GiB file"
for c in "$tv $big" "sha1sum $big"; do
  have "${c%% *}" || continue
  kb=$(/usr/bin/time -f %M $c 2>&1 >/dev/null | tail -1)
  printf '  %-44s %6s KiB\n' "${c%% *}" "$kb"
done
echo

echo "Engine in memory, 16 KiB inputs, MB/s (higher is better), $rounds alternating rounds"
# Google Benchmark's lines as "name MB/s".
to_mbps='/bytes_per_second/ { for (i = 1; i <= NF; i++) if ($i ~ /^bytes_per_second=/) v = $i;
  sub("bytes_per_second=", "", v);
  if (v ~ /G\/s/) { sub("G/s", "", v); v *= 1073.741824 } else { sub("M/s", "", v); v *= 1.048576 }
  printf "%s %.0f\n", $1, v }'
# mbps BENCH FILTER: the throughput of the one benchmark FILTER selects.
mbps() {
  "$1" --benchmark_filter="$2" --benchmark_min_time=1 2>/dev/null | awk "$to_mbps" | awk '{ print $2 }'
}
ossl_mbps() {
  env "$@" openssl speed -bytes 16384 -seconds 1 sha1 2>/dev/null | awk '/^sha1/ { printf "%.0f\n", $2 * 1.024 / 1000 }'
}
median() { median_best | awk '{ print $1 }'; }
hw=() sw=() ohw=() osw=() rhw=() rsw=()
best_hw=$(build/bench/bench_sha1 --benchmark_filter=engine/64 2>/dev/null | awk '/engine/ {print $NF}')
best_sw=$(build/bench-nohw/bench_sha1 --benchmark_filter=engine/64 2>/dev/null | awk '/engine/ {print $NF}')
for ((r = 0; r < rounds; r++)); do
  hw+=("$(mbps build/bench/bench_sha1 "detecting/$best_hw/16384\$")")
  have openssl && ohw+=("$(ossl_mbps)")
  sw+=("$(mbps build/bench-nohw/bench_sha1 "detecting/$best_sw/16384\$")")
  have openssl && osw+=("$(ossl_mbps "$masked")")
  if have openssl; then
    # Time ratios, torvanix / openssl: throughputs the other way round.
    rhw+=("$(awk -v a="${hw[r]}" -v b="${ohw[r]}" 'BEGIN { print b / a }')")
    rsw+=("$(awk -v a="${sw[r]}" -v b="${osw[r]}" 'BEGIN { print b / a }')")
  fi
done
printf '  %-44s %s  (median %s)\n' "$best_hw (default build)" "${hw[*]}" "$(printf '%s\n' "${hw[@]}" | median)"
if have openssl; then
  printf '  %-44s %s  (median %s)\n' "openssl speed sha1" "${ohw[*]}" "$(printf '%s\n' "${ohw[@]}" | median)"
  printf '  %-44s %.2fx\n' "  time torvanix / openssl, median of rounds" "$(printf '%s\n' "${rhw[@]}" | median)"
fi
printf '  %-44s %s  (median %s)\n' "$best_sw (built without SHA instructions)" "${sw[*]}" "$(printf '%s\n' "${sw[@]}" | median)"
if have openssl; then
  printf '  %-44s %s  (median %s)\n' "openssl speed sha1, SHA extensions masked" "${osw[*]}" "$(printf '%s\n' "${osw[@]}" | median)"
  printf '  %-44s %.2fx\n' "  time torvanix / openssl, median of rounds" "$(printf '%s\n' "${rsw[@]}" | median)"
fi
echo
echo "Every transform this processor runs, 16 KiB inputs, $rounds rounds: median MB/s without"
echo "and with the collision check, and the check's cost, CPU time with it / CPU time without"
echo "(median of the rounds' ratios); then with the check on crafted blocks (the slowest input:"
echo "each block passes the candidate test for 12 vectors), and their CPU time / random blocks'"
# Google Benchmark's CSV: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,...
# Each transform's plain run comes just before its detecting ones, so a
# round's ratio compares runs made close together.
for ((r = 0; r < rounds; r++)); do
  build/bench/bench_sha1 --benchmark_filter='^(transform|detecting|crafted)/[^/]*/16384$' \
    --benchmark_min_time=0.3 --benchmark_format=csv 2>/dev/null | sed "s/^/$r,/"
done |
  awk -F, 'function median(list,   v, n, i, j, x) {
      n = split(list, v, " ")
      for (i = 2; i <= n; i++) { x = v[i]; for (j = i - 1; j > 0 && v[j] + 0 > x + 0; j--) v[j + 1] = v[j]; v[j + 1] = x }
      return n == 0 ? 0 : (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2)
    }
    BEGIN { printf "  %-28s %9s %11s %12s %9s %9s\n", "transform", "plain", "with check", "time ratio",
                   "crafted", "ratio" }
    $2 ~ /^"(transform|detecting|crafted)\// {
      split($2, part, "/"); kind = substr(part[1], 2); name = part[2]
      if (!(name in seen)) { seen[name] = 1; order[++n] = name }
      cpu[$1, kind, name] = $5; mbps[kind, name] = mbps[kind, name] " " $7 / 1e6 }
    END {
      for (i = 1; i <= n; i++) {
        t = order[i]; ratios = ""; worst = ""
        for (r = 0; (r, "transform", t) in cpu || (r, "detecting", t) in cpu; r++) {
          if (cpu[r, "transform", t] > 0 && cpu[r, "detecting", t] > 0)
            ratios = ratios " " cpu[r, "detecting", t] / cpu[r, "transform", t]
          if (cpu[r, "detecting", t] > 0 && cpu[r, "crafted", t] > 0)
            worst = worst " " cpu[r, "crafted", t] / cpu[r, "detecting", t]
        }
        if (ratios != "" && worst != "")
          printf "  %-28s %9.0f %11.0f %11.2fx %9.0f %8.2fx\n", t, median(mbps["transform", t]),
                 median(mbps["detecting", t]), median(ratios), median(mbps["crafted", t]), median(worst)
        else
          printf "  %-28s  a benchmark of it failed\n", t
      }
    }'

if have hyperfine; then
  echo
  echo "hyperfine, 1 GiB file"
  hcmds=("$tv $big")
  have openssl && hcmds+=("openssl dgst -sha1 $big")
  have sha1sum && hcmds+=("sha1sum $big")
  hyperfine -N --warmup 1 --runs 5 --style basic "${hcmds[@]}" 2>&1 | grep -v '^ *$' | sed "s|$work/||g"
fi

echo
echo "Crafted worst case: 256 MiB of distinct blocks that each pass the candidate test for as"
echo "many vectors as can pass together (every one confirmed), against 256 MiB of random data"
crafted=$work/crafted.bin
random=$work/random.bin
build/bench/torvanix_craft "$crafted" 256 | sed 's/^/  /'
head -c $((256 << 20)) "$big" >"$random"
cat "$crafted" "$random" >/dev/null  # into the page cache
compare "torvanix, crafted" "$tv $crafted" "torvanix, random (ratio: crafted / random)" "$tv $random"

# The Windows programs, where both are built (cmake --workflow --preset
# windows, and windows-x64) and this machine runs wine's 32-bit loader:
# the 32-bit program against the 64-bit one, each started by its own
# loader in the 32-bit build's prefix (its start-up is in the times).
exe32=build/windows/torvanix.exe exe64=build/windows-x64/torvanix.exe
if [ -f "$exe32" ] && [ -f "$exe64" ] && [ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wine64 ] &&
  sh scripts/runs-i386.sh >/dev/null; then
  echo "The 32-bit Windows program against the 64-bit one, under wine (ratio: 32-bit / 64-bit)"
  export WINEPREFIX=$PWD/build/windows/wine WINEDEBUG=-all
  for file in "$big" "$crafted"; do
    compare "32-bit exe, ${file##*/}" "/usr/lib/wine/wine $exe32 $file" \
            "64-bit exe, ${file##*/}" "/usr/lib/wine/wine64 $exe64 $file"
  done
else
  echo "(The 32-bit and 64-bit Windows programs are not compared: both must be built and"
  echo " this machine must run wine's 32-bit loader.)"
fi
rm -f "$crafted" "$random"
