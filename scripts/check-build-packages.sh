#!/usr/bin/env bash
# Fails when the build took a file from this machine that scripts/install-deps.sh would not
# bring onto a fresh Debian 12 machine. A package a developer once installed by hand stays on
# their machine and on CI's, so such a build passes everywhere until someone starts afresh.
#
#   scripts/check-build-packages.sh BUILD_DIR      (a configured and built CMake/Ninja folder)
#
# The files: the CMake package configuration files, libraries and programs named in the
# cache (package directories, *_LIBRARY, pkg-config modules), every system header an object
# included (ninja -t deps), and the system libraries on the link lines. Each is mapped to the
# package that owns it with dpkg's file lists. A package counts as brought in when it is
# listed in install-deps.sh, is Essential, or is reached from those through Depends or
# Pre-Depends (never Recommends: install-deps.sh installs without them). Of a choice
# "a | b", and for a virtual package, the installed ones count.
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
  echo "usage: $0 BUILD_DIR (a configured CMake build folder)" >&2
  exit 2
fi
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# --- the files the build took ------------------------------------------------------------
{
  # Cache entries of PATH and FILEPATH type: package directories stand for the configuration
  # file inside them; other directories (an include folder such as /usr/include) say nothing
  # about a package, and the headers used from them come from the dependency log below.
  sed -n 's/^\([A-Za-z0-9_.+-]*\):\(FILE\)\{0,1\}PATH=\(\/.*\)$/\1 \3/p' "$build/CMakeCache.txt" |
    while read -r name value; do
      case "$name" in
        # The archiver, linker and other binary tools CMake picks for itself: LLVM's where
        # they are installed, else binutils' (build-essential), and the build works with
        # either. The compiler and the build program are what the build asked for.
        CMAKE_CXX_COMPILER | CMAKE_C_COMPILER | CMAKE_MAKE_PROGRAM) ;;
        CMAKE_*) continue ;;
      esac
      if [ -f "$value" ]; then
        # A library counts where a link line names it (below): modules such as FindOpenGL
        # look for every library they know (GLU, EGL) whether the build links it or not.
        case "$value" in
          *.so | *.so.* | *.a) ;;
          *) echo "$value" ;;
        esac
      elif [ -d "$value" ] && [ "${name%_DIR}" != "$name" ]; then
        pkg=${name%_DIR}
        lower=$(printf '%s' "$pkg" | tr '[:upper:]' '[:lower:]')
        for f in "$value/${pkg}Config.cmake" "$value/${lower}-config.cmake"; do
          if [ -f "$f" ]; then echo "$f"; fi
        done
      fi
    done
  # A compiler a preset names is cached as a string, perhaps without its folder (then it is
  # the one on PATH).
  sed -n 's/^CMAKE_C\(XX\)\{0,1\}_COMPILER:STRING=\(..*\)$/\2/p' "$build/CMakeCache.txt" |
    while read -r compiler; do command -v "$compiler" || true; done

  # Modules found through pkg-config (FindPkgConfig caches <PREFIX>_MODULE_NAME on success).
  if command -v pkg-config >/dev/null; then
    sed -n 's/^\(.*\)_MODULE_NAME:INTERNAL=\(..*\)$/\1 \2/p' "$build/CMakeCache.txt" |
      while read -r prefix module; do
        if grep -q "^${prefix}_FOUND:INTERNAL=1$" "$build/CMakeCache.txt"; then
          pkg-config --path "$module" 2>/dev/null || true
        fi
      done
  fi

  # Every header every object included, as the compiler reported it.
  if [ -f "$build/build.ninja" ]; then
    ninja -C "$build" -t deps 2>/dev/null | awk '/^[ \t]+\//{print $1}'
  fi

  # Libraries on the link lines (Ninja's build.ninja, or link.txt of the Makefile generator):
  # absolute paths, and -lNAME looked up where the compiler's linker looks. The compiler adds
  # its own part to each link (start files, the C++ library, sanitizer and fuzzer runtimes):
  # its -### dry run for each set of link flags names those files.
  cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
  cxx=${cxx:-c++}
  : >"$tmp/x.o"
  {
    if [ -f "$build/build.ninja" ]; then
      sed -n 's/^ *LINK_LIBRARIES = //p; s/^ *LINK_FLAGS = //p' "$build/build.ninja"
    fi
    find "$build" -name link.txt -exec cat {} +
  } | tr ' ' '\n' | sort -u >"$tmp/linkwords"
  {
    if [ -f "$build/build.ninja" ]; then
      sed -n 's/^ *LINK_FLAGS = //p' "$build/build.ninja"
    fi
    find "$build" -name link.txt -exec cat {} + | tr ' ' '\n' |
      { grep -E '^-(f|m|static|shared|pie|no-pie|rtlib|stdlib|nostd)' || true; } | tr '\n' ' '
    echo
  } | sort -u | while IFS= read -r flags; do
    # Words of the flags on purpose: each is one compiler option.
    # shellcheck disable=SC2086
    "$cxx" $flags -### "$tmp/x.o" -o "$tmp/x" 2>&1 | tr ' ' '\n' | tr -d '"' |
      sed "s|^|$flags\t|"
  done >"$tmp/driverwords"
  {
    sed 's/^/\t/' "$tmp/linkwords"
    cat "$tmp/driverwords"
  } | sort -u | while IFS=$'\t' read -r flags word; do
    case "$word" in
      "$tmp"/*) ;;
      /*.so | /*.so.* | /*.a | /*.o | /usr/bin/* | /bin/*) if [ -f "$word" ]; then echo "$word"; fi ;;
      -l?*)
        for lib in "lib${word#-l}.so" "lib${word#-l}.a"; do
          # shellcheck disable=SC2086
          path=$("$cxx" $flags -print-file-name="$lib")
          if [ "${path#/}" != "$path" ] && [ -f "$path" ]; then
            echo "$path"
            break
          fi
        done
        ;;
    esac
  done
} | sort -u | while read -r f; do
  # Only what comes from the system: not the sources, not what the build made.
  case "$f" in
    "$src"/* | "$build"/*) ;;
    *) echo "$f" ;;
  esac
done >"$tmp/files.raw"

# Paths as dpkg records them: ".." taken out without following links (a library's .so link
# belongs to its -dev package, the file it points to to another), then, for what is still
# unknown, with links followed, and across the merged /usr (/lib is /usr/lib).
tr '\n' '\0' <"$tmp/files.raw" | xargs -0 -r realpath -s -m -- >"$tmp/files.plain"
tr '\n' '\0' <"$tmp/files.raw" | xargs -0 -r realpath -m -- >"$tmp/files.real"
paste -d '\t' "$tmp/files.plain" "$tmp/files.real" | sort -u >"$tmp/files"

# --- which package owns each file --------------------------------------------------------
awk '
  FNR == 1 { pkg = FILENAME; sub(/^.*\//, "", pkg); sub(/\.list$/, "", pkg); sub(/:.*/, "", pkg) }
  { print $0 "\t" pkg }' /var/lib/dpkg/info/*.list >"$tmp/owners"

awk -F '\t' '
  FILENAME == ARGV[1] { prev = ($1 in owner) ? owner[$1] "," : ""; owner[$1] = prev $2; next }
  function look(p,   q) {
    if (p in owner) return owner[p]
    q = p
    if (sub(/^\/usr\//, "/", q) && (q in owner)) return owner[q]
    q = p
    if (sub(/^\//, "/usr/", q) && (q in owner)) return owner[q]
    return ""
  }
  {
    o = look($1)
    if (o == "") o = look($2)
    print $1 "\t" (o == "" ? "-" : o)
  }' "$tmp/owners" "$tmp/files" >"$tmp/file-owner"

# --- what install-deps.sh brings in -------------------------------------------------------
"$src/scripts/install-deps.sh" --list >"$tmp/listed"
dpkg-query -W -f='${Package}\t${db:Status-Status}\t${Essential}\t${Provides}\t${Depends}, ${Pre-Depends}\n' \
  >"$tmp/installed"

awk -F '\t' '
  FILENAME == ARGV[1] { root[$1] = 1; next }
  # Package names from a relation field: versions, architecture qualifiers and spaces go.
  function bare(s) {
    gsub(/\([^)]*\)/, "", s); gsub(/\[[^]]*\]/, "", s); gsub(/<[^>]*>/, "", s)
    gsub(/[ \t]/, "", s); sub(/:.*/, "", s); return s
  }
  $2 == "installed" {
    inst[$1] = 1
    deps[$1] = deps[$1] ", " $5
    if ($3 == "yes") root[$1] = 1
    n = split($4, pv, ",")
    for (i = 1; i <= n; i++) { v = bare(pv[i]); if (v != "") prov[v] = prov[v] " " $1 }
  }
  END {
    for (p in root) if (p in inst) { queue[++tail] = p; seen[p] = 1 }
    for (head = 1; head <= tail; head++) {
      n = split(deps[queue[head]], group, ",")
      for (g = 1; g <= n; g++) {
        m = split(group[g], alt, "|")
        for (a = 1; a <= m; a++) {
          d = bare(alt[a]); if (d == "") continue
          # The package itself where installed, and every installed provider of the name.
          k = split(((d in inst) ? d : "") " " prov[d], cand, " ")
          for (c = 1; c <= k; c++)
            if (cand[c] != "" && !(cand[c] in seen)) { seen[cand[c]] = 1; queue[++tail] = cand[c] }
        }
      }
    }
    for (p in seen) print p
  }' "$tmp/listed" "$tmp/installed" | sort >"$tmp/closure"

# --- the verdict ---------------------------------------------------------------------------
notinstalled=$(awk -F '\t' 'FILENAME == ARGV[1] { if ($2 == "installed") i[$1] = 1; next }
  !($1 in i)' "$tmp/installed" "$tmp/listed")
if [ -n "$notinstalled" ]; then
  echo "check-build-packages: listed in install-deps.sh but not installed (run it first):" \
    "$(echo "$notinstalled" | tr '\n' ' ')" >&2
  exit 1
fi

awk -F '\t' '
  FILENAME == ARGV[1] { ok[$1] = 1; next }
  $2 == "-" { unowned[++u] = $1; next }
  {
    # A file some packages share (a directory link, say) is fine when any of them is in.
    n = split($2, owners, ","); good = 0
    for (i = 1; i <= n; i++) if (owners[i] in ok) good = 1
    if (good) next
    for (i = 1; i <= n; i++) { cnt[owners[i]]++; if (!(owners[i] in example)) example[owners[i]] = $1 }
  }
  END {
    bad = 0
    for (p in cnt) {
      printf "check-build-packages: the build needs package %s, which scripts/install-deps.sh neither lists nor brings in: %s", p, example[p]
      if (cnt[p] > 1) printf " (and %d more files)", cnt[p] - 1
      printf "\n"
      bad = 1
    }
    for (i = 1; i <= u; i++) {
      printf "check-build-packages: the build uses %s, which no Debian package owns\n", unowned[i]
      bad = 1
    }
    exit bad
  }' "$tmp/closure" "$tmp/file-owner" >&2 || {
  echo "check-build-packages: add the packages above to scripts/install-deps.sh" >&2
  exit 1
}

cut -f2 "$tmp/file-owner" | tr ',' '\n' | sort -u >"$tmp/used"
echo "check-build-packages: $(wc -l <"$tmp/file-owner") system files of the build, from" \
  "$(wc -l <"$tmp/used") packages, all brought in by scripts/install-deps.sh:" \
  "$(tr '\n' ' ' <"$tmp/used")"
