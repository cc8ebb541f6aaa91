#!/bin/sh
# Line and branch coverage of the source tree, per folder, from the counts
# that the instrumented programs, tests and modules of a coverage build wrote.
#
# Usage: coverage_report.sh LLVM_PROFDATA LLVM_COV PROFILE_DIR BIN_DIR SRC_DIR [--uncovered]
#
# A source file compiled into several binaries is counted once: a line is
# covered when any binary ran it. With --uncovered the lines no run reached
# follow the table, as FILE:FIRST-LAST ranges.
set -eu
profdata=$1 cov=$2 profiles=$3 bin=$4 src=$5 uncovered=${6:-}
# The paths in the counts are absolute.
src=$(cd "$src" && pwd)

if ! ls "$profiles"/*.profraw >/dev/null 2>&1; then
  echo "coverage: no profiles in $profiles; run the tests first" >&2
  exit 1
fi
"$profdata" merge -sparse -o "$profiles/merged.profdata" "$profiles"/*.profraw

# Every binary of the build: llvm-cov takes the first plainly, the rest with -object.
set --
for file in "$bin"/*; do
  [ -f "$file" ] || continue
  [ "$(od -An -c -N4 "$file" | tr -d ' ')" = '177ELF' ] || continue
  if [ $# -eq 0 ]; then set -- "$file"; else set -- "$@" -object "$file"; fi
done

# Counts of functions a binary holds but never ran (another build's profile,
# a program no test started) read as mismatched; they add nothing.
"$cov" export -format=lcov -instr-profile="$profiles/merged.profdata" "$@" 2>/dev/null |
  awk -v src="$src" -v uncovered="$uncovered" '
    # Paths are the compile directory joined with the path the compiler was
    # given, so one file can appear as several "a/b/../../x" spellings.
    function normal(path,   parts, n, i, out, depth, stack) {
      n = split(path, parts, "/")
      depth = 0
      for (i = 1; i <= n; i++) {
        if (parts[i] == "" || parts[i] == ".") continue
        if (parts[i] == "..") { if (depth > 0) depth--; continue }
        stack[++depth] = parts[i]
      }
      out = ""
      for (i = 1; i <= depth; i++) out = out "/" stack[i]
      return out
    }
    BEGIN { prefix = normal(src) "/" }
    /^SF:/ {
      file = normal(substr($0, 4))
      keep = index(file, prefix) == 1
      if (keep) file = substr(file, length(prefix) + 1)
      next
    }
    !keep { next }
    /^DA:/ {
      split(substr($0, 4), f, ",")
      key = file SUBSEP f[1]
      if (!(key in line)) { line[key] = 0; files[file] = 1 }
      if (f[2] + 0 > 0) line[key] = 1
      next
    }
    /^BRDA:/ {
      split(substr($0, 6), f, ",")
      key = file SUBSEP f[1] SUBSEP f[2] SUBSEP f[3]
      if (!(key in branch)) branch[key] = 0
      if (f[4] != "-" && f[4] + 0 > 0) branch[key] = 1
      next
    }
    function folder(path,   cut) {
      cut = match(path, /\/[^\/]*$/)
      return cut ? substr(path, 1, cut - 1) : "."
    }
    END {
      for (key in line) {
        split(key, k, SUBSEP)
        d = folder(k[1])
        lines[d]++; linesHit[d] += line[key]
        allLines++; allLinesHit += line[key]
        if (!line[key]) missed[k[1]] = missed[k[1]] " " k[2]
      }
      for (key in branch) {
        split(key, k, SUBSEP)
        d = folder(k[1])
        branches[d]++; branchesHit[d] += branch[key]
        allBranches++; allBranchesHit += branch[key]
      }
      printf "%-20s %17s %8s %17s %8s\n", "src/", "lines", "", "branches", ""
      for (d in lines) {
        printf "%-20s %8d of %5d %7.2f%% %8d of %5d %7.2f%%\n", d, linesHit[d], lines[d],
               100 * linesHit[d] / lines[d], branchesHit[d], branches[d],
               branches[d] ? 100 * branchesHit[d] / branches[d] : 100 | "sort"
      }
      close("sort")
      printf "%-20s %8d of %5d %7.2f%% %8d of %5d %7.2f%%\n", "total", allLinesHit, allLines,
             allLines ? 100 * allLinesHit / allLines : 100, allBranchesHit, allBranches,
             allBranches ? 100 * allBranchesHit / allBranches : 100
      if (uncovered != "--uncovered") exit
      print ""
      print "lines no test reached:"
      for (name in missed) {
        n = split(substr(missed[name], 2), nums, " ")
        # The line numbers arrive unordered; a plain sort keeps this awk POSIX.
        for (i = 2; i <= n; i++) {
          v = nums[i] + 0
          for (j = i - 1; j >= 1 && nums[j] + 0 > v; j--) nums[j + 1] = nums[j]
          nums[j + 1] = v
        }
        out = ""; first = nums[1]; last = nums[1]
        for (i = 2; i <= n + 1; i++) {
          if (i <= n && nums[i] + 0 == last + 1) { last = nums[i] + 0; continue }
          out = out (out == "" ? "" : ",") (first == last ? first : first "-" last)
          if (i <= n) { first = nums[i] + 0; last = first }
        }
        print "  src/" name ": " out | "sort"
      }
      close("sort")
    }'
