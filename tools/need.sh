# Sourced by tools/demo and tools/run-tests. `need PACKAGE...` installs the
# Debian packages named that this machine lacks, through apt-get (and sudo
# when not root), saying what it installs first. A name written
# COMMAND=PACKAGE counts as present when COMMAND is on the PATH, for tools
# that may come from elsewhere than Debian (npm, say).
need() {
  local missing=() item package
  for item in "$@"; do
    package=${item#*=}
    if [ "$item" != "$package" ]; then
      command -v "${item%%=*}" >/dev/null 2>&1 && continue
    elif dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      continue
    fi
    missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing what this machine lacks: ${missing[*]}"
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "no apt-get here: install these packages (or their equivalents) and try again" >&2
    return 1
  fi
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "not root and no sudo: install them as root" >&2; return 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
}
