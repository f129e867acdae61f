# Sourced by the scripts: the shell fragments several of them share. Not a program of its own.

# The one rule for parallel builds and test runs: two jobs, since the machine is shared. The
# presets in CMakePresets.json carry the same number for builds made through them.
zv_jobs=2

# zv_missing PACKAGE...: prints, one a line, those of the Debian packages that are not installed.
zv_missing() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$package"
    fi
  done
}

# zv_as_root COMMAND...: runs it as root, through sudo when the caller is someone else.
zv_as_root() {
  if [ "$(id -u)" -ne 0 ]; then
    sudo "$@"
  else
    "$@"
  fi
}

# zv_needs_overcommit NAME: AddressSanitizer reserves terabytes of shadow address space up front,
# which a kernel that never overcommits memory (vm.overcommit_memory=2) refuses; there the stage
# NAME cannot run at all, and the caller ends as skipped (77).
zv_needs_overcommit() {
  if [ "$(cat /proc/sys/vm/overcommit_memory 2>/dev/null)" = 2 ]; then
    echo "$1: skipped: vm.overcommit_memory is 2, so AddressSanitizer cannot reserve its shadow memory" >&2
    exit 77
  fi
}

# zv_utf8_locale: CPack's archiver and Wine read file names through the locale's character set;
# the plain POSIX locale of a minimal system cannot name a checkout path with a non-ASCII letter.
# C.UTF-8 is always there.
zv_utf8_locale() {
  if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    export LC_ALL=C.UTF-8
  fi
}
